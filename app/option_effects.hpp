// Options that have no effect on a run as settled: the run names each one on standard error and
// in its ledger row, so that no table presents an ignored value as a setting of the run.
#pragma once

#include <vector>

#include "support/run_config.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

// The options given on the command line that the run as settled does not use, with the reason,
// in the order they were given. What the roads settle for themselves later (a user model file
// that sets the numbers of types, one file written where -numfiles asks more) they report
// themselves. Options whose effect depends on the value of another (-tolerance when -choice is
// 0) are not listed: they act at other values of a sweep.
std::vector<NotApplied> optionsWithoutEffect(const RunConfig& config, const SettledRun& run);

}  // namespace pairlab
