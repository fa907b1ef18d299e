#include "app/driver.hpp"

#include <chrono>
#include <cstdint>
#include <iostream>
#include <optional>

#include "app/option_effects.hpp"
#include "app/parse_args.hpp"
#include "app/program.hpp"
#include "app/run_record.hpp"
#include "app/usage.hpp"
#include "continuous/road.hpp"
#include "discrete/datafiles.hpp"
#include "rounds/sampling_rounds.hpp"
#include "support/diagnostics.hpp"
#include "support/interrupt.hpp"
#include "support/random.hpp"
#include "support/run_config.hpp"
#include "support/run_output.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

namespace {

// Checks that involve several options and must pass before the seed is drawn.
void checkBeforeSeeding(const RunConfig& config) {
  if (!config.continuous && config.model == 3 && config.incrfactor != 1.25 &&
      config.choicefactor == 1.25)
    stopRun(
        "FROM VERSION 0.8 the tag -incrfactor is not valid for discrete model 3, "
        "-choicefactor should be used instead\n",
        config.uniform);
}

Progress::Mode progressMode(const RunConfig& config) {
  if (config.progress < 0) return Progress::Mode::Automatic;
  return config.progress != 0 ? Progress::Mode::On : Progress::Mode::Off;
}

// The run from the command line to the end of its road; output receives the run's ledger
// description once the seed is known, and checkOnly whether the run is only a check.
int run(int argc, const char* const* argv, std::optional<RunOutput>& output, bool& checkOnly) {
  RunConfig config;
  const std::int64_t startTime = clockNanoseconds();

  ParseArgs(argc, argv, config);
  checkOnly = config.checkonly;
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
  output.emplace(describeRun(config, settled, argc, argv, startTime), config.tidy,
                 progressMode(config), config.checkonly, config.outdir);
  for (const NotApplied& option : optionsWithoutEffect(config, settled))
    output->notApplied(option.option, option.reason);
  if (config.continuous)
    runContinuousRoad(config, settled, *output, rng);
  else if (config.onematround)
    runDataFileMode(config, settled, *output, rng);
  else
    runSamplingRounds(config, settled, *output, rng);
  return 0;
}

}  // namespace

int runPairlab(int argc, const char* const* argv) {
  installInterruptHandlers();
  std::optional<RunOutput> output;
  bool checkOnly = false;
  return runGuarded(
      output, [&] { return run(argc, argv, output, checkOnly); },
      [&](Stop& stop) {
        if (!checkOnly) return;
        stop.file.clear();    // a check writes no diagnostics file: its message goes to standard
        stop.console = true;  // output
      });
}

}  // namespace pairlab
