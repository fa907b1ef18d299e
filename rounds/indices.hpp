// Mating indices of a sample of matings and their chi-square significance.
//
// Every index is a J divergence, sum over cells of (X - Y) * ln(X / Y), of an observed or
// expected pair (or type) frequency table against another. The test statistic of an index is
// the sample size times the index, referred to a chi-square distribution.
#pragma once

#include <array>
#include <vector>

#include "discrete/models.hpp"

namespace pairlab {

// ln Gamma(a) for a > 0 by the six-term Lanczos approximation.
double lnGamma(double a);

// The regularised lower incomplete gamma P(a, x) by its series; gln receives ln Gamma(a).
void gser(double& gamser, double a, double x, double& gln);

// The regularised upper incomplete gamma Q(a, x) by its continued fraction (modified Lentz);
// gln receives ln Gamma(a).
void gcf(double& gammcf, double a, double x, double& gln);

// The probability that a chi-square variable with df degrees of freedom exceeds x, that is
// Q(df / 2, x / 2). A statistic of exactly 0 gives 1; an infinite one 0; NaN gives NaN.
double getChiPval(double x, int df);

// One cell's part of a J divergence, (x - y) ln(x / y). A cell that is 0 in both tables gives 0
// (0 ln 0/0 taken as 0); a cell that is 0 in one table only is infinite.
double jTerm(double x, double y);

// The J divergence of X against Y over the cells in row-major order. A cell that is 0 in both
// tables contributes 0 (0 ln 0/0 taken as 0); a cell that is 0 in one table only is infinite.
double jDivergence(const Matrix& X, const Matrix& Y);
double jDivergence(const std::vector<double>& X, const std::vector<double>& Y);

// The tables one replicate hands to the index computation (k1 rows by k2 columns).
struct MatingTables {
  Matrix P;   // observed pair frequencies of the sample (an empty cell holds 0.5 / n)
  Matrix Q0;  // random-mating pair frequencies at the start of the replicate, p1[i] * p2[j]
  Matrix S;   // pair frequencies expected from the mated individuals: row sum x column sum of P
  Matrix QR;  // random-mating pair frequencies averaged over the rounds
  Matrix PR;  // pair frequencies expected from each round's mated individuals, averaged
  std::vector<double> A1, A2;  // female and male type frequencies of the population, averaged
  std::vector<double> B1, B2;  // female and male type frequencies of the mated, averaged
  std::vector<double> P1, P2;  // the row and column sums of P, whose products make S
};

// The tables of the whole sample, P, P1, P2, S and Q0, from its n pairs counted by type
// (pairCounts[female type][male type]) and the population's type frequencies p1, p2 at its start.
// The zero-cell rule: a cell without a pair holds 0.5 / n in P.
void sampleTables(MatingTables& tables, const Matrix& pairCounts, double n,
                  const std::vector<double>& p1, const std::vector<double>& p2);

// Degrees of freedom of the tests of a sample with k1 female and k2 male types: the total index
// (k1 k2 - 1), sexual isolation ((k1 - 1)(k2 - 1)) and sexual selection (k1 + k2 - 2).
int totalDegrees(int k1, int k2);
int isolationDegrees(int k1, int k2);
int selectionDegrees(int k1, int k2);

// Indices of one replicate and their p-values. An index that was not tested (its total was not
// significant) has the p-value 1.
struct ReplicateIndices {
  enum Round { JRpti, JRpsi, JRpss, JRps1, JRps2 };
  enum Total { Jpti, Jpsi, Jpss };
  std::array<double, 5> round{};
  std::array<double, 5> roundPval{};
  std::array<double, 3> total{};
  std::array<double, 3> totalPval{};
  std::array<bool, 5> roundTested{};  // tested against the chi-square distribution
  std::array<bool, 3> totalTested{};
  double E0R = 0.0;  // the part of JRpti that JRpsi and JRpss do not account for
};

// Significance tallies of a run, in this order: JRpti, JRpsi, JRpss, JRps1, JRps2, Jpti, Jpsi,
// Jpss (replicates whose index was significant at the level SL).
using SignificanceTallies = std::array<double, 8>;

// The indices of one replicate (and E0R); the p-values are left at 1.
ReplicateIndices computeIndices(const MatingTables& tables);

// The p-values of the indices of a replicate of sample size n with k1 female and k2 male types,
// and the tallies they add to. A component is tested only when its total is significant; a
// p-value equal to SL counts as significant.
void testIndices(ReplicateIndices& indices, int n, int k1, int k2, double SL,
                 SignificanceTallies& tallies);

}  // namespace pairlab
