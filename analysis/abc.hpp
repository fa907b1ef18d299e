// Approximate Bayesian computation of the parameters of the continuous road's preferences from
// an observed sample of pairs. Each simulation draws the parameters from their priors (uniform on
// a range), simulates a sample of the observed size from the observed population in process (the
// engine of the continuous road, without files) and measures it by the summary statistics. The
// simulations closest to the observed statistics (distances on statistics scaled by their median
// absolute deviation over the simulations) are accepted; a local-linear regression on the
// statistics then adjusts their parameters. With several models the simulations go to the
// models in turn, and the accepted ones give the posterior probability of each model.
//
// Memory: the statistics, the distance and the rank of every simulation (about 72 bytes each),
// the accepted draws, and one sample's work space per thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/trait_statistics.hpp"
#include "continuous/sample.hpp"
#include "support/run_config.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

// A real option of the continuous road that a prior can be put on.
struct AbcParameter {
  const char* name;    // as a prior names it: choice, logistic_a, age_g, ...
  const char* option;  // the option that it is a value of: -choice, -logistic_params, ...
  int value;           // which value of the option (0 for an option of one value)
  double& (*field)(RunConfig&);
};
const std::vector<AbcParameter>& abcParameters();
const AbcParameter* findAbcParameter(std::string_view name);

// A uniform prior on [lower, upper].
struct Prior {
  const AbcParameter* parameter = nullptr;
  double lower = 0.0, upper = 0.0;
};

// A candidate model: its options (those with a prior are drawn anew for every simulation), its
// decoded model number and encounter process, and the priors it draws.
struct AbcModel {
  std::string name;  // FND, BD03, logistic or random
  RunConfig config;
  ModelNumber model;
  std::vector<int> priors;  // positions in AbcSettings::priors
};

struct AbcSettings {
  std::vector<Prior> priors;
  std::vector<AbcModel> models;  // simulation i goes to model i mod (number of models)
  long long simulations = 0;
  double accept = 0.01;  // the share of the simulations accepted
  int threads = 1;
  std::uint64_t seed = 0;
};

// What the simulations of one table reproduce: its population and number of pairs.
struct SampleTarget {
  const Traits* population = nullptr;
  int pairs = 0;
};

// Simulates one sample of target.pairs pairs under config (its -matings set to them) and
// measures it against the population as the sample saw it (rescaled or not); false when the
// sample ended before its pairs were complete.
bool simulateStatistics(const RunConfig& config, const ModelNumber& model,
                        const SampleTarget& target, SampleWorkspace& workspace, Random& rng,
                        TraitStatistics& statistics);

// The seed of simulation `simulation` of table `table`: every simulation draws from a stream of
// its own.
std::uint64_t simulationSeed(std::uint64_t seed, long long table, long long simulation);

// One accepted simulation.
struct AbcDraw {
  long long simulation = 0;  // from 0
  int model = 0;
  double distance = 0.0;
  double weight = 0.0;           // Epanechnikov: 1 - (distance / largest accepted distance)^2
  std::vector<double> values;    // per prior of its model
  std::vector<double> adjusted;  // after the regression adjustment (the values without one)
  TraitStatistics statistics{};
};

struct ParameterSummary {
  double mean = 0.0, median = 0.0, lower = 0.0, upper = 0.0;  // 95 % interval
};

struct ModelPosterior {
  long long simulations = 0, accepted = 0;
  double probability = 0.0;
  bool adjusted = false;                                // the regression adjustment was made
  std::vector<ParameterSummary> rejection, regression;  // per prior of the model
  // A Gaussian preference whose coefficient is drawn (a prior on choice, tolerance or dmax): the
  // coefficient k of the preference exp(-k d^2) of each accepted draw summarised, before and
  // after the adjustment. FND's k = (choice / (tolerance dmax))^2 is what its samples tell
  // apart, however broad the posteriors of choice and tolerance are along it.
  bool coefficient = false;
  ParameterSummary coefficientRejection, coefficientRegression;
};

struct AbcResult {
  long long simulations = 0, complete = 0, acceptedWanted = 0;
  TraitStatistics observed{}, scale{};            // scale: the median absolute deviation
  std::array<bool, kTraitStatisticCount> used{};  // in the distance
  std::vector<AbcDraw> accepted;                  // nearest first
  std::vector<ModelPosterior> models;
  std::vector<std::string> notes;
};

// The inference for one table (its number derives the streams). selection: the population is
// given apart from the pairs, so that the selection statistics can be used. progress receives
// the simulations done.
AbcResult runAbc(const AbcSettings& settings, const SampleTarget& target,
                 const TraitStatistics& observed, bool selection, long long table,
                 const std::function<void(long long done)>& progress);

// Bytes of the simulations of one table at most (without the work space of the threads).
double abcBytes(long long simulations, double accept);

}  // namespace pairlab
