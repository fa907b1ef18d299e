// Costs of the continuous-trait road, read as ratios to the cost of one uniform draw measured in
// the same process (the counter "uniform_draws" of the file benchmarks is the time of one
// encounter divided by the time of one draw).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "continuous/engine.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/phenotypes.hpp"
#include "continuous/preferences.hpp"
#include "support/numeric.hpp"

namespace pairlab {
namespace {

// Nanoseconds of one uniform draw, timed over many draws.
double uniformDrawNanoseconds() {
  Random rng(11);
  constexpr int kDraws = 20'000'000;
  double sink = 0.0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kDraws; ++i) sink += rng.u();
  const auto stop = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(sink);
  return std::chrono::duration<double, std::nano>(stop - start).count() / kDraws;
}

// The population and preferences of a default run: 250 standard normal females and males,
// scaled into [0, 1], FND with the given choice value.
struct Population {
  Traits traits;
  std::unique_ptr<PairOrder> order;
  std::vector<double> args;

  Population(int n, double choice, bool onechoosy) {
    Random rng(7);
    traits.female.assign(n / 2, 0.0);
    traits.male.assign(n - n / 2, 0.0);
    resetLimits(traits);
    drawNormalTraits(traits, rng);
    const double bias = scaleTraits(traits, 1.0, 0.0, 0.0);
    args = {0.0, gaussianCoefficient(1, choice, 0.08, 1.0), 0.0, choice};
    if (choice != 0.0)
      order = std::make_unique<PairOrder>(traits.female, traits.male,
                                          PairDistance{choice, bias, 1.0, onechoosy}, args);
  }
};

void BM_UniformDraw(benchmark::State& state) {
  Random rng(1);
  for (auto _ : state) benchmark::DoNotOptimize(rng.u());
}
BENCHMARK(BM_UniformDraw);

// 1000 files of 100 matings from the default population with FND -choice 0.5; range(0) is the
// encounter mode (0 with replacement, 1 mass, 2 individual), range(1) -onechoosy.
void BM_ContinuousFiles(benchmark::State& state) {
  const auto mode = static_cast<EncounterProcess>(state.range(0));
  const bool onechoosy = state.range(1) != 0;
  Population pop(500, 0.5, onechoosy);
  EngineSettings settings;
  settings.branch = Branch::PositiveAssortative;
  settings.mode = mode;
  settings.onechoosy = onechoosy;
  settings.matings = 100;
  settings.roundSize = 250;
  const EngineInputs inputs{&pop.traits.female, &pop.traits.male, pop.order.get()};
  std::vector<double> args = pop.args;
  std::vector<double> x(100, kMissing), y(100, kMissing);
  Random rng(3);
  FileWorkspace workspace;
  double encounters = 0.0;
  for (auto _ : state) {
    for (int file = 0; file < 1000; ++file) {
      const FileResult result = runContinuousFile(settings, inputs, workspace, args, x, y, rng);
      encounters += result.femaleEncounters;  // one female encounter per encounter
      benchmark::DoNotOptimize(x.data());
    }
  }
  state.counters["encounters_per_file"] =
      benchmark::Counter(encounters / (1000.0 * static_cast<double>(state.iterations())));
  // Rates inverted: elapsed time / value, so these read as ns per encounter and as the time of
  // an encounter in uniform draws.
  const auto perEncounter = benchmark::Counter::kIsRate | benchmark::Counter::kInvert;
  state.counters["ns_per_encounter"] = benchmark::Counter(encounters * 1e-9, perEncounter);
  state.counters["uniform_draws"] =
      benchmark::Counter(encounters * uniformDrawNanoseconds() * 1e-9, perEncounter);
}
BENCHMARK(BM_ContinuousFiles)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"mode", "onechoosy"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pairlab
