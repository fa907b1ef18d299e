// The analysis of one observed table of pairs of continuous traits: the correlation between
// partners and its tests, the statistics of the sample, the Monte Carlo test of random mating
// under the encounter process, and the inference of the preference parameters by simulation.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/abc.hpp"
#include "analysis/null_tests.hpp"
#include "analysis/trait_data.hpp"
#include "analysis/trait_statistics.hpp"

namespace pairlab {

struct TraitAnalysisSettings {
  long long nullReplicates = 9999;  // 0: no Monte Carlo test
  RunConfig nullConfig;             // random mating under the process of the analysis
  ModelNumber nullModel;
  std::uint64_t seed = 0;
  const AbcSettings* abc = nullptr;  // none: no inference
};

// The statistics the Monte Carlo test of random mating tests (two-sided): the correlation, and
// the selection on each sex when the population is given.
inline constexpr TraitStatisticId kTestedStatistics[] = {kCorrelation, kFemaleShift, kMaleShift};

struct TraitAnalysis {
  TraitTable table;
  bool populationGiven = false;
  int populationFemales = 0, populationMales = 0;
  CorrelationTests correlation;
  TraitStatistics statistics{};
  long long nullReplicates = 0;  // complete replicates of the Monte Carlo test
  std::array<SimulatedP, kTraitStatisticCount> nulls;  // of kTestedStatistics
  std::optional<AbcResult> abc;
  std::vector<std::string> notes;
};

// population: the population apart from the pairs, or null (the mated individuals stand for
// it). progress receives the simulations of the inference done.
TraitAnalysis analyseTraitTable(const TraitTable& table, const Traits* population,
                                const TraitAnalysisSettings& settings,
                                const std::function<void(long long done)>& progress);

}  // namespace pairlab
