#include "analysis/trait_report.hpp"

#include <cmath>

#include "analysis/report.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

std::string interval(double lower, double upper, int digits) {
  if (std::isnan(lower)) return "";
  return shortNumber(lower, digits) + " to " + shortNumber(upper, digits);
}

std::string pValue(const SimulatedP& p) {
  if (std::isnan(p.p)) return "";
  return shortNumber(p.p, 3) + " (" + shortNumber(p.se, 2) + ")";
}

std::string testLines(const TraitAnalysis& a, const char* process) {
  const bool simulated = a.nullReplicates > 0;
  std::vector<std::string> head = {"statistic", "value", "95 % interval", "t", "df", "p t-test"};
  if (simulated) head.push_back("p " + std::string(process) + " (se)");
  std::vector<std::vector<std::string>> rows = {head};
  const CorrelationTests& c = a.correlation;
  std::vector<std::string> r = {
      "r",        shortNumber(c.r, 5), interval(c.lower, c.upper, 4), shortNumber(c.t, 5),
      NtoS(c.df), shortNumber(c.pT, 3)};
  if (simulated) r.push_back(pValue(a.nulls[kCorrelation]));
  rows.push_back(r);
  rows.push_back({"r adjusted", shortNumber(c.adjusted, 5)});
  rows.push_back({"J", shortNumber(c.J, 5)});
  for (int s = kMeanDifference; s < kTraitStatisticCount; ++s) {
    if (!a.populationGiven && isSelectionStatistic(s)) continue;
    std::vector<std::string> row = {kTraitStatisticNames[s], shortNumber(a.statistics[s], 5)};
    if (simulated && (s == kFemaleShift || s == kMaleShift)) {
      row.resize(head.size());
      row.back() = pValue(a.nulls[s]);
    }
    rows.push_back(row);
  }
  std::vector<bool> left(head.size(), false);
  left[0] = true;
  return alignedColumns(rows, left);
}

std::string abcLines(const TraitAnalysis& a, const AbcSettings& abc) {
  const AbcResult& r = *a.abc;
  std::string used;
  for (int s = 0; s < kTraitStatisticCount; ++s)
    if (r.used[s]) used += (used.empty() ? "" : ", ") + std::string(kTraitStatisticNames[s]);
  std::string text = "  ABC: " + NtoS(r.simulations) + " simulations, " +
                     NtoS(static_cast<long long>(r.accepted.size())) + " accepted; distance on " +
                     (used.empty() ? std::string("no statistic") : used) + "\n";
  std::vector<std::vector<std::string>> rows = {{"model", "parameter", "median", "95 % interval",
                                                 "mean", "rejection: median", "95 % interval"}};
  for (std::size_t m = 0; m < abc.models.size(); ++m) {
    const ModelPosterior& post = r.models[m];
    for (std::size_t j = 0; j < abc.models[m].priors.size(); ++j) {
      const ParameterSummary& g = post.regression[j];
      const ParameterSummary& q = post.rejection[j];
      rows.push_back({abc.models[m].name,
                      abc.priors[static_cast<std::size_t>(abc.models[m].priors[j])].parameter->name,
                      shortNumber(g.median, 4), interval(g.lower, g.upper, 4),
                      shortNumber(g.mean, 4), shortNumber(q.median, 4),
                      interval(q.lower, q.upper, 4)});
    }
    if (post.coefficient) {
      const ParameterSummary& g = post.coefficientRegression;
      const ParameterSummary& q = post.coefficientRejection;
      rows.push_back({abc.models[m].name, "coefficient", shortNumber(g.median, 4),
                      interval(g.lower, g.upper, 4), shortNumber(g.mean, 4),
                      shortNumber(q.median, 4), interval(q.lower, q.upper, 4)});
    }
  }
  if (rows.size() > 1) text += alignedColumns(rows, {true, true});
  if (abc.models.size() > 1) {
    text += "  Model probabilities:";
    for (std::size_t m = 0; m < abc.models.size(); ++m)
      text += " " + abc.models[m].name + " " + shortNumber(r.models[m].probability, 3) + " (" +
              NtoS(r.models[m].accepted) + ")";
    text += "\n";
  }
  return text;
}

// The model of largest posterior probability (the first of equals); "" without any.
std::string mostProbable(const AbcResult& r, const AbcSettings& abc) {
  std::size_t best = abc.models.size();
  for (std::size_t m = 0; m < abc.models.size(); ++m)
    if (r.models[m].accepted > 0 &&
        (best == abc.models.size() || r.models[m].accepted > r.models[best].accepted))
      best = m;
  return best < abc.models.size() ? abc.models[best].name : "";
}

}  // namespace

std::string traitTableSummary(const TraitAnalysis& a, const FileLayout& layout, const char* process,
                              const AbcSettings* abc) {
  std::string title = groupTitle(a.table.number, layout.groupNames, a.table.groupValues);
  title[0] = 'T';
  std::string text = "\n" + title + "\n  " + NtoS(static_cast<long long>(a.table.female.size())) +
                     " pairs; population " + NtoS(a.populationFemales) + " females, " +
                     NtoS(a.populationMales) + " males" +
                     (a.populationGiven ? "" : " (the mated individuals)") + "\n";
  for (const std::string& note : a.notes) text += "  Note: " + note + "\n";
  text += testLines(a, process);
  if (abc != nullptr && a.abc) text += abcLines(a, *abc);
  return text;
}

void TraitTally::add(const TraitAnalysis& a, const AbcSettings* abc) {
  ++tables;
  if (!a.notes.empty()) ++withNotes;
  ++tTested;
  if (a.correlation.pT <= 0.05) ++tSignificant;
  for (TraitStatisticId id : kTestedStatistics)
    if (a.nullReplicates > 0 && !std::isnan(a.nulls[id].p)) {
      ++simulated[id];
      if (a.nulls[id].p <= 0.05) ++significant[id];
    }
  if (abc != nullptr && a.abc && abc->models.size() > 1) {
    const std::string best = mostProbable(*a.abc, *abc);
    if (!best.empty()) ++bestModel[best];
  }
}

std::string traitRunSummary(const TraitTally& tally, const std::string& directory,
                            long long shown) {
  std::string text =
      "\n" + NtoS(tally.tables) + (tally.tables == 1 ? " table" : " tables") + " analysed";
  if (tally.tables > shown && shown > 0) text += " (the first " + NtoS(shown) + " shown above)";
  text += "; results in " + directory + "\n";
  if (tally.tables > 1) {
    const auto share = [](long long k, long long n) {
      return shortNumber(static_cast<double>(k) / static_cast<double>(n), 3);
    };
    text += "  Share of tables whose test is significant at 5 %:\n    r             t-test " +
            share(tally.tSignificant, tally.tTested);
    if (tally.simulated[kCorrelation] > 0)
      text += ", simulated " +
              share(tally.significant[kCorrelation], tally.simulated[kCorrelation]) + " (of " +
              NtoS(tally.simulated[kCorrelation]) + ")";
    text += "\n";
    for (TraitStatisticId id : {kFemaleShift, kMaleShift})
      if (tally.simulated[id] > 0)
        text += "    " + std::string(kTraitStatisticNames[id]) +
                std::string(14 - std::string(kTraitStatisticNames[id]).size(), ' ') + "simulated " +
                share(tally.significant[id], tally.simulated[id]) + "\n";
    if (!tally.bestModel.empty()) {
      text += "  Most probable model:";
      for (const auto& [name, count] : tally.bestModel) text += " " + name + " " + NtoS(count);
      text += "\n";
    }
  }
  return text + notesLine(tally.withNotes);
}

}  // namespace pairlab
