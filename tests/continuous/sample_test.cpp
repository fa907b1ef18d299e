// One sample of the road in process (continuous/sample.hpp), as an inference runs it: the order
// of the preferences without its table gives the files the road's order gives, and a work space
// that served other settings (traits rescaled otherwise, or not at all) gives the sample a fresh
// one gives.
#include "continuous/sample.hpp"

#include <gtest/gtest.h>

#include "support/numeric.hpp"

namespace pairlab {
namespace {

Traits population(int nfem, int nmale, std::uint64_t seed) {
  Traits traits;
  traits.female.assign(static_cast<std::size_t>(nfem), 0.0);
  traits.male.assign(static_cast<std::size_t>(nmale), 0.0);
  resetLimits(traits);
  Random rng(seed);
  drawNormalTraits(traits, rng);
  return traits;
}

struct Case {
  const char* name;
  int model;  // decoded
  EncounterProcess process;
  double choice, tolerance, dmax, bias;
  bool onechoosy;
  std::array<double, 3> aging;
};

const Case kCases[] = {
    {"FND individual", 1, EncounterProcess::Individual, 0.7, 0.1, 1.0, 0.0, false, {0, 2, 0}},
    {"FND negative mass", 1, EncounterProcess::Mass, -0.5, 0.3, 2.0, 0.0, false, {0, 2, 0}},
    {"BD03 one choosy", 2, EncounterProcess::Individual, 0.4, 0.2, 1.0, 0.1, true, {0, 2, 0}},
    {"FND aging", 1, EncounterProcess::Individual, 0.9, 0.05, 1.0, 0.0, false, {1, 2, 0}},
    {"FND replacement", 1, EncounterProcess::WithReplacement, 0.6, 0.1, 3.0, 0.2, false, {0, 2, 0}},
    {"logistic", 3, EncounterProcess::Individual, 0.0, 0.08, 1.0, 0.0, false, {0, 2, 0}},
};

RunConfig configOf(const Case& c) {
  RunConfig config;
  config.continuous = true;
  config.choice = c.choice;
  config.tolerance = c.tolerance;
  config.dmax = c.dmax;
  config.bias = c.bias;
  config.onechoosy = c.onechoosy;
  config.age_params = c.aging;
  config.logistic_params = {-0.5, 2.0};
  config.matings = 40;
  return config;
}

TEST(Sample, IsTheRoadsFileWithoutTheTableOfThePairs) {
  const Traits traits = population(60, 70, 5);
  for (const Case& c : kCases) {
    if (c.model == 3) continue;
    SCOPED_TRACE(c.name);
    const RunConfig config = configOf(c);
    Traits road = traits;
    Preferences prefs = setUpPreferences(config, c.model, road);  // the road's order, tabled
    const EngineSettings settings =
        engineSettings(config, c.process, agingOn(config.age_params), 60, prefs.branch);
    FileWorkspace file;
    std::vector<double> x(40, kNoTrait), y(40, kNoTrait);
    Random rng(11);
    const FileResult expected = runContinuousFile(
        settings, {&road.female, &road.male, prefs.order.get()}, file, prefs.args, x, y, rng);

    SampleWorkspace workspace;
    Random same(11);
    const FileResult got = simulateSample(config, {c.model, c.process}, traits, workspace, same);
    EXPECT_EQ(got.k, expected.k);
    EXPECT_EQ(got.report, expected.report);
    EXPECT_EQ(got.encounters, expected.encounters);
    for (int j = 0; j < got.k; ++j) {
      EXPECT_EQ(workspace.x[static_cast<std::size_t>(j)], x[static_cast<std::size_t>(j)]);
      EXPECT_EQ(workspace.y[static_cast<std::size_t>(j)], y[static_cast<std::size_t>(j)]);
    }
    EXPECT_TRUE(same == rng);
  }
}

TEST(Sample, AWorkSpaceThatServedOtherSettingsGivesTheSampleOfAFreshOne) {
  const Traits traits = population(50, 50, 9);
  SampleWorkspace reused;
  for (int round = 0; round < 2; ++round)
    for (const Case& c : kCases) {
      SCOPED_TRACE(c.name);
      const RunConfig config = configOf(c);
      SampleWorkspace fresh;
      Random a(round * 100 + 3), b(round * 100 + 3);
      const FileResult one = simulateSample(config, {c.model, c.process}, traits, fresh, a);
      const FileResult two = simulateSample(config, {c.model, c.process}, traits, reused, b);
      ASSERT_EQ(one.k, two.k);
      EXPECT_EQ(one.encounters, two.encounters);
      const auto pairs = [&](const std::vector<double>& v) {
        return std::vector<double>(v.begin(), v.begin() + one.k);
      };
      EXPECT_EQ(pairs(fresh.x), pairs(reused.x));
      EXPECT_EQ(pairs(fresh.y), pairs(reused.y));
    }
}

}  // namespace
}  // namespace pairlab
