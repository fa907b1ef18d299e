// The fitted models: a table made of a model's own expected matings is fitted back to the model's
// factors (its likelihood has no higher point); the candidates fitted for every shape of table;
// the comparison by AICc.
#include "analysis/model_fits.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace pairlab {
namespace {

struct Family {
  const char* name;
  Matrix propensities;                    // 3 x 3, like types on the diagonal
  std::map<std::string, double> factors;  // what the fit must find
};

TEST(ModelFits, ATableOfAModelsExpectedMatingsIsFittedBackToItsFactors) {
  const double a = 1.7, b = 2.6;
  const Family families[] = {
      {"M1", {{a, a, a}, {a, a, a}, {1, 1, 1}}, {{"a", a}}},
      {"M2", {{a, a, 1}, {a, a, 1}, {a, a, 1}}, {{"a", a}}},
      {"M3", {{b, 1, 1}, {1, b, 1}, {1, 1, b}}, {{"b", b}}},
      {"M3", {{0.3, 1, 1}, {1, 0.3, 1}, {1, 1, 0.3}}, {{"b", 0.3}}},  // model 4: b below 1
      {"M6", {{a, a, a}, {1, b, 1}, {1, 1, b}}, {{"a", a}, {"b", b}}},
      {"M7", {{a, 1, 1}, {a, b, 1}, {a, 1, b}}, {{"a", a}, {"b", b}}},
      {"M8", {{a * b, a, a}, {1, b, 1}, {1, 1, b}}, {{"a", a}, {"b", b}}},
      {"M9", {{a * b, 1, 1}, {a, b, 1}, {a, 1, b}}, {{"a", a}, {"b", b}}},
      {"homotypic", {{2, 1, 1}, {1, 3, 1}, {1, 1, 0.5}}, {{"b[x]", 2}, {"b[y]", 3}, {"b[z]", 0.5}}},
      {"selection",
       {{a * 2, a * 0.5, a}, {b * 2, b * 0.5, b}, {2, 0.5, 1}},
       {{"a[x]", a}, {"a[y]", b}, {"b[x]", 2}, {"b[y]", 0.5}}},
      {"saturated", {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {}},
  };
  const std::vector<double> p1 = {0.5, 0.3, 0.2}, p2 = {0.25, 0.35, 0.4};
  const std::vector<std::string> types = {"x", "y", "z"};
  for (const Family& f : families) {
    SCOPED_TRACE(f.name);
    double M = 0.0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) M += p1[i] * p2[j] * f.propensities[i][j];
    const double n = 1000.0;
    Matrix counts(3, std::vector<double>(3));
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) counts[i][j] = n * p1[i] * p2[j] * f.propensities[i][j] / M;

    const std::vector<ModelFit> fits = fitModels({counts, n, p1, p2, types, types});
    const ModelFit* fit = nullptr;
    double best = -INFINITY;
    for (const ModelFit& m : fits) {
      if (m.name == f.name) fit = &m;
      best = std::max(best, m.loglik);
    }
    ASSERT_NE(fit, nullptr);
    EXPECT_NEAR(fit->loglik, best, 1e-9 * std::abs(best)) << "the model does not reach the top";
    for (const ModelParameter& p : fit->parameters) {
      if (f.factors.empty()) {  // saturated: the propensities scaled to a mean of 1
        const int i = p.name[2] - 'x', j = p.name[4] - 'x';
        EXPECT_NEAR(p.estimate, f.propensities[i][j] / M, 1e-12) << p.name;
      } else {
        ASSERT_EQ(f.factors.count(p.name), 1u) << p.name;
        EXPECT_NEAR(p.estimate, f.factors.at(p.name), 1e-12) << p.name;
      }
      EXPECT_TRUE(p.se > 0.0 && std::isfinite(p.se)) << p.name;
    }
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(fit->fitted[i][j], counts[i][j] / n, 1e-14);
  }
}

std::vector<std::string> modelNames(const std::vector<std::string>& females,
                                    const std::vector<std::string>& males) {
  const Matrix counts(females.size(), std::vector<double>(males.size(), 3.0));
  const std::vector<double> p1(females.size(), 1.0 / females.size()),
      p2(males.size(), 1.0 / males.size());
  std::vector<std::string> names;
  for (const ModelFit& m : fitModels({counts, 3.0 * p1.size() * p2.size(), p1, p2, females, males}))
    names.push_back(m.name);
  return names;
}

TEST(ModelFits, EveryShapeGetsTheCandidatesItsTypesCanTellApart) {
  using Names = std::vector<std::string>;
  const Names all = {"random", "M1", "M2",        "M3",        "M6",       "M7",
                     "M8",     "M9", "homotypic", "selection", "saturated"};
  const struct {
    Names females, males, expected;
  } cases[] = {
      {{"A"}, {"A"}, {"random"}},
      {{"A"}, {"A", "B"}, {"random", "saturated"}},  // every one-factor model is saturated
      {{"A", "B"}, {"A"}, {"random", "saturated"}},
      {{"A"}, {"A", "B", "C"}, {"random", "M2", "M3", "saturated"}},
      {{"A", "B"}, {"A", "B"}, all},
      {{"A", "B"}, {"X", "Y"}, all},  // no shared label: like types by position
      {{"1", "2", "3"}, {"1", "2", "3"}, all},
      // Like types by label: only A x A is one, so the models that need a second like pair go.
      {{"A", "B"}, {"A", "C"}, {"random", "M1", "M2", "M3", "selection", "saturated"}},
      {{"A", "B"}, {"B", "A"}, all},
  };
  for (const auto& c : cases) EXPECT_EQ(modelNames(c.females, c.males), c.expected);
}

TEST(ModelFits, LikeTypesAreTypesOfTheSameLabel) {
  const std::vector<std::vector<bool>> byLabel = likeTypePairs({"A", "B", "C"}, {"C", "A"});
  EXPECT_EQ(byLabel,
            (std::vector<std::vector<bool>>{{false, true}, {false, false}, {true, false}}));
  const std::vector<std::vector<bool>> byPosition = likeTypePairs({"A", "B"}, {"X", "Y", "Z"});
  EXPECT_EQ(byPosition,
            (std::vector<std::vector<bool>>{{true, false, false}, {false, true, false}}));
}

TEST(ModelFits, ModelsAreComparedByAICcAndTheirWeightsAverageThePropensities) {
  const Matrix counts = {{12, 3}, {5, 10}};
  const std::vector<double> p1 = {0.5, 0.5}, p2 = {0.4, 0.6};
  const std::vector<std::string> types = {"A", "B"};
  std::vector<ModelFit> fits = fitModels({counts, 30.0, p1, p2, types, types});
  compareModels(fits, 30.0);
  double total = 0.0;
  for (const ModelFit& m : fits) {
    const double K = m.K;
    EXPECT_NEAR(m.AICc, -2 * m.loglik + 2 * K + 2 * K * (K + 1) / (30 - K - 1), 1e-12);
    EXPECT_NEAR(m.BIC, -2 * m.loglik + K * std::log(30.0), 1e-12);
    EXPECT_EQ(m.deltaAICc == 0.0, m.rank == 1);
    total += m.weight;
    for (const ModelFit& other : fits) {
      if (other.weight > m.weight) {
        EXPECT_GT(m.rank, other.rank);
      }
    }
  }
  EXPECT_NEAR(total, 1.0, 1e-12);
  // With the saturated model alone weighing, the averaged propensities are the pair total indices.
  for (ModelFit& m : fits) m.weight = m.name == "saturated" ? 1.0 : 0.0;
  const Matrix averaged = averagedPropensities(fits, p1, p2);
  EXPECT_NEAR(averaged[0][1], (3.0 / 30.0) / (0.5 * 0.6), 1e-12);

  // Three matings leave no room for a model of two parameters.
  std::vector<ModelFit> few = fitModels({Matrix{{2, 0}, {0, 1}}, 3.0, p1, p2, types, types});
  compareModels(few, 3.0);
  for (const ModelFit& m : few) EXPECT_EQ(std::isnan(m.AICc), m.K >= 2) << m.name;
}

}  // namespace
}  // namespace pairlab
