#include "continuous/survival_table.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pairlab {

bool mayDie(std::int64_t age, const AgingParams& aging) {
  return std::log(static_cast<double>(age)) > aging.g;
}

double survivalProbability(std::int64_t age, const AgingParams& aging) {
  return std::exp(-std::pow((std::log(static_cast<double>(age)) - aging.g) / aging.a, aging.b));
}

bool SurvivalTable::serves(const AgingParams& aging) const {
  return std::memcmp(&aging.a, &aging_.a, sizeof(double)) == 0 &&
         std::memcmp(&aging.b, &aging_.b, sizeof(double)) == 0 &&
         std::memcmp(&aging.g, &aging_.g, sizeof(double)) == 0;
}

void SurvivalTable::grow(std::int64_t age) {
  const std::int64_t from = static_cast<std::int64_t>(table_.size());
  const std::int64_t to =
      std::min<std::int64_t>(kLimit, std::max<std::int64_t>(age + 1, 2 * from + 16));
  table_.resize(static_cast<std::size_t>(to));
  for (std::int64_t t = from; t < to; ++t)
    table_[static_cast<std::size_t>(t)] =
        t >= 1 && mayDie(t, aging_) ? survivalProbability(t, aging_) : kImmortal;
}

}  // namespace pairlab
