// Shared test tools: a temporary working directory, running the real binary, reading files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/diagnostics.hpp"

// Runs the statement, which must stop the run, and writes the stop's message where the driver
// would (standard output, diagnostics file).
#define EXPECT_STOPS(statement)                                \
  do {                                                         \
    try {                                                      \
      statement;                                               \
      ADD_FAILURE() << "the run was not stopped: " #statement; \
    } catch (const ::pairlab::Stop& stopped) {                 \
      ::pairlab::reportStop(stopped);                          \
    }                                                          \
  } while (false)

namespace pairlab::testing {

namespace fs = std::filesystem;

// A fresh directory that becomes the working directory for the test (diagnostics files and
// output directories land there) and is removed afterwards.
class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  fs::path dir;

 private:
  fs::path previous_;
};

fs::path makeTempDir();

struct RunResult {
  int status = -1;     // exit status of the process
  std::string output;  // everything it wrote on standard output
  std::string errors;  // and on standard error (runBinary only)
};

// Runs the pairlab binary with args in directory workdir.
RunResult runBinary(const std::vector<std::string>& args, const fs::path& workdir);

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& content);
std::vector<std::string> splitLines(const std::string& text);

// Relative paths of all regular files below root, sorted, without the run ledger and the lock
// file of output directories.
std::vector<std::string> listFiles(const fs::path& root);

// The one output directory (Out_...) created in workdir; fails the test if there is not exactly
// one.
fs::path outputDirectory(const fs::path& workdir);

// The lines of a result file from line `from` (1-based) on.
std::vector<std::string> linesFrom(const fs::path& path, std::size_t from);

// Runs the library's entry point in the current directory, capturing standard output.
RunResult runInProcess(const std::vector<std::string>& args);

}  // namespace pairlab::testing
