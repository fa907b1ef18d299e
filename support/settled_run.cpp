#include "support/settled_run.hpp"

#include <cstdlib>

#include "support/diagnostics.hpp"
#include "support/text.hpp"

namespace pairlab {

ModelNumber decodeModelNumber(int given, ModelNumbering numbering) {
  long long magnitude = std::llabs(static_cast<long long>(given));
  const bool multiDigit = magnitude > 9;
  ModelNumber decoded;
  if (given < 0)
    decoded.process = multiDigit ? EncounterProcess::Mass : EncounterProcess::Individual;
  const bool dropLastDigit = numbering == ModelNumbering::SamplingRounds
                                 ? multiDigit
                                 : decoded.process == EncounterProcess::Mass;
  if (dropLastDigit)
    magnitude = numbering != ModelNumbering::Continuous && magnitude == 123321 ? 0 : magnitude / 10;
  decoded.model = static_cast<int>(magnitude);  // at most INT_MAX, or |INT_MIN| / 10
  return decoded;
}

namespace {

// The model number as the road reads it, and the round size of mass encounters.
void settleModel(const RunConfig& config, SettledRun& run) {
  if (config.continuous) {
    if (config.model == 0)
      stopRun("Continuous trait requires a preference model (see Table S2 from the manual).\n",
              config.uniform);
    run.model = decodeModelNumber(config.model, ModelNumbering::Continuous);
    return;
  }
  const int smallerSex = run.smallerSex();
  if (!config.onematround) {
    run.model = decodeModelNumber(config.model, ModelNumbering::SamplingRounds);
    // Above 9 the model number asks for mass encounters: by default rounds of the smaller sex.
    if (std::llabs(static_cast<long long>(config.model)) > 9 && run.MRmax < 0.0)
      run.MRmax = smallerSex;
    return;
  }
  run.model = decodeModelNumber(config.model, ModelNumbering::DataFiles);
  if (run.model.process != EncounterProcess::Mass) return;
  if (run.MRmax < 0.0) run.MRmax = smallerSex;
  if (run.MRmax > smallerSex)
    stopRun(
        "A mass-encounter model was defined so that the number of encounters per mating "
        "round " +
            NtoS(run.MRmax) + " cannot be higher than the number of individuals of one sex " +
            NtoS(smallerSex) + "\n",
        config.uniform);
}

}  // namespace

bool agingOn(const std::array<double, 3>& ageParams) {
  return ageParams[2] >= 0.0 && ageParams[0] > 0.0;
}

SettledRun settleRun(const RunConfig& config, std::int64_t seed) {
  SettledRun run;
  run.seed = seed;
  run.populationSeed = config.popseed;
  run.aging = agingOn(config.age_params);
  run.writefiles = config.writefiles || config.numfiles == 1;
  if (!config.continuous && config.userfreqs && config.uniform)
    stopRun("User defined frequencies is incompatible with predefined uniform frequencies\n", 1);
  run.nfem = static_cast<int>(config.N / (config.osr + 1.0));
  run.nmale = config.N - run.nfem;
  run.drift = config.drift || run.nfem < 250 || run.nmale < 250;
  if (wasGiven(config, "-writefiles") && !config.writefiles && run.writefiles)
    run.overridden.push_back({"-writefiles", "a run of one file writes it (-numfiles 1)"});
  if (wasGiven(config, "-drift") && !config.drift && run.drift && !config.continuous &&
      config.onematround)
    run.overridden.push_back(
        {"-drift", "drift is on when either sex has fewer than 250 individuals"});
  run.MRmax = config.MRmax;
  settleModel(config, run);
  return run;
}

void checkCapacity(std::int64_t capacity, int matings) {
  if (capacity < matings)
    stopRun("\nToo few population males or females (" + NtoS(capacity) +
                ") for too many matings (" + NtoS(matings) + ")\n",
            static_cast<std::uint64_t>(capacity));
}

}  // namespace pairlab
