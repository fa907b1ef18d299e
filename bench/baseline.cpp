#include "bench/baseline.hpp"

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>

#include "support/random.hpp"

namespace pairlab {

double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double uniformDrawNanoseconds() {
  static const double ns = [] {
    Random rng(11);
    constexpr int kDraws = 20'000'000;
    double best = 1e300, sink = 0.0;
    for (int round = 0; round < 5; ++round) {
      const double start = threadSeconds();
      for (int i = 0; i < kDraws; ++i) sink += rng.u();
      best = std::min(best, (threadSeconds() - start) * 1e9 / kDraws);
    }
    benchmark::DoNotOptimize(sink);
    return best;
  }();
  return ns;
}

namespace {

void BM_UniformDraw(benchmark::State& state) {
  Random rng(1);
  for (auto _ : state) benchmark::DoNotOptimize(rng.u());
}
BENCHMARK(BM_UniformDraw);

}  // namespace
}  // namespace pairlab
