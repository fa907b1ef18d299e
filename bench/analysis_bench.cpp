// Costs of pairlab-analyze (bench/README.md explains how to run and read them):
//   - BM_SimulatedTests/process: the Monte Carlo tests (9999 replicates) and the permutation test
//     of a 2 x 2 table of 100 matings in a population of 500 (250 females, 250 males); process 0
//     with replacement, 1 individual encounters, 2 mass encounters;
//   - BM_FitModels: every model fitted and compared on one 2 x 2 table;
//   - BM_AnalyseSimulatedFiles: the whole program on a Pairlab_matings.tsv of 100,000 files of
//     2 x 2 tables without simulated tests, read twice, analysed and written; the counter
//     peak_rss_mb is the peak resident memory of the process after it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "analysis/model_fits.hpp"
#include "analysis/null_tests.hpp"
#include "app/analyze_driver.hpp"
#include "app/driver.hpp"
#include "bench/baseline.hpp"
#include "support/random.hpp"

namespace pairlab {
namespace {

const Matrix kCounts = {{30, 20}, {22, 28}};
const std::vector<double> kNumbers = {125, 125}, kFrequencies = {0.5, 0.5};
const std::vector<std::string> kLabels = {"1", "2"};

void BM_SimulatedTests(benchmark::State& state) {
  const NullProcess process = state.range(0) == 0   ? NullProcess::Replacement
                              : state.range(0) == 1 ? NullProcess::Individual
                                                    : NullProcess::Mass;
  MatingTables work;
  const auto observed =
      testIndexValues(sampleIndexValues(kCounts, 100, kFrequencies, kFrequencies, work), 100, 2, 2);
  long long table = 0;
  for (auto _ : state) {
    const NullResults r = nullTests({kCounts, 100, kNumbers, kNumbers, kFrequencies, kFrequencies,
                                     kLabels, kLabels, true, ++table, observed},
                                    {9999, process, 0.0, 7});
    benchmark::DoNotOptimize(r.monteCarlo[kJpti].p);
  }
  state.SetLabel(processName(process));
}
BENCHMARK(BM_SimulatedTests)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_FitModels(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<ModelFit> fits =
        fitModels({kCounts, 100, kFrequencies, kFrequencies, kLabels, kLabels});
    compareModels(fits, 100);
    benchmark::DoNotOptimize(fits.front().weight);
  }
}
BENCHMARK(BM_FitModels);

// Runs a program of the project with its standard output sent to /dev/null.
int quietly(int (*program)(int, const char* const*), std::vector<const char*> argv) {
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  const int status = program(static_cast<int>(argv.size()), argv.data());
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(null);
  ::close(saved);
  return status;
}

void BM_AnalyseSimulatedFiles(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("pairlab_analysis_bench_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  if (quietly(runPairlab, {"pairlab", "-model", "-3", "-choicefactor", "2", "-numfiles", "100000",
                           "-tidy", "1", "-writefiles", "0", "-fixseed", "5", "-progress", "0"}) !=
      0)
    state.SkipWithError("the simulated files could not be made");
  std::string matings;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_directory()) matings = (entry.path() / "Pairlab_matings.tsv").string();
  for (auto _ : state)
    if (quietly(runAnalyze, {"pairlab-analyze", matings.c_str(), "--null", "0", "--show", "0",
                             "--out", "analysis", "--progress", "0"}) != 0)
      state.SkipWithError("the analysis failed");
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  fs::current_path(previous);
  fs::remove_all(dir);
}
BENCHMARK(BM_AnalyseSimulatedFiles)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace pairlab
