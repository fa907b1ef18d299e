// Costs of the machinery behind the continuous road in O(N) memory, as ratios to one uniform
// draw measured in the same process: building the order of the preferences, stepping down it,
// a preference computed on demand against a table read, and the positions of an erasing list.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "bench/baseline.hpp"
#include "continuous/candidate_list.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/phenotypes.hpp"
#include "support/random.hpp"

namespace pairlab {
namespace {

// The default traits (standard normal, scaled into [0, 1]) of n individuals, half of each sex,
// and FND -choice 0.5.
struct Population {
  Traits traits;
  PairDistance distance{0.5, 0.0, 1.0, false};
  std::vector<double> args{0.0, -(0.5 / 0.08) * (0.5 / 0.08), 0.0, 0.5};
  explicit Population(std::int64_t n) {
    Random rng(7);
    traits.female.assign(static_cast<std::size_t>(n / 2), 0.0);
    traits.male.assign(static_cast<std::size_t>(n - n / 2), 0.0);
    resetLimits(traits);
    drawNormalTraits(traits, rng);
    scaleTraits(traits, 1.0, 0.0, 0.0);
  }
};

// Per-item time as uniform draws: elapsed / (items * one draw).
void drawsPerItem(benchmark::State& state, double items) {
  const auto inverted = benchmark::Counter::kIsRate | benchmark::Counter::kInvert;
  state.counters["ns_per_item"] = benchmark::Counter(items * 1e-9, inverted);
  state.counters["uniform_draws"] =
      benchmark::Counter(items * uniformDrawNanoseconds() * 1e-9, inverted);
}

// Sorting the traits, the heap of the females and the largest preference, for N individuals.
void BM_PairOrderSetUp(benchmark::State& state) {
  Population pop(state.range(0));
  for (auto _ : state) {
    PairOrder order(pop.traits.female, pop.traits.male, pop.distance, pop.args);
    benchmark::DoNotOptimize(order.largest());
  }
  state.counters["ns_per_individual"] = benchmark::Counter(
      1e-9 * static_cast<double>(state.range(0)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PairOrderSetUp)
    ->Arg(10'000)
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond);

// The first 10,000 entries of a fresh order: what the maximum of a file reads at most.
void BM_PairOrderSteps(benchmark::State& state) {
  Population pop(state.range(0));
  constexpr std::int64_t kSteps = 10'000;
  for (auto _ : state) {
    state.PauseTiming();
    auto order =
        std::make_unique<PairOrder>(pop.traits.female, pop.traits.male, pop.distance, pop.args);
    state.ResumeTiming();
    for (std::int64_t rank = 0; rank < kSteps; ++rank)
      benchmark::DoNotOptimize(order->fromTop(rank));
    state.PauseTiming();
    order.reset();
    state.ResumeTiming();
  }
  drawsPerItem(state, static_cast<double>(kSteps) * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PairOrderSteps)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The preference of random pairs: range(1) 1 computes it, 0 reads it from a female-major table.
void BM_PreferenceOfAPair(benchmark::State& state) {
  Population pop(state.range(0));
  PairOrder order(pop.traits.female, pop.traits.male, pop.distance, pop.args);
  const auto nf = static_cast<std::int64_t>(pop.traits.female.size());
  const auto nm = static_cast<std::int64_t>(pop.traits.male.size());
  std::vector<double> table;
  if (state.range(1) == 0) {
    table.resize(static_cast<std::size_t>(nf * nm));
    for (std::int64_t f = 0; f < nf; ++f)
      for (std::int64_t m = 0; m < nm; ++m)
        table[static_cast<std::size_t>(f * nm + m)] =
            order.preference(static_cast<std::int32_t>(f), static_cast<std::int32_t>(m));
  }
  Random rng(5);
  constexpr int kPairs = 1 << 16;
  std::vector<std::int32_t> f(kPairs), m(kPairs);
  for (int i = 0; i < kPairs; ++i) {
    f[i] = static_cast<std::int32_t>(rng.position(nf));
    m[i] = static_cast<std::int32_t>(rng.position(nm));
  }
  double sink = 0.0;
  for (auto _ : state)
    for (int i = 0; i < kPairs; ++i)
      sink += table.empty() ? order.preference(f[i], m[i])
                            : table[static_cast<std::size_t>(f[i] * nm + m[i])];
  benchmark::DoNotOptimize(sink);
  drawsPerItem(state, static_cast<double>(kPairs) * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PreferenceOfAPair)
    ->Args({500, 0})
    ->Args({500, 1})
    ->Args({20'000, 0})
    ->Args({20'000, 1})
    ->Args({1'000'000, 1});

// The individual at a random position of a list of range(0) from which range(1) have left.
void BM_PositionOfAnErasingList(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  PositionMap map;
  map.reset(n);
  Random rng(2);
  for (std::int64_t r = 0; r < state.range(1); ++r) {
    const std::int64_t p = rng.position(map.size());
    map.remove(map.at(p), p);
  }
  constexpr int kDraws = 1 << 16;
  std::vector<std::int64_t> positions(kDraws);
  for (auto& p : positions) p = rng.position(map.size());
  std::int64_t sink = 0;
  for (auto _ : state)
    for (std::int64_t p : positions) sink += map.at(p);
  benchmark::DoNotOptimize(sink);
  drawsPerItem(state, static_cast<double>(kDraws) * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PositionOfAnErasingList)
    ->Args({250, 0})
    ->Args({250, 100})
    ->Args({500'000, 200})
    ->Args({500'000, 5000});

}  // namespace
}  // namespace pairlab
