// Golden runs: each directory under tests/golden holds a named case:
//   args       the command line (words separated by blanks)
//   input/     files copied into the working directory before the run (optional)
//   expected/  stdout.txt, status.txt and every file the run leaves behind
// Result files are compared whole except their first line (the local time of the banner).
// Without -fixseed the seed on standard output comes from the clock and is masked.
// PAIRLAB_UPDATE_GOLDEN=1 rewrites the expected files from the current binary; every update
// must be checked by hand before it is committed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;

std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(PAIRLAB_GOLDEN_DIR))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

// Result files open with the local time; diagnostics files and standard output do not.
bool isResultFile(const std::string& relative) { return relative.rfind("Out_", 0) == 0; }

std::string comparable(const std::string& relative, const std::string& content) {
  if (!isResultFile(relative)) return content;
  const std::size_t end = content.find('\n');
  return end == std::string::npos ? std::string() : content.substr(end + 1);
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, RunMatchesTheExpectedFiles) {
  const fs::path caseDir = fs::path(PAIRLAB_GOLDEN_DIR) / GetParam();
  const std::vector<std::string> args = words(readFile(caseDir / "args"));
  const fs::path work = makeTempDir();
  std::vector<std::string> inputs;
  if (fs::exists(caseDir / "input"))
    for (const auto& entry : fs::directory_iterator(caseDir / "input")) {
      fs::copy_file(entry.path(), work / entry.path().filename());
      inputs.push_back(entry.path().filename().string());
    }

  const RunResult run = runBinary(args, work);
  std::string output = run.output;
  if (std::find(args.begin(), args.end(), "-fixseed") == args.end())
    output = std::regex_replace(output, std::regex("Seed: [0-9]+"), "Seed: <clock>");
  writeFile(work / "stdout.txt", output);
  writeFile(work / "status.txt", std::to_string(run.status) + "\n");
  for (const std::string& name : inputs) fs::remove(work / name);

  const fs::path expectedDir = caseDir / "expected";
  if (const char* update = std::getenv("PAIRLAB_UPDATE_GOLDEN"); update && *update == '1') {
    fs::remove_all(expectedDir);
    fs::create_directories(expectedDir);
    fs::copy(work, expectedDir, fs::copy_options::recursive);
  }

  const std::vector<std::string> actualFiles = listFiles(work);
  const std::vector<std::string> expectedFiles = listFiles(expectedDir);
  EXPECT_EQ(actualFiles, expectedFiles);
  for (const std::string& name : expectedFiles) {
    if (!fs::exists(work / name)) continue;
    EXPECT_EQ(comparable(name, readFile(work / name)),
              comparable(name, readFile(expectedDir / name)))
        << "case " << GetParam() << ", file " << name;
  }
  fs::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
}  // namespace pairlab
