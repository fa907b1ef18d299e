#include "rounds/reports.hpp"

#include <cmath>

#include "support/banner.hpp"
#include "support/format.hpp"
#include "support/numeric.hpp"
#include "support/output.hpp"

namespace pairlab {

void avesd(std::span<const double> values, double& mean, double& sd, double missing) {
  double sum = 0.0;
  long long m = 0;
  for (double x : values)
    if (x != missing) {
      sum += x;
      ++m;
    }
  if (m == 0) {
    mean = missing;
    return;
  }
  mean = sum / m;
  double s1 = 0.0, s2 = 0.0;
  for (double x : values)
    if (x != missing) {
      s1 += (x - mean) * (x - mean);
      s2 += x - mean;
    }
  // The second sum corrects the first for the rounding of the mean.
  const double var = (s1 - s2 * s2 / m) / m;
  sd = var < 0.0 ? 0.0 : std::sqrt(var);
}

namespace {

void tab(std::string& out) { out += '\t'; }

// Values in fixed notation with 3 decimals, each followed by a tab.
void fixed3(std::string& out, double v) {
  appendFixed(out, v, 3);
  tab(out);
}

void integer(std::string& out, std::int64_t v) { appendInteger(out, v); }

// One header line of the rounds table: the round, the frequency and the pair columns.
void roundsHeader(std::string& out, std::size_t k1, std::size_t k2) {
  out += "Round\t";
  for (std::size_t k = 1; k <= k1; ++k) {
    out += "pfem_r";
    integer(out, static_cast<std::int64_t>(k));
    tab(out);
  }
  for (std::size_t k = 1; k <= k2; ++k) {
    out += "pmale_r";
    integer(out, static_cast<std::int64_t>(k));
    tab(out);
  }
  for (std::size_t i = 1; i <= k1; ++i)
    for (std::size_t j = 1; j <= k2; ++j) {
      integer(out, static_cast<std::int64_t>(i));
      out += " x ";
      integer(out, static_cast<std::int64_t>(j));
      tab(out);
    }
  out += "\n\n";
}

// "label value (p-value)\t": the value with 3 decimals, the p-value with 4.
void indexItem(std::string& out, const char* label, double value, double pval) {
  out += label;
  appendFixed(out, value, 3);
  out += " (";
  appendFixed(out, pval, 4);
  out += ")\t";
}

}  // namespace

void writeRoundsTable(const std::string& filename, const std::string& programname,
                      const std::string& note, int format,
                      const std::vector<std::vector<double>>& p1r,
                      const std::vector<std::vector<double>>& p2r,
                      const std::vector<std::vector<double>>& roundPairs, const Matrix& P,
                      const Matrix& QR, const ReplicateIndices& indices) {
  const std::size_t R = p1r.size();
  const std::size_t k1 = p1r.front().size();
  const std::size_t k2 = p2r.front().size();
  ResultFile file(filename);
  std::string& out = file.text();
  writeBanner(out, "##", programname, note);
  out += "# format number\n";
  integer(out, format);
  out += "\n# num of types\n";
  integer(out, static_cast<std::int64_t>(k1));
  tab(out);
  integer(out, static_cast<std::int64_t>(k2));
  out += "\n#Sampling over ";
  integer(out, static_cast<std::int64_t>(R));
  out += " mating rounds\n\n";
  roundsHeader(out, k1, k2);

  std::vector<int> totals(k1 * k2, 0);
  TextComposer rows(out);
  for (std::size_t r = 0; r < R; ++r) {
    rows.integer(static_cast<std::int64_t>(r + 1)).put('\t');
    for (double v : p1r[r]) rows.fixed3(v).put('\t');
    for (double v : p2r[r]) rows.fixed3(v).put('\t');
    for (std::size_t c = 0; c < k1 * k2; ++c) {
      rows.fixed3(roundPairs[r][c]).put('\t');
      totals[c] = static_cast<int>(totals[c] + roundPairs[r][c]);
    }
    rows.put('\n').flush();
    file.flushIfLarge();
  }
  const std::string offset(k1 + k2, '\t');  // under the round and frequency columns
  out += "Total\t" + offset;
  for (int v : totals) {
    integer(out, v);
    tab(out);
  }
  out += '\n' + offset + "q'R\t";
  for (const std::vector<double>& row : P)
    for (double v : row) fixed3(out, v);
  out += '\n' + offset + "qR\t";
  for (const std::vector<double>& row : QR)
    for (double v : row) fixed3(out, v);
  out += '\n';

  const char* const roundLabels[5] = {"JRpti (p-val)\t", "JRpsi (p-val)\t", "JRpss (p-val)\t",
                                      "JRps1 (p-val)\t", "JRps2 (p-val)\t"};
  for (int k = 0; k < 5; ++k)
    indexItem(out, roundLabels[k], indices.round[k], indices.roundPval[k]);
  out += '\n';
  const char* const totalLabels[3] = {"Jpti (p-val)\t", "Jpsi (p-val)\t", "Jpss (p-val)\t"};
  for (int k = 0; k < 3; ++k)
    indexItem(out, totalLabels[k], indices.total[k], indices.totalPval[k]);
  file.commit();
}

void writeEMSignificances(const std::string& filename, const std::string& programname,
                          const std::string& note, const SignificanceSummary& s) {
  ResultFile file(filename);
  std::string& out = file.text();
  writeBanner(out, "", programname, note);
  out += "\nEncounter model: ";
  out += s.massEncounters ? "Mass EM\n" : "Indiv EM\n";
  out += "\n#Sampling over an average of ";
  appendGeneral(out, s.meanRounds);
  out += " mating rounds with ";
  appendGeneral(out, s.meanMatingsPerRound);
  out += " matings in average per round\nPremating female numbers: ";
  integer(out, s.nfem);
  out += "\tPremating male numbers: ";
  integer(out, s.nmale);
  out += "\tSample size: ";
  integer(out, s.matings);
  out += "\tNumber of replicates: ";
  integer(out, s.numfiles);
  out += "\tSignificance level ";
  appendGeneral(out, s.SL);

  out += "\n%*JRpti\t%*JRpsi\t%*JRpss\t%*JRps1\t%*JRps2\n";
  for (int k = 0; k < 5; ++k) {
    if (k > 0) tab(out);
    appendGeneral(out, s.proportions[k] * 100);
  }
  out += "\n%*Jpti\t%*Jpsi\t%*Jpss\n";
  for (int k = 5; k < 8; ++k) {
    if (k > 5) tab(out);
    appendGeneral(out, s.proportions[k] * 100);
  }
  out += "\n\nRound\tNumFiles\tJRPTI\tsdJRPTI\tJRPSI\tsdJRPSI\tJRPSS\tsdJRPSS\n";
  for (std::size_t r = 0; r < s.JRpti.size(); ++r) {
    if (s.JRpti[r] == kMissing) continue;  // no replicate reached this round
    integer(out, static_cast<std::int64_t>(r + 1));
    tab(out);
    integer(out, s.replicatesPerRound[r]);
    for (double v :
         {s.JRpti[r], s.sdJRpti[r], s.JRpsi[r], s.sdJRpsi[r], s.JRpss[r], s.sdJRpss[r]}) {
      tab(out);
      appendGeneral(out, v);
    }
    out += '\n';
    file.flushIfLarge();
  }
  // The values in parentheses are standard deviations, whatever the header says.
  out += "\nJPTI (var)\tJPSI (var)\tJPSS (var)\n";
  const double pairs[3][2] = {{s.Jpti, s.sdJpti}, {s.Jpsi, s.sdJpsi}, {s.Jpss, s.sdJpss}};
  for (int k = 0; k < 3; ++k) {
    appendGeneral(out, pairs[k][0]);
    out += " (";
    appendGeneral(out, pairs[k][1]);
    out += k < 2 ? ")\t" : ")";
  }
  file.commit();
}

}  // namespace pairlab
