#include "analysis/model_fits.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace pairlab {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The standard error of a factor from that of its logarithm; none for a factor at a boundary.
double factorSe(double factor, double logVariance) {
  if (!(factor > 0.0) || !std::isfinite(factor) || !std::isfinite(logVariance)) return kNaN;
  return factor * std::sqrt(logVariance);
}

// A fit to fill: its fitted shares start at 0.
ModelFit newFit(std::string name, std::string description, int K, std::size_t k1, std::size_t k2) {
  ModelFit fit;
  fit.name = std::move(name);
  fit.description = std::move(description);
  fit.K = K;
  fit.fitted.assign(k1, std::vector<double>(k2, 0.0));
  return fit;
}

// The table as the fits see it: its cells' random-mating frequencies w = p1 p2.
struct Cells {
  const FitInput& in;
  std::size_t k1, k2;
  Matrix w;
  std::vector<std::vector<bool>> like;
};

// A model whose parameters each multiply their own set of cells: group[cell] (row-major) is 0
// for the cells with propensity 1, g for the cells of parameter g (from 1).
struct GroupModel {
  std::string name, description;
  std::vector<std::string> parameters;
  std::vector<int> group;
};

// Each set of cells receives its observed share of the matings, spread over its cells in
// proportion to w; parameter g is the ratio of its set's matings per unit of w to that of the
// cells weighing 1. Its logarithm has the variance 1/Ng + 1/N0.
ModelFit fitGroups(const GroupModel& m, const Cells& c) {
  const std::size_t groups = m.parameters.size() + 1;
  std::vector<double> W(groups, 0.0), N(groups, 0.0);
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) {
      const int g = m.group[i * c.k2 + j];
      W[g] += c.w[i][j];
      N[g] += c.in.counts[i][j];
    }
  ModelFit fit = newFit(m.name, m.description, static_cast<int>(m.parameters.size()), c.k1, c.k2);
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) {
      const int g = m.group[i * c.k2 + j];
      fit.fitted[i][j] = N[g] / c.in.n * (c.w[i][j] / W[g]);
    }
  for (std::size_t g = 1; g < groups; ++g) {
    const double estimate = (N[g] / W[g]) / (N[0] / W[0]);
    fit.parameters.push_back(
        {m.parameters[g - 1], estimate, factorSe(estimate, 1.0 / N[g] + 1.0 / N[0])});
  }
  return fit;
}

// The sets of a group model numbered by first appearance: two models are the same family when
// their cells fall into the same sets.
std::vector<int> partitionOf(const std::vector<int>& group) {
  std::vector<int> renamed(group.size()), name(group.size() + 1, -1);
  int next = 0;
  for (std::size_t k = 0; k < group.size(); ++k) {
    int& n = name[group[k]];
    if (n < 0) n = next++;
    renamed[k] = n;
  }
  return renamed;
}

// Every set of the model holds a cell.
bool everySetHoldsACell(const GroupModel& m) {
  std::vector<bool> held(m.parameters.size() + 1, false);
  for (int g : m.group) held[g] = true;
  return std::all_of(held.begin(), held.end(), [](bool h) { return h; });
}

std::string pairLabel(const Cells& c, std::size_t i, std::size_t j) {
  const std::string& f = c.in.femaleTypes[i];
  const std::string& m = c.in.maleTypes[j];
  return f == m ? f : f + "," + m;
}

// The numbered models that are group models (1, 2, 3, 6, 7), in the order of the list.
std::vector<GroupModel> numberedGroupModels(const Cells& c) {
  const std::size_t k1 = c.k1, k2 = c.k2;
  auto model = [&](std::string name, std::string description, std::vector<std::string> params,
                   auto groupOf) {
    GroupModel m{std::move(name), std::move(description), std::move(params), {}};
    for (std::size_t i = 0; i < k1; ++i)
      for (std::size_t j = 0; j < k2; ++j) m.group.push_back(groupOf(i, j));
    return m;
  };
  std::vector<GroupModel> models;
  models.push_back(model("M1",
                         "sexual selection on females: every female type but the last weighs a",
                         {"a"}, [&](std::size_t i, std::size_t) { return i + 1 < k1 ? 1 : 0; }));
  models.push_back(model("M2", "sexual selection on males: every male type but the last weighs a",
                         {"a"}, [&](std::size_t, std::size_t j) { return j + 1 < k2 ? 1 : 0; }));
  models.push_back(model("M3",
                         "assortative mating: like types weigh b (above 1 positive, below 1 "
                         "negative: models 3 and 4)",
                         {"b"},
                         [&](std::size_t i, std::size_t j) { return c.like[i][j] ? 1 : 0; }));
  models.push_back(model("M6", "the first female type weighs a, the other like types b", {"a", "b"},
                         [&](std::size_t i, std::size_t j) {
                           return i == 0 ? 1 : c.like[i][j] ? 2 : 0;
                         }));
  models.push_back(model("M7", "the first male type weighs a, the other like types b", {"a", "b"},
                         [&](std::size_t i, std::size_t j) {
                           return j == 0 ? 1 : c.like[i][j] ? 2 : 0;
                         }));
  return models;
}

// One factor per like-type pair.
GroupModel homotypicModel(const Cells& c) {
  GroupModel homotypic{"homotypic", "every like-type pair weighs a factor of its own", {}, {}};
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) {
      if (!c.like[i][j]) {
        homotypic.group.push_back(0);
        continue;
      }
      homotypic.parameters.push_back("b[" + pairLabel(c, i, j) + "]");
      homotypic.group.push_back(static_cast<int>(homotypic.parameters.size()));
    }
  return homotypic;
}

// Models 8 and 9: the focal row (8) or column (9) weighs a, like types b, their common cell
// a x b. The cells fall into four sets by (focal, like); the fitted matings of the sets keep the
// observed totals of the focal sets and of the like sets, and their odds ratio is that of the
// sets' w, which leaves a quadratic equation in the matings t of the common set.
ModelFit fitFocalProduct(const Cells& c, bool focalRow) {
  double W[2][2] = {}, N[2][2] = {};
  auto setOf = [&](std::size_t i, std::size_t j, int& r, int& l) {
    r = (focalRow ? i : j) == 0 ? 1 : 0;
    l = c.like[i][j] ? 1 : 0;
  };
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) {
      int r, l;
      setOf(i, j, r, l);
      W[r][l] += c.w[i][j];
      N[r][l] += c.in.counts[i][j];
    }
  const double n = c.in.n, R1 = N[1][1] + N[1][0], C1 = N[1][1] + N[0][1];
  const double omega = (W[1][1] * W[0][0]) / (W[1][0] * W[0][1]);
  const double lo = std::max(0.0, R1 + C1 - n), hi = std::min(R1, C1);
  // (1 - omega) t^2 + (n - R1 - C1 + omega (R1 + C1)) t - omega R1 C1 = 0, its root in [lo, hi].
  const double A = 1.0 - omega, B = n - R1 - C1 + omega * (R1 + C1), C = -omega * R1 * C1;
  double t = 0.0;
  if (A == 0.0) {
    t = -C / B;
  } else {
    const double q = -0.5 * (B + std::copysign(std::sqrt(std::max(0.0, B * B - 4.0 * A * C)), B));
    const double r1 = q / A, r2 = q != 0.0 ? C / q : 0.0;
    t = (r2 >= lo && r2 <= hi) || !(r1 >= lo && r1 <= hi) ? r2 : r1;
  }
  t = std::clamp(std::isfinite(t) ? t : lo, lo, hi);
  const double mu[2][2] = {{n - R1 - C1 + t, C1 - t}, {R1 - t, t}};

  ModelFit fit = newFit(focalRow ? "M8" : "M9",
                        std::string("the first ") + (focalRow ? "female" : "male") +
                            " type weighs a, like types b, the pair of first types a x b",
                        2, c.k1, c.k2);
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) {
      int r, l;
      setOf(i, j, r, l);
      fit.fitted[i][j] = mu[r][l] / n * (c.w[i][j] / W[r][l]);
    }
  const double base = mu[0][0] / W[0][0];
  const double a = (mu[1][0] / W[1][0]) / base, b = (mu[0][1] / W[0][1]) / base;
  // The information on (ln a, ln b): n times the covariance of the focal and like indicators.
  const double pr = (mu[1][1] + mu[1][0]) / n, pl = (mu[1][1] + mu[0][1]) / n, prl = mu[1][1] / n;
  const double Irr = n * pr * (1.0 - pr), Ill = n * pl * (1.0 - pl), Irl = n * (prl - pr * pl);
  const double det = Irr * Ill - Irl * Irl;
  fit.parameters = {{"a", a, factorSe(a, det > 0.0 ? Ill / det : kNaN)},
                    {"b", b, factorSe(b, det > 0.0 ? Irr / det : kNaN)}};
  return fit;
}

bool focalProductApplies(const Cells& c, bool focalRow) {
  bool held[2][2] = {};
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j)
      held[(focalRow ? i : j) == 0 ? 1 : 0][c.like[i][j] ? 1 : 0] = true;
  return held[0][0] && held[0][1] && held[1][0] && held[1][1];
}

// Sexual selection only: the products of the mated type shares; each factor against the last
// type of its sex, its logarithm with the variance 1/n_i + 1/n_last.
ModelFit fitSelection(const Cells& c) {
  ModelFit fit = newFit("selection", "sexual selection only: mij = a[i] b[j], the last types 1",
                        static_cast<int>(c.k1 + c.k2 - 2), c.k1, c.k2);
  std::vector<double> rows(c.k1, 0.0), columns(c.k2, 0.0);
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) {
      rows[i] += c.in.counts[i][j];
      columns[j] += c.in.counts[i][j];
    }
  const double n = c.in.n;
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) fit.fitted[i][j] = (rows[i] / n) * (columns[j] / n);
  auto factors = [&](const std::vector<double>& mated, const std::vector<double>& p,
                     const std::vector<std::string>& labels, const char* letter) {
    const std::size_t last = mated.size() - 1;
    for (std::size_t t = 0; t < last; ++t) {
      const double estimate = (mated[t] / p[t]) / (mated[last] / p[last]);
      fit.parameters.push_back({std::string(letter) + "[" + labels[t] + "]", estimate,
                                factorSe(estimate, 1.0 / mated[t] + 1.0 / mated[last])});
    }
  };
  factors(rows, c.in.p1, c.in.femaleTypes, "a");
  factors(columns, c.in.p2, c.in.maleTypes, "b");
  return fit;
}

// Every pair its own propensity: the observed shares; the propensities scaled to a mean of 1 are
// the pair total indices.
ModelFit fitSaturated(const Cells& c) {
  ModelFit fit = newFit("saturated", "every pair its own propensity (the pair total indices)",
                        static_cast<int>(c.k1 * c.k2 - 1), c.k1, c.k2);
  const double n = c.in.n;
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) {
      const double q = c.in.counts[i][j] / n;
      fit.fitted[i][j] = q;
      fit.parameters.push_back({"m[" + c.in.femaleTypes[i] + "," + c.in.maleTypes[j] + "]",
                                q / c.w[i][j], std::sqrt(q * (1.0 - q) / n) / c.w[i][j]});
    }
  return fit;
}

}  // namespace

std::vector<std::vector<bool>> likeTypePairs(const std::vector<std::string>& femaleTypes,
                                             const std::vector<std::string>& maleTypes) {
  const std::size_t k1 = femaleTypes.size(), k2 = maleTypes.size();
  std::vector<std::vector<bool>> like(k1, std::vector<bool>(k2, false));
  bool shared = false;
  for (std::size_t i = 0; i < k1; ++i)
    for (std::size_t j = 0; j < k2; ++j)
      if (femaleTypes[i] == maleTypes[j]) shared = like[i][j] = true;
  if (!shared)
    for (std::size_t t = 0; t < std::min(k1, k2); ++t) like[t][t] = true;
  return like;
}

double logLikelihood(const Matrix& counts, const Matrix& q) {
  double l = 0.0;
  for (std::size_t i = 0; i < counts.size(); ++i)
    for (std::size_t j = 0; j < counts[i].size(); ++j)
      if (counts[i][j] != 0.0) l += counts[i][j] * std::log(q[i][j]);
  return l;
}

std::vector<ModelFit> fitModels(const FitInput& in) {
  Cells c{in, in.p1.size(), in.p2.size(), {}, likeTypePairs(in.femaleTypes, in.maleTypes)};
  c.w.assign(c.k1, std::vector<double>(c.k2, 0.0));
  for (std::size_t i = 0; i < c.k1; ++i)
    for (std::size_t j = 0; j < c.k2; ++j) c.w[i][j] = in.p1[i] * in.p2[j];
  const std::size_t cells = c.k1 * c.k2;

  std::vector<ModelFit> fits;
  ModelFit random = newFit("random", "random mating", 0, c.k1, c.k2);
  random.fitted = c.w;
  fits.push_back(std::move(random));
  std::vector<std::vector<int>> families;
  // A group model is fitted when each of its sets holds a cell, unless it is the saturated model
  // or a family met before.
  auto addGroupModel = [&](const GroupModel& m) {
    if (!everySetHoldsACell(m) || m.parameters.size() + 1 >= cells) return;
    std::vector<int> family = partitionOf(m.group);
    if (std::find(families.begin(), families.end(), family) != families.end()) return;
    families.push_back(std::move(family));
    fits.push_back(fitGroups(m, c));
  };
  for (const GroupModel& m : numberedGroupModels(c)) addGroupModel(m);
  for (bool focalRow : {true, false})
    if (focalProductApplies(c, focalRow)) fits.push_back(fitFocalProduct(c, focalRow));
  const GroupModel homotypic = homotypicModel(c);
  if (homotypic.parameters.size() >= 2) addGroupModel(homotypic);
  if (c.k1 >= 2 && c.k2 >= 2) fits.push_back(fitSelection(c));
  if (cells >= 2) fits.push_back(fitSaturated(c));
  for (ModelFit& f : fits) f.loglik = logLikelihood(in.counts, f.fitted);
  return fits;
}

void compareModels(std::vector<ModelFit>& fits, double n) {
  double best = std::numeric_limits<double>::infinity();
  for (ModelFit& f : fits) {
    const double K = f.K;
    f.AICc =
        n - K - 1.0 > 0.0 ? -2.0 * f.loglik + 2.0 * K + 2.0 * K * (K + 1.0) / (n - K - 1.0) : kNaN;
    f.BIC = -2.0 * f.loglik + K * std::log(n);
    if (f.AICc < best) best = f.AICc;
  }
  double total = 0.0;
  for (ModelFit& f : fits) {
    f.deltaAICc = f.AICc - best;
    f.weight = std::exp(-0.5 * f.deltaAICc);
    if (std::isfinite(f.weight)) total += f.weight;
  }
  for (ModelFit& f : fits) f.weight = std::isfinite(f.weight) ? f.weight / total : kNaN;
  std::vector<std::size_t> order(fits.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const double wa = fits[a].weight, wb = fits[b].weight;
    if (std::isnan(wb)) return !std::isnan(wa);
    return wa > wb;
  });
  for (std::size_t r = 0; r < order.size(); ++r) fits[order[r]].rank = static_cast<int>(r) + 1;
}

Matrix averagedPropensities(const std::vector<ModelFit>& fits, const std::vector<double>& p1,
                            const std::vector<double>& p2) {
  Matrix averaged(p1.size(), std::vector<double>(p2.size(), 0.0));
  bool weighed = false;
  for (const ModelFit& f : fits) {
    if (!std::isfinite(f.weight)) continue;
    weighed = true;
    for (std::size_t i = 0; i < p1.size(); ++i)
      for (std::size_t j = 0; j < p2.size(); ++j)
        averaged[i][j] += f.weight * (f.fitted[i][j] / (p1[i] * p2[j]));
  }
  if (!weighed)
    for (std::vector<double>& row : averaged) row.assign(row.size(), kNaN);
  return averaged;
}

}  // namespace pairlab
