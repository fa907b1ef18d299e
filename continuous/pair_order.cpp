#include "continuous/pair_order.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <utility>

#include "continuous/candidate_list.hpp"
#include "support/diagnostics.hpp"
#include "support/memory.hpp"
#include "support/text.hpp"

namespace pairlab {

DistanceSteps::DistanceSteps(const PairDistance& distance)
    : folded_(distance.choice < 0.0 || !distance.onechoosy),
      offset_(distance.choice < 0.0 ? distance.dmax
              : distance.onechoosy  ? distance.bias
                                    : std::fabs(distance.bias)) {}

namespace {

// A key of the same order as the trait (no non-number): the sign bit set for positive values,
// all bits flipped for negative ones. -0 comes just before +0, which it equals.
std::uint64_t orderKey(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits >> 63 ? ~bits : bits | (std::uint64_t{1} << 63);
}
double keyValue(std::uint64_t key) {
  const std::uint64_t bits = key >> 63 ? key & ~(std::uint64_t{1} << 63) : ~key;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

SortedTraits sortTraits(const std::vector<double>& traits) {
  // Least significant digit first, a byte at a time; a byte that all keys share is skipped.
  // The buffers are left uninitialized: every entry is written before it is read.
  const std::size_t n = traits.size();
  constexpr int kBits = 8, kDigits = 64 / kBits, kBuckets = 1 << kBits;
  std::unique_ptr<std::uint64_t[]> keys(new std::uint64_t[n]), keysOut(new std::uint64_t[n]);
  std::unique_ptr<std::int32_t[]> order(new std::int32_t[n]), orderOut(new std::int32_t[n]);
  std::vector<std::uint32_t> counts(kDigits * kBuckets, 0);
  for (std::size_t i = 0; i < n; ++i) {
    keys[i] = orderKey(traits[i]);
    order[i] = static_cast<std::int32_t>(i);
    for (int d = 0; d < kDigits; ++d) ++counts[d * kBuckets + ((keys[i] >> (d * kBits)) & 0xFF)];
  }
  for (int d = 0; d < kDigits; ++d) {
    std::uint32_t* count = &counts[static_cast<std::size_t>(d * kBuckets)];
    if (std::find(count, count + kBuckets, static_cast<std::uint32_t>(n)) != count + kBuckets)
      continue;
    std::uint32_t sum = 0;
    for (int b = 0; b < kBuckets; ++b) sum += std::exchange(count[b], sum);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t to = count[(keys[i] >> (d * kBits)) & 0xFF]++;
      keysOut[to] = keys[i];
      orderOut[to] = order[i];
    }
    std::swap(keys, keysOut);
    std::swap(order, orderOut);
  }
  keysOut.reset();
  orderOut.reset();

  SortedTraits sorted;
  std::size_t groups = 0;
  for (std::size_t i = 0; i < n; ++i)
    groups += i == 0 || keyValue(keys[i]) != keyValue(keys[i - 1]);
  sorted.values.reserve(groups);
  const bool grouped = groups < n;  // with every trait distinct, group g is individual g
  if (grouped) sorted.start.reserve(groups + 1);
  for (std::size_t i = 0; i < n; ++i) {
    const double value = keyValue(keys[i]);
    if (i == 0 || value != sorted.values.back()) {
      sorted.values.push_back(value);
      if (grouped) sorted.start.push_back(static_cast<std::uint32_t>(i));
    }
  }
  if (grouped) sorted.start.push_back(static_cast<std::uint32_t>(n));
  sorted.individuals.assign(order.get(), order.get() + n);
  return sorted;
}

namespace {

// Along the pieces the walk goes towards a larger d^2: down on pieces 0 and 2, up on 1 and 3.
constexpr std::int64_t direction(int piece) { return piece % 2 == 0 ? -1 : 1; }
// Where the walk of a piece starts: the end of the piece where d^2 is smallest.
constexpr std::int64_t head(const std::array<std::int64_t, 5>& bound, int piece) {
  return piece % 2 == 0 ? bound[piece + 1] - 1 : bound[piece];
}

// The partner's trait at position q of a line (ascending males, or descending females).
inline double partnerAt(const SortedTraits& partners, std::int64_t q, bool ownIsFemale) {
  const std::size_t n = partners.groups();
  return partners
      .values[ownIsFemale ? static_cast<std::size_t>(q) : n - 1 - static_cast<std::size_t>(q)];
}

}  // namespace

std::array<std::int64_t, 5> pieceBounds(const SortedTraits& partners, const DistanceSteps& steps,
                                        double own, bool ownIsFemale) {
  const std::int64_t n = static_cast<std::int64_t>(partners.groups());
  auto pieceAt = [&](std::int64_t q) {
    const double partner = partnerAt(partners, q, ownIsFemale);
    return ownIsFemale ? steps.piece(own, partner) : steps.piece(partner, own);
  };
  std::array<std::int64_t, 5> bound{0, 0, 0, 0, n};
  for (int k = 1; k <= 3; ++k) {
    std::int64_t lo = bound[k - 1], hi = n;  // the first position of piece k or beyond
    while (lo < hi) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      if (pieceAt(mid) < k)
        lo = mid + 1;
      else
        hi = mid;
    }
    bound[k] = lo;
  }
  return bound;
}

LineWalk::LineWalk(const SortedTraits& partners, const DistanceSteps& steps, double own,
                   bool ownIsFemale)
    : partners_(partners),
      steps_(steps),
      own_(own),
      ownIsFemale_(ownIsFemale),
      n_(static_cast<std::int64_t>(partners.groups())),
      bound_(pieceBounds(partners, steps, own, ownIsFemale)) {
  for (int k = 0; k < 4; ++k) {
    if (bound_[k] < bound_[k + 1]) {
      at_[k] = head(bound_, k);
      d2_[k] = squaredAt(at_[k]);
    } else {
      at_[k] = -1;
    }
  }
  choose();
}

double LineWalk::partnerValue(std::int64_t q) const {
  return partnerAt(partners_, q, ownIsFemale_);
}

double LineWalk::squaredAt(std::int64_t q) const {
  const double partner = partnerValue(q);
  return ownIsFemale_ ? steps_.squared(own_, partner) : steps_.squared(partner, own_);
}

std::size_t LineWalk::group() const {
  const std::int64_t q = at_[static_cast<std::size_t>(current_)];
  return static_cast<std::size_t>(ownIsFemale_ ? q : n_ - 1 - q);
}

void LineWalk::next() {
  const int k = current_;
  const std::int64_t q = at_[k] + direction(k);
  if (q >= bound_[k] && q < bound_[k + 1]) {
    at_[k] = q;
    d2_[k] = squaredAt(q);
  } else {
    at_[k] = -1;
  }
  choose();
}

void LineWalk::choose() {
  current_ = -1;
  for (int k = 0; k < 4; ++k)
    if (at_[k] >= 0 && (current_ < 0 || d2_[k] < d2_[current_])) current_ = k;
}

double pairOrderBytes(std::int64_t nfem, std::int64_t nmale) {
  // Sorted traits: 8 (value) + 4 (individual) + 4 (group start) and the largest preference (8)
  // a head; the heap (16) and the piece bounds (12) a female; the sort takes 24 a head of one
  // sex while it runs; the table of a small population.
  const double f = static_cast<double>(nfem), m = static_cast<double>(nmale);
  const double pairs = f * m;
  return 24.0 * (f + m) + 28.0 * f + 24.0 * std::max(f, m) +
         (pairs <= static_cast<double>(PairOrder::kTablePairs) ? 8.0 * pairs : 0.0);
}

namespace {

// Pairs produced in the first block: the first read of the order produces two blocks, and a
// rank is handed out only when a whole block has been produced after it, so that an entry that
// comes out of order (a non-monotone exp) is put in its place before its rank is read.
constexpr std::int64_t kFirstBlock = 64;

bool later(double a, double b) { return a > b; }

}  // namespace

PairOrder::PairOrder(const std::vector<double>& femaleTraits, const std::vector<double>& maleTraits,
                     const PairDistance& distance, std::vector<double>& args,
                     const PairOrderOptions& options)
    : PairPreferences(femaleTraits, maleTraits, distance, options.transform),
      femaleTraitVector_(femaleTraits),
      maleTraitVector_(maleTraits),
      totpairs_(static_cast<std::int64_t>(femaleTraits.size()) *
                static_cast<std::int64_t>(maleTraits.size())) {
  if (options.checkMemory)
    requireMemory(pairOrderBytes(static_cast<std::int64_t>(femaleTraits.size()),
                                 static_cast<std::int64_t>(maleTraits.size())),
                  "the order of the preferences of the " +
                      NtoS(static_cast<std::int64_t>(femaleTraits.size() + maleTraits.size())) +
                      " individuals");
  if (totpairs_ == 0) return;
  // The preference function checks its coefficient at the first pair.
  args[2] = distance(femaleTraits[0], maleTraits[0]);
  Gaussbasedpref(args);
  coefficient_ = args[1];
  stopOnNonNumber(distance);
  if (options.smallTable && totpairs_ <= kTablePairs) {
    smallTable_.reserve(static_cast<std::size_t>(totpairs_));
    for (double x : femaleTraits)
      for (double y : maleTraits) smallTable_.push_back(preferenceOfSquared(steps_.squared(x, y)));
    table_ = smallTable_.data();
  }
  if (sortedMales_.groups() == 0) sortedMales_ = sortTraits(maleTraits);
  sortedFemales_ = sortTraits(femaleTraits);
  prepareHeap();
  findLargest();
}

void PairOrder::stopOnNonNumber(const PairDistance& distance) {
  const std::vector<double>& xs = femaleTraitVector_;
  const std::vector<double>& ys = maleTraitVector_;
  // A non-number comes from a non-number trait, or from infinities: an infinite trait, offset
  // or coefficient (C = -inf and d^2 = 0 give C d^2 = nan). With finite values only a female
  // trait that is not a number gives one, and then with every male.
  std::int64_t female = -1;
  const auto isNan = [](double v) { return std::isnan(v); };
  const auto isInf = [](double v) { return std::isinf(v); };
  if (std::any_of(ys.begin(), ys.end(), isNan)) {
    female = 0;
  } else if (std::isfinite(coefficient_) && std::isfinite(steps_.offset()) &&
             std::none_of(xs.begin(), xs.end(), isInf) &&
             std::none_of(ys.begin(), ys.end(), isInf)) {
    const auto it = std::find_if(xs.begin(), xs.end(), isNan);
    if (it != xs.end()) female = it - xs.begin();
  } else {
    // The non-numbers of a female's row lie at its ends (infinite differences) or where d^2 is
    // smallest (zero): the ends and the heads of its pieces tell whether it has one.
    sortedMales_ = sortTraits(ys);
    const std::int64_t n = static_cast<std::int64_t>(sortedMales_.groups());
    for (std::size_t f = 0; f < xs.size() && female < 0; ++f) {
      if (std::isnan(xs[f])) {
        female = static_cast<std::int64_t>(f);
        break;
      }
      const auto bound = pieceBounds(sortedMales_, steps_, xs[f], true);
      for (std::int64_t q : {std::int64_t{0}, n - 1, bound[1] - 1, bound[1], bound[2] - 1, bound[2],
                             bound[3] - 1, bound[3]}) {
        if (q < 0 || q >= n) continue;
        if (std::isnan(preferenceOfSquared(steps_.squared(xs[f], sortedMales_.values[q])))) {
          female = static_cast<std::int64_t>(f);
          break;
        }
      }
    }
  }
  if (female < 0) return;
  const double x = xs[static_cast<std::size_t>(female)];
  std::size_t male = 0;
  while (male + 1 < ys.size() && !std::isnan(preferenceOfSquared(distance(x, ys[male])))) ++male;
  stopRun("\nThe preference of female " + NtoS(female + 1) + " for male " + NtoS(male + 1) +
              " is not a number: the pair table has no largest preference "
              "(condition matdistrib[distance(matdistrib.begin(), indxmaxpref)]== "
              "sortmatdistrib[totpairs-1])\n",
          1);
}

void PairOrder::pushHead(std::uint32_t femaleGroup, const std::array<std::int64_t, 5>& bound,
                         int rank) {
  // The heads of the female's pieces in ascending d^2 (ties by piece).
  const double x = sortedFemales_.values[femaleGroup];
  std::array<HeapEntry, 4> heads{};
  std::array<int, 4> pieces{};
  int count = 0;
  for (int k = 0; k < 4; ++k) {
    if (bound[k] >= bound[k + 1]) continue;
    const std::int64_t q = head(bound, k);
    HeapEntry entry{steps_.squared(x, sortedMales_.values[static_cast<std::size_t>(q)]),
                    femaleGroup, static_cast<std::uint32_t>(q)};
    int i = count++;
    for (; i > 0 && entry.d2 < heads[i - 1].d2; --i) {
      heads[i] = heads[i - 1];
      pieces[i] = pieces[i - 1];
    }
    heads[i] = entry;
    pieces[i] = k;
  }
  if (rank < count) {
    heap_.push_back(heads[rank]);
    std::push_heap(heap_.begin(), heap_.end(),
                   [](const HeapEntry& a, const HeapEntry& b) { return later(a.d2, b.d2); });
  }
}

namespace {

// The piece of the pair at position q of an individual's line.
inline int pieceAt(const SortedTraits& partners, const DistanceSteps& steps, double own,
                   bool ownIsFemale, std::int64_t q) {
  const double partner = partnerAt(partners, q, ownIsFemale);
  return ownIsFemale ? steps.piece(own, partner) : steps.piece(partner, own);
}

// The smallest d^2 of an individual's line: at the head of one of its pieces.
double smallestSquared(const SortedTraits& partners, const DistanceSteps& steps, double own,
                       bool ownIsFemale, const std::array<std::int64_t, 5>& bound) {
  double least = std::numeric_limits<double>::infinity();
  for (int k = 0; k < 4; ++k) {
    if (bound[k] >= bound[k + 1]) continue;
    const double partner = partnerAt(partners, head(bound, k), ownIsFemale);
    least =
        std::min(least, ownIsFemale ? steps.squared(own, partner) : steps.squared(partner, own));
  }
  return least;
}

// Visits the groups of one sex with the bounds of their lines' pieces, in the order in which
// the bounds never move back: females by ascending trait, males by descending trait.
template <class Visit>
void sweepLines(const SortedTraits& own, const SortedTraits& partners, const DistanceSteps& steps,
                bool ownIsFemale, Visit visit) {
  const std::size_t groups = own.groups();
  const std::int64_t n = static_cast<std::int64_t>(partners.groups());
  std::array<std::int64_t, 5> bound{0, 0, 0, 0, n};
  for (std::size_t i = 0; i < groups; ++i) {
    const std::size_t g = ownIsFemale ? i : groups - 1 - i;
    const double value = own.values[g];
    for (int k = 1; k <= 3; ++k) {
      bound[k] = std::max(bound[k], bound[k - 1]);
      while (bound[k] < n && pieceAt(partners, steps, value, ownIsFemale, bound[k]) < k) ++bound[k];
    }
    visit(g, bound);
  }
}

}  // namespace

void PairOrder::prepareHeap() {
  // One entry a female group: the smallest head of her pieces. Her other heads follow when it
  // is taken. With it, every individual's largest preference.
  const std::size_t groups = sortedFemales_.groups();
  heap_.reserve(groups + 2 * kFirstBlock);
  bounds_.reserve(groups);
  bestOfFemale_.resize(femaleTraitVector_.size());
  bestOfMale_.resize(maleTraitVector_.size());
  sweepLines(sortedFemales_, sortedMales_, steps_, true,
             [&](std::size_t g, const std::array<std::int64_t, 5>& bound) {
               bounds_.push_back({static_cast<std::uint32_t>(bound[1]),
                                  static_cast<std::uint32_t>(bound[2]),
                                  static_cast<std::uint32_t>(bound[3])});
               pushHead(static_cast<std::uint32_t>(g), bound, 0);
               const double best = preferenceOfSquared(
                   smallestSquared(sortedMales_, steps_, sortedFemales_.values[g], true, bound));
               for (std::size_t i = sortedFemales_.first(g); i < sortedFemales_.end(g); ++i)
                 bestOfFemale_[static_cast<std::size_t>(sortedFemales_.individuals[i])] = best;
             });
  sweepLines(sortedMales_, sortedFemales_, steps_, false,
             [&](std::size_t g, const std::array<std::int64_t, 5>& bound) {
               const double best = preferenceOfSquared(
                   smallestSquared(sortedFemales_, steps_, sortedMales_.values[g], false, bound));
               for (std::size_t i = sortedMales_.first(g); i < sortedMales_.end(g); ++i)
                 bestOfMale_[static_cast<std::size_t>(sortedMales_.individuals[i])] = best;
             });
}

std::array<std::int64_t, 5> PairOrder::bounds(std::uint32_t femaleGroup) const {
  const auto& b = bounds_[femaleGroup];
  return {0, b[0], b[1], b[2], static_cast<std::int64_t>(sortedMales_.groups())};
}

void PairOrder::findLargest() {
  // The first pair holding the largest preference M: the first female (in the population) whose
  // smallest d^2 gives M, then her first male that gives M. The heap still holds one entry a
  // female group, her smallest d^2.
  const double least = heap_.front().d2;
  const double top = preferenceOfSquared(least);
  const double zTop = coefficient_ * least;
  std::int64_t female = std::numeric_limits<std::int64_t>::max();
  for (const HeapEntry& entry : heap_) {
    const double z = coefficient_ * entry.d2;
    // Two units of the exponent below the top, exp cannot round to the top any more.
    if (top != 0.0 && !(z >= zTop - 2.0)) continue;
    if (transform(z) != top) continue;
    for (std::size_t i = sortedFemales_.first(entry.female); i < sortedFemales_.end(entry.female);
         ++i)
      female = std::min<std::int64_t>(female, sortedFemales_.individuals[i]);
  }
  constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
  std::int64_t male = kNone;
  if (female != kNone) {
    const double x = femaleTraits_[static_cast<std::size_t>(female)];
    for (LineWalk walk(sortedMales_, steps_, x, true);
         !walk.done() && preferenceOfSquared(walk.squared()) == top; walk.next())
      for (std::size_t i = sortedMales_.first(walk.group()); i < sortedMales_.end(walk.group());
           ++i)
        male = std::min<std::int64_t>(male, sortedMales_.individuals[i]);
  }
  largest_ = fromTop(0);
  if (male == kNone ||
      preference(static_cast<std::int32_t>(female), static_cast<std::int32_t>(male)) != largest_)
    stopRun(
        "\nThe largest preference of the pair table is not the last of its sorted copy "
        "(condition matdistrib[distance(matdistrib.begin(), indxmaxpref)]== "
        "sortmatdistrib[totpairs-1])\n",
        1);
  firstLargest_ = female * static_cast<std::int64_t>(males_) + male;
}

void PairOrder::append(double value, std::int64_t weight) {
  if (runs_.empty() || value < runs_.back().value) {
    runs_.push_back({value, covered_ + weight});
  } else if (value == runs_.back().value) {
    runs_.back().end += weight;
  } else {
    // Larger than the entries before it: it goes before the first smaller one, unless that one
    // has been read already.
    auto it = std::partition_point(runs_.begin(), runs_.end(),
                                   [value](const Run& run) { return run.value >= value; });
    const std::int64_t start = it == runs_.begin() ? 0 : std::prev(it)->end;
    if (start <= served_)
      stopRun(
          "\nThe preferences cannot be ordered exactly: the exponential function is not "
          "monotone near " +
              NtoS(value) + "\n",
          1);
    if (it != runs_.begin() && std::prev(it)->value == value) {
      std::prev(it)->end += weight;
    } else {
      it = runs_.insert(it, Run{value, start + weight});
      ++it;
    }
    for (; it != runs_.end(); ++it) it->end += weight;
  }
  covered_ += weight;
}

void PairOrder::produce() {
  const auto byD2 = [](const HeapEntry& a, const HeapEntry& b) { return later(a.d2, b.d2); };
  std::pop_heap(heap_.begin(), heap_.end(), byD2);
  const HeapEntry entry = heap_.back();
  heap_.pop_back();
  ++produced_;

  const double x = sortedFemales_.values[entry.female];
  const auto bound = bounds(entry.female);
  const std::int64_t q = entry.position;
  int k = 3;
  while (q < bound[k]) --k;
  // The next pair of the same piece, then (for the first pair of a piece) the next head.
  const std::int64_t next = q + direction(k);
  if (next >= bound[k] && next < bound[k + 1]) {
    heap_.push_back({steps_.squared(x, sortedMales_.values[static_cast<std::size_t>(next)]),
                     entry.female, static_cast<std::uint32_t>(next)});
    std::push_heap(heap_.begin(), heap_.end(), byD2);
  }
  if (q == head(bound, k)) {
    // Its rank among the heads: the heads before it in ascending d^2, ties by piece.
    int rank = 0;
    for (int j = 0; j < 4; ++j) {
      if (j == k || bound[j] >= bound[j + 1]) continue;
      const double d2 =
          steps_.squared(x, sortedMales_.values[static_cast<std::size_t>(head(bound, j))]);
      if (d2 < entry.d2 || (d2 == entry.d2 && j < k)) ++rank;
    }
    pushHead(entry.female, bound, rank + 1);
  }
  append(preferenceOfSquared(entry.d2),
         sortedFemales_.count(entry.female) * sortedMales_.count(static_cast<std::size_t>(q)));
}

void PairOrder::produceBlock() {
  for (std::int64_t i = std::max(kFirstBlock, produced_); i > 0 && !heap_.empty(); --i) produce();
}

void PairOrder::scanLine(bool female, std::int32_t individual, const CandidateList& partners,
                         std::int64_t& steps, double& maximum) {
  // An individual whose largest preference lies below the maximum has no entry equal to it.
  if ((female ? bestOfFemale_ : bestOfMale_)[static_cast<std::size_t>(individual)] < maximum)
    return;
  if (table_ != nullptr) {  // a small population: its row or column of the table, every entry
    const std::size_t n = female ? males_ : static_cast<std::size_t>(totpairs_) / males_;
    for (std::size_t j = 0; j < n; ++j) {
      const auto partner = static_cast<std::int32_t>(j);
      if (partners.inList(partner) &&
          (female ? preference(individual, partner) : preference(partner, individual)) == maximum)
        stepDown(steps, maximum);
    }
    return;
  }
  scanLineOver(
      female, individual, [&partners](std::int32_t i) { return partners.inList(i); }, steps,
      maximum);
}

double PairOrder::fromTop(std::int64_t rank) {
  if (totpairs_ <= 0) return 0.0;
  rank = std::clamp<std::int64_t>(rank, 0, totpairs_ - 1);
  while (rank >= safe_) {
    const std::int64_t before = covered_;
    produceBlock();
    safe_ = heap_.empty() ? covered_ : before;
  }
  served_ = std::max(served_, rank);
  const auto it = std::partition_point(runs_.begin(), runs_.end(),
                                       [rank](const Run& run) { return run.end <= rank; });
  return it->value;
}

}  // namespace pairlab
