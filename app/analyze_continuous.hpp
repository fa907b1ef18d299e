// pairlab-analyze on pairs of continuous traits (--continuous): the settings of the analysis
// from the command line, checked before anything is read or written, and the analysis of the
// tables of pairs into the output directory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/abc.hpp"
#include "analysis/trait_analysis.hpp"
#include "app/analyze_args.hpp"
#include "support/run_output.hpp"

namespace pairlab {

struct ContinuousSetup {
  RunConfig road;  // the options of the continuous road as given (-model, -choice, ...)
  EncounterProcess process = EncounterProcess::Individual;
  RunConfig nullConfig;  // random mating under the process
  std::optional<AbcSettings> abc;
  std::vector<NotApplied> notApplied;  // options given that the analysis does not use
};

// The settings of a continuous analysis; bad options stop the run (status 1): an option of the
// road that the analysis does not take, a prior outside its option's values, an empty range, a
// parameter that no model named uses, ...
ContinuousSetup continuousSetup(const AnalyzeConfig& config);

// The options of a continuous analysis for the ledger: names and values.
void describeContinuous(const AnalyzeConfig& config, std::vector<std::string>& names,
                        std::vector<std::string>& values);

// What the analysis reads before it writes anything: the population (when given) and the number
// of tables, every table checked.
struct ContinuousInput {
  std::optional<Traits> population;
  long long tables = 0;
  FileLayout layout;  // of the file of pairs
};
ContinuousInput readContinuousInput(const AnalyzeConfig& config, const ContinuousSetup& setup);

// Analyses the tables one at a time into the output directory, printing the summaries.
void analyseContinuousTables(const AnalyzeConfig& config, const ContinuousSetup& setup,
                             const ContinuousInput& input, std::uint64_t seed,
                             const std::string& directory, RunOutput& output);

// The words of an encounter process for the summary ("individual encounters", ...).
const char* processWords(EncounterProcess process);

}  // namespace pairlab
