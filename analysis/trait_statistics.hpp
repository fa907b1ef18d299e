// What a sample of pairs of continuous traits says about mate choice: the summary statistics
// that a simulated sample is compared by (the correlation between partners, the difference
// between them, the selection on each sex relative to the population), and the tests of the
// correlation of an observed sample.
#pragma once

#include <array>
#include <vector>

#include "continuous/phenotypes.hpp"

namespace pairlab {

enum TraitStatisticId {
  kCorrelation,     // r between the partners' traits
  kMeanDifference,  // mean of x - y, in standard deviations of the population's traits
  kSdDifference,    // standard deviation of x - y, in the same unit
  kFemaleShift,     // (mean of the mated females - the population's) / the population's sd
  kFemaleSpread,    // sd of the mated females / the population's
  kMaleShift,
  kMaleSpread
};
inline constexpr int kTraitStatisticCount = 7;
inline constexpr const char* kTraitStatisticNames[kTraitStatisticCount] = {
    "r",          "mean_difference", "sd_difference", "female_shift", "female_sd_ratio",
    "male_shift", "male_sd_ratio"};
// The statistics of selection on each sex, which need a population apart from the pairs.
inline bool isSelectionStatistic(int s) { return s >= kFemaleShift; }

using TraitStatistics = std::array<double, kTraitStatisticCount>;

// The means and standard deviations (over the whole population: divided by N) of a population's
// traits, each sex and both together.
struct PopulationMoments {
  double femaleMean = 0.0, femaleSd = 0.0, maleMean = 0.0, maleSd = 0.0, sd = 0.0;
};
PopulationMoments momentsOf(const Traits& population);

// The statistics of the first n pairs of x and y (n >= 5) against the population the sample was
// drawn from, in the units the sample was drawn in: they do not change when the traits of the
// population and the sample are moved and rescaled together. r is the correlation of the
// continuous road (regcorrelxy); standard deviations of a sample divide by n - 1.
TraitStatistics traitStatistics(const std::vector<double>& x, const std::vector<double>& y, int n,
                                const PopulationMoments& population);

// The correlation of an observed sample and its tests: r and its small-sample adjusted value
// (the code of the continuous road's correlation file), the 95 % interval of r by Fisher's z, the
// J divergence of a bivariate normal distribution of correlation r from independence
// (r^2 / (1 - r^2)), and Student's t-test of r = 0 (t = r sqrt((n - 2) / (1 - r^2)), n - 2
// degrees of freedom, two-sided). A correlation of +-1 has no interval width, an infinite J
// (NaN) and p-value 0.
struct CorrelationTests {
  double r = 0.0, adjusted = 0.0, lower = 0.0, upper = 0.0, J = 0.0, t = 0.0, pT = 0.0;
  int df = 0;
};
CorrelationTests correlationTests(const std::vector<double>& x, const std::vector<double>& y);

}  // namespace pairlab
