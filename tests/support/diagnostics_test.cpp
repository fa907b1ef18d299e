#include "support/diagnostics.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::readFile;
using testing::writeFile;

class Diagnostics : public InTempDir {};

TEST_F(Diagnostics, AppendKeepsEarlierContentAndAddsOneLinePerMessage) {
  writeFile("Pairlab.err", "earlier\n");
  errormsg(1, "Pairlab.err", "first", true, false);
  errormsg(1, "Pairlab.err", "second", true, false);
  EXPECT_EQ(readFile("Pairlab.err"), "earlier\nfirst\nsecond\n");
}

TEST_F(Diagnostics, WithoutAppendTheFileIsTruncated) {
  writeFile("Pairlab_ERROR.log", "old content\n");
  errormsg(1, "Pairlab_ERROR.log", "new", false, false);
  EXPECT_EQ(readFile("Pairlab_ERROR.log"), "new\n");
}

TEST_F(Diagnostics, StopThrowsTheConvertedStatusAfterWriting) {
  try {
    errormsg(0.9, "Pairlab.err", "factor", true, true);
    FAIL() << "errormsg with stop set must not return";
  } catch (const Stop& stop) {
    reportStop(stop);
    EXPECT_EQ(stop.status, 0);
  }
  EXPECT_EQ(readFile("Pairlab.err"), "factor\n");
}

TEST_F(Diagnostics, StopWritesEvenWhenTheFileCannotBeOpened) {
  EXPECT_STOPS(errormsg(3, "no-such-dir/Pairlab.err", "lost", true, true));
}

TEST(StopStatus, ConvertsEachValueType) {
  EXPECT_EQ(stopStatus(true), 1);
  EXPECT_EQ(stopStatus(false), 0);
  EXPECT_EQ(stopStatus(0.9), 0);
  EXPECT_EQ(stopStatus(-2.5), -2);
  EXPECT_EQ(stopStatus(62500), 62500);
  EXPECT_EQ(stopStatus(std::uint64_t{0x100000005}), 5);  // low 32 bits
  EXPECT_EQ(stopStatus(std::numeric_limits<double>::quiet_NaN()), 1);
  EXPECT_EQ(stopStatus(1e300), std::numeric_limits<int>::max());
  EXPECT_EQ(stopStatus(-1e300), std::numeric_limits<int>::min());
}

TEST(ProcessExitStatus, AStopNeverReportsSuccess) {
  EXPECT_EQ(processExitStatus(0), 1);
  EXPECT_EQ(processExitStatus(256), 1);
  EXPECT_EQ(processExitStatus(62500), 62500);
  EXPECT_EQ(processExitStatus(-2), -2);
  EXPECT_EQ(processExitStatus(11), 11);
}

TEST_F(Diagnostics, StopRunPrintsAndAppendsToTheErrorFile) {
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(stopRun("message\n", 7));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "message\n\n");
  EXPECT_EQ(readFile("Pairlab.err"), "message\n\n");
}

TEST_F(Diagnostics, QuietStopWritesOnlyTheErrorFile) {
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(stopRunQuiet("Wrong < 1 choice-factor for model 3", 0.5));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(readFile("Pairlab.err"), "Wrong < 1 choice-factor for model 3\n");
}

TEST_F(Diagnostics, LogStopTruncatesTheErrorLog) {
  writeFile("Pairlab_ERROR.log", "stale\n");
  ::testing::internal::CaptureStdout();
  try {
    stopRunLog("Invalid arguments in gammq", 11);
  } catch (const Stop& stop) {
    reportStop(stop);
    EXPECT_EQ(stop.status, 11);
  }
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(readFile("Pairlab_ERROR.log"), "Invalid arguments in gammq\n");
}

TEST_F(Diagnostics, WarningsGoOnAndAppend) {
  ::testing::internal::CaptureStdout();
  warnRun("careful\n");
  warnRun("again\n");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "careful\n\nagain\n\n");
  EXPECT_EQ(readFile("Pairlab.warning"), "careful\n\nagain\n\n");
}

}  // namespace
}  // namespace pairlab

namespace pairlab {
namespace {

int checkPositive(int n) {
  PAIRLAB_CHECK(n > 0, "n " + std::to_string(n));
  return n;
}

// Every kind of stop goes through reportStop: what reaches standard output and which file.
TEST_F(Diagnostics, EveryStopIsReportedWhereItBelongs) {
  struct Case {
    std::function<void()> raise;
    std::string out;
    const char* file;
    std::string recorded;
    int exitStatus;
  };
  const Case cases[] = {
      {[] { rejectInput("wrong format"); }, "wrong format", nullptr, "", 1},
      {[] { stopUnreadable("PairlabUserFreqs.txt"); },
       "Could not open file: PairlabUserFreqs.txt\n", nullptr, "", 1},
      {[] { stopRunLog("bad\n", 9); }, "bad\n\n", kErrorLogFile, "bad\n\n", 9},
      {[] { checkPositive(-3); },
       "\nInternal error in checkPositive: the condition n > 0 does not hold (n -3). This is a "
       "fault of the program, not of its input: please report it.\n\n",
       kErrorFile, "", 1},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(kErrorFile);
    std::filesystem::remove(kErrorLogFile);
    ::testing::internal::CaptureStdout();
    int status = -1;
    try {
      c.raise();
    } catch (const Stop& stop) {
      status = reportStop(stop);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(status, c.exitStatus);
    if (c.file != nullptr)
      EXPECT_EQ(readFile(c.file), c.recorded.empty() ? c.out : c.recorded);
    else
      EXPECT_FALSE(std::filesystem::exists(kErrorFile) || std::filesystem::exists(kErrorLogFile));
  }
  EXPECT_EQ(checkPositive(2), 2);
}

}  // namespace
}  // namespace pairlab
