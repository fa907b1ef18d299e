// What the ledger records of a run: its id, start, version, seed, command line and the settled
// value of every option.
#pragma once

#include <cstdint>

#include "support/run_config.hpp"
#include "support/run_output.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

// startNanoseconds: the clock at start (nanoseconds since the epoch), which with the seed, the
// process id and the host name makes the run id unique across machines and runs.
LedgerEntry describeRun(const RunConfig& config, const SettledRun& settled, int argc,
                        const char* const* argv, std::int64_t startNanoseconds);

// The id of a run: the seed, the clock at start (nanoseconds since the epoch), the process id and
// the host name.
std::string runIdOf(std::int64_t seed, std::int64_t startNanoseconds);

// The command line as a shell would take it back: words with blanks or quotes are quoted.
std::string commandLineText(int argc, const char* const* argv);

}  // namespace pairlab
