// The mating engine of the continuous-trait road: one file (a replicate sample of mated pairs)
// at a time, for the four branches (positive and negative assortative Gaussian preference,
// random mating, logistic preference), the three encounter modes, and optionally aging.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "continuous/candidate_list.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/preferences.hpp"
#include "continuous/survival_table.hpp"
#include "support/random.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

enum class Branch { PositiveAssortative, NegativeAssortative, RandomMating, Logistic };

// The name of a branch as the result files show it.
std::string preferenceName(Branch branch, double impatience);

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
  // From this many individuals on, an encounter takes the next one's first draw early so that
  // the partners it names are on their way from memory in time (the same draws in the same
  // order: tests lower it to check just that).
  std::int64_t drawAheadFrom = std::int64_t{1} << 16;
};

// What the road hands the engine: the population's traits and the Gaussian preferences of the
// assortative branches.
struct EngineInputs {
  const std::vector<double>* femaleTraits = nullptr;
  const std::vector<double>* maleTraits = nullptr;
  PairPreferences* preferences = nullptr;  // positive and negative assortative branches only
};

// The outcome of one file.
struct FileResult {
  int k = 0;                      // matings recorded
  std::string report;             // reports of an early end ("" for a complete file)
  double femaleEncounters = 0.0;  // encounter counts handed to the female total
  double maleEncounters = 0.0;
  std::int64_t encounters = 0;  // all encounters of the file (the dead's included)
};

// The per-file state that is worth keeping from file to file: the candidate lists (which undo
// only what a file changed), the round lists and the survival table.
struct FileWorkspace {
  CandidateList females;
  CandidateList males;
  std::vector<std::int32_t> roundFemales;  // individuals mated in the current mass round
  std::vector<std::int32_t> roundMales;
  std::optional<SurvivalTable> survival;
};

// Runs one file. x and y (length matings, all kNoTrait on entry) receive the female and male
// traits of the pairs; args is the logistic argument vector. With impatience, the file starts
// with both intercepts at settings.logisticIntercept and every mating raises them.
FileResult runContinuousFile(const EngineSettings& settings, const EngineInputs& inputs,
                             FileWorkspace& workspace, std::vector<double>& args,
                             std::vector<double>& x, std::vector<double>& y, Random& rng);

}  // namespace pairlab
