#include "rounds/reports.hpp"

#include <cmath>
#include <iomanip>

#include "support/banner.hpp"
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

void writeRoundsTable(const std::string& filename, const std::string& programname,
                      const std::string& note, int format,
                      const std::vector<std::vector<double>>& p1r,
                      const std::vector<std::vector<double>>& p2r,
                      const std::vector<std::vector<double>>& roundPairs, const Matrix& P,
                      const Matrix& QR, const ReplicateIndices& indices) {
  const std::size_t R = p1r.size();
  const std::size_t k1 = p1r.front().size();
  const std::size_t k2 = p2r.front().size();
  std::ofstream out = openResultFile(filename);
  writeBanner(out, "##", programname, note);
  out << "# format number\n" << format << '\n';
  out << "# num of types\n" << k1 << '\t' << k2 << '\n';
  out << std::fixed << std::setprecision(3);
  out << "#Sampling over " << R << " mating rounds\n\n";

  out << "Round\t";
  for (std::size_t k = 1; k <= k1; ++k) out << "pfem_r" << k << '\t';
  for (std::size_t k = 1; k <= k2; ++k) out << "pmale_r" << k << '\t';
  for (std::size_t i = 1; i <= k1; ++i)
    for (std::size_t j = 1; j <= k2; ++j) out << i << " x " << j << '\t';
  out << "\n\n";

  std::vector<int> totals(k1 * k2, 0);
  for (std::size_t r = 0; r < R; ++r) {
    out << r + 1 << '\t';
    for (double v : p1r[r]) out << v << '\t';
    for (double v : p2r[r]) out << v << '\t';
    for (std::size_t c = 0; c < k1 * k2; ++c) {
      out << roundPairs[r][c] << '\t';
      totals[c] = static_cast<int>(totals[c] + roundPairs[r][c]);
    }
    out << '\n';
  }
  const std::string offset(k1 + k2, '\t');  // under the round and frequency columns
  out << "Total\t" << offset;
  for (int v : totals) out << v << '\t';
  out << '\n' << offset << "q'R\t";
  for (const std::vector<double>& row : P)
    for (double v : row) out << v << '\t';
  out << '\n' << offset << "qR\t";
  for (const std::vector<double>& row : QR)
    for (double v : row) out << v << '\t';
  out << '\n';

  auto item = [&out](const char* label, double value, double pval) {
    out << label << std::setprecision(3) << value << " (" << std::setprecision(4) << pval << ")\t";
  };
  const char* const roundLabels[5] = {"JRpti (p-val)\t", "JRpsi (p-val)\t", "JRpss (p-val)\t",
                                      "JRps1 (p-val)\t", "JRps2 (p-val)\t"};
  for (int k = 0; k < 5; ++k) item(roundLabels[k], indices.round[k], indices.roundPval[k]);
  out << '\n';
  const char* const totalLabels[3] = {"Jpti (p-val)\t", "Jpsi (p-val)\t", "Jpss (p-val)\t"};
  for (int k = 0; k < 3; ++k) item(totalLabels[k], indices.total[k], indices.totalPval[k]);
  closeResultFile(out, filename);
}

void writeEMSignificances(const std::string& filename, const std::string& programname,
                          const std::string& note, const SignificanceSummary& s) {
  std::ofstream out = openResultFile(filename);
  writeBanner(out, "", programname, note);
  out << "\nEncounter model: " << (s.massEncounters ? "Mass EM\n" : "Indiv EM\n") << '\n';
  out << "#Sampling over an average of " << s.meanRounds << " mating rounds with "
      << s.meanMatingsPerRound << " matings in average per round\n";
  out << "Premating female numbers: " << s.nfem << '\t' << "Premating male numbers: " << s.nmale
      << '\t' << "Sample size: " << s.matings << '\t' << "Number of replicates: " << s.numfiles
      << '\t' << "Significance level " << s.SL << '\n';

  out << "%*JRpti\t%*JRpsi\t%*JRpss\t%*JRps1\t%*JRps2\n";
  for (int k = 0; k < 5; ++k) out << (k ? "\t" : "") << s.proportions[k] * 100;
  out << "\n%*Jpti\t%*Jpsi\t%*Jpss\n";
  for (int k = 5; k < 8; ++k) out << (k > 5 ? "\t" : "") << s.proportions[k] * 100;
  out << "\n\n";

  out << "Round\t"
      << "NumFiles" << '\t' << "JRPTI\t"
      << "sdJRPTI\t"
      << "JRPSI\t"
      << "sdJRPSI\t"
      << "JRPSS\t"
      << "sdJRPSS" << '\n';
  for (std::size_t r = 0; r < s.JRpti.size(); ++r) {
    if (s.JRpti[r] == kMissing) continue;  // no replicate reached this round
    out << r + 1 << '\t' << s.replicatesPerRound[r] << '\t' << s.JRpti[r] << '\t' << s.sdJRpti[r]
        << '\t' << s.JRpsi[r] << '\t' << s.sdJRpsi[r] << '\t' << s.JRpss[r] << '\t' << s.sdJRpss[r]
        << '\n';
  }
  // The values in parentheses are standard deviations, whatever the header says.
  out << "\nJPTI (var)\tJPSI (var)\tJPSS (var)\n";
  out << s.Jpti << " (" << s.sdJpti << ")\t" << s.Jpsi << " (" << s.sdJpsi << ")\t" << s.Jpss
      << " (" << s.sdJpss << ")";
  closeResultFile(out, filename);
}

}  // namespace pairlab
