// The continuous-trait road: set-up (names, capacity, traits), preferences, the files of mated
// pairs, the correlation file and the phenotype distribution file.
#pragma once

#include "app/run_config.hpp"
#include "support/output.hpp"
#include "support/random.hpp"

namespace pairlab {

// Runs the road from the model decoding to the last result file. With aging, individuals age
// by one at every encounter of a file and may die of it (-age_params).
void runContinuousRoad(RunConfig& config, int nfem, int nmale, bool aging, OutputNames& names,
                       Random& rng);

}  // namespace pairlab
