// The individuals of one sex that can still meet in a file, at a cost per file that grows with
// what the file changes, not with the population.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace pairlab {

// The positions of a candidate list from which individuals are erased: the list starts as the
// whole population in order, and erasing an individual moves every later one down by one.
// Position p maps to the individual that the list would hold there. A small population keeps the
// list itself (a file restores only the part its erasures moved); a large one keeps the sorted
// list of those who left while they are few, and a Fenwick tree over the population beyond.
class PositionMap {
 public:
  // Everyone present again. The first call, or a call with another size, takes O(individuals);
  // later calls take the time of the removals since the previous one.
  void reset(std::int32_t individuals);
  std::int64_t size() const {
    return listed_ ? static_cast<std::int64_t>(list_.size())
                   : n_ - static_cast<std::int64_t>(removed_.size());
  }
  std::int32_t at(std::int64_t position) const {
    if (listed_) return list_[static_cast<std::size_t>(position)];
    if (removed_.empty()) return static_cast<std::int32_t>(position);
    if (dense_) return lookUpTree(position);
    // The individuals that left before the answer are those with at most `position` present
    // before them: removed_[k] - k <= position, a prefix of the list, counted by a binary search
    // without branches.
    const std::int32_t* left = removed_.data();
    std::int64_t k = 0;
    for (std::size_t n = removed_.size(); n > 1; n -= n / 2) {
      const std::int64_t mid = k + static_cast<std::int64_t>(n / 2);
      k = left[mid] - mid <= position ? mid : k;
    }
    const std::int64_t before = k + (left[k] - k <= position ? 1 : 0);
    return static_cast<std::int32_t>(position + before);
  }
  // Erases an individual still present, at its position in the list.
  void remove(std::int32_t individual, std::int64_t position) {
    if (!listed_) return removeFromMap(individual, position);
    firstMoved_ = std::min(firstMoved_, static_cast<std::size_t>(position));
    list_.erase(list_.begin() + position);
  }

 private:
  // Up to this size an erasure's move of the rest of the list costs less than the searches of the
  // sorted list of those who left.
  static constexpr std::int32_t kListLimit = 1024;
  static constexpr std::size_t kSparseLimit = 4096;
  std::int32_t lookUpTree(std::int64_t position) const;
  void removeFromMap(std::int32_t individual, std::int64_t position);
  void buildTree();

  std::int32_t n_ = -1;
  bool listed_ = false;
  std::vector<std::int32_t> list_;     // the list, for a small population
  std::size_t firstMoved_ = 0;         // the first position an erasure moved
  std::vector<std::int32_t> removed_;  // ascending while sparse, in order of removal once dense
  std::vector<std::int32_t> tree_;     // presence counts, 1-based; all ones between files
  bool dense_ = false;
};

// One sex's candidates of a file: the list of positions, and by individual its trait, the
// encounters so far (its age), whether it can still meet (available) and whether it is still in
// the list. All of an individual sits in 16 bytes (the two flags in the top bits of the age), so
// that an encounter in a large population reads one cache line per partner.
class CandidateList {
 public:
  // Everyone in the list and available, ages 0. Only the first file (or another population)
  // pays for the population; later files undo what the previous one changed. The traits must
  // not change while the list serves them.
  void startFile(const std::vector<double>& traits);
  // The next startFile reads the traits again: for a caller that changes the values of the
  // vector it serves between files (a sample of rescaled traits of its own).
  void forgetTraits() { traits_ = nullptr; }

  std::int64_t size() const { return positions_.size(); }
  std::int32_t at(std::int64_t position) const { return positions_.at(position); }
  double trait(std::int32_t i) const { return records_[static_cast<std::size_t>(i)].trait; }
  bool available(std::int32_t i) const { return (word(i) & kFlags) == 0; }
  bool inList(std::int32_t i) const { return (word(i) & kLeft) == 0; }
  std::int64_t age(std::int32_t i) const { return static_cast<std::int64_t>(word(i) & kAge); }
  std::int64_t availableCount() const { return availableCount_; }
  // The sum of the ages of the individuals still in the list.
  double totalAge() const { return static_cast<double>(ageInList_); }

  // Asks for an individual's record ahead of its use.
  void prefetch(std::int32_t i) const {
    __builtin_prefetch(&records_[static_cast<std::size_t>(i)]);
  }

  // One encounter more; returns the new age. (An individual met for the first time is listed
  // without a branch: whether the first meeting comes is as likely as not.)
  std::int64_t meet(std::int32_t i) {
    std::uint64_t& w = records_[static_cast<std::size_t>(i)].ageAndFlags;
    met_[metCount_] = i;
    metCount_ += (w & kAge) == 0 ? 1 : 0;
    ++ageInList_;
    return static_cast<std::int64_t>(++w & kAge);
  }
  // No longer available (stays in the list).
  void withdraw(std::int32_t i) { mark(i, kWithdrawn); }
  // Leaves the list (from its position in it), and its age leaves the total.
  void remove(std::int32_t i, std::int64_t position) {
    positions_.remove(i, position);
    ageInList_ -= age(i);
    mark(i, kLeft);
  }

 private:
  static constexpr std::uint64_t kWithdrawn = std::uint64_t{1} << 62;
  static constexpr std::uint64_t kLeft = std::uint64_t{1} << 63;
  static constexpr std::uint64_t kFlags = kWithdrawn | kLeft;
  static constexpr std::uint64_t kAge = kWithdrawn - 1;
  static constexpr std::size_t kBulkReset = 4096;  // populations reset whole
  std::uint64_t word(std::int32_t i) const {
    return records_[static_cast<std::size_t>(i)].ageAndFlags;
  }
  void mark(std::int32_t i, std::uint64_t flag) {
    std::uint64_t& w = records_[static_cast<std::size_t>(i)].ageAndFlags;
    if ((w & kFlags) == 0) {
      changed_.push_back(i);
      --availableCount_;
    }
    w |= flag;
  }

  struct Record {
    double trait;
    std::uint64_t ageAndFlags;
  };
  const std::vector<double>* traits_ = nullptr;
  std::vector<Record> records_;
  std::vector<std::int32_t> met_;  // individuals with an age (the first metCount_)
  std::size_t metCount_ = 0;
  std::vector<std::int32_t> changed_;  // individuals with a flag
  PositionMap positions_;
  std::int64_t availableCount_ = 0;
  std::int64_t ageInList_ = 0;
};

}  // namespace pairlab
