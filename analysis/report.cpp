#include "analysis/report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "support/text.hpp"

namespace pairlab {

namespace {

std::string padded(const std::string& text, std::size_t width, bool right = true) {
  if (text.size() >= width) return text;
  const std::string blanks(width - text.size(), ' ');
  return right ? blanks + text : text + blanks;
}

std::string populationLine(const MatingTable& t) {
  auto sex = [](const std::vector<std::string>& labels, const std::vector<double>& numbers) {
    std::string text;
    for (std::size_t k = 0; k < labels.size(); ++k)
      text += (k == 0 ? " " : ", ") + labels[k] + " " + shortNumber(numbers[k], 6);
    return text;
  };
  return "  " + shortNumber(t.sampleSize, 8) + " matings; females" +
         sex(t.femaleTypes, t.femaleNumbers) + "; males" + sex(t.maleTypes, t.maleNumbers) + "\n";
}

std::string pValue(double p, double se) {
  if (std::isnan(p)) return "";
  return shortNumber(p, 3) + " (" + shortNumber(se, 2) + ")";
}

std::string testLines(const TableAnalysis& a, const NullSettings& settings) {
  const bool simulated = a.nulls.replicates > 0, permuted = a.nulls.permutations > 0;
  std::vector<std::string> head = {"index", "value", "df", "statistic", "p chi-square"};
  if (simulated) head.push_back("p " + std::string(processName(settings.process)) + " (se)");
  if (permuted) head.push_back("p permutation (se)");
  head.push_back("");  // why an index is not tested
  std::vector<std::vector<std::string>> rows = {head};
  for (int k = 0; k < kIndexCount; ++k) {
    const IndexTest& t = a.tests[k];
    std::vector<std::string> row = {kIndexNames[k], shortNumber(t.value, 5), NtoS(t.df),
                                    shortNumber(t.statistic, 5), shortNumber(t.pChiSquare, 3)};
    if (simulated) row.push_back(pValue(a.nulls.monteCarlo[k].p, a.nulls.monteCarlo[k].se));
    if (permuted)
      row.push_back(k == kJpsi ? pValue(a.nulls.permutation.p, a.nulls.permutation.se) : "");
    row.push_back(t.reason);
    rows.push_back(row);
  }
  std::vector<bool> left(head.size(), false);
  left.front() = left.back() = true;
  return alignedColumns(rows, left);
}

std::string modelLines(const TableAnalysis& a) {
  std::vector<const ModelFit*> ranked(a.models.size());
  for (const ModelFit& m : a.models) ranked[m.rank - 1] = &m;
  std::vector<std::vector<std::string>> rows = {
      {"rank", "model", "K", "loglik", "AICc", "delta", "weight", "estimates (se)"}};
  for (const ModelFit* m : ranked) {
    std::string estimates;
    for (const ModelParameter& p : m->parameters) {
      if (estimates.size() > 60) {
        estimates += ", ...";
        break;
      }
      estimates += (estimates.empty() ? "" : ", ") + p.name + " = " + shortNumber(p.estimate, 4) +
                   " (" + shortNumber(p.se, 2) + ")";
    }
    rows.push_back({NtoS(m->rank), m->name, NtoS(m->K), shortNumber(m->loglik, 7),
                    shortNumber(m->AICc, 7), shortNumber(m->deltaAICc, 3),
                    shortNumber(m->weight, 3), estimates});
  }
  return "  Models ranked by Akaike weight\n" +
         alignedColumns(rows, {false, true, false, false, false, false, false, true});
}

}  // namespace

std::string alignedColumns(const std::vector<std::vector<std::string>>& rows,
                           const std::vector<bool>& leftAligned) {
  std::vector<std::size_t> width;
  for (const std::vector<std::string>& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (width.size() <= c) width.push_back(0);
      width[c] = std::max(width[c], row[c].size());
    }
  std::string text;
  for (const std::vector<std::string>& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const bool left = c < leftAligned.size() && leftAligned[c];
      line += "  " + padded(row[c], width[c], !left);
    }
    text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
  }
  return text;
}

std::string shortNumber(double value, int digits) {
  if (std::isnan(value)) return "NA";
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

std::string tableSummary(const TableAnalysis& a, const TableLayout& layout,
                         const NullSettings& settings) {
  std::string title = tableName(a.table, layout);
  title[0] = 'T';
  std::string text = "\n" + title + "\n" + populationLine(a.table);
  for (const std::string& note : a.notes) text += "  Note: " + note + "\n";
  return text + testLines(a, settings) + modelLines(a);
}

void RunTally::add(const TableAnalysis& a) {
  ++tables;
  if (!a.notes.empty()) ++withNotes;
  for (int k = 0; k < kIndexCount; ++k) {
    if (!a.tests[k].testable) continue;
    ++tested[k];
    if (a.tests[k].pChiSquare <= 0.05) ++significantChiSquare[k];
    if (a.nulls.replicates > 0) {
      ++simulated[k];
      if (a.nulls.monteCarlo[k].p <= 0.05) ++significantSimulated[k];
    }
  }
  for (const ModelFit& m : a.models)
    if (m.rank == 1) ++bestModel[m.name];
}

std::string runSummary(const RunTally& tally, const std::string& directory, long long shown) {
  std::string text =
      "\n" + NtoS(tally.tables) + (tally.tables == 1 ? " table" : " tables") + " analysed";
  if (tally.tables > shown && shown > 0) text += " (the first " + NtoS(shown) + " shown above)";
  text += "; results in " + directory + "\n";
  if (tally.tables > 1) {
    text += "  Share of tables whose index is significant at 5 %:\n";
    for (int k = 0; k < kIndexCount; ++k) {
      if (tally.tested[k] == 0) continue;
      text += "    " + padded(kIndexNames[k], 5, false) + "  chi-square " +
              shortNumber(static_cast<double>(tally.significantChiSquare[k]) / tally.tested[k], 3);
      if (tally.simulated[k] > 0)
        text += ", simulated " +
                shortNumber(static_cast<double>(tally.significantSimulated[k]) / tally.simulated[k],
                            3) +
                " (of " + NtoS(tally.simulated[k]) + ")";
      text += "\n";
    }
    text += "  Best model (rank 1):";
    for (const auto& [name, count] : tally.bestModel) text += " " + name + " " + NtoS(count);
    text += "\n";
  }
  return text + notesLine(tally.withNotes);
}

std::string notesLine(long long withNotes) {
  if (withNotes == 0) return "";
  return "  " + NtoS(withNotes) + (withNotes == 1 ? " table has notes" : " tables have notes") +
         " (the note column of tests.tsv)\n";
}

}  // namespace pairlab
