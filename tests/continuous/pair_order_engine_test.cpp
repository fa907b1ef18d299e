// The engine over the lazily ordered preferences against the engine over the exact reference,
// the full table of the pairs and its sorted copy: the same files, and the same maxima read.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "continuous/engine.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/phenotypes.hpp"
#include "support/numeric.hpp"
#include "support/pair_table.hpp"

namespace pairlab {
namespace {

using Vec = std::vector<double>;

struct Files {
  std::vector<FileResult> results;
  std::vector<Vec> x, y;
};

Files runFiles(const EngineSettings& settings, const Traits& traits, PairPreferences& preferences,
               int files, std::uint64_t seed) {
  const EngineInputs inputs{&traits.female, &traits.male, &preferences};
  FileWorkspace workspace;
  Random rng(seed);
  Vec args;  // unused by the Gaussian branches
  Files out;
  for (int file = 0; file < files; ++file) {
    Vec x(static_cast<std::size_t>(settings.matings), kNoTrait), y = x;
    out.results.push_back(runContinuousFile(settings, inputs, workspace, args, x, y, rng));
    out.x.emplace_back(x.begin(), x.begin() + out.results.back().k);  // the sample's pairs
    out.y.emplace_back(y.begin(), y.begin() + out.results.back().k);
  }
  return out;
}

// N individuals, standard normal traits scaled into [0, 1] as a Gaussian run scales them, or
// few distinct values (many tied preferences).
Traits population(int n, bool tied, std::uint64_t seed) {
  Traits traits;
  traits.female.assign(static_cast<std::size_t>(n / 2), 0.0);
  traits.male.assign(static_cast<std::size_t>(n - n / 2), 0.0);
  resetLimits(traits);
  Random rng(seed);
  drawNormalTraits(traits, rng);
  if (tied)
    for (Vec* sex : {&traits.female, &traits.male})
      for (double& t : *sex) t = std::round(t * 2);
  return traits;
}

TEST(PairOrderInTheEngine, RunsAsTheFullSortedTableAtEverySizeBranchModeAndAging) {
  struct Size {
    int n;
    bool tied;
    int files;
  };
  std::vector<Size> sizes{{60, false, 30}, {500, false, 30}, {400, true, 20}, {2000, false, 10}};
#if !defined(__SANITIZE_ADDRESS__)
  // Reference tables of 10^8 and more pairs are too slow for the sanitizer build.
  sizes.push_back({10000, false, 3});
  sizes.push_back({40000, false, 2});  // one branch: a table of 3.2 GB takes a while
#endif
  struct BranchCase {
    const char* name;
    double choice, bias, tolerance;
    bool onechoosy;
  };
  const BranchCase branches[] = {{"positive", 0.5, 0.0, 0.08, false},
                                 {"positive, bias, one choosy", 0.5, -0.05, 0.08, true},
                                 {"positive, bias", 0.8, 0.05, 0.2, false},
                                 {"negative", -0.5, 0.0, 0.5, false}};
  for (const Size& size : sizes)
    for (const BranchCase& branch : branches) {
      if (size.n == 40000 && branch.choice != 0.5) continue;
      Traits traits = population(size.n, size.tied, 17);
      const double bias = scaleTraits(traits, 1.0, 0.0, branch.bias);
      const PairDistance distance{branch.choice, bias, 1.0, branch.onechoosy};
      Vec args{0, gaussianCoefficient(1, branch.choice, branch.tolerance, 1.0), 0, branch.choice};
      PairOrder order(traits.female, traits.male, distance, args);
      TablePreferences table(traits.female, traits.male, distance, args);
      EXPECT_EQ(order.largest(), table.largest());
      EXPECT_EQ(order.firstLargest(), table.table.indxmaxpref);

      for (EncounterProcess mode : {EncounterProcess::WithReplacement, EncounterProcess::Mass,
                                    EncounterProcess::Individual})
        for (int aging = 0; aging < 3; ++aging) {
          EngineSettings settings;
          settings.branch =
              branch.choice > 0 ? Branch::PositiveAssortative : Branch::NegativeAssortative;
          settings.mode = mode;
          settings.onechoosy = branch.onechoosy;
          settings.aging = aging > 0;
          settings.agingParams = aging == 1 ? AgingParams{1, 2, 0} : AgingParams{0.3, 1, 0};
          settings.matings = size.n < 500 ? 20 : 100;
          settings.roundSize = size.n / 2;
          const std::string what = std::string(branch.name) + ", N " + std::to_string(size.n) +
                                   (size.tied ? " tied" : "") + ", mode " +
                                   std::to_string(static_cast<int>(mode)) + ", aging " +
                                   std::to_string(aging);
          const Files lazy = runFiles(settings, traits, order, size.files, 5 + aging);
          const Files exact = runFiles(settings, traits, table, size.files, 5 + aging);
          for (int f = 0; f < size.files; ++f) {
            ASSERT_EQ(lazy.results[f].k, exact.results[f].k) << what << " file " << f;
            ASSERT_EQ(lazy.results[f].report, exact.results[f].report) << what << " file " << f;
            ASSERT_EQ(lazy.results[f].femaleEncounters, exact.results[f].femaleEncounters) << what;
            ASSERT_EQ(lazy.results[f].maleEncounters, exact.results[f].maleEncounters) << what;
            ASSERT_EQ(lazy.x[f], exact.x[f]) << what << " file " << f;
            ASSERT_EQ(lazy.y[f], exact.y[f]) << what << " file " << f;
          }
        }
      // Every maximum the runs read, from the top to the deepest rank reached.
      for (std::int64_t rank = 0; rank <= table.deepest; ++rank)
        ASSERT_EQ(order.fromTop(rank), table.table.sortedFromTop(rank))
            << branch.name << ", N " << size.n << ", rank " << rank;
    }
}

// Drawing the next encounter's first draw early changes nothing but the time: every branch and
// encounter process gives the same files and leaves the engine in the same state with it as
// without it (large populations draw early; here a small one is made to).
TEST(DrawAhead, GivesTheFilesAndDrawsOfTheEngineThatDoesNot) {
  const Traits traits = population(500, false, 23);
  Vec gaussian{0, gaussianCoefficient(1, 0.5, 0.08, 1.0), 0, 0.5};
  PairOrder order(traits.female, traits.male, PairDistance{0.5, 0.0, 1.0, false}, gaussian);
  Vec gaussianOneChoosy = gaussian;
  PairOrder orderOneChoosy(traits.female, traits.male, PairDistance{0.5, 0.0, 1.0, true},
                           gaussianOneChoosy);
  struct Case {
    Branch branch;
    bool onechoosy;
    PairPreferences* preferences;
  };
  const Case cases[] = {{Branch::PositiveAssortative, false, &order},
                        {Branch::PositiveAssortative, true, &orderOneChoosy},
                        {Branch::RandomMating, false, nullptr},
                        {Branch::Logistic, false, nullptr}};
  for (const Case& c : cases)
    for (EncounterProcess mode : {EncounterProcess::WithReplacement, EncounterProcess::Mass,
                                  EncounterProcess::Individual}) {
      EngineSettings settings;
      settings.branch = c.branch;
      settings.mode = mode;
      settings.onechoosy = c.onechoosy;
      settings.roundSize = 250;
      settings.impatience = 0.01;
      const EngineInputs inputs{&traits.female, &traits.male, c.preferences};
      auto run = [&](std::int64_t drawAheadFrom, Random& rng) {
        settings.drawAheadFrom = drawAheadFrom;
        FileWorkspace workspace;
        Files out;
        Vec args{0.0, 1.0, 0.0, 0.0, 1.0, 0.0};
        for (int file = 0; file < 20; ++file) {
          Vec x(100, kNoTrait), y = x;
          out.results.push_back(runContinuousFile(settings, inputs, workspace, args, x, y, rng));
          out.x.emplace_back(x.begin(), x.begin() + out.results.back().k);
          out.y.emplace_back(y.begin(), y.begin() + out.results.back().k);
        }
        return out;
      };
      Random early(9), late(9);
      const Files ahead = run(0, early), plain = run(std::int64_t{1} << 62, late);
      const std::string what = "branch " + std::to_string(static_cast<int>(c.branch)) +
                               (c.onechoosy ? " one choosy" : "") + ", mode " +
                               std::to_string(static_cast<int>(mode));
      ASSERT_TRUE(early == late) << what;
      for (int f = 0; f < 20; ++f) {
        ASSERT_EQ(ahead.results[f].k, plain.results[f].k) << what;
        ASSERT_EQ(ahead.results[f].encounters, plain.results[f].encounters) << what;
        ASSERT_EQ(ahead.results[f].femaleEncounters, plain.results[f].femaleEncounters) << what;
        ASSERT_EQ(ahead.x[f], plain.x[f]) << what << " file " << f;
        ASSERT_EQ(ahead.y[f], plain.y[f]) << what << " file " << f;
      }
    }
}

}  // namespace
}  // namespace pairlab
