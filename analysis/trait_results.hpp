// The result tables of a continuous analysis, tidy and tab-separated, each row starting with the
// table's number and the values of its grouping columns:
//   tests.tsv       table x statistic: the observed statistics, the correlation's interval and
//                   t-test, and the Monte Carlo tests of random mating
//   posterior.tsv   table x accepted simulation x parameter: the value drawn, the value adjusted,
//                   the distance and the weight (with --abc)
//   estimates.tsv   table x model x parameter x method: posterior mean, median and 95 % interval;
//                   table x model: the posterior probability (with --abc)
//   statistics.tsv  table x statistic x source: the observed value, its scale and the values of
//                   the accepted simulations (with --abc)
// Every file is written whole or not at all.
#pragma once

#include <optional>
#include <string>

#include "analysis/trait_analysis.hpp"
#include "support/output.hpp"

namespace pairlab {

class TraitResults {
 public:
  // abc: the settings of the inference, or null.
  TraitResults(const std::string& directory, const FileLayout& layout, const AbcSettings* abc);
  void add(const TraitAnalysis& analysis);
  // Writes the rest and renames every file into place.
  void commit();

  // The files of an analysis with or without the inference.
  static std::vector<std::string> files(bool abc);

 private:
  const AbcSettings* abc_;
  ResultFile tests_;
  std::optional<ResultFile> posterior_, estimates_, statistics_;
};

}  // namespace pairlab
