#include "rounds/indices.hpp"

#include <cmath>
#include <iostream>
#include <limits>

#include "support/diagnostics.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {
constexpr int ITMAX = 5000;
constexpr double EPS = 2.220446049250313e-16;      // the double epsilon
constexpr double FPMIN = 1.0020841800044864e-292;  // smallest normal double / EPS, 2^-970
}  // namespace

double lnGamma(double a) {
  static const double c[6] = {76.18009172947146,  -86.50532032941678,   24.01409824083091,
                              -1.231739572450155, 0.001208650973866179, -5.395239384953e-6};
  double s = 1.000000000190015;
  for (int k = 0; k < 6; ++k) s += c[k] / (a + (k + 1));
  const double t = a + 5.5;
  return std::log(2.5066282746310007 * s / a) - (t - (a + 0.5) * std::log(t));
}

void gser(double& gamser, double a, double x, double& gln) {
  gln = lnGamma(a);
  if (x <= 0.0) {
    if (x < 0.0) errormsg(8, kErrorLogFile, "x less than 0 in gser", false, true);
    gamser = 0.0;
    return;
  }
  double ap = a;
  double del = 1.0 / a;
  double sum = del;
  for (int n = 1; n <= ITMAX; ++n) {
    ap += 1.0;
    del *= x / ap;
    sum += del;
    if (std::fabs(del) < std::fabs(sum) * EPS) {
      gamser = sum * std::exp(-x + a * std::log(x) - gln);
      return;
    }
  }
  stopRunLog("a too large, ITMAX too small in routine gser x = " + NtoS(x), 9);
}

void gcf(double& gammcf, double a, double x, double& gln) {
  gln = lnGamma(a);
  double b = x + 1.0 - a;
  double c = 1.0 / FPMIN;
  double d = 1.0 / b;
  double h = d;
  int i = 1;
  for (; i <= ITMAX; ++i) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::fabs(d) < FPMIN) d = FPMIN;
    c = b + an / c;
    if (std::fabs(c) < FPMIN) c = FPMIN;
    d = 1.0 / d;
    const double del = d * c;
    h *= del;
    if (std::fabs(del - 1.0) <= EPS) break;
  }
  if (i > ITMAX) stopRunLog("a too large, ITMAX too small in routine gcf x = " + NtoS(x), 7);
  gammcf = std::exp(-x + a * std::log(x) - gln) * h;
}

double getChiPval(double x, int df) {
  if (x == 0.0) return 1.0;
  const double a = df * 0.5;
  const double y = x * 0.5;
  if (y < 0.0 || a <= 0.0) {
    std::cout << "x: " << y << " a: " << a << std::endl;
    errormsg(11, kErrorLogFile, "Invalid arguments in gammq", false, true);
  }
  // A NaN statistic (frequencies that went negative) is not significant; an infinite one (an
  // expected frequency of 0 against an observed one) is as significant as it gets. Neither has
  // a series or continued fraction that converges.
  if (std::isnan(y)) return std::numeric_limits<double>::quiet_NaN();
  if (std::isinf(y)) return 0.0;
  double result = 0.0;
  double gln = 0.0;
  if (y < a + 1.0) {
    gser(result, a, y, gln);
    return 1.0 - result;
  }
  gcf(result, a, y, gln);
  return result;
}

double jTerm(double x, double y) {
  if (x == 0.0 && y == 0.0) return 0.0;  // a cell empty in both tables carries no divergence
  // An empty cell is empty whatever the sign of its zero (negative propensities give -0.0):
  // against a positive frequency it is infinitely divergent.
  if (x == 0.0) x = 0.0;
  if (y == 0.0) y = 0.0;
  return (x - y) * std::log(x / y);
}

double jDivergence(const Matrix& X, const Matrix& Y) {
  double J = 0.0;
  for (std::size_t i = 0; i < X.size(); ++i)
    for (std::size_t j = 0; j < X[i].size(); ++j) J += jTerm(X[i][j], Y[i][j]);
  return J;
}

double jDivergence(const std::vector<double>& X, const std::vector<double>& Y) {
  double J = 0.0;
  for (std::size_t k = 0; k < X.size(); ++k) J += jTerm(X[k], Y[k]);
  return J;
}

void sampleTables(MatingTables& t, const Matrix& pairCounts, double n,
                  const std::vector<double>& p1, const std::vector<double>& p2) {
  const std::size_t k1 = p1.size(), k2 = p2.size();
  t.P.assign(k1, std::vector<double>(k2));
  t.P1.assign(k1, 0.0);
  t.P2.assign(k2, 0.0);
  for (std::size_t i = 0; i < k1; ++i)
    for (std::size_t j = 0; j < k2; ++j) {
      const double v = pairCounts[i][j];
      t.P[i][j] = (v == 0.0 ? 0.5 : v) / n;
      t.P1[i] += t.P[i][j];
      t.P2[j] += t.P[i][j];
    }
  t.S.assign(k1, std::vector<double>(k2));
  t.Q0.assign(k1, std::vector<double>(k2));
  for (std::size_t i = 0; i < k1; ++i)
    for (std::size_t j = 0; j < k2; ++j) {
      t.S[i][j] = t.P1[i] * t.P2[j];
      t.Q0[i][j] = p1[i] * p2[j];
    }
}

int totalDegrees(int k1, int k2) { return k1 * k2 - 1; }
int isolationDegrees(int k1, int k2) { return k1 * k2 - k1 - k2 + 1; }
int selectionDegrees(int k1, int k2) { return k1 + k2 - 2; }

ReplicateIndices computeIndices(const MatingTables& t) {
  ReplicateIndices out;
  // One pass over the cells for the six pair indices.
  double JRpti = 0.0, JRpsi = 0.0, JRpss = 0.0, Jpss = 0.0, Jpsi = 0.0, Jpti = 0.0;
  for (std::size_t i = 0; i < t.P.size(); ++i)
    for (std::size_t j = 0; j < t.P[i].size(); ++j) {
      JRpti += jTerm(t.P[i][j], t.QR[i][j]);
      JRpsi += jTerm(t.P[i][j], t.PR[i][j]);
      JRpss += jTerm(t.PR[i][j], t.QR[i][j]);
      Jpss += jTerm(t.S[i][j], t.Q0[i][j]);
      Jpsi += jTerm(t.P[i][j], t.S[i][j]);
      Jpti += jTerm(t.P[i][j], t.Q0[i][j]);
    }
  out.round = {JRpti, JRpsi, JRpss, jDivergence(t.B1, t.A1), jDivergence(t.B2, t.A2)};
  out.total = {Jpti, Jpsi, Jpss};
  out.E0R = JRpti - (JRpsi + JRpss);
  out.roundPval.fill(1.0);
  out.totalPval.fill(1.0);
  return out;
}

void testIndices(ReplicateIndices& out, int n, int k1, int k2, double SL,
                 SignificanceTallies& tallies) {
  using R = ReplicateIndices;
  const int dfTotal = totalDegrees(k1, k2);
  const int dfIsolation = isolationDegrees(k1, k2);
  const int dfSelection = selectionDegrees(k1, k2);
  auto pval = [n](double index, int df) { return getChiPval(n * index, df); };
  out.roundTested.fill(false);
  out.totalTested.fill(false);
  auto significant = [SL](double p) { return p <= SL; };

  out.roundPval.fill(1.0);
  out.totalPval.fill(1.0);
  out.roundPval[R::JRpti] = pval(out.round[R::JRpti], dfTotal);
  out.totalPval[R::Jpti] = pval(out.total[R::Jpti], dfTotal);
  out.roundTested[R::JRpti] = out.totalTested[R::Jpti] = true;

  // Isolation and selection are tested only when the total departs from random mating; the
  // components of selection by sex only when selection does.
  if (significant(out.roundPval[R::JRpti])) {
    tallies[0] += 1.0;
    out.roundTested[R::JRpsi] = out.roundTested[R::JRpss] = true;
    out.roundPval[R::JRpsi] = pval(out.round[R::JRpsi], dfIsolation);
    if (significant(out.roundPval[R::JRpsi])) tallies[1] += 1.0;
    out.roundPval[R::JRpss] = pval(out.round[R::JRpss], dfSelection);
    if (significant(out.roundPval[R::JRpss])) {
      tallies[2] += 1.0;
      out.roundTested[R::JRps1] = out.roundTested[R::JRps2] = true;
      out.roundPval[R::JRps1] = pval(out.round[R::JRps1], k1 - 1);
      if (significant(out.roundPval[R::JRps1])) tallies[3] += 1.0;
      out.roundPval[R::JRps2] = pval(out.round[R::JRps2], k2 - 1);
      if (significant(out.roundPval[R::JRps2])) tallies[4] += 1.0;
    }
  }
  if (significant(out.totalPval[R::Jpti])) {
    tallies[5] += 1.0;
    out.totalTested[R::Jpsi] = out.totalTested[R::Jpss] = true;
    out.totalPval[R::Jpsi] = pval(out.total[R::Jpsi], dfIsolation);
    if (significant(out.totalPval[R::Jpsi])) tallies[6] += 1.0;
    out.totalPval[R::Jpss] = pval(out.total[R::Jpss], dfSelection);
    if (significant(out.totalPval[R::Jpss])) tallies[7] += 1.0;
  }
}

}  // namespace pairlab
