// Costs of the discrete road, to be read as ratios to the cost of one uniform draw measured in
// the same process (bench/README.md explains how to run and read them).
#include <benchmark/benchmark.h>

#include "bench/baseline.hpp"
#include "discrete/datafiles.hpp"
#include "discrete/frequencies.hpp"

namespace pairlab {
namespace {

DiscretePopulation uniformPopulation(int n, int k) {
  DiscretePopulation pop;
  pop.nfem = pop.nmale = n;
  pop.femaleNumbers = uniformNumbers(k, n);
  pop.maleNumbers = uniformNumbers(k, n);
  pop.p1 = frequenciesOf(pop.femaleNumbers, n);
  pop.p2 = frequenciesOf(pop.maleNumbers, n);
  return pop;
}

// One file of individual encounters with a choosy model; reports time per mating.
void BM_IndividualEncountersFile(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const DiscretePopulation pop = uniformPopulation(250, k);
  Matrix mm(k, std::vector<double>(k, 1.0));
  for (int t = 0; t < k; ++t) mm[t][t] = 3.0;
  const double M = meanPropensity(pop.p1, pop.p2, mm);
  Random rng(2);
  Matrix matings(k, std::vector<double>(k, 0.0));
  for (auto _ : state) {
    individualEncounters(pop, mm, M, 100, matings, rng);
    benchmark::DoNotOptimize(matings);
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_IndividualEncountersFile)->Arg(2)->Arg(10);

void BM_MassEncountersFile(benchmark::State& state) {
  const DiscretePopulation pop = uniformPopulation(250, 2);
  const Matrix mm{{3, 1}, {1, 3}};
  const double M = meanPropensity(pop.p1, pop.p2, mm);
  Random rng(3);
  Matrix matings(2, std::vector<double>(2, 0.0));
  for (auto _ : state) {
    massEncounters(pop, mm, M, 100, static_cast<int>(state.range(0)), matings, rng);
    benchmark::DoNotOptimize(matings);
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_MassEncountersFile)->Arg(2)->Arg(50)->Arg(250);

}  // namespace
}  // namespace pairlab
