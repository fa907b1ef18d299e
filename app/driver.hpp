// The run driver: the whole run from the command line to the exit status.
#pragma once

namespace pairlab {

// Parses the command line, makes the checks that involve several options, seeds the random
// engine, splits the population and runs one road. Every stop of the run, whatever raised it,
// is turned here into the exit status that is returned: 0 after a complete run.
int runPairlab(int argc, const char* const* argv);

}  // namespace pairlab
