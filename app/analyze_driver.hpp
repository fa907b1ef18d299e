// The driver of pairlab-analyze: the whole analysis from the command line to the exit status.
#pragma once

namespace pairlab {

// Parses the command line, reads and checks every table of the input (nothing is written when
// one is bad), then analyses the tables one at a time into the output directory. Every stop is
// turned into the exit status that is returned: 0 after a complete analysis.
int runAnalyze(int argc, const char* const* argv);

}  // namespace pairlab
