#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "support/banner.hpp"
#include "support/diagnostics.hpp"
#include "support/output.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::readFile;
using testing::splitLines;

TEST(Banner, TimeHasTheAsctimeLayout) {
  const std::string now = asctimeNow();
  EXPECT_EQ(now.size(), 24u);
  EXPECT_TRUE(
      std::regex_match(now, std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] "
                                       "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
      << now;
}

TEST(Banner, MarkedBannerLines) {
  std::string out;
  writeBanner(out, "##", "Pairlab", "note");
  const std::vector<std::string> lines = splitLines(out);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0].substr(0, 2), "##");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "##" + std::string(48, '-'));
  EXPECT_EQ(lines[3], "##Pairlab");
  EXPECT_EQ(lines[4], "##" + std::string(69, '-'));
  EXPECT_EQ(lines[5], "##");
  EXPECT_TRUE(lines[6].starts_with("##") && lines[6].ends_with("\t\t\t"));
  EXPECT_FALSE(lines[6].ends_with("\t\t\t\t"));
  EXPECT_TRUE(lines[7].starts_with("##") && lines[7].ends_with("\t\t\t\t"));
  EXPECT_EQ(lines[8], "##" + std::string(69, '-'));
  EXPECT_EQ(lines[9], "");
  EXPECT_EQ(lines[10], "##note");
}

TEST(Banner, PlainBannerHasEmptyLinesWhereTheMarkerStood) {
  std::string out;
  writeBanner(out, "", "Pairlab", "Preference function: x");
  const std::vector<std::string> lines = splitLines(out);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[2], std::string(48, '-'));
  EXPECT_EQ(lines[3], "Pairlab");
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(lines[10], "Preference function: x");
}

class OutputFiles : public InTempDir {};

TEST_F(OutputFiles, AnExistingDirectoryIsReused) {
  createOutputDirectory("Out_x");
  createOutputDirectory("Out_x");
  EXPECT_TRUE(std::filesystem::is_directory("Out_x"));
}

TEST_F(OutputFiles, ADirectoryThatCannotBeCreatedStopsTheRun) {
  testing::writeFile("Out_taken", "a file where the directory should go");
  ::testing::internal::CaptureStdout();
  try {
    createOutputDirectory("Out_taken");
    FAIL() << "expected a stop";
  } catch (const Stop& stop) {
    reportStop(stop);
    EXPECT_EQ(stop.status, 1);
  }
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Out_taken"), std::string::npos);
  EXPECT_NE(printed.find("File exists"), std::string::npos);
  EXPECT_NE(readFile("Pairlab.err").find("Could not create the output directory Out_taken"),
            std::string::npos);
}

TEST_F(OutputFiles, AResultFileThatCannotBeWrittenStopsTheRun) {
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(ResultFile("missing-dir/result.txt"));
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("missing-dir/result.txt: No such file or directory"), std::string::npos);
}

// A result file appears whole when committed, and not at all when the run stops before.
TEST_F(OutputFiles, ResultFilesAreWholeOrAbsent) {
  testing::writeFile("r.txt", "old old old\n");
  {
    ResultFile file("r.txt");
    file.text() += "new\n";
    EXPECT_TRUE(std::filesystem::exists("r.txt.tmp"));
    file.commit();
  }
  EXPECT_EQ(readFile("r.txt"), "new\n");
  try {
    ResultFile file("s.txt");
    file.text() += std::string(3 << 20, 'x');
    file.flushIfLarge();
    throw Stop{"stopped while writing", 1, true, true, "", true};
  } catch (const Stop&) {
  }
  EXPECT_EQ(testing::listFiles("."), (std::vector<std::string>{"r.txt"}));
}

TEST_F(OutputFiles, TablesGetTheirHeaderOnce) {
  appendTableRows("t.tsv", "a\tb\n", "1\t2\n");
  appendTableRows("t.tsv", "a\tb\n", "3\t4\n5\t6\n");
  EXPECT_EQ(readFile("t.tsv"), "a\tb\n1\t2\n3\t4\n5\t6\n");
}

TEST_F(OutputFiles, OneRunAtATimeInAnOutputDirectory) {
  createOutputDirectory("Out_x");
  const int held = lockOutputDirectory("Out_x");
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(lockOutputDirectory("Out_x"));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                "The output directory Out_x is in use by another run"),
            std::string::npos);
  close(held);
  close(lockOutputDirectory("Out_x"));  // free again
}

}  // namespace
}  // namespace pairlab
