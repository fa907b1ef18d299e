// The inference by simulation: the weighted least squares of its regression adjustment and the
// weighted quantiles on cases with known answers; and the inference itself on a small population:
// the same for any number of threads, every accepted draw what its own stream simulates, the
// nearest accepted with their Epanechnikov weights, adjusted values inside the priors.
#include "analysis/abc.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/local_linear.hpp"
#include "analysis/trait_statistics.hpp"

namespace pairlab {
namespace {

TEST(LocalLinear, RecoversAnExactLinearRelationAndLeavesOutAnAliasedPredictor) {
  // y0 = 2 + 3 a - b, y1 = -1 + 0.5 b; the third predictor is a + b (aliased).
  std::vector<std::vector<double>> x;
  std::vector<double> w;
  std::vector<std::vector<double>> y(2);
  for (int i = 0; i < 12; ++i) {
    const double a = std::sin(i * 1.3), b = std::cos(i * 0.7) + 0.1 * i;
    x.push_back({a, b, a + b});
    w.push_back(i % 3 == 0 ? 0.0 : 0.25 + 0.05 * i);  // zero weights take no part
    y[0].push_back(2.0 + 3.0 * a - b);
    y[1].push_back(-1.0 + 0.5 * b);
  }
  std::vector<std::vector<double>> beta;
  ASSERT_TRUE(weightedLeastSquares(x, w, y, beta));
  const std::vector<std::vector<double>> expected = {{2, 3, -1, 0}, {-1, 0, 0.5, 0}};
  for (std::size_t r = 0; r < 2; ++r)
    for (std::size_t j = 0; j < 4; ++j) EXPECT_NEAR(beta[r][j], expected[r][j], 1e-9);

  // Fewer observations of positive weight than coefficients.
  std::vector<double> few(12, 0.0);
  few[1] = few[2] = 1.0;
  x.assign(12, {0.0, 0.0});
  EXPECT_FALSE(weightedLeastSquares(x, few, y, beta));
  EXPECT_TRUE(beta.empty());
}

TEST(LocalLinear, WeightedQuantilesAndMeans) {
  const std::vector<double> v = {5, 1, 3, 2, 4};
  const std::vector<double> ones(5, 1.0), w = {0, 1, 1, 2, 0};
  struct {
    const std::vector<double>& weights;
    double q, expected;
  } cases[] = {{ones, 0.5, 3}, {ones, 0.2, 1}, {ones, 0.21, 2}, {ones, 1.0, 5},
               {ones, 0.0, 1}, {w, 0.5, 2},    {w, 0.26, 2},    {w, 0.76, 3}};
  for (const auto& c : cases) EXPECT_EQ(weightedQuantile(v, c.weights, c.q), c.expected) << c.q;
  EXPECT_DOUBLE_EQ(weightedMean(v, w), (1.0 + 3.0 + 4.0) / 4.0);
  EXPECT_TRUE(std::isnan(weightedQuantile(v, std::vector<double>(5, 0.0), 0.5)));
}

Traits population(int nfem, int nmale) {
  Traits traits;
  traits.female.assign(static_cast<std::size_t>(nfem), 0.0);
  traits.male.assign(static_cast<std::size_t>(nmale), 0.0);
  resetLimits(traits);
  Random rng(21);
  drawNormalTraits(traits, rng);
  return traits;
}

AbcModel fnd(const char* name, double choice) {
  AbcModel m;
  m.name = name;
  m.config.continuous = true;
  m.config.choice = choice;
  m.model = {1, EncounterProcess::Individual};
  return m;
}

TEST(Abc, IsTheSameForAnyThreadsAndEachDrawIsWhatItsStreamSimulates) {
  const Traits traits = population(40, 45);
  AbcSettings settings;
  settings.priors = {{findAbcParameter("choice"), 0.0, 1.0},
                     {findAbcParameter("tolerance"), 0.05, 0.5}};
  settings.models = {fnd("FND", 0.0), fnd("random", 0.0)};
  settings.models[0].priors = {0, 1};
  settings.simulations = 601;
  settings.accept = 0.05;
  settings.seed = 17;
  const SampleTarget target{&traits, 20};
  TraitStatistics observed{};
  observed = {0.6, 0.0, 0.3, 0.0, 0.9, 0.0, 0.9};

  settings.threads = 1;
  const AbcResult one = runAbc(settings, target, observed, true, 3, [](long long) {});
  settings.threads = 3;
  const AbcResult three = runAbc(settings, target, observed, true, 3, [](long long) {});

  ASSERT_EQ(one.accepted.size(), 30u);  // 5 % of 601, rounded
  ASSERT_EQ(three.accepted.size(), one.accepted.size());
  EXPECT_EQ(one.scale, three.scale);
  double previous = 0.0, probabilities = 0.0;
  for (std::size_t i = 0; i < one.accepted.size(); ++i) {
    const AbcDraw& a = one.accepted[i];
    const AbcDraw& b = three.accepted[i];
    EXPECT_EQ(a.simulation, b.simulation);
    EXPECT_EQ(a.values, b.values);
    EXPECT_EQ(a.adjusted, b.adjusted);
    EXPECT_EQ(a.statistics, b.statistics);
    EXPECT_GE(a.distance, previous);  // nearest first
    previous = a.distance;
    EXPECT_NEAR(a.weight, 1.0 - std::pow(a.distance / one.accepted.back().distance, 2), 1e-12);
    EXPECT_EQ(a.model, static_cast<int>(a.simulation % 2));  // the models in turn
    for (std::size_t j = 0; j < a.adjusted.size(); ++j) {
      const Prior& prior = settings.priors[j];
      EXPECT_TRUE(a.adjusted[j] > prior.lower && a.adjusted[j] < prior.upper) << a.adjusted[j];
    }
  }
  for (const ModelPosterior& m : one.models) probabilities += m.probability;
  EXPECT_DOUBLE_EQ(probabilities, 1.0);
  EXPECT_EQ(one.models[0].simulations, 301);

  // The parameters of an accepted draw, set and simulated from the draw's own stream (after the
  // draws of its priors), give its statistics again.
  const AbcDraw& first = one.accepted.front();
  RunConfig config = settings.models[static_cast<std::size_t>(first.model)].config;
  config.matings = 20;
  Random rng(simulationSeed(settings.seed, 3, first.simulation));
  for (double v : first.values) {
    (void)rng.u();
    (void)v;
  }
  for (std::size_t j = 0; j < first.values.size(); ++j)
    settings.priors[j].parameter->field(config) = first.values[j];
  SampleWorkspace workspace;
  TraitStatistics again{};
  ASSERT_TRUE(simulateStatistics(config,
                                 settings.models[static_cast<std::size_t>(first.model)].model,
                                 target, workspace, rng, again));
  EXPECT_EQ(again, first.statistics);
}

TEST(Abc, SimulationsThatCannotCompleteTheirSampleAreNeverAccepted) {
  // Strong aging: every individual dies after a few encounters, so samples of 30 pairs from 35 of
  // each sex under a strong preference do not complete.
  const Traits traits = population(35, 35);
  AbcSettings settings;
  settings.priors = {{findAbcParameter("choice"), 0.9, 1.0}};
  settings.models = {fnd("FND", 0.0)};
  settings.models[0].priors = {0};
  settings.models[0].config.tolerance = 0.01;
  settings.models[0].config.age_params = {0.2, 2.0, 0.0};
  settings.simulations = 50;
  settings.threads = 2;
  const TraitStatistics observed{0.5, 0, 0.2, 0, 1, 0, 1};
  const AbcResult r = runAbc(settings, {&traits, 30}, observed, true, 1, [](long long) {});
  EXPECT_EQ(r.complete, 0);
  EXPECT_TRUE(r.accepted.empty());
  EXPECT_TRUE(std::isnan(r.models[0].rejection[0].median));
  ASSERT_FALSE(r.notes.empty());
  EXPECT_NE(r.notes[0].find("50 of the 50 simulations ended before"), std::string::npos);
}

}  // namespace
}  // namespace pairlab
