#include "app/option_effects.hpp"

#include <algorithm>
#include <string>

#include "continuous/preferences.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

constexpr const char* kContinuousOnly[] = {
    "-scaling",   "-bimodal",         "-age_params", "-writedistrib", "-impatient", "-gaussian",
    "-onechoosy", "-logistic_params", "-mintrait",   "-dmax",         "-choice",    "-tolerance",
    "-bias"};
constexpr const char* kDiscreteOnly[] = {"-format",  "-onematround", "-femtypes",     "-maletypes",
                                         "-uniform", "-incrfactor",  "-choicefactor", "-MPF",
                                         "-drift",   "-SL",          "-eJRpsi",       "-onlyresume",
                                         "-MRmax"};
constexpr const char* kGaussianOnly[] = {"-scaling",   "-mintrait", "-dmax",     "-choice",
                                         "-tolerance", "-bias",     "-onechoosy"};
constexpr const char* kLogisticOnly[] = {"-logistic_params", "-impatient"};

// The reasons found so far; the first reason of an option stands.
class Reasons {
 public:
  explicit Reasons(const RunConfig& config) : config_(config) {}
  void add(const std::string& option, const std::string& reason) {
    if (!wasGiven(config_, option)) return;
    for (const NotApplied& found : found_)
      if (found.option == option) return;
    found_.push_back({option, reason});
  }
  template <std::size_t n>
  void addAll(const char* const (&options)[n], const std::string& reason) {
    for (const char* option : options) add(option, reason);
  }
  // In the order the options were given.
  std::vector<NotApplied> inGivenOrder() const {
    std::vector<NotApplied> ordered;
    for (const std::string& option : config_.given)
      for (const NotApplied& found : found_)
        if (found.option == option) ordered.push_back(found);
    return ordered;
  }

 private:
  const RunConfig& config_;
  std::vector<NotApplied> found_;
};

void continuousRoad(const RunConfig& config, const SettledRun& run, Reasons& r) {
  r.addAll(kDiscreteOnly, "the discrete roads use it, not the continuous road");
  const int model = run.model.model;
  if (model <= 2)
    r.add("-gaussian", "models 1 and 2 are Gaussian preferences whatever -gaussian says");
  if (model == 3) r.add("-gaussian", "model 3 is the logistic preference whatever -gaussian says");
  if (isGaussianFamily(model, config.gaussian)) {
    r.addAll(kLogisticOnly, "the Gaussian preferences do not use it (the logistic one does)");
  } else {
    r.addAll(kGaussianOnly, "the logistic preference does not use it (traits are not rescaled)");
  }
  if (!config.scaling) r.add("-mintrait", "the traits are not rescaled (-scaling 0)");
  if (config.userfreqs) r.add("-bimodal", "the user phenotype file gives the traits");
}

// Models of the data files that use the sexual-selection factor a and the choice factor b.
bool dataFilesUseA(int model) { return model == 1 || model == 2 || model >= 6; }
bool dataFilesUseB(int model) { return (model >= 3 && model <= 4) || model >= 6; }

void discreteRoads(const RunConfig& config, const SettledRun& run, Reasons& r) {
  r.addAll(kContinuousOnly, "the continuous road uses it, not the discrete roads");
  const int model = run.model.model;
  const std::string modelName = "model " + NtoS(model);
  if (config.onematround) {
    r.add("-SL", "the sampling rounds use it, not the data files");
    r.add("-eJRpsi", "the sampling rounds use it, not the data files");
    r.add("-onlyresume", "the sampling rounds use it, not the data files");
    if (run.model.process != EncounterProcess::Mass)
      r.add("-MRmax", "only mass encounters (-model -10 to -99) have rounds of encounters");
    if (!dataFilesUseA(model)) r.add("-incrfactor", modelName + " does not use the factor a");
    if (!dataFilesUseB(model)) r.add("-choicefactor", modelName + " does not use the factor b");
    if (config.tidy > 0 && wasGiven(config, "-writefiles") && !run.writefiles)
      r.add("-format", "no data file is written (-tidy with -writefiles 0)");
  } else {
    r.add("-format", "the sampling rounds write tables of their own");
    r.add("-drift", "the replicates of the sampling rounds start from one population");
    if (model != 1 && model != 2) r.add("-incrfactor", modelName + " does not use the factor a");
    if (model != 3 && model != 4) r.add("-choicefactor", modelName + " does not use the factor b");
  }
  if (config.tidy == 0)
    r.add("-writefiles", "without -tidy the discrete roads write every per-replicate file");
  if (config.uniform && !config.userfreqs)
    r.add("-MPF", "uniform type frequencies are not bounded by MPF");
}

}  // namespace

std::vector<NotApplied> optionsWithoutEffect(const RunConfig& config, const SettledRun& run) {
  Reasons r(config);
  for (const NotApplied& o : run.overridden) r.add(o.option, o.reason);
  if (config.continuous)
    continuousRoad(config, run, r);
  else
    discreteRoads(config, run, r);
  return r.inGivenOrder();
}

}  // namespace pairlab
