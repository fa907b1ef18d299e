#include "support/output.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "support/diagnostics.hpp"

namespace pairlab {

namespace {
std::string systemReason(int error) {
  return error != 0 ? std::string(std::strerror(error)) : std::string("unknown error");
}
}  // namespace

void createOutputDirectory(const std::string& name) {
  errno = 0;
  if (::mkdir(name.c_str(), 0777) == 0) return;
  const int error = errno;
  struct stat info {};
  if (error == EEXIST && ::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
  stopRun("\nCould not create the output directory " + name + ": " + systemReason(error) + "\n", 1);
}

std::ofstream openResultFile(const std::string& path) {
  errno = 0;
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  if (!out) {
    const int error = errno;
    stopRun("\nCould not write the result file " + path + ": " + systemReason(error) + "\n", 1);
  }
  return out;
}

void closeResultFile(std::ofstream& out, const std::string& path) {
  errno = 0;
  out.flush();
  out.close();
  if (out.fail()) {
    const int error = errno;
    stopRun("\nCould not write the result file " + path + ": " + systemReason(error) + "\n", 1);
  }
}

}  // namespace pairlab
