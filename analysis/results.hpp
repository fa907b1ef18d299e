// The result tables of an analysis, tidy and tab-separated, one row per observation, each
// starting with the table's number and the values of its grouping columns:
//   tests.tsv      table x index: the index, its chi-square test and its simulated tests
//   cells.tsv      table x female type x male type: matings, pair indices, averaged propensity
//   models.tsv     table x model: K, log-likelihood, AICc, BIC, delta AICc, weight, rank
//   estimates.tsv  table x model x parameter: the estimate and its standard error
//   null.tsv       table x test x index x bin: the simulated values binned (with simulated tests)
// Every file is written whole or not at all.
#pragma once

#include <optional>
#include <string>

#include "analysis/table_analysis.hpp"
#include "support/output.hpp"

namespace pairlab {

class AnalysisTables {
 public:
  AnalysisTables(const std::string& directory, const TableLayout& layout, bool nullTable);
  void add(const TableAnalysis& analysis);
  // Writes the rest and renames every file into place.
  void commit();

 private:
  ResultFile tests_, cells_, models_, estimates_;
  std::optional<ResultFile> null_;
};

}  // namespace pairlab
