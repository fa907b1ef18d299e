// Creation of the output directory and of result files. Failures stop the run with a message
// naming the path and the system's reason: a sweep must never believe that a run which wrote
// nothing succeeded.
#pragma once

#include <fstream>
#include <string>

namespace pairlab {

// The names of a run's output: the directory ("Out_Pairlab" and the suffixes of the road) and the
// prefix of its result files. Each road builds them with one pure function of its settings.
inline constexpr const char* kOutputDirectoryStem = "Out_Pairlab";
struct OutputNames {
  std::string directory;
  std::string prefix;
  // directory + "/" + prefix: the path that file numbers and suffixes are appended to.
  std::string filePath() const { return directory + "/" + prefix; }
};

// Creates the directory (relative to the working directory); an existing directory is reused.
void createOutputDirectory(const std::string& name);

// Opens a result file for writing from scratch (truncating an existing one).
std::ofstream openResultFile(const std::string& path);

// Flushes and closes a result file, stopping the run when anything could not be written.
void closeResultFile(std::ofstream& out, const std::string& path);

}  // namespace pairlab
