// The mating indices of an observed table against random mating, computed by the code of the
// sampling-rounds road: the J divergences of the whole sample (Jpti, Jpsi, Jpss), the selection
// on each sex (the mated type frequencies against the population's, Jps1 and Jps2), their
// degrees of freedom and chi-square p-values; and per cell the pair indices PTI, PSI and PSS.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "rounds/indices.hpp"

namespace pairlab {

enum IndexId { kJpti, kJpsi, kJpss, kJps1, kJps2 };
inline constexpr int kIndexCount = 5;
inline constexpr const char* kIndexNames[kIndexCount] = {"Jpti", "Jpsi", "Jpss", "Jps1", "Jps2"};

using IndexValues = std::array<double, kIndexCount>;

// The five indices of n pairs counted by type (counts[female type][male type]) in a population
// of type frequencies p1, p2. work receives the tables of the sample (its storage is reused).
IndexValues sampleIndexValues(const Matrix& counts, double n, const std::vector<double>& p1,
                              const std::vector<double>& p2, MatingTables& work);

// An index and its chi-square test: the statistic n x index against df degrees of freedom. An
// index with no degree of freedom (one type in a sex) is not testable: value and p-value NaN,
// with the reason.
struct IndexTest {
  double value = 0.0;
  int df = 0;
  bool testable = false;
  std::string reason;
  double statistic = 0.0;
  double pChiSquare = 0.0;
};
std::array<IndexTest, kIndexCount> testIndexValues(const IndexValues& values, double n, int k1,
                                                   int k2);

// One cell of the table: its matings, the matings expected under random mating from the
// population (n p1 p2), and the pair indices from the raw frequencies: PTI observed / expected
// from the population, PSI observed / expected from the mated individuals (the products of the
// mated type frequencies), PSS = PTI / PSI, the part of PTI due to selection. NaN where a
// denominator is 0.
struct CellIndices {
  double observed = 0.0, expected = 0.0, PTI = 0.0, PSI = 0.0, PSS = 0.0;
};
// Row-major: female type outer, male type inner.
std::vector<CellIndices> cellIndices(const Matrix& counts, double n, const std::vector<double>& p1,
                                     const std::vector<double>& p2);

}  // namespace pairlab
