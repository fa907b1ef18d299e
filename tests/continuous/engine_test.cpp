#include "continuous/engine.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

#include "support/numeric.hpp"
#include "support/pair_table.hpp"

namespace pairlab {
namespace {

using Vec = std::vector<double>;

// One file of the engine over the given population and (optional) table.
struct EngineRun {
  Vec females, males;
  Vec table;  // the preferences of the assortative branches, female-major
  EngineSettings settings;
  Vec args{0, 1, 0, 0, 1, 0};
  FileWorkspace workspace;

  FileResult file(Random& rng, Vec& x, Vec& y) {
    x.assign(settings.matings, kNoTrait);
    y.assign(settings.matings, kNoTrait);
    const bool table_engine = settings.branch == Branch::PositiveAssortative ||
                              settings.branch == Branch::NegativeAssortative;
    std::unique_ptr<TablePreferences> preferences;
    if (table_engine) preferences = std::make_unique<TablePreferences>(females, males, table);
    const EngineInputs inputs{&females, &males, preferences.get()};
    return runContinuousFile(settings, inputs, workspace, args, x, y, rng);
  }
};

// n females with traits 0..n-1 and n males with traits 100..100+n-1; each female prefers only
// the male of her own number (preference 1, every other pair 0).
EngineRun designatedPartners(int n) {
  EngineRun run;
  for (int i = 0; i < n; ++i) {
    run.females.push_back(i);
    run.males.push_back(100 + i);
  }
  run.table.assign(n * n, 0.0);
  for (int i = 0; i < n; ++i) run.table[i * n + i] = 1.0;
  run.settings.branch = Branch::PositiveAssortative;
  run.settings.roundSize = n;
  return run;
}

TEST(IndividualEncounters, EveryMatingUsesThePreferenceOfItsOwnPair) {
  for (bool onechoosy : {false, true}) {
    for (std::uint64_t seed = 1; seed <= 30; ++seed) {
      EngineRun run = designatedPartners(10);
      run.settings.mode = EncounterProcess::Individual;
      run.settings.onechoosy = onechoosy;
      run.settings.matings = 6;
      Random rng(seed);
      Vec x, y;
      const FileResult result = run.file(rng, x, y);
      std::set<double> females, males;
      for (int j = 0; j < result.k; ++j) {
        EXPECT_EQ(y[j], 100 + x[j]) << "seed " << seed << " pair " << j;
        females.insert(x[j]);
        males.insert(y[j]);
      }
      EXPECT_EQ(static_cast<int>(females.size()), result.k);  // each mates at most once
      EXPECT_EQ(static_cast<int>(males.size()), result.k);
    }
  }
}

TEST(IndividualEncounters, RandomMatingWithdrawsEachMatedIndividual) {
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    EngineRun run;
    Random traits(seed);
    for (int i = 0; i < 10; ++i) run.females.push_back(traits.z());
    for (int i = 0; i < 10; ++i) run.males.push_back(traits.z());
    run.settings.mode = EncounterProcess::Individual;
    run.settings.matings = 10;  // everybody
    Random rng(seed);
    Vec x, y;
    EXPECT_EQ(run.file(rng, x, y).k, 10);
    std::sort(x.begin(), x.end());
    std::sort(y.begin(), y.end());
    Vec f = run.females, m = run.males;
    std::sort(f.begin(), f.end());
    std::sort(m.begin(), m.end());
    EXPECT_EQ(x, f);
    EXPECT_EQ(y, m);
  }
}

TEST(MassEncounters, RandomMatingWithdrawsNobodyBeforeTheFirstRoundEnds) {
  int filesWithRepeats = 0;
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    EngineRun run;
    for (int i = 0; i < 10; ++i) run.females.push_back(i);
    for (int i = 0; i < 10; ++i) run.males.push_back(i);
    run.settings.mode = EncounterProcess::Mass;
    run.settings.matings = 10;
    run.settings.roundSize = 10;  // the file is complete before encounter R + 2
    Random rng(seed);
    Vec x, y;
    ASSERT_EQ(run.file(rng, x, y).k, 10);
    filesWithRepeats += std::set<double>(x.begin(), x.end()).size() < 10;
  }
  EXPECT_GT(filesWithRepeats, 15);
}

TEST(WithReplacement, OnlyFemalesChoosingMeansMalesInTurn) {
  EngineRun run = designatedPartners(4);
  std::fill(run.table.begin(), run.table.end(), 0.5);  // every encounter mates: p / M = 1
  run.settings.onechoosy = true;
  run.settings.matings = 9;
  Random rng(4);
  Vec x, y;
  ASSERT_EQ(run.file(rng, x, y).k, 9);
  for (int j = 0; j < 9; ++j) EXPECT_EQ(y[j], 100 + j % 4);
}

TEST(EncounterLimit, EndsOnlyASampleThatIsStillShort) {
  // 5 x 5 pairs accepted with probability 0.2: a file needs about 25 encounters for 5 matings,
  // so some files complete exactly at encounter 26, the one that passes the limit.
  int completedAtTheLimit = 0, incomplete = 0;
  for (std::uint64_t seed = 1; seed <= 400; ++seed) {
    EngineRun run = designatedPartners(5);
    std::fill(run.table.begin(), run.table.end(), 0.2);
    run.table[0] = 1.0;
    run.settings.matings = 5;
    Random rng(seed);
    Vec x, y;
    const FileResult result = run.file(rng, x, y);
    const double encounters = result.femaleEncounters;
    EXPECT_EQ(encounters, result.maleEncounters);
    EXPECT_LE(encounters, 26);
    if (result.k < 5) {
      ++incomplete;
      EXPECT_EQ(encounters, 26);
      EXPECT_EQ(result.report, "\nIncomplete sample\n");
    } else {
      completedAtTheLimit += encounters == 26;
      EXPECT_EQ(result.report, "") << "seed " << seed;
    }
  }
  EXPECT_GT(completedAtTheLimit, 0);
  EXPECT_GT(incomplete, 0);
}

}  // namespace
}  // namespace pairlab

namespace pairlab {
namespace {

TEST(Aging, SurvivalStartsAboveTheLogAgeThreshold) {
  const AgingParams aging{1, 2, 0};
  EXPECT_FALSE(mayDie(1, aging));  // ln 1 = 0 is not above g = 0
  EXPECT_TRUE(mayDie(2, aging));
  EXPECT_DOUBLE_EQ(survivalProbability(2, aging), std::exp(-std::log(2.0) * std::log(2.0)));
  EXPECT_NEAR(survivalProbability(2, aging), 0.619, 5e-4);
  const AgingParams late{1, 2, 10};  // e^10 = 22026.47
  EXPECT_FALSE(mayDie(22026, late));
  EXPECT_TRUE(mayDie(22027, late));
  EXPECT_NEAR(survivalProbability(22027, late), 1.0, 1e-9);
}

// One female who never mates meets males until she dies; once she is dead the file cannot go on.
TEST(Aging, AFileWhoseFemalesAreAllDeadEndsWithTheAgingReport) {
  for (EncounterProcess mode :
       {EncounterProcess::WithReplacement, EncounterProcess::Mass, EncounterProcess::Individual}) {
    EngineRun run;
    run.females = {0.0};
    for (int i = 0; i < 50; ++i) run.males.push_back(i);
    run.settings.branch = Branch::Logistic;
    run.settings.mode = mode;
    run.settings.aging = true;
    run.settings.agingParams = {0.5, 2, 0};
    run.settings.matings = 5;
    run.settings.roundSize = 1;
    run.args = {-1000, 0, 0, -1000, 0, 0};  // L(-1000) = 0: no mating
    Random rng(8);
    Vec x, y;
    const FileResult result = run.file(rng, x, y);
    EXPECT_EQ(result.k, 0);
    EXPECT_EQ(result.report, "\nIncomplete sample caused by aging\n");
    EXPECT_GE(result.maleEncounters, 2);
  }
}

// With impatience every file starts from the intercept of -logistic_params: with an intercept
// of 50 (every encounter mates) and an impatience of -100 (after a mating none can), every file
// holds exactly one pair, under every encounter process, with and without aging.
TEST(Impatience, EveryFileStartsFromTheInterceptOfTheRun) {
  for (EncounterProcess mode :
       {EncounterProcess::WithReplacement, EncounterProcess::Mass, EncounterProcess::Individual})
    for (bool aging : {false, true}) {
      EngineRun run;
      for (int i = 0; i < 10; ++i) {
        run.females.push_back(i);
        run.males.push_back(i);
      }
      run.settings.branch = Branch::Logistic;
      run.settings.mode = mode;
      run.settings.aging = aging;
      run.settings.agingParams = {1, 2, 0};
      run.settings.matings = 5;
      run.settings.roundSize = 10;
      run.settings.impatience = -100;
      run.settings.logisticIntercept = 50;
      run.args = {50, 0, 0, 50, 0, 0};
      Random rng(3);
      for (int file = 1; file <= 3; ++file) {
        Vec x, y;
        EXPECT_EQ(run.file(rng, x, y).k, 1)
            << "mode " << static_cast<int>(mode) << ", aging " << aging << ", file " << file;
      }
    }
}

}  // namespace
}  // namespace pairlab
