// What every program of the project does around its run: every stop, whatever raised it, is
// written where it belongs and turned into the exit status, and the run's ledger row is completed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "support/diagnostics.hpp"
#include "support/run_output.hpp"

namespace pairlab {

// Runs body, which returns the exit status of a complete run and receives the run's output once
// it knows its ledger description; returns the exit status of the process. A stop passes through
// beforeReport (when given), which may change where its message goes, before it is written.
// The clock in nanoseconds since the epoch: the start of a run, for its id and its seed.
std::int64_t clockNanoseconds();

int runGuarded(std::optional<RunOutput>& output, const std::function<int()>& body,
               const std::function<void(Stop&)>& beforeReport = {});

}  // namespace pairlab
