// The output directory and result files. A result file is either complete or absent: its text
// goes to a temporary file beside it, which is renamed into place only when everything has been
// written. Failures stop the run with a message naming the path and the system's reason: a
// sweep must never believe that a run which wrote nothing succeeded.
#pragma once

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

// Creates a folder and the folders above it that are missing; stops the run when it cannot.
void createParentFolders(const std::string& path);

// The lock file of an output directory: one run at a time writes into it.
inline constexpr const char* kLockFile = ".pairlab.lock";

// Takes the exclusive lock of the directory (released by the system when the process ends) and
// returns its descriptor; stops the run when another run holds it.
int lockOutputDirectory(const std::string& directory);

// One result file, written whole or not at all.
class ResultFile {
 public:
  // Creates the temporary file path + ".tmp"; stops the run when it cannot.
  explicit ResultFile(std::string path);
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;
  // Without commit (a stop while writing) the temporary file is removed.
  ~ResultFile();

  // The text still to be written: append to it, and call flushIfLarge now and then.
  std::string& text() { return buffer_; }
  void flushIfLarge() {
    if (buffer_.size() >= kChunk) flush();
  }
  // Writes the rest, closes the file and renames it into place; stops the run on failure.
  void commit();

 private:
  static constexpr std::size_t kChunk = 1 << 20;
  void flush();
  [[noreturn]] void fail(int error);
  void discard();

  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  std::string buffer_;
};

// Appends rows (whole lines) to a table, writing the header line first when the table is new or
// empty, in one write; on failure the table is cut back to its former size and the run stops.
void appendTableRows(const std::string& path, const std::string& header, const std::string& rows);

}  // namespace pairlab
