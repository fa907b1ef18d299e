#include "analysis/trait_analysis.hpp"

#include <cmath>

#include "support/text.hpp"

namespace pairlab {

namespace {

// The Monte Carlo test of random mating: replicates of the observed size drawn from the
// population under the process, each measured as the observed sample; two-sided p-values.
void testRandomMating(const TraitAnalysisSettings& settings, const SampleTarget& target,
                      TraitAnalysis& a) {
  Random rng(streamSeed(settings.seed, a.table.number, 0));
  RunConfig config = settings.nullConfig;
  config.matings = target.pairs;
  SampleWorkspace workspace;
  std::array<std::vector<double>, kTraitStatisticCount> values;
  for (long long r = 0; r < settings.nullReplicates; ++r) {
    TraitStatistics s{};
    if (!simulateStatistics(config, settings.nullModel, target, workspace, rng, s)) continue;
    for (TraitStatisticId id : kTestedStatistics) values[id].push_back(std::fabs(s[id]));
  }
  a.nullReplicates = static_cast<long long>(values[kCorrelation].size());
  if (a.nullReplicates == 0) {
    a.notes.push_back("no Monte Carlo test: no replicate of random mating completed its sample");
    return;
  }
  if (a.nullReplicates < settings.nullReplicates)
    a.notes.push_back(NtoS(settings.nullReplicates - a.nullReplicates) +
                      " replicates of random mating ended before their sample was complete: "
                      "left out of the Monte Carlo test");
  for (TraitStatisticId id : kTestedStatistics)
    if (a.populationGiven || id == kCorrelation)
      a.nulls[id] = simulatedP(values[id], std::fabs(a.statistics[id]));
}

// Mated individuals come from the population: traits beyond its range of their sex suggest
// pairs and population in other units.
void noteTraitsBeyondPopulation(const TraitTable& table, const Traits& population,
                                std::vector<std::string>& notes) {
  const struct {
    const std::vector<double>& mated;
    double min, max;
    const char* sex;
  } sexes[] = {{table.female, population.femaleMin, population.femaleMax, "females"},
               {table.male, population.maleMin, population.maleMax, "males"}};
  for (const auto& s : sexes) {
    long long beyond = 0;
    for (double t : s.mated) beyond += t < s.min || t > s.max ? 1 : 0;
    if (beyond > 0)
      notes.push_back(NtoS(beyond) + " of the mated " + s.sex + " lie beyond the range of the " +
                      "population's " + s.sex + " (" + NtoS(s.min) + " to " + NtoS(s.max) +
                      "): are the pairs and the population in the same units?");
  }
}

}  // namespace

TraitAnalysis analyseTraitTable(const TraitTable& table, const Traits* population,
                                const TraitAnalysisSettings& settings,
                                const std::function<void(long long done)>& progress) {
  TraitAnalysis a;
  a.table = table;
  a.populationGiven = population != nullptr;
  const Traits pairs = a.populationGiven ? Traits{} : populationOfPairs(table);
  const Traits& source = a.populationGiven ? *population : pairs;
  a.populationFemales = static_cast<int>(source.female.size());
  a.populationMales = static_cast<int>(source.male.size());
  if (a.populationGiven) noteTraitsBeyondPopulation(table, *population, a.notes);
  if (!a.populationGiven)
    a.notes.push_back(
        "no population (--population): the mated individuals stand for it, so selection on the "
        "traits cannot be measured");
  a.correlation = correlationTests(table.female, table.male);
  const int n = static_cast<int>(table.female.size());
  a.statistics = traitStatistics(table.female, table.male, n, momentsOf(source));
  const SampleTarget target{&source, n};
  if (settings.nullReplicates > 0) testRandomMating(settings, target, a);
  if (settings.abc != nullptr) {
    a.abc = runAbc(*settings.abc, target, a.statistics, a.populationGiven, table.number, progress);
    a.notes.insert(a.notes.end(), a.abc->notes.begin(), a.abc->notes.end());
  }
  return a;
}

}  // namespace pairlab
