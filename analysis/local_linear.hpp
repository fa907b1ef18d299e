// The weighted least squares of the local-linear regression adjustment of approximate Bayesian
// computation, and weighted quantiles.
#pragma once

#include <vector>

namespace pairlab {

// Fits every response by weighted least squares on the predictors and an intercept: beta[r] holds
// the intercept of response r, then one coefficient per predictor, minimising
// sum_i w[i] (y[r][i] - beta[r][0] - sum_j beta[r][j + 1] x[i][j])^2. x holds one row per
// observation. A predictor that is (nearly) a linear combination of those before it is left out
// (its coefficient 0). Returns false (beta empty) when there are fewer observations of positive
// weight than coefficients.
bool weightedLeastSquares(const std::vector<std::vector<double>>& x, const std::vector<double>& w,
                          const std::vector<std::vector<double>>& y,
                          std::vector<std::vector<double>>& beta);

// The q-quantile of values weighted by w (q in [0, 1]): the smallest value whose cumulative
// weight, in ascending order of the values, reaches q times the total. NaN when there is no
// value of positive weight.
double weightedQuantile(const std::vector<double>& values, const std::vector<double>& w, double q);

// The weighted mean; NaN when there is no value of positive weight.
double weightedMean(const std::vector<double>& values, const std::vector<double>& w);

}  // namespace pairlab
