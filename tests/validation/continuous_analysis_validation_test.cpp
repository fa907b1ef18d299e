// Statistical validation of pairlab-analyze --continuous: samples of random mating drawn from a
// population under each encounter process, tested against replicates of the same process, must
// give p-values of the correlation and of the selection on each sex close to uniform; and the
// t-test and the Fisher interval of r must keep their level. Fixed seeds; about a second.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/trait_analysis.hpp"
#include "support/numeric.hpp"

namespace pairlab {
namespace {

constexpr int kTables = 400;

// The share of p-values at most alpha may exceed alpha by no more than chance allows (3.5
// standard errors), and fall short of it by no more than chance and the grid of 1 / 100.
void expectUniform(const std::vector<double>& p, const char* what) {
  for (double alpha : {0.05, 0.1, 0.25, 0.5}) {
    double below = 0.0;
    for (double v : p) below += v <= alpha ? 1.0 : 0.0;
    const double share = below / static_cast<double>(p.size());
    const double margin = 3.5 * std::sqrt(alpha * (1.0 - alpha) / static_cast<double>(p.size()));
    EXPECT_LE(share, alpha + margin) << what << " at " << alpha;
    EXPECT_GE(share, alpha - margin - 0.01) << what << " at " << alpha;
  }
}

TEST(ContinuousAnalysisValidation, PValuesOfRandomMatingAreUniformUnderEveryProcess) {
  Traits population;
  population.female.assign(70, 0.0);
  population.male.assign(60, 0.0);
  resetLimits(population);
  Random draw(31);
  drawNormalTraits(population, draw);
  for (EncounterProcess process :
       {EncounterProcess::WithReplacement, EncounterProcess::Individual, EncounterProcess::Mass}) {
    SCOPED_TRACE(static_cast<int>(process));
    TraitAnalysisSettings settings;
    settings.nullReplicates = 99;
    settings.nullConfig.continuous = true;
    settings.nullConfig.matings = 40;
    settings.nullModel = {1, process};
    settings.seed = 8;
    SampleWorkspace workspace;
    Random rng(2025);
    std::vector<double> r, females, males, t;
    int covered = 0;
    for (int k = 1; k <= kTables; ++k) {
      ASSERT_EQ(
          simulateSample(settings.nullConfig, settings.nullModel, population, workspace, rng).k,
          40);
      TraitTable table;
      table.number = k;
      table.female.assign(workspace.x.begin(), workspace.x.end());
      table.male.assign(workspace.y.begin(), workspace.y.end());
      // The pairs are in the units of the rescaled traits: so is the population they are from.
      const Traits rescaled = workspace.traits;
      const TraitAnalysis a = analyseTraitTable(table, &rescaled, settings, [](long long) {});
      ASSERT_EQ(a.nullReplicates, 99);
      r.push_back(a.nulls[kCorrelation].p);
      females.push_back(a.nulls[kFemaleShift].p);
      males.push_back(a.nulls[kMaleShift].p);
      t.push_back(a.correlation.pT);
      covered += a.correlation.lower <= 0.0 && 0.0 <= a.correlation.upper;
    }
    expectUniform(r, "r");
    expectUniform(females, "female_shift");
    expectUniform(males, "male_shift");
    expectUniform(t, "t-test of r");
    EXPECT_NEAR(covered / static_cast<double>(kTables), 0.95,
                3.5 * std::sqrt(0.95 * 0.05 / kTables));
  }
}

}  // namespace
}  // namespace pairlab
