// The continuous-trait road through the real binary in a temporary directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using Strings = std::vector<std::string>;

class ContinuousRuns : public ::testing::Test {
 protected:
  void SetUp() override { work = makeTempDir(); }
  void TearDown() override { fs::remove_all(work); }
  RunResult run(Strings args) {
    args.insert(args.begin(), {"-continuous", "1"});
    return runBinary(args, work);
  }
  // The lines of a result file from the line after the banner's title on, or of a
  // diagnostics file.
  Strings lines(const std::string& relative, std::size_t from = 1) {
    return linesFrom(work / relative, from);
  }
  // The value lines of the females (or males) in the phenotype distribution file.
  Strings phenotypes(const std::string& dir, const std::string& sex) {
    const Strings all = lines(dir + "/phenotypes.txt");
    auto begin = std::find(all.begin(), all.end(), "#" + sex) + 1;
    return Strings(begin, std::find(begin, all.end(), ""));
  }
  fs::path work;
};

double minOf(const Strings& values) {
  double m = 1e300;
  for (const std::string& v : values) m = std::min(m, std::stod(v));
  return m;
}
double maxOf(const Strings& values) {
  double m = -1e300;
  for (const std::string& v : values) m = std::max(m, std::stod(v));
  return m;
}

TEST_F(ContinuousRuns, CapacityOfTheEncounterProcesslLimitsTheSample) {
  const RunResult r = run({"-model", "-1", "-choice", "0.5", "-N", "100", "-matings", "60"});
  EXPECT_EQ(r.status, 50);
  EXPECT_NE(r.output.find("\nToo few population males or females (50) for too many matings "
                          "(60)\n\n"),
            std::string::npos);
  EXPECT_EQ(listFiles(work), Strings{"Pairlab.err"});
}

TEST_F(ContinuousRuns, ModelNumberChoosesFamilyAndEncounterProcess) {
  EXPECT_EQ(run({"-model", "12", "-fixseed", "1"}).output,
            "\n\nSeed: 1\nWrong model number 12\n\n");
  ASSERT_EQ(run({"-model", "-35", "-N", "40", "-matings", "5", "-fixseed", "1"}).status, 0);
  ASSERT_EQ(run({"-model", "4", "-gaussian", "0", "-N", "40", "-matings", "5"}).status, 0);
  const Strings files = listFiles(work);
  EXPECT_NE(std::find(files.begin(), files.end(),
                      "Out_Pairlab_massEM/Pairlab_C_n5_massEM_Log_a0_b1_1.txt"),
            files.end());
  EXPECT_NE(std::find(files.begin(), files.end(), "Out_Pairlab/Pairlab_C_n5_Log_a0_b1_1.txt"),
            files.end());
}

TEST_F(ContinuousRuns, ShiftNumbersTheFilesButNotTheConsoleLines) {
  const RunResult r = run({"-model", "-10", "-choice", "0.5", "-N", "40", "-matings", "6",
                           "-numfiles", "3", "-shift", "10", "-fixseed", "2"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "\n\nSeed: 2\n\nFile 1 done\n\nFile 2 done\n\nFile 3 done\n");
  EXPECT_EQ(listFiles(work / "Out_Pairlab_massEM"),
            Strings{"Pairlab_C_n6_massEM_FND_C0.5_s0.08_Dmax1_Correl.txt"});
  const Strings correl = lines(
      "Out_Pairlab_massEM/Pairlab_C_n6_massEM_FND_C0.5_s0.08_Dmax1_"
      "Correl.txt",
      20);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(
        correl[i].rfind(
            "Pairlab_C_n6_massEM_FND_C0.5_s0.08_Dmax1_" + std::to_string(11 + i) + ".txt\t", 0),
        0u);
}

TEST_F(ContinuousRuns, GaussianTraitsAreScaledIntoTheUnitIntervalExactly) {
  ASSERT_EQ(run({"-model", "1", "-choice", "0.5", "-writedistrib", "1", "-fixseed", "9"}).status,
            0);
  const Strings females = phenotypes("Out_Pairlab", "females");
  const Strings males = phenotypes("Out_Pairlab", "males");
  ASSERT_EQ(females.size(), 250u);
  ASSERT_EQ(males.size(), 250u);
  EXPECT_EQ(std::min(minOf(females), minOf(males)), 0.0);
  EXPECT_EQ(std::max(maxOf(females), maxOf(males)), 1.0);
  // The logistic family keeps the standard normal draws (in a folder of its own: the two runs
  // would write the same phenotypes.txt).
  ASSERT_EQ(
      run({"-model", "3", "-writedistrib", "1", "-fixseed", "9", "-outdir", "logistic"}).status, 0);
  EXPECT_LT(minOf(phenotypes("logistic/Out_Pairlab", "females")), -1.0);
}

TEST_F(ContinuousRuns, NegativeUserPhenotypesKeepTheirRange) {
  writeFile(work / "PairlabUserPhenotypes.txt", "# log sizes\n-3\n-2\n-2.5\n-1\n-4\n-2\n");
  ASSERT_EQ(run({"-model", "1", "-choice", "0.5", "-N", "6", "-matings", "5", "-userphenotypes",
                 "1", "-writedistrib", "1"})
                .status,
            0);
  // (t - (-4)) / 3: every value lands where the true range puts it.
  EXPECT_EQ(phenotypes("Out_Pairlab", "females"), (Strings{"0.333333", "0.666667", "0.5"}));
  EXPECT_EQ(phenotypes("Out_Pairlab", "males"), (Strings{"1", "0", "0.666667"}));

  writeFile(work / "PairlabUserPhenotypes.txt", "-2.5\n-2.5\n-2.5\n-2.5\n-2.5\n-2.5\n");
  const RunResult r =
      run({"-model", "1", "-choice", "0.5", "-N", "6", "-matings", "5", "-userphenotypes", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\nError: no phenotypic variation in the data\n"), std::string::npos);
}

TEST_F(ContinuousRuns, UnusableUserPhenotypesStopTheRunInOrder) {
  // A trait that is not a finite number stops the run at its line.
  for (const char* value : {"nan", "inf", "1e999"}) {
    writeFile(work / "PairlabUserPhenotypes.txt",
              std::string("1\n# two\n") + value + "\n2\n3\n4\n5\n");
    const RunResult r =
        run({"-model", "1", "-choice", "0.5", "-N", "6", "-matings", "5", "-userphenotypes", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(std::string("Wrong value in user phenotypes file "
                                        "PairlabUserPhenotypes.txt line 3: ") +
                            value + " is not a finite number"),
              std::string::npos)
        << r.output;
  }
}

TEST_F(ContinuousRuns, APopulationOfMillionsNeedsNoTableOfItsPairs) {
  // 2.25 x 10^12 pairs: a table of them would need 16.4 TiB; the run needs memory linear in N.
  const RunResult r = run({"-model", "1", "-choice", "0.5", "-N", "3000000", "-fixseed", "2"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("Not enough memory"), std::string::npos);
  EXPECT_EQ(listFiles(work).size(), 2u);  // the data file and the correlation file
}

TEST_F(ContinuousRuns, ImpatienceLeavesAGaussianRunUnchanged) {
  auto content = [&](const std::string& impatience) {
    fs::remove_all(work / "Out_Pairlab_iEM");
    EXPECT_EQ(run({"-model", "-2", "-choice", "0.4", "-N", "60", "-matings", "10", "-numfiles", "2",
                   "-writefiles", "1", "-impatience", impatience, "-fixseed", "5"})
                  .status,
              0);
    std::string all;
    for (const std::string& f : listFiles(work / "Out_Pairlab_iEM"))
      all += f + "\n" + readFile(work / "Out_Pairlab_iEM" / f).substr(25);
    return all;
  };
  EXPECT_EQ(content("0.5"), content("0"));
}

TEST_F(ContinuousRuns, BimodalTraitsWarnAndMarkTheirFiles) {
  ASSERT_EQ(run({"-model", "2", "-choice", "0.5", "-bimodal", "0.3", "1", "1", "-N", "20",
                 "-matings", "6", "-numfiles", "2", "-writefiles", "1"})
                .status,
            0);
  EXPECT_EQ(lines("Pairlab.warning"),
            (Strings{"",
                     "Warning: note that the value of the mean (1) and the standard "
                     "deviation (1) may not be enough to produce a bimodal distribution",
                     ""}));
  EXPECT_EQ(listFiles(work / "Out_Pairlab"),
            (Strings{"Pairlab_C_n6_BD03_C0.5_s0.08_Dmax1_1b.txt",
                     "Pairlab_C_n6_BD03_C0.5_s0.08_Dmax1_2b.txt",
                     "Pairlab_C_n6_BD03_C0.5_s0.08_Dmax1_bCorrel.txt"}));
  // The correlation file names the files without the "b".
  const Strings correl = lines("Out_Pairlab/Pairlab_C_n6_BD03_C0.5_s0.08_Dmax1_bCorrel.txt", 20);
  EXPECT_EQ(correl[0].rfind("Pairlab_C_n6_BD03_C0.5_s0.08_Dmax1_1.txt\t", 0), 0u);
}

// The data files of a run, keyed by name with the given piece of the prefix removed, each
// without its time line.
std::map<std::string, std::string> dataFiles(const fs::path& dir, const std::string& piece) {
  std::map<std::string, std::string> files;
  for (const std::string& name : listFiles(dir)) {
    if (name.find("Correl") != std::string::npos) continue;
    std::string key = name;
    if (const auto at = key.find(piece); !piece.empty() && at != std::string::npos)
      key.erase(at, piece.size());
    const std::string content = readFile(dir / name);
    files[key] = content.substr(content.find('\n'));
  }
  return files;
}

TEST_F(ContinuousRuns, AgingRunsOnlyWithAPositiveScaleAndAThresholdOfAtLeastZero) {
  for (Strings age : {Strings{"0", "2", "0"}, Strings{"1", "2", "-1"}, Strings{"1", "2", "0"}}) {
    fs::remove_all(work / "Out_Pairlab");
    ASSERT_EQ(run({"-model", "1", "-choice", "0.5", "-N", "20", "-matings", "5", "-age_params",
                   age[0], age[1], age[2]})
                  .status,
              0);
    EXPECT_EQ(listFiles(work / "Out_Pairlab")[0],
              age[0] == "1" && age[2] == "0"
                  ? "Pairlab_C_n5_Age_a1_b2_g0_FND_C0.5_s0.08_Dmax1_1.txt"
                  : "Pairlab_C_n5_FND_C0.5_s0.08_Dmax1_1.txt");
  }
}

// Nobody can die before 22027 encounters with g = 10, so where the road with aging draws and
// decides as the road without it, the files must be the same.
TEST_F(ContinuousRuns, AgingThatCannotKillLeavesTheFilesUnchanged) {
  const Strings cases[] = {{"-model", "-1", "-choice", "0.5"},
                           {"-model", "-10", "-choice", "-0.5", "-onechoosy", "1"},
                           {"-model", "2", "-choice", "0.5"},
                           {"-model", "-30", "-logistic_params", "0", "2", "-impatience", "0.1"},
                           {"-model", "-2", "-choice", "0"}};
  for (const Strings& model : cases) {
    Strings args = model;
    args.insert(args.end(), {"-N", "60", "-matings", "15", "-numfiles", "3", "-writefiles", "1",
                             "-fixseed", "12"});
    fs::remove_all(work);
    fs::create_directories(work);
    ASSERT_EQ(run(args).status, 0);
    const fs::path dir = outputDirectory(work);
    const auto plain = dataFiles(dir, "");
    args.insert(args.end(), {"-age_params", "1", "2", "10"});
    fs::remove_all(dir);
    ASSERT_EQ(run(args).status, 0);
    EXPECT_EQ(dataFiles(dir, "Age_a1_b2_g10_"), plain) << model[1];
    EXPECT_EQ(plain.size(), 3u);
  }
}

TEST_F(ContinuousRuns, DeathsUnderIndividualEncountersTakeTheirAgesWithThem) {
  ASSERT_EQ(run({"-model", "-3", "-logistic_params", "-1", "1", "-age_params", "0.5", "2", "0",
                 "-N", "40", "-matings", "12", "-numfiles", "5", "-fixseed", "3"})
                .status,
            0);
  const Strings correl =
      lines("Out_Pairlab_iEM/Pairlab_C_n12_iEM_Age_a0.5_b2_g0_Log_a-1_b1_Correl.txt");
  auto female = std::find_if(correl.begin(), correl.end(), [](const std::string& line) {
    return line.rfind("Mean female age after the mating season: ", 0) == 0;
  });
  ASSERT_NE(female, correl.end());
  ASSERT_EQ(female[1].rfind("Mean male age after the mating season: ", 0), 0u);
  EXPECT_NE(female[0].substr(41), female[1].substr(39));  // the two means differ
}

}  // namespace
}  // namespace pairlab
