#include "analysis/results.hpp"

#include <cmath>

#include "support/format.hpp"
#include "support/run_output.hpp"

namespace pairlab {

namespace {

// A number at full precision, "NA" for a missing (NaN) one.
TableRow& value(TableRow& row, double v) { return std::isnan(v) ? row.missing() : row.number(v); }

std::string header(const TableLayout& layout, const char* columns) {
  std::string h = "table";
  for (const std::string& name : layout.groupNames) h += "\t" + name;
  return h + "\t" + columns + "\n";
}

std::string joined(const std::vector<std::string>& notes, const std::string& first) {
  std::string text = first;
  for (const std::string& n : notes) text += (text.empty() ? "" : "; ") + n;
  return text;
}

}  // namespace

AnalysisTables::AnalysisTables(const std::string& directory, const TableLayout& layout,
                               bool nullTable)
    : tests_(directory + "/tests.tsv"),
      cells_(directory + "/cells.tsv"),
      models_(directory + "/models.tsv"),
      estimates_(directory + "/estimates.tsv") {
  tests_.text() = header(layout,
                         "sample_size\tindex\tvalue\tdf\tstatistic\tp_chisq\tp_null\tse_null\t"
                         "null_replicates\tp_perm\tse_perm\tpermutations\tnote");
  cells_.text() = header(layout,
                         "female_type\tmale_type\tfemale_premating\tmale_premating\tobserved\t"
                         "expected\tPTI\tPSI\tPSS\tpropensity");
  models_.text() = header(layout, "model\tK\tloglik\tAICc\tBIC\tdelta_AICc\tweight\trank");
  estimates_.text() = header(layout, "model\tparameter\testimate\tse");
  if (nullTable) {
    null_.emplace(directory + "/null.tsv");
    null_->text() = header(layout, "test\tindex\tbin\tlower\tupper\treplicates");
  }
}

namespace {
// The first cells of every row of a table: its number and the values of its grouping columns.
std::string prefix(const TableAnalysis& a) {
  std::string p;
  TableRow row{p};
  row.integer(a.table.number);
  for (const std::string& v : a.table.groupValues) row.text(v);
  return p;
}
}  // namespace

namespace {

void testRows(const TableAnalysis& a, const std::string& start, std::string& out) {
  const NullResults& nulls = a.nulls;
  for (int k = 0; k < kIndexCount; ++k) {
    const IndexTest& test = a.tests[k];
    out += start;
    TableRow row{out};
    value(row, a.table.sampleSize).text(kIndexNames[k]);
    value(row, test.value).integer(test.df);
    value(row, test.statistic);
    value(row, test.pChiSquare);
    const bool simulated = nulls.replicates > 0 && test.testable;
    value(row, simulated ? nulls.monteCarlo[k].p : NAN);
    value(row, simulated ? nulls.monteCarlo[k].se : NAN);
    row.integer(simulated ? nulls.replicates : 0);
    const bool permuted = k == kJpsi && nulls.permutations > 0;
    value(row, permuted ? nulls.permutation.p : NAN);
    value(row, permuted ? nulls.permutation.se : NAN);
    row.integer(permuted ? nulls.permutations : 0).text(joined(a.notes, test.reason)).end();
  }
}

void cellRows(const TableAnalysis& a, const std::string& start, std::string& out) {
  const MatingTable& t = a.table;
  const std::size_t k2 = t.maleTypes.size();
  for (std::size_t i = 0; i < t.femaleTypes.size(); ++i)
    for (std::size_t j = 0; j < k2; ++j) {
      const CellIndices& c = a.cells[i * k2 + j];
      out += start;
      TableRow row{out};
      row.text(t.femaleTypes[i]).text(t.maleTypes[j]);
      row.number(t.femaleNumbers[i]).number(t.maleNumbers[j]).number(c.observed);
      row.number(c.expected);
      value(row, c.PTI);
      value(row, c.PSI);
      value(row, c.PSS);
      value(row, a.averagedPropensity[i][j]);
      row.end();
    }
}

void modelRows(const TableAnalysis& a, const std::string& start, std::string& models,
               std::string& estimates) {
  for (const ModelFit& m : a.models) {
    models += start;
    TableRow row{models};
    row.text(m.name).integer(m.K).number(m.loglik);
    value(row, m.AICc);
    row.number(m.BIC);
    value(row, m.deltaAICc);
    value(row, m.weight);
    row.integer(m.rank).end();
    for (const ModelParameter& p : m.parameters) {
      estimates += start;
      TableRow r{estimates};
      r.text(m.name).text(p.name);
      value(r, p.estimate);
      value(r, p.se);
      r.end();
    }
  }
}

void binRows(const char* test, int index, const SimulatedP& s, const std::string& start,
             std::string& out) {
  const double width = s.histogram.width;
  for (std::size_t b = 0; b < s.histogram.counts.size(); ++b) {
    out += start;
    TableRow{out}
        .text(test)
        .text(kIndexNames[index])
        .integer(static_cast<std::int64_t>(b) + 1)
        .number(width * static_cast<double>(b))
        .number(width * static_cast<double>(b + 1))
        .integer(s.histogram.counts[b])
        .end();
  }
}

}  // namespace

void AnalysisTables::add(const TableAnalysis& a) {
  const std::string start = prefix(a);
  testRows(a, start, tests_.text());
  cellRows(a, start, cells_.text());
  modelRows(a, start, models_.text(), estimates_.text());
  if (null_) {
    for (int k = 0; k < kIndexCount; ++k)
      binRows("null", k, a.nulls.monteCarlo[k], start, null_->text());
    binRows("permutation", kJpsi, a.nulls.permutation, start, null_->text());
    null_->flushIfLarge();
  }
  tests_.flushIfLarge();
  cells_.flushIfLarge();
  models_.flushIfLarge();
  estimates_.flushIfLarge();
}

void AnalysisTables::commit() {
  tests_.commit();
  cells_.commit();
  models_.commit();
  estimates_.commit();
  if (null_) null_->commit();
}

}  // namespace pairlab
