#include "analysis/local_linear.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace pairlab {

namespace {

// Solves A z = b for every right-hand side b (rows of B, replaced by the solutions) by the
// Cholesky factorisation of the symmetric positive semi-definite matrix A. A column that is
// (nearly) a linear combination of the columns before it (its pivot below a relative tolerance of
// its diagonal) is left out: its coefficient is 0, as a regression leaves out an aliased
// predictor. False when the first column is left out.
bool choleskySolve(std::vector<std::vector<double>>& a, std::vector<std::vector<double>>& b) {
  const std::size_t n = a.size();
  std::vector<bool> aliased(n, false);
  for (std::size_t j = 0; j < n; ++j) {
    const double diagonal = a[j][j];
    double d = diagonal;
    for (std::size_t k = 0; k < j; ++k) d -= a[j][k] * a[j][k];
    if (!(d > 1e-9 * diagonal) || !(diagonal > 0.0)) {
      if (j == 0) return false;
      aliased[j] = true;
      for (std::size_t i = j; i < n; ++i) a[i][j] = 0.0;
      a[j][j] = 1.0;
      continue;
    }
    a[j][j] = std::sqrt(d);
    for (std::size_t i = j + 1; i < n; ++i) {
      double s = a[i][j];
      for (std::size_t k = 0; k < j; ++k) s -= a[i][k] * a[j][k];
      a[i][j] = s / a[j][j];
    }
  }
  for (std::vector<double>& rhs : b) {
    for (std::size_t i = 0; i < n; ++i) {  // L z = b
      if (aliased[i]) {
        rhs[i] = 0.0;
        continue;
      }
      for (std::size_t k = 0; k < i; ++k) rhs[i] -= a[i][k] * rhs[k];
      rhs[i] /= a[i][i];
    }
    for (std::size_t i = n; i-- > 0;) {  // L' x = z
      if (aliased[i]) continue;
      for (std::size_t k = i + 1; k < n; ++k) rhs[i] -= a[k][i] * rhs[k];
      rhs[i] /= a[i][i];
    }
  }
  return true;
}

}  // namespace

bool weightedLeastSquares(const std::vector<std::vector<double>>& x, const std::vector<double>& w,
                          const std::vector<std::vector<double>>& y,
                          std::vector<std::vector<double>>& beta) {
  beta.clear();
  const std::size_t p = x.empty() ? 0 : x[0].size() + 1;
  const auto weighted =
      static_cast<std::size_t>(std::count_if(w.begin(), w.end(), [](double v) { return v > 0.0; }));
  if (weighted < p || p == 0) return false;
  // The normal equations X'WX beta = X'Wy, with the predictors centred on their weighted means
  // (which leaves the slopes as they are and keeps the system well conditioned).
  std::vector<double> centre(p - 1, 0.0);
  for (std::size_t j = 0; j + 1 < p; ++j) {
    std::vector<double> column(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) column[i] = x[i][j];
    centre[j] = weightedMean(column, w);
  }
  std::vector<std::vector<double>> a(p, std::vector<double>(p, 0.0));
  std::vector<std::vector<double>> b(y.size(), std::vector<double>(p, 0.0));
  std::vector<double> row(p);
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!(w[i] > 0.0)) continue;
    row[0] = 1.0;
    for (std::size_t j = 1; j < p; ++j) row[j] = x[i][j - 1] - centre[j - 1];
    for (std::size_t r = 0; r < p; ++r) {
      for (std::size_t c = 0; c <= r; ++c) a[r][c] += w[i] * row[r] * row[c];
      for (std::size_t k = 0; k < y.size(); ++k) b[k][r] += w[i] * row[r] * y[k][i];
    }
  }
  for (std::size_t r = 0; r < p; ++r)
    for (std::size_t c = r + 1; c < p; ++c) a[r][c] = a[c][r];
  if (!choleskySolve(a, b)) return false;
  for (std::vector<double>& coefficients : b)  // the intercept at the origin of the predictors
    for (std::size_t j = 1; j < p; ++j) coefficients[0] -= coefficients[j] * centre[j - 1];
  beta = std::move(b);
  return true;
}

double weightedMean(const std::vector<double>& values, const std::vector<double>& w) {
  double sum = 0.0, total = 0.0;
  for (std::size_t i = 0; i < values.size(); ++i)
    if (w[i] > 0.0) {
      sum += w[i] * values[i];
      total += w[i];
    }
  return total > 0.0 ? sum / total : std::numeric_limits<double>::quiet_NaN();
}

double weightedQuantile(const std::vector<double>& values, const std::vector<double>& w, double q) {
  std::vector<std::size_t> order(values.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return values[a] < values[b] || (values[a] == values[b] && a < b);
  });
  double total = 0.0;
  for (double v : w)
    if (v > 0.0) total += v;
  if (!(total > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  double cumulative = 0.0, last = 0.0;
  for (std::size_t i : order) {
    if (!(w[i] > 0.0)) continue;
    cumulative += w[i];
    last = values[i];
    if (cumulative >= q * total) return last;
  }
  return last;  // q = 1 short of the total by rounding
}

}  // namespace pairlab
