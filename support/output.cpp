#include "support/output.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/diagnostics.hpp"
#include "support/interrupt.hpp"

namespace pairlab {

namespace {

std::string systemReason(int error) {
  return error != 0 ? std::string(std::strerror(error)) : std::string("unknown error");
}

[[noreturn]] void stopUnwritable(const std::string& path, int error) {
  stopRun("\nCould not write the result file " + path + ": " + systemReason(error) + "\n", 1);
}

// Writes all of text; false (errno set) when the system refuses part of it.
bool writeAll(int fd, const char* text, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, text, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    text += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
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

void createParentFolders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error || !std::filesystem::is_directory(path, error))
    stopRun("\nCould not create the folder " + path + " for the output directory: " +
                (error ? error.message() : std::string("it is not a folder")) + "\n",
            1);
}

int lockOutputDirectory(const std::string& directory) {
  const std::string path = directory + "/" + kLockFile;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) stopUnwritable(path, errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
  const int error = errno;
  ::close(fd);
  if (error == EWOULDBLOCK)
    stopRun("\nThe output directory " + directory +
                " is in use by another run (it holds the lock " + path +
                "): concurrent runs need separate working directories\n",
            1);
  stopUnwritable(path, error);
}

ResultFile::ResultFile(std::string path) : path_(std::move(path)), temporary_(path_ + ".tmp") {
  // Registered before it exists, so that an interruption can never leave it behind.
  registerTemporaryFile(temporary_.c_str());
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int error = errno;
    unregisterTemporaryFile();
    stopUnwritable(path_, error);
  }
}

ResultFile::~ResultFile() {
  if (fd_ >= 0) discard();
}

void ResultFile::discard() {
  ::close(fd_);
  fd_ = -1;
  ::unlink(temporary_.c_str());
  unregisterTemporaryFile();
}

void ResultFile::fail(int error) {
  discard();
  stopUnwritable(path_, error);
}

void ResultFile::flush() {
  if (!writeAll(fd_, buffer_.data(), buffer_.size())) fail(errno);
  buffer_.clear();
}

void ResultFile::commit() {
  flush();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || ::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary_.c_str());
    unregisterTemporaryFile();
    stopUnwritable(path_, error);
  }
  unregisterTemporaryFile();
}

void appendTableRows(const std::string& path, const std::string& header, const std::string& rows) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) stopUnwritable(path, errno);
  struct stat info {};
  const off_t before = ::fstat(fd, &info) == 0 ? info.st_size : 0;
  const std::string text = before == 0 ? header + rows : rows;
  if (!writeAll(fd, text.data(), text.size())) {
    const int error = errno;
    if (::ftruncate(fd, before) != 0) {
      // The table keeps a partial row; the stop below says the run failed.
    }
    ::close(fd);
    stopUnwritable(path, error);
  }
  if (::close(fd) != 0) stopUnwritable(path, errno);
}

}  // namespace pairlab
