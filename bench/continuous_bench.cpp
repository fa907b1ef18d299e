// Costs of the continuous-trait road, read as ratios to the cost of one uniform draw measured in
// the same process.
//   BM_Encounters: files of the engine for N = 500, 10^4 and 10^6, every encounter process,
//     branch and aging; "uniform_draws" is the time of one encounter divided by the time of one
//     draw, "draws_per_encounter" how many draws an encounter consumes.
//   BM_WholeRun: whole runs of the program in this process (20,000 files of the default
//     population, data files off; the sampling rounds on a memory file system); "draw_ratio" is
//     the time of the run divided by the time of as many bare draws as the run consumes (1.0
//     would be nothing but the draws).
//   BM_TimePerFile: the time of a file at N = 10^6 against N = 500, from runs of 3000 files less
//     runs of 2 files (so that the set-up cancels).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/parse_args.hpp"
#include "bench/baseline.hpp"
#include "continuous/engine.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/phenotypes.hpp"
#include "continuous/road.hpp"
#include "rounds/sampling_rounds.hpp"
#include "support/numeric.hpp"
#include "support/output.hpp"
#include "support/run_output.hpp"
#include "support/settled_run.hpp"

namespace pairlab {
namespace {

// The engine outputs consumed between two states of a Random: the draws from `before` until the
// next four draws of `after` come up, confirmed by comparing the whole state.
std::int64_t drawsBetween(const Random& before, const Random& after) {
  Random ahead = after;
  double next[4];
  for (double& v : next) v = ahead.u();
  Random walker = before;
  double window[4];
  for (double& v : window) v = walker.u();
  std::int64_t n = 0;
  while (!(window[n % 4] == next[0] && window[(n + 1) % 4] == next[1] &&
           window[(n + 2) % 4] == next[2] && window[(n + 3) % 4] == next[3])) {
    window[n % 4] = walker.u();
    ++n;
  }
  Random replay = before;
  replay.discard(static_cast<unsigned long long>(n));
  if (!(replay == after)) std::abort();
  return n;
}

// N individuals (half of each sex) with standard normal traits scaled into [0, 1].
Traits population(std::int64_t n) {
  Random rng(7);
  Traits traits;
  traits.female.assign(static_cast<std::size_t>(n / 2), 0.0);
  traits.male.assign(static_cast<std::size_t>(n - n / 2), 0.0);
  resetLimits(traits);
  drawNormalTraits(traits, rng);
  scaleTraits(traits, 1.0, 0.0, 0.0);
  return traits;
}

enum BranchCase { kPositive, kOneChoosy, kNegative, kRandom, kLogistic };

// range(0) N, range(1) the encounter process (0 with replacement, 1 individual, 2 mass),
// range(2) the branch (BranchCase), range(3) aging (-age_params 1 2 0) or not. 100 matings a
// file; FND -choice 0.5 (-0.5 for the negative branch, -tolerance 0.3), logistic 0 1.
void BM_Encounters(benchmark::State& state) {
  const Traits traits = population(state.range(0));
  const auto branch = static_cast<BranchCase>(state.range(2));
  EngineSettings settings;
  settings.mode = static_cast<EncounterProcess>(state.range(1));
  settings.onechoosy = branch == kOneChoosy;
  settings.aging = state.range(3) != 0;
  settings.agingParams = {1, 2, 0};
  settings.matings = 100;
  settings.roundSize = static_cast<int>(state.range(0) / 2);
  std::vector<double> args{0.0, 1.0, 0.0, 0.0, 1.0, 0.0};
  std::unique_ptr<PairOrder> order;
  if (branch == kRandom) {
    settings.branch = Branch::RandomMating;
  } else if (branch == kLogistic) {
    settings.branch = Branch::Logistic;
  } else {
    const double choice = branch == kNegative ? -0.5 : 0.5;
    const double tolerance = branch == kNegative ? 0.3 : 0.08;
    settings.branch =
        branch == kNegative ? Branch::NegativeAssortative : Branch::PositiveAssortative;
    std::vector<double> gaussian{0.0, gaussianCoefficient(1, choice, tolerance, 1.0), 0.0, choice};
    order = std::make_unique<PairOrder>(
        traits.female, traits.male, PairDistance{choice, 0.0, 1.0, settings.onechoosy}, gaussian);
  }
  const EngineInputs inputs{&traits.female, &traits.male, order.get()};
  std::vector<double> x(100, kNoTrait), y(100, kNoTrait);
  Random rng(3);
  const Random start = rng;
  FileWorkspace workspace;
  constexpr int kFiles = 100;
  double encounters = 0.0;
  for (auto _ : state) {
    for (int file = 0; file < kFiles; ++file) {
      encounters += static_cast<double>(
          runContinuousFile(settings, inputs, workspace, args, x, y, rng).encounters);
      benchmark::DoNotOptimize(x.data());
    }
  }
  const auto draws = static_cast<double>(drawsBetween(start, rng));
  const auto inverted = benchmark::Counter::kIsRate | benchmark::Counter::kInvert;
  state.counters["encounters_per_file"] =
      encounters / (kFiles * static_cast<double>(state.iterations()));
  state.counters["draws_per_encounter"] = draws / encounters;
  state.counters["ns_per_encounter"] = benchmark::Counter(encounters * 1e-9, inverted);
  state.counters["uniform_draws"] =
      benchmark::Counter(encounters * uniformDrawNanoseconds() * 1e-9, inverted);
}
BENCHMARK(BM_Encounters)
    ->ArgsProduct({{500, 10'000, 1'000'000}, {0, 1, 2}, {0, 1, 2, 3, 4}, {0, 1}})
    ->ArgNames({"N", "process", "branch", "aging"})
    ->Unit(benchmark::kMillisecond);

// A whole run of the program in this process, in a fresh directory below `root`, with standard
// output discarded: its time in seconds and the draws it consumed.
struct WholeRun {
  double seconds = 0.0;
  std::int64_t draws = 0;
};
WholeRun wholeRun(const std::vector<std::string>& options, const std::filesystem::path& root) {
  std::vector<const char*> argv{"pairlab"};
  for (const std::string& o : options) argv.push_back(o.c_str());
  RunConfig config;
  ParseArgs(static_cast<int>(argv.size()), argv.data(), config);
  const SettledRun settled = settleRun(config, config.fixseed);
  const auto dir = root / ("run" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  std::ostringstream discard;
  std::streambuf* out = std::cout.rdbuf(discard.rdbuf());
  Random rng(static_cast<std::uint64_t>(config.fixseed));
  const Random start = rng;
  const double t0 = threadSeconds();
  {
    RunOutput output;  // no ledger row, no progress line
    if (config.continuous)
      runContinuousRoad(config, settled, output, rng);
    else
      runSamplingRounds(config, settled, output, rng);
  }
  const double t1 = threadSeconds();
  std::cout.rdbuf(out);
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
  return {t1 - t0, drawsBetween(start, rng)};
}

// The memory file system when there is one.
std::filesystem::path scratch() {
  return std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
}

const std::vector<std::vector<std::string>> kWholeRuns = {
    {"-continuous", "1", "-model", "1", "-choice", "0.5"},
    {"-continuous", "1", "-model", "-1", "-choice", "0.5"},
    {"-continuous", "1", "-model", "-10", "-choice", "0.5"},
    {"-continuous", "1", "-model", "-1", "-choice", "0.5", "-onechoosy", "1"},
    {"-continuous", "1", "-model", "-1", "-choice", "0.5", "-age_params", "1", "2", "0"},
    {"-onematround", "0", "-model", "3", "-MRmax", "1"},
};

// range(0) indexes kWholeRuns; 20,000 files, -writefiles 0, -fixseed 1. The fastest of the
// iterations counts.
void BM_WholeRun(benchmark::State& state) {
  std::vector<std::string> options = kWholeRuns[static_cast<std::size_t>(state.range(0))];
  options.insert(options.end(), {"-numfiles", "20000", "-writefiles", "0", "-fixseed", "1"});
  WholeRun run{1e300, 0};
  for (auto _ : state) {
    const WholeRun one = wholeRun(options, scratch());
    if (one.seconds < run.seconds) run = one;
    state.SetIterationTime(one.seconds);
  }
  std::string label;
  for (const std::string& o : kWholeRuns[static_cast<std::size_t>(state.range(0))])
    label += o + " ";
  state.SetLabel(label);
  state.counters["draws"] = static_cast<double>(run.draws);
  state.counters["draw_ratio"] =
      run.seconds * 1e9 / (static_cast<double>(run.draws) * uniformDrawNanoseconds());
}
BENCHMARK(BM_WholeRun)
    ->DenseRange(0, static_cast<int>(kWholeRuns.size()) - 1)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// The time of a file at range(0) individuals, individual encounters, FND -choice 0.5, default
// matings: (run of range(1) files - run of 2 files) / (range(1) - 2), each run the fastest of
// nine (set-up takes its page faults at varying cost, which only ever adds).
void BM_TimePerFile(benchmark::State& state) {
  const std::string n = std::to_string(state.range(0));
  const std::string files = std::to_string(state.range(1));
  auto options = [&](const std::string& count) {
    return std::vector<std::string>{"-continuous", "1",  "-model",   "-1",        "-choice",
                                    "0.5",         "-N", n,          "-numfiles", count,
                                    "-writefiles", "0",  "-fixseed", "1"};
  };
  double many = 1e300, two = 1e300;
  for (auto _ : state) {
    const double a = wholeRun(options(files), scratch()).seconds;
    const double b = wholeRun(options("2"), scratch()).seconds;
    many = std::min(many, a);
    two = std::min(two, b);
    state.SetIterationTime(a);
  }
  const double perFile = (many - two) / static_cast<double>(state.range(1) - 2);
  state.counters["us_per_file"] = perFile * 1e6;
  state.counters["uniform_draws_per_file"] = perFile * 1e9 / uniformDrawNanoseconds();
}
BENCHMARK(BM_TimePerFile)
    ->ArgsProduct({{500, 1'000'000}, {3000, 30000}})
    ->ArgNames({"N", "files"})
    ->UseManualTime()
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);

// The least a replicate of the sampling-rounds run of BM_WholeRun (-model 3 -MRmax 1, 2 x 2
// types, 100 rounds) can cost whatever the program does around it, in uniform draws: writing its
// rounds table (a 6 KB file on the memory file system, written whole and renamed into place),
// the 1,200 logarithms of its running indices (three per cell and round) and its own draws
// (range(0)). "floor_ratio" is the draw_ratio that a run doing nothing else would have.
void BM_RoundsReplicateFloor(benchmark::State& state) {
  const auto dir = scratch() / ("floor" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string text(6000, '0');
  std::vector<double> arguments(1200);
  for (std::size_t k = 0; k < arguments.size(); ++k)
    arguments[k] = 0.5 + static_cast<double>(k) / 1200.0;
  constexpr int kReplicates = 2000;
  double fileSeconds = 1e300, logSeconds = 1e300, sink = 0.0;
  for (auto _ : state) {
    double start = threadSeconds();
    for (int f = 1; f <= kReplicates; ++f) {
      ResultFile file((dir / ("replicate" + std::to_string(f) + ".txt")).string());
      file.text() = text;
      file.commit();
    }
    fileSeconds = std::min(fileSeconds, (threadSeconds() - start) / kReplicates);
    start = threadSeconds();
    for (int f = 0; f < kReplicates; ++f)
      for (double a : arguments) sink += std::log(a + static_cast<double>(f));
    logSeconds = std::min(logSeconds, (threadSeconds() - start) / kReplicates);
    state.SetIterationTime(fileSeconds + logSeconds);
  }
  benchmark::DoNotOptimize(sink);
  std::filesystem::remove_all(dir);
  const double draw = uniformDrawNanoseconds() * 1e-9;
  const auto draws = static_cast<double>(state.range(0));
  state.counters["file_draws"] = fileSeconds / draw;
  state.counters["logarithm_draws"] = logSeconds / draw;
  state.counters["floor_ratio"] = (draws + (fileSeconds + logSeconds) / draw) / draws;
}
// 318 draws a replicate: the draws BM_WholeRun/5 counts, over its 20,000 replicates.
BENCHMARK(BM_RoundsReplicateFloor)->Arg(318)->UseManualTime()->Iterations(5);

}  // namespace
}  // namespace pairlab
