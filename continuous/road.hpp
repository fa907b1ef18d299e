// The continuous-trait road: set-up (names, capacity, traits), preferences, the files of mated
// pairs, the correlation file and the phenotype distribution file.
#pragma once

#include "support/random.hpp"
#include "support/run_config.hpp"
#include "support/run_output.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

// Runs the road from the checks of the decoded model to the last result file. With aging,
// individuals age by one at every encounter of a file and may die of it (-age_params).
void runContinuousRoad(const RunConfig& config, const SettledRun& run, RunOutput& output,
                       Random& rng);

}  // namespace pairlab
