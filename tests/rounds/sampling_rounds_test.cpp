#include "rounds/sampling_rounds.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <numeric>
#include <sstream>

#include "discrete/datafiles.hpp"
#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/output.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using testing::InTempDir;
using testing::readFile;
using testing::writeFile;

TEST(RoundsNumbers, UserNumbersAreUnroundedAndTheLastTakesTheTruncatedRest) {
  EXPECT_EQ(roundsUserNumbers({0.3, 0.7}, 250), (std::vector<double>{75, 175}));
  EXPECT_EQ(roundsUserNumbers({0.25, 0.25, 0.5}, 250), (std::vector<double>{62.5, 62.5, 126}));
  EXPECT_EQ(roundsUserNumbers({1.0}, 250), (std::vector<double>{250}));
}

TEST(RoundsNumbers, RandomPartitionDrawsSharesOfTheWholePopulation) {
  Random rng(5);
  const Random before = rng;
  EXPECT_EQ(roundsRandomPartition(1, 250, 0.1, rng), (std::vector<double>{250}));
  EXPECT_EQ(rng, before);  // a single type takes no draw
  for (int seed = 1; seed <= 50; ++seed) {
    Random r(seed);
    const std::vector<double> two = roundsRandomPartition(2, 250, 0.2, r);
    // One type gets u * 250 with u in [0.2, 0.8], the other 250 minus its integer part.
    const double drawn = std::min(two[0], two[1]) == std::floor(std::min(two[0], two[1]))
                             ? std::max(two[0], two[1])
                             : std::min(two[0], two[1]);
    EXPECT_GE(drawn, 50.0);
    EXPECT_LE(drawn, 200.0);
    EXPECT_DOUBLE_EQ(two[0] + two[1], 250.0 + (drawn - std::floor(drawn)));
    const std::vector<double> many = roundsRandomPartition(6, 250, 0.3, r);
    EXPECT_GE(std::accumulate(many.begin(), many.end(), 0.0), 250.0);
    for (double v : many) EXPECT_GE(v, 0.0);
  }
  ::testing::internal::CaptureStdout();
  EXPECT_THROW(roundsRandomPartition(2, 250, 0.5, rng), Stop);
  ::testing::internal::GetCapturedStdout();
}

class RoundsSetup : public InTempDir {
 protected:
  RoundsExperiment setup(const RunConfig& given) {
    config = given;
    config.onematround = false;
    config.N = nfem + nmale;
    names = OutputNames{};
    RoundsExperiment ex = setupSamplingRounds(config, settleRun(config, 1), runOutput, rng);
    const std::size_t slash = ex.filePrefix.find('/');
    names = OutputNames{ex.filePrefix.substr(0, slash), ex.filePrefix.substr(slash + 1)};
    return ex;
  }
  // The status of a set-up that must stop, its standard output in output.
  int stopStatus(const RunConfig& given) {
    ::testing::internal::CaptureStdout();
    int status = -1;
    try {
      setup(given);
    } catch (const Stop& stop) {
      reportStop(stop);
      status = stop.status;
    }
    output = ::testing::internal::GetCapturedStdout();
    return status;
  }
  RunConfig config;
  RunOutput runOutput{LedgerEntry{}, 1, Progress::Mode::Off};  // with the tidy tables
  OutputNames names;
  Random rng{1};
  int nfem = 250, nmale = 250;
  std::string output;
};

TEST_F(RoundsSetup, ModelsScaleEveryPropensityByTheLargest) {
  RunConfig c;
  c.MRmax = 4;
  c.incrfactor = c.choicefactor = 2;
  EXPECT_EQ(setup(c).modelmatrix, (Matrix{{4, 4}, {4, 4}}));
  c.model = 1;
  EXPECT_EQ(setup(c).modelmatrix, (Matrix{{4, 4}, {2, 2}}));
  c.model = 2;
  EXPECT_EQ(setup(c).modelmatrix, (Matrix{{4, 2}, {4, 2}}));
  c.model = 3;
  c.femtypes = 3;
  EXPECT_EQ(setup(c).modelmatrix, (Matrix{{4, 2}, {2, 4}, {2, 2}}));
  c.model = 4;
  c.choicefactor = 0.5;
  const RoundsExperiment four = setup(c);
  EXPECT_EQ(four.modelmatrix, (Matrix{{2, 4}, {4, 2}, {4, 4}}));  // like types MRmax x factor
  EXPECT_TRUE(four.mass);
  EXPECT_EQ(four.femaleNumbers, (std::vector<double>{250.0 / 3, 250.0 / 3, 250 - 2 * (250.0 / 3)}));
}

// Model 4 favours unlike types as in the data-file mode: with b = 0.5, 2,000 matings of 4,000
// individuals in two uniform types hold well under the half of like pairs that random mating
// gives, under mass and individual encounters here and under individual encounters there.
TEST_F(RoundsSetup, ModelFourFavoursUnlikeTypesAsInTheDataFileMode) {
  nfem = nmale = 2000;
  const auto likeShare = [](const Matrix& pairs) {
    return (pairs[0][0] + pairs[1][1]) / (pairs[0][0] + pairs[0][1] + pairs[1][0] + pairs[1][1]);
  };
  for (const double MRmax : {50.0, 1.0}) {  // mass, then individual encounters
    RunConfig c;
    c.model = 4;
    c.choicefactor = 0.5;
    c.MRmax = MRmax;
    c.matings = 2000;
    const RoundsExperiment ex = setup(c);
    EXPECT_EQ(ex.mass, MRmax >= 2);
    EXPECT_EQ(ex.modelmatrix, (Matrix{{MRmax / 2, MRmax}, {MRmax, MRmax / 2}}));
    ReplicateStorage storage;
    EXPECT_LT(likeShare(playReplicatePairs(ex, 2000, 1, storage, rng)), 0.45) << MRmax;
  }
  const DiscreteModel model = setupDiscreteModel(4, 2, 2, 1.25, 0.5, FocalTypes{1, 1});
  const DiscretePopulation pop{2000, 2000, {1000, 1000}, {1000, 1000}, {0.5, 0.5}, {0.5, 0.5}};
  Matrix matings(2, std::vector<double>(2, 0.0));
  individualEncounters(pop, model.modelmatrix, meanPropensity(pop.p1, pop.p2, model.modelmatrix),
                       2000, matings, rng);
  EXPECT_LT(likeShare(matings), 0.45);
}

TEST_F(RoundsSetup, NamesOfTheDesignExample) {
  RunConfig c;
  c.model = 10;  // model 1, every propensity scaled by the smaller sex
  const RoundsExperiment ex = setup(c);
  EXPECT_EQ(ex.model, 1);
  EXPECT_EQ(ex.MRmax, 250);
  EXPECT_TRUE(ex.mass);
  EXPECT_EQ(names.directory, "Out_Pairlab_massEM_1_Mmax250_factor1.25_U_N500_Osr1sample100");
  EXPECT_EQ(ex.filePrefix, names.directory + "/Pairlab_Mmax_250_Factor1.25_massEM_RM1_U_");
  EXPECT_TRUE(fs::is_directory(names.directory));

  c.model = -123321;
  const RoundsExperiment zero = setup(c);
  EXPECT_EQ(zero.model, 0);
  EXPECT_EQ(names.prefix, "Pairlab_Mmax_250_massEM_RM0_U_");

  // Without -MRmax a model below 10 has every propensity negative: individual encounters.
  c.model = -3;
  const RoundsExperiment three = setup(c);
  EXPECT_FALSE(three.mass);
  EXPECT_EQ(three.modelmatrix, (Matrix{{-1, -0.8}, {-0.8, -1}}));
  EXPECT_EQ(names.directory, "Out_Pairlab_iEM_3_Mmax-1_factor1.25_U_N500_Osr1sample100");

  c.eJRpsi = true;
  c.uniform = false;
  setup(c);
  EXPECT_EQ(names.prefix, "Pairlab_Mmax_-1_Factor1.25_iEM_RM3_nonU_empRpsi_");
  c.MRmax = 2;  // mass encounters ignore -eJRpsi
  setup(c);
  EXPECT_EQ(names.prefix, "Pairlab_Mmax_2_Factor1.25_massEM_RM3_nonU_");
}

TEST_F(RoundsSetup, UserModelSetsTheLargestPropensityAndTheEncounters) {
  RunConfig c;
  c.model = 5;
  writeFile("PairlabUserModel.txt", "2 2\n1 1.5\n0.5 1\n");
  ::testing::internal::CaptureStdout();
  RoundsExperiment ex = setup(c);
  EXPECT_FALSE(ex.mass);
  EXPECT_EQ(ex.MRmax, 1.5);
  writeFile("PairlabUserModel.txt", "3 2\n1 4\n0.5 1\n");  // the third row stays 0
  ex = setup(c);
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(ex.mass);
  EXPECT_EQ(ex.MRmax, 4);
  EXPECT_EQ(ex.k1, 3);
  EXPECT_EQ(ex.modelmatrix[2], (std::vector<double>{0, 0}));
  EXPECT_EQ(names.directory, "Out_Pairlab_massEM_5_User_U_N500_Osr1sample100");
  EXPECT_EQ(names.prefix, "Pairlab_Mmax_User_massEM_RM5_U_");
}

TEST_F(RoundsSetup, StopsBeforeTheDirectoryIsCreated) {
  RunConfig c;
  c.matings = 251;
  EXPECT_EQ(stopStatus(c), 250);
  EXPECT_EQ(output, "\nToo few population males or females (250) for too many matings (251)\n\n");
  c.matings = 100;
  c.model = 60;
  EXPECT_EQ(stopStatus(c), 1);
  EXPECT_EQ(output, "Wrong model number 6\n\n");
  c.model = 3;
  c.choicefactor = 0.9;
  EXPECT_EQ(stopStatus(c), 0);  // the process exits with 1 (a stop never reports success)
  EXPECT_EQ(output, "");
  c.model = 4;
  c.choicefactor = 2.5;
  EXPECT_EQ(stopStatus(c), 2);
  c.choicefactor = -0.5;  // a negative weight for like types
  EXPECT_EQ(stopStatus(c), 1);
  const std::string negative =
      "\nWrong -choicefactor -0.5 for model 4: it becomes a mating weight, which must be at "
      "least 0 (0 forbids the pairs it weighs)\n\n";
  EXPECT_EQ(output, negative);
  c.choicefactor = 0;  // like types never mate: with a single type of each sex, nobody
  c.femtypes = c.maletypes = 1;
  EXPECT_EQ(stopStatus(c), 1);
  EXPECT_NE(output.find("gives every pair of female and male types the weight 0"),
            std::string::npos);
  c.femtypes = c.maletypes = 2;
  const std::string recorded =
      "\nToo few population males or females (250) for too many matings (251)\n\n"
      "Wrong model number 6\n\nWrong < 1 choice-factor for model 3\n"
      "Wrong > 1 choice-factor for model 4\n" +
      negative;
  EXPECT_EQ(readFile("Pairlab.err").substr(0, recorded.size()), recorded);
  // Tables that cannot fit in memory.
  nfem = nmale = 1000000000;
  c.model = 0;
  c.matings = 1000000000;
  c.numfiles = 1000000;
  EXPECT_EQ(stopStatus(c), 1);
  EXPECT_NE(output.find("Not enough memory for the tables of the sampling rounds"),
            std::string::npos)
      << output;
  const auto entries = std::distance(fs::directory_iterator("."), fs::directory_iterator());
  EXPECT_EQ(entries, 1);  // Pairlab.err alone: no directory
}

// The run of one replicate, with the number of uniform draws it took.
class Replicates : public RoundsSetup {
 protected:
  long long runReplicate(RunConfig c) {
    const RoundsExperiment ex = setup(c);
    acc = std::make_unique<RunAccumulators>(config.matings, config.numfiles);
    Random before = rng;
    if (ex.mass)
      massEncounterReplicate(ex, config, 1, *acc, runOutput, rng);
    else {
      ReplicateStorage rounds;
      individualEncounterReplicate(ex, config, 1, rounds, *acc, runOutput, rng);
    }
    long long draws = 0;
    while (!(before == rng) && draws < 1000000) {
      before.discard(1);
      ++draws;
    }
    return draws;
  }
  std::unique_ptr<RunAccumulators> acc;
};

TEST_F(Replicates, RandomMatingTakesTheFewestDraws) {
  RunConfig c;
  c.onlyresume = true;
  // Individual encounters: female type, male type, acceptance; every encounter mates.
  EXPECT_EQ(runReplicate(c), 3 * 100);
  EXPECT_EQ(acc->sumRounds, 100);
  // Mass encounters: 110 females and 110 males drawn, encounters examined until the 100th mating.
  c.MRmax = 110;
  EXPECT_EQ(runReplicate(c), 110 + 110 + 100);
  EXPECT_EQ(acc->sumRounds, 1);
  EXPECT_EQ(acc->sumMatingsPerRound, 100);
  // Rounds of 2: 50 rounds of 2 matings.
  c.MRmax = 2;
  runReplicate(c);
  EXPECT_EQ(acc->sumRounds, 50);
  EXPECT_EQ(acc->sumMatingsPerRound, 2);
  EXPECT_EQ(acc->replicatesPerRound[49], 1);
  EXPECT_EQ(acc->replicatesPerRound[50], 0);
  EXPECT_EQ(acc->roundJRpti[50], kMissing);
}

TEST_F(Replicates, RoundsWithoutMatingLeaveNoTrace) {
  writeFile("PairlabUserModel.txt", "2 2\n2 0.01\n0.01 0.01\n");
  RunConfig c;
  c.model = 5;
  ::testing::internal::CaptureStdout();
  const long long draws = runReplicate(c);
  ::testing::internal::GetCapturedStdout();
  const int rounds = static_cast<int>(acc->sumRounds);
  EXPECT_GT(draws, 6LL * rounds);  // more draws than the rounds kept can have taken
  for (int r = 0; r < 100; ++r) EXPECT_EQ(acc->replicatesPerRound[r], r < rounds ? 1 : 0);
  const std::vector<std::string> lines =
      testing::linesFrom(fs::path(names.directory) / "Pairlab_Mmax_User_massEM_RM5_U_1.txt", 20);
  ASSERT_GE(lines.size(), static_cast<std::size_t>(rounds));
  for (int r = 0; r < rounds; ++r) {  // every round line formed at least one pair
    std::istringstream line(lines[r]);
    double v, pairs = 0;
    for (int column = 0; line >> v; ++column)
      if (column >= 5) pairs += v;
    EXPECT_GE(pairs, 1.0) << lines[r];
  }
}

// A replicate that can no longer complete its sample stops instead of looping for ever.
TEST_F(Replicates, NoPairLeftThatCanMateStopsTheRun) {
  // The third female type never mates (its row is left at 0): once the 166.7 females of the
  // first two types have mated, no pair can. Largest propensity 2: mass encounters; 1.5:
  // individual encounters.
  for (const char* model : {"3 2\n1 2\n2 1\n", "3 2\n1 1.5\n1.5 1\n"}) {
    writeFile("PairlabUserModel.txt", model);
    RunConfig c;
    c.model = 5;
    c.matings = 200;
    ::testing::internal::CaptureStdout();
    EXPECT_STOPS(runReplicate(c));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("No remaining female-male pair can mate in round "), std::string::npos);
    EXPECT_NE(out.find("(condition propensity/M>0)"), std::string::npos) << out;
  }
}

// A round that goes on long without a mating is checked, and goes on when a pair can still mate:
// the one favoured pair is drawn once in 2,500 encounters, every other pair mates once in about
// 4,000 of its encounters.
TEST_F(Replicates, ALongRoundThatCanEndGoesOn) {
  writeFile("PairlabUserModel.txt", "2 2\n1 1e-7\n1e-7 1e-7\n");
  writeFile("PairlabUserFreqs.txt", "0.02 0.98\n0.02 0.98\n");  // 5 and 245 of each sex
  RunConfig c;
  c.model = 5;
  c.uniform = false;
  c.userfreqs = true;
  c.MPF = 0.02;
  c.onlyresume = true;
  long long draws = 0;
  try {
    draws = runReplicate(c);
  } catch (const Stop& stop) {
    FAIL() << stop.message;
  }
  EXPECT_EQ(acc->sumRounds, 100);
  EXPECT_GT(draws, 3 * 1000 + 3 * 100);  // some round went past the check
}

TEST_F(Replicates, MassEncountersNeedAsManyFemalesAsMales) {
  RunConfig c;
  c.model = 1;
  c.MRmax = 50;
  c.N = 501;
  nmale = 251;
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(runReplicate(c));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                "males are left after round 1 of replicate 1 (condition nfem==nmale"),
            std::string::npos);
  c.MRmax = 1;  // individual encounters take unequal numbers
  EXPECT_EQ(runReplicate(c) % 3, 0);
}

// A replicate played without a run (as an analysis of observed data plays it) makes the draws of
// the run's replicate and forms the same pairs, whatever the encounter process and model.
TEST_F(Replicates, AReplicateWithoutARunDrawsAsTheRunDoes) {
  writeFile("PairlabUserModel.txt", "2 3\n1 2.5 0.5\n0.2 1 3\n");
  for (const auto& [model, MRmax] : {std::pair{3, 1.0}, {3, 40.0}, {5, -1.0}, {0, 250.0}}) {
    RunConfig c;
    c.model = model;
    c.MRmax = MRmax;
    c.choicefactor = 3;
    const RoundsExperiment ex = setup(c);
    const RoundsExperiment alone =
        roundsExperimentOf(ex.modelmatrix, ex.femaleNumbers, ex.maleNumbers, ex.MRmax);
    EXPECT_EQ(alone.meanPropensity, ex.meanPropensity);
    Random twin = rng;
    acc = std::make_unique<RunAccumulators>(config.matings, config.numfiles);
    ReplicateStorage storage;
    if (ex.mass)
      massEncounterReplicate(ex, config, 1, *acc, runOutput, rng);
    else
      individualEncounterReplicate(ex, config, 1, storage, *acc, runOutput, rng);
    const Matrix pairs = playReplicatePairs(alone, config.matings, 1, storage, twin);
    EXPECT_TRUE(twin == rng) << "model " << model << ", MRmax " << MRmax;
    // The run's pairs, from its tidy rounds table.
    Matrix fromRun(ex.k1, std::vector<double>(ex.k2, 0.0));
    for (const std::string& line :
         testing::linesFrom(fs::path(names.directory) / "Pairlab_rounds.tsv", 2)) {
      std::istringstream row(line.substr(line.find('\t') + 1));  // after the run id
      int replicate = 0, round = 0, i = 0, j = 0;
      double fi = 0, fj = 0, count = 0;
      row >> replicate >> round >> i >> j >> fi >> fj >> count;
      ASSERT_TRUE(row && i >= 1 && i <= ex.k1 && j >= 1 && j <= ex.k2) << line;
      fromRun[i - 1][j - 1] += count;
    }
    EXPECT_EQ(pairs, fromRun) << "model " << model << ", MRmax " << MRmax;
    fs::remove_all(names.directory);
  }
}

}  // namespace
}  // namespace pairlab
