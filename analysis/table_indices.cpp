#include "analysis/table_indices.hpp"

#include <limits>

namespace pairlab {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double ratio(double a, double b) { return b == 0.0 ? kNaN : a / b; }
}  // namespace

IndexValues sampleIndexValues(const Matrix& counts, double n, const std::vector<double>& p1,
                              const std::vector<double>& p2, MatingTables& work) {
  sampleTables(work, counts, n, p1, p2);
  return {jDivergence(work.P, work.Q0), jDivergence(work.P, work.S), jDivergence(work.S, work.Q0),
          jDivergence(work.P1, p1), jDivergence(work.P2, p2)};
}

std::array<IndexTest, kIndexCount> testIndexValues(const IndexValues& values, double n, int k1,
                                                   int k2) {
  const std::array<int, kIndexCount> df = {totalDegrees(k1, k2), isolationDegrees(k1, k2),
                                           selectionDegrees(k1, k2), k1 - 1, k2 - 1};
  const std::string oneType = k1 == 1 && k2 == 1 ? "one female type and one male type"
                              : k1 == 1          ? "one female type"
                                                 : "one male type";
  std::array<IndexTest, kIndexCount> tests;
  for (int k = 0; k < kIndexCount; ++k) {
    IndexTest& t = tests[k];
    t.df = df[k];
    t.testable = df[k] > 0;
    if (!t.testable) {
      t.value = t.statistic = t.pChiSquare = kNaN;
      t.reason = oneType + ": no degree of freedom to test";
      continue;
    }
    t.value = values[k];
    t.statistic = n * values[k];
    t.pChiSquare = getChiPval(t.statistic, t.df);
  }
  return tests;
}

std::vector<CellIndices> cellIndices(const Matrix& counts, double n, const std::vector<double>& p1,
                                     const std::vector<double>& p2) {
  const std::size_t k1 = p1.size(), k2 = p2.size();
  std::vector<double> mated1(k1, 0.0), mated2(k2, 0.0);
  for (std::size_t i = 0; i < k1; ++i)
    for (std::size_t j = 0; j < k2; ++j) {
      mated1[i] += counts[i][j] / n;
      mated2[j] += counts[i][j] / n;
    }
  std::vector<CellIndices> cells;
  cells.reserve(k1 * k2);
  for (std::size_t i = 0; i < k1; ++i)
    for (std::size_t j = 0; j < k2; ++j) {
      CellIndices c;
      const double observed = counts[i][j] / n;
      c.observed = counts[i][j];
      c.expected = n * p1[i] * p2[j];
      c.PTI = ratio(observed, p1[i] * p2[j]);
      c.PSI = ratio(observed, mated1[i] * mated2[j]);
      c.PSS = ratio(mated1[i] * mated2[j], p1[i] * p2[j]);
      cells.push_back(c);
    }
  return cells;
}

}  // namespace pairlab
