#include "app/driver.hpp"

#include <chrono>
#include <cstdint>
#include <iostream>
#include <new>
#include <stdexcept>

#include "app/parse_args.hpp"
#include "app/usage.hpp"
#include "continuous/road.hpp"
#include "discrete/datafiles.hpp"
#include "rounds/sampling_rounds.hpp"
#include "support/diagnostics.hpp"
#include "support/random.hpp"
#include "support/run_config.hpp"
#include "support/settled_run.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

std::int64_t clockNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Checks that involve several options and must pass before the seed is drawn.
void checkBeforeSeeding(const RunConfig& config) {
  if (!config.continuous && config.model == 3 && config.incrfactor != 1.25 &&
      config.choicefactor == 1.25)
    stopRun(
        "FROM VERSION 0.8 the tag -incrfactor is not valid for discrete model 3, "
        "-choicefactor should be used instead\n",
        config.uniform);
}

int run(int argc, const char* const* argv) {
  RunConfig config;
  const std::int64_t startTime = clockNanoseconds();

  ParseArgs(argc, argv, config);
  if (config.showHelp) {
    printUsage(std::cout);
    return 0;
  }
  if (config.showVersion) {
    std::cout << "Pairlab " << PAIRLAB_VERSION << std::endl;
    return 0;
  }
  checkBeforeSeeding(config);

  const std::int64_t seed = config.fixseed != 0 ? config.fixseed : startTime / 1000000;
  Random rng(static_cast<std::uint64_t>(seed));
  std::cout << "\n\nSeed: " << seed << std::endl;

  const SettledRun settled = settleRun(config, seed);
  if (config.continuous)
    runContinuousRoad(config, settled, rng);
  else if (config.onematround)
    runDataFileMode(config, settled, rng);
  else
    runSamplingRounds(config, settled, rng);
  return 0;
}

}  // namespace

int runPairlab(int argc, const char* const* argv) {
  try {
    return run(argc, argv);
  } catch (const Stop& stop) {
    return reportStop(stop);
  } catch (const std::bad_alloc&) {
    return reportStop(Stop{"\nNot enough memory for this run\n", 1, true, true, kErrorFile, true});
  } catch (const std::exception& error) {
    return reportStop(Stop{std::string("\nUnexpected error: ") + error.what() + "\n", 1, true, true,
                           kErrorFile, true});
  }
}

}  // namespace pairlab
