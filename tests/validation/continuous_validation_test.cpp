// Statistical checks of the continuous-trait road against theory, with fixed seeds: the
// simulated matings must follow the preference functions.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "continuous/engine.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/phenotypes.hpp"
#include "continuous/preferences.hpp"
#include "continuous/writers.hpp"
#include "support/numeric.hpp"

namespace pairlab {
namespace {

using Vec = std::vector<double>;

Traits normalTraits(int females, int males, std::uint64_t seed) {
  Traits traits;
  traits.female.assign(females, 0.0);
  traits.male.assign(males, 0.0);
  resetLimits(traits);
  Random rng(seed);
  drawNormalTraits(traits, rng);
  return traits;
}

TEST(ContinuousValidation, TraitDrawsAreStandardNormal) {
  const Traits traits = normalTraits(50000, 50000, 1);
  double sum = 0, squares = 0;
  for (const Vec* v : {&traits.female, &traits.male})
    for (double t : *v) {
      sum += t;
      squares += t * t;
    }
  const double n = 100000, mean = sum / n, variance = squares / n - mean * mean;
  EXPECT_NEAR(mean, 0.0, 4 / std::sqrt(n));
  EXPECT_NEAR(variance, 1.0, 4 * std::sqrt(2 / n));
}

// With replacement every encounter is a uniform pair accepted with probability p / M, so the
// mated pairs follow the preferences: E|x - y| over matings = sum p |x - y| / sum p.
TEST(ContinuousValidation, MatedPairsFollowTheGaussianPreference) {
  Traits traits = normalTraits(100, 100, 2);
  const double bias = scaleTraits(traits, 1.0, 0.0, 0.0);
  Vec args{0, gaussianCoefficient(1, 0.3, 0.08, 1), 0, 0.3};
  PairOrder order(traits.female, traits.male, PairDistance{0.3, bias, 1, false}, args);
  double weight = 0, mean = 0, squares = 0;
  for (int f = 0; f < 100; ++f)
    for (int m = 0; m < 100; ++m) {
      const double p = order.preference(f, m), d = std::fabs(traits.female[f] - traits.male[m]);
      weight += p;
      mean += p * d;
      squares += p * d * d;
    }
  mean /= weight;
  const double sd = std::sqrt(squares / weight - mean * mean);

  EngineSettings settings;
  settings.branch = Branch::PositiveAssortative;
  settings.matings = 100;
  const EngineInputs inputs{&traits.female, &traits.male, &order};
  FileWorkspace workspace;
  Vec x(100, kNoTrait), y(100, kNoTrait);
  Random rng(3);
  double total = 0;
  constexpr int kFiles = 300;
  for (int file = 0; file < kFiles; ++file) {
    ASSERT_EQ(runContinuousFile(settings, inputs, workspace, args, x, y, rng).k, 100);
    for (int j = 0; j < 100; ++j) total += std::fabs(x[j] - y[j]);
  }
  EXPECT_NEAR(total / (100 * kFiles), mean, 4 * sd / std::sqrt(100.0 * kFiles));
}

// Logistic preference with replacement: an encounter mates with probability
// q = mean over pairs of L(a + b y) L(a + b x) = mean_f L(a + b x) * mean_m L(a + b y), so the
// number of encounters per mating is geometric with mean 1 / q.
TEST(ContinuousValidation, LogisticAcceptanceRateMatchesThePreference) {
  const Traits traits = normalTraits(80, 120, 4);
  const double a = -1, b = 1.5;
  auto L = [](double z) { return std::exp(z) / (1 + std::exp(z)); };
  double females = 0, males = 0;
  for (double t : traits.female) females += L(a + b * t) / 80;
  for (double t : traits.male) males += L(a + b * t) / 120;
  const double q = females * males;

  EngineSettings settings;
  settings.branch = Branch::Logistic;
  settings.matings = 100;
  const EngineInputs inputs{&traits.female, &traits.male, nullptr};
  FileWorkspace workspace;
  Vec args{a, b, 0, a, b, 0}, x(100, kNoTrait), y(100, kNoTrait);
  Random rng(5);
  double encounters = 0;
  constexpr int kFiles = 200;
  for (int file = 0; file < kFiles; ++file)
    encounters += runContinuousFile(settings, inputs, workspace, args, x, y, rng).femaleEncounters;
  const double matings = 100.0 * kFiles;
  EXPECT_NEAR(encounters / matings, 1 / q, 4 * std::sqrt(1 - q) / q / std::sqrt(matings));
}

// Random mating: partners' traits are independent, so the adjusted correlations of the files
// average 0 (each has a standard error of about 1 / sqrt(n)).
TEST(ContinuousValidation, RandomMatingLeavesPartnersUncorrelated) {
  const Traits traits = normalTraits(250, 250, 6);
  for (EncounterProcess mode : {EncounterProcess::WithReplacement, EncounterProcess::Individual}) {
    EngineSettings settings;
    settings.mode = mode;
    settings.matings = 100;
    settings.roundSize = 250;
    const EngineInputs inputs{&traits.female, &traits.male, nullptr};
    FileWorkspace workspace;
    Vec args, x(100, kNoTrait), y(100, kNoTrait);
    Random rng(7);
    double sum = 0;
    constexpr int kFiles = 400;
    for (int file = 0; file < kFiles; ++file) {
      runContinuousFile(settings, inputs, workspace, args, x, y, rng);
      std::array<double, 2> regression{};
      sum += regcorrelxy(x, y, true, false, regression);
    }
    EXPECT_NEAR(sum / kFiles, 0.0, 4 * 0.1 / std::sqrt(kFiles));
  }
}

}  // namespace
}  // namespace pairlab

namespace pairlab {
namespace {

// A female who never mates dies at her T-th encounter, where P(T > t) is the product of the
// survival probabilities exp(-(ln j)^2) of her encounters j = 2..t (the first is always
// survived): the mean of T and the share of deaths at the second encounter, 1 - exp(-(ln 2)^2),
// must match.
TEST(ContinuousValidation, AgeAtDeathFollowsTheSurvivalCurve) {
  double mean = 0, second = 0, survive = 1, meanSquares = 0;
  for (int t = 1; t < 200; ++t) {
    const double previous = survive;  // P(T > t - 1)
    if (t >= 2) survive *= std::exp(-std::pow(std::log(t), 2.0));
    const double dies = previous - survive;  // P(T = t)
    mean += t * dies;
    meanSquares += double(t) * t * dies;
    if (t == 2) second = dies;
  }
  const double sd = std::sqrt(meanSquares - mean * mean);

  const Vec females{0.0};
  Vec males;
  for (int i = 0; i < 1000; ++i) males.push_back(i);  // plenty: male deaths do not matter
  EngineSettings settings;
  settings.branch = Branch::Logistic;
  settings.aging = true;
  settings.agingParams = {1, 2, 0};
  settings.matings = 5;
  const EngineInputs inputs{&females, &males, nullptr};
  FileWorkspace workspace;
  Vec args{-1000, 0, 0, -1000, 0, 0}, x(5, kNoTrait), y(5, kNoTrait);  // never a mating
  Random rng(9);
  constexpr int kFiles = 20000;
  double total = 0, diedSecond = 0;
  for (int file = 0; file < kFiles; ++file) {
    const double age =
        runContinuousFile(settings, inputs, workspace, args, x, y, rng).femaleEncounters;
    total += age;
    diedSecond += age == 2;
  }
  EXPECT_NEAR(second, 1 - 0.6185, 1e-3);
  EXPECT_NEAR(diedSecond / kFiles, second, 4 * std::sqrt(second * (1 - second) / kFiles));
  EXPECT_NEAR(total / kFiles, mean, 4 * sd / std::sqrt(kFiles));
}

}  // namespace
}  // namespace pairlab
