// The analysis of one observed table: its indices and their chi-square tests, the per-cell
// indices, the fitted models and their comparison, and the simulated tests.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "analysis/mating_table.hpp"
#include "analysis/model_fits.hpp"
#include "analysis/null_tests.hpp"
#include "analysis/table_indices.hpp"

namespace pairlab {

struct TableAnalysis {
  MatingTable table;               // without its types that have neither individuals nor matings
  std::vector<std::string> notes;  // what the analysis left out or could not do
  std::vector<double> p1, p2;      // the population's type frequencies
  std::array<IndexTest, kIndexCount> tests;
  std::vector<CellIndices> cells;  // row-major
  std::vector<ModelFit> models;
  Matrix averagedPropensity;
  NullResults nulls;
};

// The table without the types whose premating number is 0 (they cannot mate, and an expected
// frequency of 0 would make the indices infinite); notes name them.
MatingTable withoutEmptyTypes(const MatingTable& table, std::vector<std::string>& notes);

TableAnalysis analyseTable(const MatingTable& table, const NullSettings& settings);

}  // namespace pairlab
