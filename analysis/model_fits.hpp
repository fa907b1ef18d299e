// Mating models fitted to an observed table by maximum likelihood and compared.
//
// A mating is of female type i and male type j with probability q'ij = p1i p2j mij / M, where
// p1, p2 are the population's type frequencies, m the model's propensities and M the sum over
// cells of p1i p2j mij; the log-likelihood of the table is the sum over cells of n'ij ln q'ij.
// Every candidate has its maximum in closed form:
//   - random mating (no parameter);
//   - the numbered models 1, 2, 3 (3 and 4 are one family: b above or below 1), 6 and 7, and one
//     factor per like-type pair ("homotypic"): each parameter multiplies its own set of cells,
//     so each set receives exactly its observed share of the matings;
//   - models 8 and 9, whose two factors meet in one cell: the fitted shares of the four sets of
//     cells solve a quadratic equation (a 2 x 2 table with a fixed odds ratio);
//   - sexual selection only (mij = ai bj): the products of the observed type shares of the mated;
//   - the saturated model: the observed shares, whose propensities are the pair total indices.
// A like-type pair is a female and a male type with the same label; when the sexes share no
// label, the t-th female type with the t-th male type (both in order of first appearance).
#pragma once

#include <string>
#include <vector>

#include "discrete/models.hpp"

namespace pairlab {

struct ModelParameter {
  std::string name;
  double estimate = 0.0;
  double se = 0.0;  // from the observed information (the delta method on the log scale)
};

struct ModelFit {
  std::string name;  // random, M1, M2, M3, M6, M7, M8, M9, homotypic, selection, saturated
  std::string description;
  int K = 0;  // free parameters
  std::vector<ModelParameter> parameters;
  Matrix fitted;  // q'[female type][male type]
  double loglik = 0.0, AICc = 0.0, BIC = 0.0, deltaAICc = 0.0, weight = 0.0;
  int rank = 0;  // by Akaike weight, from 1
};

// What the models need of a table: its matings, its population's type frequencies and the labels
// of its types.
struct FitInput {
  const Matrix& counts;
  double n;
  const std::vector<double>& p1;
  const std::vector<double>& p2;
  const std::vector<std::string>& femaleTypes;
  const std::vector<std::string>& maleTypes;
};

// The like-type pairs of the table, [female type][male type].
std::vector<std::vector<bool>> likeTypePairs(const std::vector<std::string>& femaleTypes,
                                             const std::vector<std::string>& maleTypes);

// Every candidate whose parameters the table's types can tell apart, fitted, in the order of the
// list above; a candidate that is the same family as an earlier one, or as the saturated model,
// is left out.
std::vector<ModelFit> fitModels(const FitInput& input);

// Log-likelihood of a table at the cell probabilities q (0 ln 0 counts 0).
double logLikelihood(const Matrix& counts, const Matrix& q);

// AICc (NaN when n <= K + 1), BIC, delta AICc, Akaike weights over the models with an AICc, and
// the ranks by weight.
void compareModels(std::vector<ModelFit>& fits, double n);

// Per cell the propensity averaged over the models by their weights, each model's propensities
// scaled to a mean propensity of 1 (q'ij / (p1i p2j)). NaN when no model has a weight.
Matrix averagedPropensities(const std::vector<ModelFit>& fits, const std::vector<double>& p1,
                            const std::vector<double>& p2);

}  // namespace pairlab
