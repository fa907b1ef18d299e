#include "app/program.hpp"

#include <chrono>
#include <iostream>
#include <new>
#include <stdexcept>

#include "support/diagnostics.hpp"

namespace pairlab {

std::int64_t clockNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

namespace {

// Completes the ledger row; a ledger that cannot be written is itself a stop.
int finishRun(std::optional<RunOutput>& output, int status, const std::string& message) {
  if (!output) return status;
  try {
    output->finish(status, message);
  } catch (const Stop& stop) {
    const int failed = reportStop(stop);
    return status != 0 ? status : failed;
  }
  return status;
}

// A run whose standard output could not be written did not deliver what it printed.
int checkStandardOutput(int status) {
  std::cout.flush();
  if (std::cout.good()) return status;
  std::cerr << "\nCould not write to standard output: the run's messages were lost\n";
  return status != 0 ? status : 1;
}

Stop unexpected(const std::string& message) {
  return Stop{message, 1, true, true, kErrorFile, true};
}

}  // namespace

int runGuarded(std::optional<RunOutput>& output, const std::function<int()>& body,
               const std::function<void(Stop&)>& beforeReport) {
  Stop stop;
  try {
    const int status = checkStandardOutput(body());
    return finishRun(output, status, "");
  } catch (const Stop& raised) {
    stop = raised;
  } catch (const std::bad_alloc&) {
    stop = unexpected("\nNot enough memory for this run\n");
  } catch (const std::exception& error) {
    stop = unexpected(std::string("\nUnexpected error: ") + error.what() + "\n");
  }
  if (output) output->clearProgress();
  if (beforeReport) beforeReport(stop);
  const int status = checkStandardOutput(reportStop(stop));
  return finishRun(output, status, stop.message);
}

}  // namespace pairlab
