// What the driver settles before a road runs: the population split, the flags it forces, the
// seed and the decoded model number. A road receives this record and the parsed configuration,
// both read-only; what a road settles for itself stays in the road's own state.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/run_config.hpp"

namespace pairlab {

// How females and males meet.
enum class EncounterProcess { WithReplacement, Individual, Mass };

// The roads read the sign and digits of -model each in their own way.
enum class ModelNumbering {
  DataFiles,       // negative: encounters without replacement, mass when above 9 in magnitude,
                   // the model then in all digits but the last (123321 names model 0)
  SamplingRounds,  // the sign plays no part; above 9 the model is in all digits but the last
                   // (123321 names model 0); the process follows from the largest propensity
  Continuous,      // as the data files, but 123321 has no special meaning
};

struct ModelNumber {
  int model = 0;
  EncounterProcess process = EncounterProcess::WithReplacement;
};

// Decodes -model. The process follows the sign whatever the numbering (negative: individual
// encounters up to 9 in magnitude, mass encounters above); the sampling rounds ignore it.
ModelNumber decodeModelNumber(int given, ModelNumbering numbering);

// An option given on the command line that has no effect on the run as settled, and why.
struct NotApplied {
  std::string option;  // with its dash
  std::string reason;
};

struct SettledRun {
  std::int64_t seed = 0;            // the seed actually used
  std::int64_t populationSeed = 0;  // -popseed: the population's own seed, 0 for none
  int nfem = 0;                     // -N / (-osr + 1), truncated
  int nmale = 0;                    // -N - nfem
  bool drift = false;       // -drift, forced on when either sex has fewer than 250 individuals
  bool writefiles = false;  // -writefiles, forced on when -numfiles is 1
  bool aging = false;       // -age_params: a > 0 and g >= 0
  ModelNumber model;        // -model decoded by the numbering of the road
  // -MRmax as settled: the smaller sex when the road's mass encounters need a round size and
  // none was given; otherwise as given (negative: not given).
  double MRmax = -1.0;
  // Given options that the settling overrides (forced drift and -writefiles).
  std::vector<NotApplied> overridden;
  int smallerSex() const { return nfem < nmale ? nfem : nmale; }
};

// Whether -age_params a b g makes individuals age: a > 0 and g >= 0.
bool agingOn(const std::array<double, 3>& ageParams);

// What the driver settles between the seed and the road, in this order: the aging flag, the
// forced -writefiles, the check that user frequencies are not also uniform (discrete road),
// the population split, the forced drift, the decoded model number (a continuous run without a
// model stops) and, for the data files' mass encounters, the round size (checked against the
// smaller sex).
SettledRun settleRun(const RunConfig& config, std::int64_t seed);

// Stops the run when the population can supply fewer than `matings` matings (status: the
// capacity).
void checkCapacity(std::int64_t capacity, int matings);

}  // namespace pairlab
