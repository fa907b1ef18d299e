// Sampling-round experiments: the discrete population mates round after round, mated
// individuals leaving it, until a sample of matings is complete; every replicate ends with the
// mating indices of its sample and a rounds table, the run with a significance report.
//
// Mass encounters (largest propensity MRmax at least 2): every round pairs up to MRmax females
// and as many males drawn without replacement; a round without mating is drawn again.
// Individual encounters: one female and one male meet at a time, and a round lasts until one
// pair has mated.
// A pair of types i, j mates when modelmatrix[i][j] / (the round's mean propensity) is at least a
// uniform draw.
#pragma once

#include <string>
#include <vector>

#include "discrete/models.hpp"
#include "rounds/indices.hpp"
#include "support/random.hpp"
#include "support/run_config.hpp"
#include "support/run_output.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

// The run-wide set-up of an experiment.
struct RoundsExperiment {
  int model = 0;        // 0..5
  double MRmax = -1.0;  // the largest propensity; under mass encounters the round size
  double factor = 1.0;  // the model's factor: the other propensities are MRmax / factor
                        // (model 4: like types MRmax x factor)
  Matrix modelmatrix;   // mating propensity of every female-type x male-type pair
  bool mass = false;    // mass encounters (MRmax >= 2) or individual encounters
  int k1 = 0, k2 = 0;   // numbers of female and male types
  int nfem = 0, nmale = 0;
  std::vector<double> femaleNumbers, maleNumbers;  // premating numbers (reals, not rounded)
  std::vector<double> p1, p2;                      // premating type frequencies
  double meanPropensity = 0.0;                     // sum of p1[i] p2[j] modelmatrix[i][j]
  std::string filePrefix;    // output directory + "/" + prefix of every file of the run
  RunFiles files;            // the files of the run, for the ledger
  bool roundsTables = true;  // the rounds table of every replicate (not with -onlyresume, nor
                             // with -tidy and -writefiles 0)
};

// What the replicates leave for the significance report. R is -matings (the most rounds a
// replicate can have), F is -numfiles; round tables are stored round by round, [r * F + f].
struct RunAccumulators {
  RunAccumulators(int R, int F);
  int R, F;
  std::vector<double> roundJRpti, roundJRpsi, roundJRpss;  // running round indices, R x F
  std::vector<double> Jpti, Jpsi, Jpss;                    // total-sample indices, F
  std::vector<int> replicatesPerRound;                     // R
  SignificanceTallies tallies{};
  double sumRounds = 0.0;
  double sumMatingsPerRound = 0.0;
};

// From the decoded model: the checks, the scaled propensity matrix, the encounter model, the
// output directory (created here) and the population.
RoundsExperiment setupSamplingRounds(const RunConfig& config, const SettledRun& run,
                                     RunOutput& output, Random& rng);

// The premating numbers of this mode: user numbers are frequency x n unrounded, the last type
// taking n minus their running integer sum; the random partition draws every share of the whole
// n (not of what is left) and keeps it unrounded.
std::vector<double> roundsUserNumbers(const std::vector<double>& freqs, int n);
std::vector<double> roundsRandomPartition(int k, int n, double mpf, Random& rng);

// Bytes the tables of a run need: R rounds (-matings) by F replicates (-numfiles), k1 x k2 types,
// rounds of roundSize encounters under mass encounters.
double roundsMemoryBytes(long long R, long long F, long long k1, long long k2, bool mass,
                         double roundSize);

// The per-round tables of an individual-encounter replicate (population frequencies, the pair
// that mated) and working space. The caller keeps it from one replicate to the next so that its
// storage is reused: a replicate has as many rounds as matings, and a round allocates nothing.
struct ReplicateStorage {
  // Tables for `count` rounds, the first at the premating frequencies p1, p2 with no pair yet.
  void start(const std::vector<double>& p1, const std::vector<double>& p2, int count);
  std::vector<std::vector<double>> p1r, p2r, roundPairs;
  std::vector<double> rows, columns;
  std::vector<bool> femalesMeet, malesMeet;
};

// One replicate (f from 1) under mass or individual encounters, from its first round to its
// rounds table.
void massEncounterReplicate(const RoundsExperiment& ex, const RunConfig& config, int f,
                            RunAccumulators& acc, RunOutput& output, Random& rng);
void individualEncounterReplicate(const RoundsExperiment& ex, const RunConfig& config, int f,
                                  ReplicateStorage& rounds, RunAccumulators& acc, RunOutput& output,
                                  Random& rng);

// An experiment built from given numbers: the propensity matrix, the premating numbers of every
// female and male type, and the round size (mass encounters when MRmax >= 2, individual
// encounters below 2). Random mating: every propensity 1 with MRmax 1 (individual encounters),
// or every propensity R with MRmax R (mass encounters in rounds of R).
RoundsExperiment roundsExperimentOf(Matrix modelmatrix, std::vector<double> femaleNumbers,
                                    std::vector<double> maleNumbers, double MRmax);

// One replicate of n matings played without a run (no file, no table, no running indices), with
// the draws of a replicate of the run: its pair counts [female type][male type]. Stops as the run
// does (no pair left can mate; unequal numbers of unmated females and males under mass
// encounters). `replicate` numbers it in those messages.
Matrix playReplicatePairs(const RoundsExperiment& ex, int n, int replicate,
                          ReplicateStorage& storage, Random& rng);

// Runs the sampling-round mode from its set-up to the significance report.
void runSamplingRounds(const RunConfig& config, const SettledRun& run, RunOutput& output,
                       Random& rng);

}  // namespace pairlab
