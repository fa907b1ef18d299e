// The readable summary of an analysis on standard output: per table its tests, then its models
// ranked by Akaike weight; after many tables, what they have in common.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "analysis/table_analysis.hpp"

namespace pairlab {

// The summary of one table.
std::string tableSummary(const TableAnalysis& analysis, const TableLayout& layout,
                         const NullSettings& settings);

// Tallies over the tables of a run, for its closing lines.
struct RunTally {
  long long tables = 0;
  std::array<long long, kIndexCount> tested{}, significantChiSquare{}, simulated{},
      significantSimulated{};
  long long withNotes = 0;
  std::map<std::string, long long> bestModel;  // how often each model ranked first
  void add(const TableAnalysis& analysis);
};

// The closing lines: how many tables, the share of tables whose index was significant at 5 %,
// how often each model ranked first, and where the tables went.
std::string runSummary(const RunTally& tally, const std::string& directory, long long shown);

// Rows of cells, each column as wide as its widest cell, two blanks apart; numbers to the right
// unless leftAligned says otherwise for their column.
std::string alignedColumns(const std::vector<std::vector<std::string>>& rows,
                           const std::vector<bool>& leftAligned);

// The closing line of the tables with notes ("" when none has any).
std::string notesLine(long long withNotes);

// A number as the summary shows it: `digits` significant digits, "NA" for NaN.
std::string shortNumber(double value, int digits);

}  // namespace pairlab
