// The survival draw of aging: the chance to outlive the t-th encounter of a file depends only on
// t, so it is computed once per age (the same expression, the same double) instead of once per
// encounter.
#pragma once

#include <cstdint>
#include <vector>

namespace pairlab {

// Survival of aging individuals: after its t-th encounter of a file an individual survives with
// probability exp(-((ln t - g) / a)^b) when ln t > g, and surely otherwise.
struct AgingParams {
  double a = 0.0;  // scale, > 0
  double b = 2.0;  // shape
  double g = 0.0;  // threshold on the log-age, >= 0
};

// True when an individual of age t may die (ln t > g); then survivalProbability gives the
// chance that it lives on.
bool mayDie(std::int64_t age, const AgingParams& aging);
double survivalProbability(std::int64_t age, const AgingParams& aging);

class SurvivalTable {
 public:
  explicit SurvivalTable(const AgingParams& aging) : aging_(aging) {}
  // Whether the table is the one of these parameters (bit for bit).
  bool serves(const AgingParams& aging) const;

  // True when an individual of this age may die (mayDie); then `survival` receives
  // survivalProbability of the age.
  bool mortal(std::int64_t age, double& survival) {
    if (age >= static_cast<std::int64_t>(table_.size())) {
      if (age >= kLimit) {
        if (!mayDie(age, aging_)) return false;
        survival = survivalProbability(age, aging_);
        return true;
      }
      grow(age);
    }
    survival = table_[static_cast<std::size_t>(age)];
    return survival != kImmortal;
  }

 private:
  static constexpr std::int64_t kLimit = 1 << 16;  // ages beyond are computed every time
  static constexpr double kImmortal = -1.0;        // no probability is negative
  void grow(std::int64_t age);

  AgingParams aging_;
  std::vector<double> table_;  // by age: the survival probability, or kImmortal
};

}  // namespace pairlab
