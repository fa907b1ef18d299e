#include "continuous/candidate_list.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "support/memory.hpp"

namespace pairlab {

namespace {
// Adds `change` to the presence of `individual` in a Fenwick tree (1-based).
void update(std::vector<std::int32_t>& tree, std::int32_t individual, std::int32_t change) {
  for (std::size_t j = static_cast<std::size_t>(individual) + 1; j < tree.size(); j += j & (~j + 1))
    tree[j] += change;
}
}  // namespace

void PositionMap::reset(std::int32_t individuals) {
  if (individuals != n_) {
    n_ = individuals;
    listed_ = individuals <= kListLimit;
    list_.resize(listed_ ? static_cast<std::size_t>(individuals) : 0);
    std::iota(list_.begin(), list_.end(), 0);
    firstMoved_ = list_.size();
    tree_.clear();
  } else if (listed_) {
    list_.resize(static_cast<std::size_t>(n_));
    std::iota(list_.begin() + static_cast<std::ptrdiff_t>(firstMoved_), list_.end(),
              static_cast<std::int32_t>(firstMoved_));
    firstMoved_ = list_.size();
  } else if (dense_) {
    for (std::int32_t i : removed_) update(tree_, i, 1);
  }
  removed_.clear();
  dense_ = false;
}

void PositionMap::buildTree() {
  // All present: the node of j counts the lowest set bit of j.
  tree_.resize(static_cast<std::size_t>(n_) + 1);
  for (std::size_t j = 1; j < tree_.size(); ++j) tree_[j] = static_cast<std::int32_t>(j & (~j + 1));
}

void PositionMap::removeFromMap(std::int32_t individual, std::int64_t position) {
  if (!dense_) {
    if (removed_.size() < kSparseLimit) {
      // Those that left before it number individual - position.
      removed_.insert(removed_.begin() + (individual - position), individual);
      return;
    }
    if (tree_.empty()) buildTree();
    for (std::int32_t i : removed_) update(tree_, i, -1);
    dense_ = true;
  }
  removed_.push_back(individual);
  update(tree_, individual, -1);
}

std::int32_t PositionMap::lookUpTree(std::int64_t position) const {
  // The smallest j whose prefix holds position + 1 individuals.
  std::size_t j = 0;
  std::int64_t left = position + 1;
  std::size_t step = 1;
  while (step * 2 < tree_.size()) step *= 2;
  for (; step > 0; step /= 2)
    if (j + step < tree_.size() && tree_[j + step] < left) {
      j += step;
      left -= tree_[j];
    }
  return static_cast<std::int32_t>(j);
}

void CandidateList::startFile(const std::vector<double>& traits) {
  const std::size_t n = traits.size();
  if (traits_ != &traits || records_.size() != n) {
    traits_ = &traits;
    records_.clear();
    records_.reserve(n);
    adviseHugePages(records_.data(), n * sizeof(Record));
    for (double t : traits) records_.push_back({t, 0});
    met_.assign(n + 1, 0);
  } else if (n <= kBulkReset) {  // filling a few kilobytes beats visiting the individuals
    for (Record& r : records_) r.ageAndFlags = 0;
  } else {
    for (std::size_t k = 0; k < metCount_; ++k)
      records_[static_cast<std::size_t>(met_[k])].ageAndFlags = 0;
    for (std::int32_t i : changed_) records_[static_cast<std::size_t>(i)].ageAndFlags = 0;
  }
  metCount_ = 0;
  changed_.clear();
  positions_.reset(static_cast<std::int32_t>(n));
  availableCount_ = static_cast<std::int64_t>(n);
  ageInList_ = 0;
}

}  // namespace pairlab
