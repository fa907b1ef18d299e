// The two result files of a sampling-round experiment: the rounds table of every replicate and
// the encounter-model significance report of the run.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "discrete/models.hpp"
#include "rounds/indices.hpp"

namespace pairlab {

// Mean and population standard deviation (divisor m) of the entries that differ from missing.
// When there is none, mean becomes missing and sd is left as it was.
void avesd(std::span<const double> values, double& mean, double& sd, double missing);

// Writes the rounds table of one replicate: per round (from round 1) the type frequencies of
// the unmated population and the pairs formed (k1 x k2 counts, row-major), the totals, the
// sample's pair frequencies P ("q'R"), the round-averaged random-mating expectation QR ("qR")
// and the replicate's indices with their p-values. Frequencies with 3 decimals, p-values with 4;
// the file ends without a line feed.
void writeRoundsTable(const std::string& filename, const std::string& programname,
                      const std::string& note, int format,
                      const std::vector<std::vector<double>>& p1r,
                      const std::vector<std::vector<double>>& p2r,
                      const std::vector<std::vector<double>>& roundPairs, const Matrix& P,
                      const Matrix& QR, const ReplicateIndices& indices);

// Everything the significance report of a run shows.
struct SignificanceSummary {
  bool massEncounters = true;
  int numfiles = 0;
  int nfem = 0;
  int nmale = 0;
  int matings = 0;
  double SL = 0.0;
  double meanMatingsPerRound = 0.0;
  double meanRounds = 0.0;
  // Shares of replicates whose index was significant: JRpti, JRpsi, JRpss, JRps1, JRps2, Jpti,
  // Jpsi, Jpss.
  std::array<double, 8> proportions{};
  // Per round (one entry per possible round, matings of them; missing where no replicate got
  // there): mean and standard deviation over replicates of the running round indices.
  std::vector<double> JRpti, sdJRpti, JRpsi, sdJRpsi, JRpss, sdJRpss;
  // Mean and standard deviation over replicates of the total-sample indices.
  double Jpti = 0.0, sdJpti = 0.0, Jpsi = 0.0, sdJpsi = 0.0, Jpss = 0.0, sdJpss = 0.0;
  std::vector<int> replicatesPerRound;  // how many replicates reached each round
};

// Writes the encounter-model significance report (numbers in the default notation).
void writeEMSignificances(const std::string& filename, const std::string& programname,
                          const std::string& note, const SignificanceSummary& summary);

}  // namespace pairlab
