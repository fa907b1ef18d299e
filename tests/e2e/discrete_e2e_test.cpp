// The discrete data-file road through the real binary in a temporary directory.
#include <gtest/gtest.h>

#include <numeric>
#include <regex>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;

class DiscreteRuns : public ::testing::Test {
 protected:
  void SetUp() override { work = makeTempDir(); }
  void TearDown() override { fs::remove_all(work); }
  RunResult run(const std::vector<std::string>& args) { return runBinary(args, work); }
  fs::path work;
};

// Sum of the matings table of a data file.
double totalMatings(const fs::path& file) {
  const std::vector<std::string> lines = linesFrom(file, 1);
  auto at = std::find(lines.begin(), lines.end(), "# matings by rows (females)");
  double total = 0;
  for (++at; at != lines.end(); ++at) {
    std::istringstream row(*at);
    double v;
    while (row >> v) total += v;
  }
  return total;
}

TEST_F(DiscreteRuns, DefaultRunWritesTheExpectedFile) {
  const RunResult r = run({});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_match(r.output, std::regex("\n\nSeed: [0-9]+\n")));
  const fs::path file =
      work / "Out_Pairlab_0_a1_U_sample100_N500_MPF0.1/Pairlab_D_M0_a1_U500_1.txt";
  ASSERT_EQ(listFiles(work), std::vector<std::string>{fs::relative(file, work).string()});
  const std::vector<std::string> lines = linesFrom(file, 1);
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("##[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]{2} "
                                                    "[0-9:]{8} [0-9]{4}")));
  const std::vector<std::string> rest(lines.begin() + 1, lines.end());
  const std::vector<std::string> expected{
      "",
      "##------------------------------------------------",
      "##Pairlab",
      "##---------------------------------------------------------------------",
      "##",
      "##Pairlab: stochastic simulation of mate choice\t\t\t",
      "##Documentation and citation: see README.md of the distribution\t\t\t\t",
      "##---------------------------------------------------------------------",
      "",
      "##",
      "# format number",
      "0",
      "# num of types",
      "2",
      "#premating male numbers",
      "125.0\t125.0\t",
      "#premating female numbers",
      "125.0\t125.0\t",
      "# matings by rows (females)",
      "25.0\t25.0\t",
      "25.0\t25.0\t"};
  EXPECT_EQ(rest, expected);
}

TEST_F(DiscreteRuns, IndividualEncounterFilesEachHoldTheWholeSample) {
  ASSERT_EQ(run({"-numfiles", "3", "-model", "-1", "-fixseed", "21"}).status, 0);
  const fs::path dir = work / "Out_Pairlab_iEM_1_a1.25_U_sample100_N500_MPF0.1";
  for (int n = 1; n <= 3; ++n)
    EXPECT_EQ(totalMatings(dir / ("Pairlab_D_iEM_M1_a1.25_U500_" + std::to_string(n) + ".txt")),
              100.0);
  EXPECT_EQ(listFiles(dir).size(), 3u);
}

TEST_F(DiscreteRuns, ShiftOffsetsTheFileNumbers) {
  ASSERT_EQ(run({"-numfiles", "2", "-shift", "10", "-model", "-2", "-fixseed", "1"}).status, 0);
  EXPECT_EQ(listFiles(work / "Out_Pairlab_iEM_2_a1.25_U_sample100_N500_MPF0.1"),
            (std::vector<std::string>{"Pairlab_D_iEM_M2_a1.25_U500_11.txt",
                                      "Pairlab_D_iEM_M2_a1.25_U500_12.txt"}));
}

TEST_F(DiscreteRuns, WithReplacementAndNoDriftWritesOneFileAndWarns) {
  const RunResult r = run({"-numfiles", "5"});
  EXPECT_EQ(r.status, 0);
  const std::string message =
      "The number of files has been changed to 1 because there is no drift, the process is "
      "with replacement and the frequencies are uniform\n";
  EXPECT_NE(r.output.find(message + "\n"), std::string::npos);
  EXPECT_EQ(readFile(work / "Pairlab.warning"), message + "\n");
  EXPECT_EQ(listFiles(work / "Out_Pairlab_0_a1_U_sample100_N500_MPF0.1").size(), 1u);
}

TEST_F(DiscreteRuns, RandomFrequenciesGetTheirOwnWarning) {
  const RunResult r = run({"-numfiles", "5", "-uniform", "0", "-fixseed", "3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(work / "Pairlab.warning"),
            "The number of files has been changed to 1 because there is no drift and the "
            "process is with replacement.\n\n");
}

TEST_F(DiscreteRuns, FormatFifteenWritesProportions) {
  ASSERT_EQ(run({"-format", "15", "-numfiles", "3", "-model", "-1", "-fixseed", "8"}).status, 0);
  const fs::path dir = work / "Out_Pairlab_iEM_1_a1.25_U_sample100_N500_MPF0.1";
  for (const std::string& name : listFiles(dir)) {
    const std::vector<std::string> lines = linesFrom(dir / name, 12);
    EXPECT_EQ(lines[1], "15");
    EXPECT_EQ(lines[3], "2\t2");
    EXPECT_EQ(lines[5], "0.5\t0.5\t");
    EXPECT_EQ(lines[7], "0.5\t0.5\t");
    EXPECT_EQ(totalMatings(dir / name), 100.0);
  }
}

TEST_F(DiscreteRuns, UnequalTypeNumbersSwitchToFormatTwo) {
  ASSERT_EQ(run({"-femtypes", "2", "-maletypes", "3"}).status, 0);
  const std::vector<std::string> lines =
      linesFrom(work / "Out_Pairlab_0_a1_U_sample100_N500_MPF0.1/Pairlab_D_M0_a1_U500_1.txt", 12);
  EXPECT_EQ(lines[1], "2");
  EXPECT_EQ(lines[3], "2\t3");
}

TEST_F(DiscreteRuns, TooSmallACapacityStopsWithItAsStatus) {
  RunResult r = run({"-model", "1", "-matings", "70000"});
  EXPECT_EQ(r.status, 62500 % 256);
  EXPECT_NE(r.output.find("\nToo few population males or females (62500) for too many matings "
                          "(70000)\n\n"),
            std::string::npos);
  EXPECT_EQ(readFile(work / "Pairlab.err"),
            "\nToo few population males or females (62500) for too many matings (70000)\n\n");
  r = run({"-model", "-1", "-matings", "300"});
  EXPECT_EQ(r.status, 250);
  EXPECT_FALSE(fs::exists(work / "Out_Pairlab_iEM_1_a1.25_U_sample300_N500_MPF0.1"));
}

TEST_F(DiscreteRuns, ACapacityWhoseLowByteIsZeroStillFails) {
  // -N 32: 16 females, 16 males, capacity 256 with replacement: 256 would exit as 0.
  const RunResult r = run({"-N", "32", "-model", "1", "-matings", "300"});
  EXPECT_EQ(r.status, 1);
}

TEST_F(DiscreteRuns, AFixedSeedReproducesEveryFile) {
  const std::vector<std::string> args{"-model", "-20", "-MRmax", "40",       "-numfiles",
                                      "3",      "-N",  "300",    "-fixseed", "99"};
  ASSERT_EQ(run(args).status, 0);
  const fs::path first = work / "first";
  fs::create_directory(first);
  const fs::path second = work / "second";
  fs::create_directory(second);
  ASSERT_EQ(runBinary(args, first).status, 0);
  ASSERT_EQ(runBinary(args, second).status, 0);
  const fs::path dir = outputDirectory(first);
  for (const std::string& name : listFiles(dir))
    EXPECT_EQ(linesFrom(dir / name, 2), linesFrom(outputDirectory(second) / name, 2)) << name;
}

TEST_F(DiscreteRuns, RerunningWithThePrintedSeedGivesTheSameFiles) {
  const std::vector<std::string> args{"-model", "-3", "-choicefactor", "2", "-numfiles", "2"};
  const fs::path clock = work / "clock";
  fs::create_directory(clock);
  const RunResult r = runBinary(args, clock);
  ASSERT_EQ(r.status, 0);
  std::smatch seed;
  ASSERT_TRUE(std::regex_search(r.output, seed, std::regex("Seed: (-?[0-9]+)")));
  std::vector<std::string> fixed = args;
  fixed.insert(fixed.end(), {"-fixseed", seed[1].str()});
  const fs::path again = work / "again";
  fs::create_directory(again);
  ASSERT_EQ(runBinary(fixed, again).status, 0);
  const fs::path dir = outputDirectory(clock);
  for (const std::string& name : listFiles(dir))
    EXPECT_EQ(linesFrom(dir / name, 2), linesFrom(outputDirectory(again) / name, 2)) << name;
}

TEST_F(DiscreteRuns, AnOutputDirectoryThatCannotBeCreatedFails) {
  writeFile(work / "Out_Pairlab_0_a1_U_sample100_N500_MPF0.1", "in the way");
  const RunResult r = run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("Could not create the output directory "
                          "Out_Pairlab_0_a1_U_sample100_N500_MPF0.1: File exists"),
            std::string::npos);
  EXPECT_NE(readFile(work / "Pairlab.err").find("Could not create the output directory"),
            std::string::npos);
}

TEST_F(DiscreteRuns, AResultFileThatCannotBeWrittenFails) {
  const fs::path dir = work / "Out_Pairlab_0_a1_U_sample100_N500_MPF0.1";
  fs::create_directories(dir / "Pairlab_D_M0_a1_U500_1.txt");  // a directory in the way
  const RunResult r = run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find(
                "Could not write the result file " +
                std::string("Out_Pairlab_0_a1_U_sample100_N500_MPF0.1/Pairlab_D_M0_a1_U500_1.txt")),
            std::string::npos);
}

TEST_F(DiscreteRuns, UnknownOptionsStopBeforeAnythingIsWritten) {
  const RunResult r = run({"-foo", "3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "\n ERROR: -foo is not a valid command line parameter\n");
  EXPECT_TRUE(listFiles(work).empty());
}

TEST_F(DiscreteRuns, RowsTheUserModelLeavesAtZeroStopTheRunWhenOnlyTheyRemain) {
  writeFile(work / "PairlabUserModel.txt", "3 2\n1 2\n2 1\n");
  const RunResult r = run({"-model", "-5", "-matings", "200", "-fixseed", "4"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("(condition M>0)"), std::string::npos);
  EXPECT_NE(readFile(work / "Pairlab.err").find("condition M>0"), std::string::npos);
}

TEST_F(DiscreteRuns, ADriftRunWithRandomFrequenciesAndOddPopulation) {
  ASSERT_EQ(run({"-N", "301", "-osr", "1.5", "-uniform", "0", "-model", "-40", "-choicefactor",
                 "0.5", "-femtypes", "3", "-maletypes", "3", "-numfiles", "4", "-fixseed", "6"})
                .status,
            0);
  const fs::path dir = work / "Out_Pairlab_massEM_4_a0.5_driftnonU_sample100_N301_MPF0.1";
  ASSERT_EQ(listFiles(dir).size(), 4u);
  for (const std::string& name : listFiles(dir)) EXPECT_EQ(totalMatings(dir / name), 100.0);
}

}  // namespace
}  // namespace pairlab
