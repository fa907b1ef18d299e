// Creation of the output directory and of result files. Failures stop the run with a message
// naming the path and the system's reason: a sweep must never believe that a run which wrote
// nothing succeeded.
#pragma once

#include <fstream>
#include <string>

namespace pairlab {

// The names the driver owns for the whole run: the output directory (to which each road appends
// its suffixes before creating it), the file prefix and the base path (directory + "/").
struct OutputNames {
  std::string directory = "Out_Pairlab";
  std::string prefix;
  std::string basePath;
};

// Creates the directory (relative to the working directory); an existing directory is reused.
void createOutputDirectory(const std::string& name);

// Opens a result file for writing from scratch (truncating an existing one).
std::ofstream openResultFile(const std::string& path);

// Flushes and closes a result file, stopping the run when anything could not be written.
void closeResultFile(std::ofstream& out, const std::string& path);

}  // namespace pairlab
