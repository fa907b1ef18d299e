// Costs of the inference by simulation of pairlab-analyze --continuous (bench/README.md explains
// how to run and read them), for the case the performance aim names: N = 500 (250 females, 250
// males), 100 pairs, FND under individual encounters, choice uniform on [0, 1] and tolerance on
// [0.02, 0.5]:
//   - BM_AbcSimulation: one simulation as the inference runs it: its stream seeded, the priors
//     drawn, the traits rescaled, the order of the preferences set up (without the table of the
//     pairs), the sample simulated and measured; "uniform_draws" is its time in uniform draws;
//   - BM_AbcSimulationParts/part: the same taken apart: 0 the order of the preferences with the
//     table of the pairs and the memory check (as a run of the road sets it up), 1 without them
//     (as the inference does), 2 the sample (rescaling, order, the engine's file), 3 the
//     statistics of a sample;
//   - BM_AbcThreads/threads: the inference of one table, 20,000 simulations, by the clock on 1
//     and 2 threads (the ratio of the two is the speed-up);
//   - BM_AbcWholeProgram/threads: the whole program, --abc 100000 on one table, by the clock;
//     "peak_rss_mb" is the peak resident memory of the process after it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "analysis/abc.hpp"
#include "app/analyze_driver.hpp"
#include "bench/baseline.hpp"
#include "support/numeric.hpp"

namespace pairlab {
namespace {

Traits population() {
  Traits traits;
  traits.female.assign(250, 0.0);
  traits.male.assign(250, 0.0);
  resetLimits(traits);
  Random rng(7);
  drawNormalTraits(traits, rng);
  return traits;
}

AbcSettings fndSettings(long long simulations, int threads) {
  AbcSettings settings;
  settings.priors = {{findAbcParameter("choice"), 0.0, 1.0},
                     {findAbcParameter("tolerance"), 0.02, 0.5}};
  AbcModel model;
  model.name = "FND";
  model.config.continuous = true;
  model.model = {1, EncounterProcess::Individual};
  model.priors = {0, 1};
  settings.models = {model};
  settings.simulations = simulations;
  settings.threads = threads;
  settings.seed = 5;
  return settings;
}

void BM_AbcSimulation(benchmark::State& state) {
  const Traits traits = population();
  const AbcSettings settings = fndSettings(1, 1);
  RunConfig config = settings.models[0].config;
  config.matings = 100;
  SampleWorkspace workspace;
  long long i = 0;
  for (auto _ : state) {
    Random rng(simulationSeed(settings.seed, 1, i++));
    for (const Prior& p : settings.priors)
      p.parameter->field(config) = p.lower + (p.upper - p.lower) * rng.u();
    TraitStatistics s{};
    benchmark::DoNotOptimize(
        simulateStatistics(config, settings.models[0].model, {&traits, 100}, workspace, rng, s));
  }
  const auto inverted = benchmark::Counter::kIsRate | benchmark::Counter::kInvert;
  state.counters["uniform_draws"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * uniformDrawNanoseconds() * 1e-9, inverted);
}
BENCHMARK(BM_AbcSimulation)->Unit(benchmark::kMicrosecond);

void BM_AbcSimulationParts(benchmark::State& state) {
  const Traits traits = population();
  Traits scaled = traits;
  scaleTraits(scaled, 1.0, 0.0, 0.0);
  RunConfig config;
  config.matings = 100;
  SampleWorkspace workspace;
  Random draws(3);
  long long i = 0;
  config.choice = 0.5;
  config.tolerance = 0.1;
  Random first(1);
  const int k =
      simulateSample(config, {1, EncounterProcess::Individual}, traits, workspace, first).k;
  for (auto _ : state) {
    if (state.range(0) == 3) {
      benchmark::DoNotOptimize(
          traitStatistics(workspace.x, workspace.y, k, momentsOf(workspace.traits)));
      continue;
    }
    config.choice = draws.u();
    config.tolerance = 0.02 + 0.48 * draws.u();
    std::vector<double> args = {0.0, gaussianCoefficient(1, config.choice, config.tolerance, 1.0),
                                0.0, config.choice};
    const PairDistance distance{config.choice, 0.0, 1.0, false};
    if (state.range(0) == 0) {
      PairOrder order(scaled.female, scaled.male, distance, args);
      benchmark::DoNotOptimize(order.largest());
    } else if (state.range(0) == 1) {
      PairOrder order(scaled.female, scaled.male, distance, args,
                      PairOrderOptions{nullptr, false, false});
      benchmark::DoNotOptimize(order.largest());
    } else {
      Random rng(static_cast<std::uint64_t>(++i));
      const FileResult r =
          simulateSample(config, {1, EncounterProcess::Individual}, traits, workspace, rng);
      benchmark::DoNotOptimize(r.k);
    }
  }
  const char* labels[] = {"order with table and memory check", "order as the inference sets it",
                          "sample (rescaling, order, engine)", "statistics of a sample"};
  state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_AbcSimulationParts)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_AbcThreads(benchmark::State& state) {
  const Traits traits = population();
  const AbcSettings settings = fndSettings(20000, static_cast<int>(state.range(0)));
  const TraitStatistics observed = {0.5, 0.0, 0.3, 0.4, 0.3, 0.4, 0.3};
  for (auto _ : state) {
    const AbcResult r = runAbc(settings, {&traits, 100}, observed, true, 1, [](long long) {});
    benchmark::DoNotOptimize(r.accepted.size());
  }
}
BENCHMARK(BM_AbcThreads)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

// The whole program on one table of 100 pairs from a population of 500 in a scratch directory.
void BM_AbcWholeProgram(benchmark::State& state) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("pairlab-abc-bench." + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const Traits traits = population();
  {
    std::ofstream pop(dir / "population.tsv"), pairs(dir / "pairs.tsv");
    pop << "sex\ttrait\n";
    for (double t : traits.female) pop << "F\t" << t << "\n";
    for (double t : traits.male) pop << "M\t" << t << "\n";
    pairs << "female_trait\tmale_trait\n";
    for (int i = 0; i < 100; ++i)
      pairs << traits.female[i] << "\t" << traits.male[i] * 0.3 + traits.female[i] * 0.7 << "\n";
  }
  const std::string threads = std::to_string(state.range(0));
  const std::string in = (dir / "pairs.tsv").string(), pop = (dir / "population.tsv").string(),
                    out = (dir / "out").string();
  const char* argv[] = {"pairlab-analyze",
                        in.c_str(),
                        "--continuous",
                        "--population",
                        pop.c_str(),
                        "-model",
                        "-1",
                        "--abc",
                        "100000",
                        "--prior",
                        "choice=0:1",
                        "--prior",
                        "tolerance=0.02:0.5",
                        "--null",
                        "0",
                        "--seed",
                        "1",
                        "--threads",
                        threads.c_str(),
                        "--out",
                        out.c_str(),
                        "--progress",
                        "0"};
  std::ostringstream discard;
  std::streambuf* saved = std::cout.rdbuf(discard.rdbuf());
  for (auto _ : state)
    benchmark::DoNotOptimize(runAnalyze(static_cast<int>(std::size(argv)), argv));
  std::cout.rdbuf(saved);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_AbcWholeProgram)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
}  // namespace pairlab
