// The survival draw of aging: the chance to outlive the t-th encounter of a file depends only on
// t, so it is computed once per age (the same expression, the same double) instead of once per
// encounter.
#pragma once

#include <cstdint>
#include <vector>

#include "continuous/engine.hpp"

namespace pairlab {

class SurvivalTable {
 public:
  explicit SurvivalTable(const AgingParams& aging) : aging_(aging) {}

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
