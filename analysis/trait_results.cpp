#include "analysis/trait_results.hpp"

#include <cmath>

#include "support/run_output.hpp"

namespace pairlab {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A number at full precision, "NA" for a missing (NaN) one.
TableRow& value(TableRow& row, double v) { return std::isnan(v) ? row.missing() : row.number(v); }

std::string header(const FileLayout& layout, const char* columns) {
  std::string h = "table";
  for (const std::string& name : layout.groupNames) h += "\t" + name;
  return h + "\t" + columns + "\n";
}

std::string prefix(const TraitAnalysis& a) {
  std::string p;
  TableRow row{p};
  row.integer(a.table.number);
  for (const std::string& v : a.table.groupValues) row.text(v);
  return p;
}

std::string joined(const std::vector<std::string>& notes) {
  std::string text;
  for (const std::string& n : notes) text += (text.empty() ? "" : "; ") + n;
  return text;
}

// One row of tests.tsv: the statistic, its value and what tests it.
struct TestRow {
  const char* statistic;
  double value, lower = kNaN, upper = kNaN, t = kNaN;
  int df = -1;
  double pT = kNaN;
  const SimulatedP* null = nullptr;
};

void testRows(const TraitAnalysis& a, const std::string& start, std::string& out) {
  const CorrelationTests& c = a.correlation;
  std::vector<TestRow> rows = {
      {"r", c.r, c.lower, c.upper, c.t, c.df, c.pT}, {"r_adjusted", c.adjusted}, {"J", c.J}};
  for (int s = kMeanDifference; s < kTraitStatisticCount; ++s)
    rows.push_back({kTraitStatisticNames[s],
                    a.populationGiven || !isSelectionStatistic(s) ? a.statistics[s] : kNaN});
  for (TraitStatisticId id : kTestedStatistics)
    for (TestRow& row : rows)
      if (row.statistic == std::string(kTraitStatisticNames[id]) && a.nullReplicates > 0 &&
          !std::isnan(a.nulls[id].p))
        row.null = &a.nulls[id];
  const std::string note = joined(a.notes);
  for (const TestRow& t : rows) {
    out += start;
    TableRow row{out};
    row.integer(static_cast<std::int64_t>(a.table.female.size()))
        .integer(a.populationFemales)
        .integer(a.populationMales)
        .text(t.statistic);
    value(row, t.value);
    value(row, t.lower);
    value(row, t.upper);
    value(row, t.t);
    if (t.df >= 0)
      row.integer(t.df);
    else
      row.missing();
    value(row, t.pT);
    value(row, t.null ? t.null->p : kNaN);
    value(row, t.null ? t.null->se : kNaN);
    row.integer(t.null ? a.nullReplicates : 0).text(note).end();
  }
}

void posteriorRows(const AbcSettings& abc, const AbcResult& r, const std::string& start,
                   std::string& out) {
  for (const AbcDraw& d : r.accepted) {
    const AbcModel& model = abc.models[static_cast<std::size_t>(d.model)];
    const std::size_t n = std::max<std::size_t>(model.priors.size(), 1);
    for (std::size_t j = 0; j < n; ++j) {
      out += start;
      TableRow row{out};
      row.text(model.name).integer(d.simulation + 1).number(d.distance).number(d.weight);
      if (model.priors.empty()) {
        row.missing().missing().missing().end();
        continue;
      }
      row.text(abc.priors[static_cast<std::size_t>(model.priors[j])].parameter->name)
          .number(d.values[j])
          .number(d.adjusted[j])
          .end();
    }
  }
}

void estimateRows(const AbcSettings& abc, const AbcResult& r, const std::string& start,
                  std::string& out) {
  for (std::size_t m = 0; m < abc.models.size(); ++m) {
    const AbcModel& model = abc.models[m];
    const ModelPosterior& post = r.models[m];
    out += start;
    TableRow p{out};
    p.text(model.name).text("probability").text("rejection").integer(post.accepted);
    value(p, post.probability).missing().missing().missing().missing().missing().end();
    for (std::size_t j = 0; j < model.priors.size(); ++j) {
      const Prior& prior = abc.priors[static_cast<std::size_t>(model.priors[j])];
      for (const auto& [method, s] : {std::pair{"rejection", &post.rejection[j]},
                                      std::pair{"regression", &post.regression[j]}}) {
        out += start;
        TableRow row{out};
        row.text(model.name).text(prior.parameter->name).text(method).integer(post.accepted);
        value(row, s->mean);
        value(row, s->median);
        value(row, s->lower);
        value(row, s->upper);
        row.number(prior.lower).number(prior.upper).end();
      }
    }
    if (!post.coefficient) continue;
    for (const auto& [method, s] : {std::pair{"rejection", &post.coefficientRejection},
                                    std::pair{"regression", &post.coefficientRegression}}) {
      out += start;
      TableRow row{out};
      row.text(model.name).text("coefficient").text(method).integer(post.accepted);
      value(row, s->mean);
      value(row, s->median);
      value(row, s->lower);
      value(row, s->upper);
      row.missing().missing().end();
    }
  }
}

void statisticRows(const AbcSettings& abc, const AbcResult& r, const std::string& start,
                   std::string& out) {
  for (int s = 0; s < kTraitStatisticCount; ++s) {
    const auto line = [&](const char* source, const std::string* model, long long simulation,
                          double v) {
      out += start;
      TableRow row{out};
      row.text(kTraitStatisticNames[s]).integer(r.used[s] ? 1 : 0).text(source);
      if (model)
        row.text(*model).integer(simulation + 1);
      else
        row.missing().missing();
      value(row, v).end();
    };
    line("observed", nullptr, 0, r.observed[s]);
    line("scale", nullptr, 0, r.scale[s]);
    for (const AbcDraw& d : r.accepted)
      line("accepted", &abc.models[static_cast<std::size_t>(d.model)].name, d.simulation,
           d.statistics[s]);
  }
}

}  // namespace

std::vector<std::string> TraitResults::files(bool abc) {
  if (!abc) return {"tests.tsv"};
  return {"tests.tsv", "posterior.tsv", "estimates.tsv", "statistics.tsv"};
}

TraitResults::TraitResults(const std::string& directory, const FileLayout& layout,
                           const AbcSettings* abc)
    : abc_(abc), tests_(directory + "/tests.tsv") {
  tests_.text() = header(layout,
                         "sample_size\tpopulation_females\tpopulation_males\tstatistic\tvalue\t"
                         "lower\tupper\tt\tdf\tp_t\tp_null\tse_null\tnull_replicates\tnote");
  if (abc == nullptr) return;
  posterior_.emplace(directory + "/posterior.tsv");
  posterior_->text() =
      header(layout, "model\tsimulation\tdistance\tweight\tparameter\tvalue\tadjusted");
  estimates_.emplace(directory + "/estimates.tsv");
  estimates_->text() =
      header(layout,
             "model\tparameter\tmethod\taccepted\tmean\tmedian\tlower\tupper\tprior_lower\t"
             "prior_upper");
  statistics_.emplace(directory + "/statistics.tsv");
  statistics_->text() = header(layout, "statistic\tin_distance\tsource\tmodel\tsimulation\tvalue");
}

void TraitResults::add(const TraitAnalysis& a) {
  const std::string start = prefix(a);
  testRows(a, start, tests_.text());
  tests_.flushIfLarge();
  if (abc_ == nullptr || !a.abc) return;
  posteriorRows(*abc_, *a.abc, start, posterior_->text());
  estimateRows(*abc_, *a.abc, start, estimates_->text());
  statisticRows(*abc_, *a.abc, start, statistics_->text());
  posterior_->flushIfLarge();
  estimates_->flushIfLarge();
  statistics_->flushIfLarge();
}

void TraitResults::commit() {
  tests_.commit();
  if (posterior_) posterior_->commit();
  if (estimates_) estimates_->commit();
  if (statistics_) statistics_->commit();
}

}  // namespace pairlab
