#include "continuous/sample.hpp"

#include <algorithm>

#include "support/numeric.hpp"

namespace pairlab {

Preferences setUpPreferences(const RunConfig& config, int model, Traits& traits,
                             const PairOrderOptions& options) {
  Preferences p;
  p.choice = choosePreferenceFamily(model, config);
  if (p.choice.family == PreferenceFamily::Logistic) {
    const double a = config.logistic_params[0], b = config.logistic_params[1];
    p.args = {a, b, 0.0, a, b, 0.0};
    p.branch = Branch::Logistic;
    return p;
  }
  const double c = config.choice;
  p.bias = config.bias;
  if (config.scaling) p.bias = scaleTraits(traits, config.dmax, config.mintrait, config.bias);
  p.args = {0.0, gaussianCoefficient(p.choice.model, c, config.tolerance, config.dmax), 0.0, c};
  p.branch = c > 0.0   ? Branch::PositiveAssortative
             : c < 0.0 ? Branch::NegativeAssortative
                       : Branch::RandomMating;
  if (c != 0.0)
    p.order = std::make_unique<PairOrder>(traits.female, traits.male,
                                          PairDistance{c, p.bias, config.dmax, config.onechoosy},
                                          p.args, options);
  return p;
}

EngineSettings engineSettings(const RunConfig& config, EncounterProcess process, bool aging,
                              int roundSize, Branch branch) {
  EngineSettings settings;
  settings.branch = branch;
  settings.mode = process;
  settings.onechoosy = config.onechoosy;
  settings.aging = aging;
  settings.agingParams = {config.age_params[0], config.age_params[1], config.age_params[2]};
  settings.matings = config.matings;
  settings.roundSize = roundSize;
  settings.impatience = config.impatient;
  settings.logisticIntercept = config.logistic_params[0];
  return settings;
}

FileResult simulateSample(const RunConfig& config, const ModelNumber& model,
                          const Traits& population, SampleWorkspace& workspace, Random& rng) {
  Traits& traits = workspace.traits;
  traits = population;
  // The traits change from sample to sample (rescaled with other settings, or not at all).
  workspace.file.females.forgetTraits();
  workspace.file.males.forgetTraits();
  workspace.preferences = {};  // the order of the last sample refers to the traits
  workspace.preferences =
      setUpPreferences(config, model.model, traits, PairOrderOptions{nullptr, false, false});
  Preferences& prefs = workspace.preferences;
  const int nfem = static_cast<int>(traits.female.size());
  const int nmale = static_cast<int>(traits.male.size());
  const EngineSettings settings = engineSettings(config, model.process, agingOn(config.age_params),
                                                 std::min(nfem, nmale), prefs.branch);
  workspace.x.assign(static_cast<std::size_t>(config.matings), kNoTrait);
  workspace.y.assign(static_cast<std::size_t>(config.matings), kNoTrait);
  const EngineInputs inputs{&traits.female, &traits.male, prefs.order.get()};
  return runContinuousFile(settings, inputs, workspace.file, prefs.args, workspace.x, workspace.y,
                           rng);
}

std::int64_t sampleCapacity(EncounterProcess process, int nfem, int nmale) {
  return process != EncounterProcess::WithReplacement ? std::min(nfem, nmale)
                                                      : static_cast<std::int64_t>(nfem) * nmale;
}

double sampleBytes(int nfem, int nmale, int matings) {
  // The traits (8 bytes) and the candidate lists (about 40 bytes) of every individual, the order
  // of the preferences without its table, and the pairs.
  const double individuals = static_cast<double>(nfem) + static_cast<double>(nmale);
  const double order =
      pairOrderBytes(nfem, nmale) - (static_cast<double>(nfem) * nmale <= PairOrder::kTablePairs
                                         ? 8.0 * static_cast<double>(nfem) * nmale
                                         : 0.0);
  return 48.0 * individuals + order + 16.0 * static_cast<double>(matings);
}

}  // namespace pairlab
