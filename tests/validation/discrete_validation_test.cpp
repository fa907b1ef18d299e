// Statistical validation of the discrete encounter processes: with fixed seeds, do the simulated
// matings follow the distribution that theory predicts? In a population so large that mating
// barely depletes it, an encounter of types f and m happens with probability p1[f] * p2[m] and
// ends in a mating with probability min(1, modelmatrix[f][m] / M) (a weight above the mean
// propensity always mates), so the pairs of both encounter processes should be distributed in
// proportion to p1[f] * p2[m] * min(1, modelmatrix[f][m] / M).
// Every check is a chi-square goodness-of-fit test at the 0.1% level on many files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "discrete/datafiles.hpp"
#include "discrete/frequencies.hpp"

namespace pairlab {
namespace {

// Upper 0.1% points of the chi-square distribution.
double chiSquareCritical(int df) {
  switch (df) {
    case 1:
      return 10.83;
    case 2:
      return 13.82;
    case 3:
      return 16.27;
    case 5:
      return 20.52;
    default:
      return 0.0;
  }
}

DiscretePopulation population(int n, const std::vector<double>& femaleFreqs,
                              const std::vector<double>& maleFreqs) {
  DiscretePopulation pop;
  pop.nfem = pop.nmale = n;
  pop.femaleNumbers = userNumbers(femaleFreqs, n);
  pop.maleNumbers = userNumbers(maleFreqs, n);
  pop.p1 = frequenciesOf(pop.femaleNumbers, n);
  pop.p2 = frequenciesOf(pop.maleNumbers, n);
  return pop;
}

double chiSquare(const Matrix& observed, const Matrix& expected) {
  double x2 = 0;
  for (std::size_t f = 0; f < observed.size(); ++f)
    for (std::size_t m = 0; m < observed[f].size(); ++m) {
      const double d = observed[f][m] - expected[f][m];
      x2 += d * d / expected[f][m];
    }
  return x2;
}

struct Case {
  const char* name;
  std::vector<double> p1, p2;
  Matrix modelmatrix;
};

const Case kCases[] = {
    {"random mating", {0.5, 0.5}, {0.5, 0.5}, {{1, 1}, {1, 1}}},
    {"positive assortative", {0.3, 0.7}, {0.6, 0.4}, {{3, 1}, {1, 3}}},
    {"sexual selection, three male types", {0.4, 0.6}, {0.2, 0.3, 0.5}, {{2, 1, 1}, {2, 1, 1}}},
};

void checkProcess(bool mass) {
  const int files = 400, target = 100, n = 1000000;
  for (const Case& c : kCases) {
    const DiscretePopulation pop = population(n, c.p1, c.p2);
    const double M = meanPropensity(pop.p1, pop.p2, c.modelmatrix);
    Matrix observed(c.p1.size(), std::vector<double>(c.p2.size(), 0.0));
    Matrix expected = observed;
    double norm = 0;
    for (std::size_t f = 0; f < observed.size(); ++f)
      for (std::size_t m = 0; m < observed[f].size(); ++m) {
        expected[f][m] = pop.p1[f] * pop.p2[m] * std::min(1.0, c.modelmatrix[f][m] / M);
        norm += expected[f][m];
      }
    for (auto& row : expected)
      for (double& e : row) e *= target * files / norm;
    Random rng(20261207);
    for (int file = 0; file < files; ++file) {
      Matrix matings(c.p1.size(), std::vector<double>(c.p2.size(), 0.0));
      if (mass)
        massEncounters(pop, c.modelmatrix, M, target, 50, matings, rng);
      else
        individualEncounters(pop, c.modelmatrix, M, target, matings, rng);
      for (std::size_t f = 0; f < observed.size(); ++f)
        for (std::size_t m = 0; m < observed[f].size(); ++m) observed[f][m] += matings[f][m];
    }
    const int df = static_cast<int>(c.p1.size() * c.p2.size()) - 1;
    EXPECT_LT(chiSquare(observed, expected), chiSquareCritical(df)) << c.name;
  }
}

TEST(DiscreteValidation, IndividualEncountersMatchTheExpectedPairFrequencies) {
  checkProcess(false);
}

TEST(DiscreteValidation, MassEncountersMatchTheExpectedPairFrequencies) { checkProcess(true); }

TEST(DiscreteValidation, DriftPassesCentreOnTheUniformShareWithReducedSpread) {
  // Passes visit the types in turn and each visit places an individual with probability 1/k,
  // until n are placed. Every type gets about the same number of visits, so a count has mean
  // n/k and, as k equal binomial counts conditioned on their sum, variance close to
  // n (1/k)(1 - 1/k)(1 - 1/k): smaller than the multinomial n (1/k)(1 - 1/k).
  const int n = 250, k = 3, files = 4000;
  Random rng(7);
  double sum = 0, sumSquares = 0;
  for (int i = 0; i < files; ++i) {
    const double x = driftUniformNumbers(k, n, rng)[0];
    sum += x;
    sumSquares += x * x;
  }
  const double mean = sum / files;
  const double variance = sumSquares / files - mean * mean;
  const double expectedVariance = n * (1.0 / k) * (1.0 - 1.0 / k) * (1.0 - 1.0 / k);
  EXPECT_NEAR(mean, n / 3.0, 4 * std::sqrt(expectedVariance / files));
  EXPECT_NEAR(variance / expectedVariance, 1.0, 0.1);
}

TEST(DiscreteValidation, DriftUserDrawsFollowTheUserFrequencies) {
  const std::vector<double> freqs{0.2, 0.3, 0.5};
  const int n = 300, files = 1000;
  Random rng(8);
  Matrix observed(1, std::vector<double>(3, 0.0));
  for (int i = 0; i < files; ++i) {
    const std::vector<double> numbers = driftUserNumbers(freqs, n, rng);
    for (int t = 0; t < 3; ++t) observed[0][t] += numbers[t];
  }
  Matrix expected{{0.2 * n * files, 0.3 * n * files, 0.5 * n * files}};
  EXPECT_LT(chiSquare(observed, expected), chiSquareCritical(2));
}

}  // namespace
}  // namespace pairlab
