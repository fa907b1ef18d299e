#include "support/test_helpers.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/driver.hpp"

namespace pairlab::testing {

fs::path makeTempDir() {
  std::string pattern = (fs::temp_directory_path() / "pairlab-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return fs::path(pattern);
}

void InTempDir::SetUp() {
  dir = makeTempDir();
  previous_ = fs::current_path();
  fs::current_path(dir);
}

void InTempDir::TearDown() {
  fs::current_path(previous_);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

RunResult runBinary(const std::vector<std::string>& args, const fs::path& workdir) {
  const fs::path outFile = workdir / ".stdout.capture", errFile = workdir / ".stderr.capture";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(workdir.c_str()) != 0) _exit(127);
    const int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int efd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || efd < 0) _exit(127);
    dup2(fd, STDOUT_FILENO);
    dup2(efd, STDERR_FILENO);
    close(fd);
    close(efd);
    std::vector<char*> argv;
    std::string program = PAIRLAB_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.output = readFile(outFile);
  result.errors = readFile(errFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return result;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> listFiles(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (name == "Pairlab_runs.tsv" || name == ".pairlab.lock") continue;  // run bookkeeping
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

fs::path outputDirectory(const fs::path& workdir) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(workdir))
    if (entry.is_directory() && entry.path().filename().string().rfind("Out_", 0) == 0)
      found.push_back(entry.path());
  EXPECT_EQ(found.size(), 1u) << "expected exactly one output directory in " << workdir;
  return found.empty() ? fs::path() : found.front();
}

std::vector<std::string> linesFrom(const fs::path& path, std::size_t from) {
  std::vector<std::string> lines = splitLines(readFile(path));
  if (from > 1) lines.erase(lines.begin(), lines.begin() + std::min(lines.size(), from - 1));
  return lines;
}

RunResult runInProcess(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"pairlab"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  ::testing::internal::CaptureStdout();
  RunResult result;
  result.status = runPairlab(static_cast<int>(argv.size()), argv.data());
  result.output = ::testing::internal::GetCapturedStdout();
  return result;
}

}  // namespace pairlab::testing
