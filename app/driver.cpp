#include "app/driver.hpp"

#include <chrono>
#include <cstdint>
#include <iostream>
#include <new>
#include <stdexcept>

#include "app/parse_args.hpp"
#include "app/run_config.hpp"
#include "continuous/road.hpp"
#include "discrete/datafiles.hpp"
#include "rounds/sampling_rounds.hpp"
#include "support/diagnostics.hpp"
#include "support/output.hpp"
#include "support/random.hpp"

namespace pairlab {

namespace {

std::int64_t clockNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int run(int argc, const char* const* argv) {
  RunConfig config;
  OutputNames names;
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

  if (!config.continuous && config.model == 3 && config.incrfactor != 1.25 &&
      config.choicefactor == 1.25)
    stopRun("FROM VERSION 0.8 the tag -incrfactor is not valid for discrete model 3, "
            "-choicefactor should be used instead\n",
            config.uniform);

  const std::int64_t seed = config.fixseed != 0 ? config.fixseed : startTime / 1000000;
  Random rng(static_cast<std::uint64_t>(seed));
  std::cout << "\n\nSeed: " << seed << std::endl;

  const bool aging = config.age_params[2] >= 0.0 && config.age_params[0] > 0.0;
  if (config.numfiles == 1) config.writefiles = true;

  if (!config.continuous && config.userfreqs && config.uniform)
    stopRun("User defined frequencies is incompatible with predefined uniform frequencies\n", 1);

  const int nfem = static_cast<int>(config.N / (config.osr + 1.0));
  const int nmale = config.N - nfem;
  if (nfem < 250 || nmale < 250) config.drift = true;

  if (config.continuous) {
    runContinuousRoad(config, nfem, nmale, aging, names, rng);
    return 0;
  }
  config.scaling = false;
  if (config.onematround)
    runDataFileMode(config, nfem, nmale, names, rng);
  else
    runSamplingRounds(config, nfem, nmale, names, rng);
  return 0;
}

}  // namespace

int runPairlab(int argc, const char* const* argv) {
  try {
    return run(argc, argv);
  } catch (const RunStop& stop) {
    return processExitStatus(stop.status);
  } catch (const std::invalid_argument& error) {
    std::cout << error.what() << std::flush;
    return 1;
  } catch (const UnreadableFile& error) {
    std::cout << error.message << std::endl;
    return 1;
  } catch (const std::bad_alloc&) {
    const std::string text = "\nNot enough memory for this run\n";
    std::cout << text << std::endl;
    writeDiagnostic(kErrorFile, text, true);
    return 1;
  } catch (const std::exception& error) {
    const std::string text = std::string("\nUnexpected error: ") + error.what() + "\n";
    std::cout << text << std::endl;
    writeDiagnostic(kErrorFile, text, true);
    return 1;
  }
}

}  // namespace pairlab
