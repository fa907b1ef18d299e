// The data-file mode of the discrete road: one file per replicate with the premating numbers of
// every type and the matings by female and male type, from one of three encounter processes.
#pragma once

#include <string>
#include <vector>

#include "discrete/models.hpp"
#include "support/random.hpp"
#include "support/run_config.hpp"
#include "support/run_output.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

// The population one file mates from.
struct DiscretePopulation {
  int nfem = 0;
  int nmale = 0;
  std::vector<double> femaleNumbers;  // premating numbers by type (may be fractional)
  std::vector<double> maleNumbers;
  std::vector<double> p1;  // type frequencies
  std::vector<double> p2;
};

// With replacement: the expected matings p1[f] * p2[m] * modelmatrix[f][m] / M * target.
void expectedMatings(const DiscretePopulation& pop, const Matrix& modelmatrix, double M, int target,
                     Matrix& matings);

// One female-male encounter at a time until target matings; mated individuals leave.
void individualEncounters(const DiscretePopulation& pop, const Matrix& modelmatrix, double M,
                          int target, Matrix& matings, Random& rng);

struct MassOutcome {
  bool complete = true;
  double lastPropensity = 0.0;  // model matrix entry of the last pair examined
  double M = 0.0;               // mean propensity when the file ended
};

// Rounds of up to roundSize females and males paired one to one until target matings, or until
// the encounters equal nfem x nmale, or until no remaining pair can mate (incomplete file).
MassOutcome massEncounters(const DiscretePopulation& pop, const Matrix& modelmatrix, double M,
                           int target, int roundSize, Matrix& matings, Random& rng);

// Writes one data file (format given by the format number).
void writediscretemodel(const std::string& filename, const std::string& programname,
                        const std::string& note, int format,
                        const std::vector<double>& femalenumbers,
                        const std::vector<double>& malenumbers, const Matrix& matings);

// Runs the data-file mode, from the checks of the decoded model to the last file.
void runDataFileMode(const RunConfig& config, const SettledRun& run, RunOutput& output,
                     Random& rng);

}  // namespace pairlab
