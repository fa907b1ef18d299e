// Command-line parsing into RunConfig.
#pragma once

#include "support/run_config.hpp"

namespace pairlab {

// Reads the options from argv[1..argc-1] into config, which already holds the defaults.
// A bad value or an unknown word stops the run (rejectInput) with the message to print.
// Values are stored before they are checked, so a failing check leaves the bad value behind.
void ParseArgs(int argc, const char* const* argv, RunConfig& config);

}  // namespace pairlab
