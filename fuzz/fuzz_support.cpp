#include "fuzz_support.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/diagnostics.hpp"

namespace pairlab::fuzz {

namespace fs = std::filesystem;

namespace {
fs::path privateDirectory;

void removePrivateDirectory() {
  std::error_code ignored;
  fs::remove_all(privateDirectory, ignored);
}
}  // namespace

void enterPrivateDirectory() {
  if (!privateDirectory.empty()) return;
  // Memory-backed when the system has it: every input is written to a file and read back.
  std::error_code noShm;
  const fs::path base =
      fs::is_directory("/dev/shm", noShm) ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string pattern = (base / "pairlab-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) fuzzFinding("cannot create a temporary directory");
  privateDirectory = pattern;
  fs::current_path(privateDirectory);
  std::atexit(removePrivateDirectory);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, STDOUT_FILENO);
}

std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

std::string_view takeFirstLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  const std::string_view first = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return first;
}

void writeUserFile(const char* filename, std::string_view content) {
  std::ofstream out(filename, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) fuzzFinding(std::string("cannot write ") + filename);
}

void removeDiagnostics() {
  for (const char* file : {kErrorFile, kWarningFile, kErrorLogFile}) std::remove(file);
}

void fuzzFinding(const std::string& what) {
  std::fprintf(stderr, "\nFUZZ FINDING: %s\n", what.c_str());
  std::abort();
}

}  // namespace pairlab::fuzz
