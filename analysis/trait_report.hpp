// The readable summary of a continuous analysis on standard output: per table its statistics
// and tests, then the posterior of each parameter and model; after many tables, what they have
// in common.
#pragma once

#include <map>
#include <string>

#include "analysis/trait_analysis.hpp"

namespace pairlab {

// The summary of one table; process: the words of the Monte Carlo test's process.
std::string traitTableSummary(const TraitAnalysis& analysis, const FileLayout& layout,
                              const char* process, const AbcSettings* abc);

// Tallies over the tables of a run, for its closing lines.
struct TraitTally {
  long long tables = 0, withNotes = 0;
  long long tTested = 0, tSignificant = 0;
  std::array<long long, kTraitStatisticCount> simulated{}, significant{};
  std::map<std::string, long long> bestModel;  // how often each model was the most probable
  void add(const TraitAnalysis& analysis, const AbcSettings* abc);
};

// The closing lines: how many tables, the share whose tests were significant at 5 %, how often
// each model was the most probable, and where the tables went.
std::string traitRunSummary(const TraitTally& tally, const std::string& directory, long long shown);

}  // namespace pairlab
