#include "continuous/survival_table.hpp"

#include <algorithm>

namespace pairlab {

void SurvivalTable::grow(std::int64_t age) {
  const std::int64_t from = static_cast<std::int64_t>(table_.size());
  const std::int64_t to = std::min<std::int64_t>(kLimit, std::max<std::int64_t>(age + 1, 2 * from + 16));
  table_.resize(static_cast<std::size_t>(to));
  for (std::int64_t t = from; t < to; ++t)
    table_[static_cast<std::size_t>(t)] =
        t >= 1 && mayDie(t, aging_) ? survivalProbability(t, aging_) : kImmortal;
}

}  // namespace pairlab
