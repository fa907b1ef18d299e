// Statistical validation of the simulated tests of pairlab-analyze: tables made under random
// mating by each process, tested against replicates of the same process, must give p-values
// close to uniform (never too many small ones), and so must the permutation test of sexual
// isolation. A p-value of the Monte Carlo form (1 + b) / (1 + R) is uniform on the grid of its
// values up to ties; the checks allow the ties (and the Monte Carlo error) with a margin.
// Fixed seeds; about a second.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/null_tests.hpp"
#include "discrete/frequencies.hpp"
#include "rounds/sampling_rounds.hpp"

namespace pairlab {
namespace {

constexpr int kTables = 400;
constexpr long long kReplicates = 99;

// A table of random mating made by the process.
Matrix randomMatingTable(NullProcess process, const std::vector<double>& females,
                         const std::vector<double>& males, int n, Random& rng) {
  if (process == NullProcess::Replacement) {
    Matrix counts(females.size(), std::vector<double>(males.size(), 0.0));
    const std::vector<double> p1 = frequenciesOf(females, 100), p2 = frequenciesOf(males, 100);
    for (int m = 0; m < n; ++m) {
      const int i = drawType(p1, rng);
      counts[i][drawType(p2, rng)] += 1.0;
    }
    return counts;
  }
  const double R = process == NullProcess::Mass ? 100.0 : 1.0;
  const RoundsExperiment ex = roundsExperimentOf(
      Matrix(females.size(), std::vector<double>(males.size(), R)), females, males, R);
  ReplicateStorage storage;
  return playReplicatePairs(ex, n, 1, storage, rng);
}

// The share of p-values at most alpha may exceed alpha by no more than chance allows (3.5
// standard errors) and fall short of it only by the ties of a discrete statistic (0.12).
void expectUniform(const std::vector<double>& p, const char* what) {
  for (double alpha : {0.05, 0.1, 0.25, 0.5, 0.75}) {
    double below = 0.0;
    for (double v : p) below += v <= alpha ? 1.0 : 0.0;
    const double share = below / static_cast<double>(p.size());
    const double margin = 3.5 * std::sqrt(alpha * (1.0 - alpha) / static_cast<double>(p.size()));
    EXPECT_LE(share, alpha + margin) << what << " at " << alpha;
    EXPECT_GE(share, alpha - margin - 0.12) << what << " at " << alpha;
  }
}

TEST(AnalysisValidation, PValuesOfRandomMatingAreUniformUnderEveryProcess) {
  // Females 60/40 and males 50/50; 60 matings (more than half of each sex mates).
  const std::vector<double> females = {60, 40}, males = {50, 50};
  const std::vector<double> p1 = {0.6, 0.4}, p2 = {0.5, 0.5};
  const std::vector<std::string> labels = {"A", "B"};
  const int n = 60;
  for (NullProcess process :
       {NullProcess::Replacement, NullProcess::Individual, NullProcess::Mass}) {
    SCOPED_TRACE(processName(process));
    Random rng(2024);
    std::vector<double> total, isolation, selection, permutation;
    for (int t = 1; t <= kTables; ++t) {
      const Matrix counts = randomMatingTable(process, females, males, n, rng);
      MatingTables work;
      const auto observed = testIndexValues(sampleIndexValues(counts, n, p1, p2, work), n, 2, 2);
      const NullResults r = nullTests({counts, static_cast<double>(n), females, males, p1, p2,
                                       labels, labels, true, t, observed},
                                      {kReplicates, process, 0.0, 99});
      ASSERT_EQ(r.replicates, kReplicates) << r.refused;
      total.push_back(r.monteCarlo[kJpti].p);
      isolation.push_back(r.monteCarlo[kJpsi].p);
      selection.push_back(r.monteCarlo[kJpss].p);
      permutation.push_back(r.permutation.p);
    }
    expectUniform(total, "Jpti");
    expectUniform(isolation, "Jpsi");
    expectUniform(selection, "Jpss");
    expectUniform(permutation, "Jpsi by permutation");
  }
}

}  // namespace
}  // namespace pairlab
