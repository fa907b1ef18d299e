// The mating engine of the continuous-trait road: one file (a replicate sample of mated pairs)
// at a time, for the four branches (positive and negative assortative Gaussian preference,
// random mating, logistic preference), the three encounter modes, and optionally aging.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "continuous/preferences.hpp"
#include "support/random.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

enum class Branch { PositiveAssortative, NegativeAssortative, RandomMating, Logistic };

// The name of a branch as the result files show it.
std::string preferenceName(Branch branch, double impatience);

// Survival of aging individuals: after its t-th encounter of a file an individual survives with
// probability exp(-((ln t - g) / a)^b) when ln t > g, and surely otherwise.
struct AgingParams {
  double a = 0.0;  // scale, > 0
  double b = 2.0;  // shape
  double g = 0.0;  // threshold on the log-age, >= 0
};

// True when an individual of age t may die (ln t > g); then survivalProbability gives the
// chance that it lives on.
bool mayDie(std::int64_t age, const AgingParams& aging);
double survivalProbability(std::int64_t age, const AgingParams& aging);

// Everything fixed for the whole road.
struct EngineSettings {
  Branch branch = Branch::RandomMating;
  EncounterProcess mode = EncounterProcess::WithReplacement;
  bool onechoosy = false;
  bool aging = false;
  AgingParams agingParams;
  int matings = 100;  // the requested sample size
  int roundSize = 0;  // R = min(nfem, nmale): mass-encounter rounds end after R encounters
  double impatience = 0.0;
  double logisticIntercept = 0.0;  // a of -logistic_params, the base of the impatience
};

// What the road hands the engine: the population's traits, the pair table of the Gaussian
// branches (empty otherwise) and the logistic argument vector, which carries from file to file.
struct EngineInputs {
  const std::vector<double>* femaleTraits = nullptr;
  const std::vector<double>* maleTraits = nullptr;
  PairTable* table = nullptr;  // positive and negative assortative branches only
};

// The outcome of one file.
struct FileResult {
  int k = 0;                      // matings recorded
  std::string report;             // reports of an early end ("" for a complete file)
  double femaleEncounters = 0.0;  // encounter counts handed to the female total
  double maleEncounters = 0.0;
};

// The individuals of one sex that can still meet in the current file, as a candidate list of
// positions. Position p denotes the individual member[p] of the population; under individual
// encounters individuals leave the list (later positions move down by one), otherwise they
// only lose their availability. Ages and availability are kept by individual.
struct Candidates {
  const std::vector<double>* traits = nullptr;  // the population's traits
  std::vector<std::int32_t> member;             // the candidate list
  std::vector<std::int64_t> age;                // encounters in this file, by individual
  std::vector<std::uint8_t> available;          // by individual
  std::int64_t availableCount = 0;

  // Everyone present and available, ages 0 (reusing the buffers of the previous file).
  void reset(const std::vector<double>& population);
  std::int64_t size() const { return static_cast<std::int64_t>(member.size()); }
  bool isAvailable(std::int64_t p) const { return available[member[p]] != 0; }
  double trait(std::int64_t p) const { return (*traits)[member[p]]; }
  std::int64_t& ageAt(std::int64_t p) { return age[member[p]]; }
  void withdraw(std::int64_t p);  // no longer available (stays in the list)
  void remove(std::int64_t p);    // leaves the list
  double totalAge() const;        // of the individuals still in the list
};

// The per-file state that is worth keeping from file to file: its buffers.
struct FileWorkspace {
  Candidates females;
  Candidates males;
  std::vector<std::int64_t> roundFemales;  // positions mated in the current mass round
  std::vector<std::int64_t> roundMales;
};

// Runs one file. x and y (length matings, all -99 on entry) receive the female and male traits
// of the pairs; args is the logistic argument vector (updated by impatience).
FileResult runContinuousFile(const EngineSettings& settings, const EngineInputs& inputs,
                             FileWorkspace& workspace, std::vector<double>& args,
                             std::vector<double>& x, std::vector<double>& y, Random& rng);

}  // namespace pairlab
