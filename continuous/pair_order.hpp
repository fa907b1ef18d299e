// The preferences of the Gaussian family without a table of the pairs: computed when an
// encounter needs them, and produced in descending order from the top, as far as a run reads
// them. Memory and set-up are linear in the population.
//
// Why the order can be produced lazily: the preference is exp(C d^2) with C < 0, so it falls as
// the squared distance d^2 grows. For one individual, along the partners sorted by trait, the
// computed d^2 is monotone on at most four pieces, split where the computed x - y and the
// distance d change sign (every step of the computation, a subtraction, fabs or a product of two
// equal factors, rounds monotonically). Walking each piece outward from where d^2 is smallest and
// merging the walks of all females with a heap gives every pair in ascending d^2, ties included.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "continuous/preferences.hpp"

namespace pairlab {

// The squared distance of PairDistance taken in its steps: s = x - y, then the distance d
// (|s| - offset, or s - offset when only the females choose under positive assortment), then
// d * d. squared() is the same double as PairDistance; piece() says which monotone piece the pair
// lies on.
class DistanceSteps {
 public:
  explicit DistanceSteps(const PairDistance& distance);

  double distance(double x, double y) const {
    const double s = x - y;
    return folded_ ? std::fabs(s) - offset_ : s - offset_;
  }
  double squared(double x, double y) const {
    const double d = distance(x, y);
    return d * d;
  }
  // 0: s >= 0, d >= 0; 1: s >= 0, d < 0; 2: s < 0, d < 0; 3: s < 0, d >= 0. Without the fold
  // only 0 (d >= 0) and 3 (d < 0). For a fixed x the piece never decreases as y grows, and for a
  // fixed y it never increases as x grows.
  int piece(double x, double y) const {
    const double s = x - y;
    const double d = folded_ ? std::fabs(s) - offset_ : s - offset_;
    if (!folded_) return d < 0.0 ? 3 : 0;
    if (s < 0.0) return d < 0.0 ? 2 : 3;
    return d < 0.0 ? 1 : 0;
  }
  bool folded() const { return folded_; }
  double offset() const { return offset_; }

 private:
  bool folded_;
  double offset_;
};

// The traits of one sex in ascending order, grouped by value: individuals with equal traits have
// equal preferences, so the order handles them together.
struct SortedTraits {
  std::vector<double> values;             // the distinct traits, ascending
  std::vector<std::uint32_t> start;       // group g is individuals[start[g], start[g + 1]);
                                          // empty when every trait is distinct (group g = [g])
  std::vector<std::int32_t> individuals;  // positions in the population, grouped by value

  std::size_t groups() const { return values.size(); }
  std::size_t first(std::size_t g) const { return start.empty() ? g : start[g]; }
  std::size_t end(std::size_t g) const { return start.empty() ? g + 1 : start[g + 1]; }
  std::int64_t count(std::size_t g) const { return static_cast<std::int64_t>(end(g) - first(g)); }
};

// Sorts traits that hold no non-number.
SortedTraits sortTraits(const std::vector<double>& traits);

// The pieces of one individual's pairs along the partners' groups: piece k is [b[k], b[k + 1]),
// b[0] = 0 and b[4] = the number of groups. Positions run along the males ascending for a female,
// along the females descending for a male, so that the piece never decreases along them.
std::array<std::int64_t, 5> pieceBounds(const SortedTraits& partners, const DistanceSteps& steps,
                                        double own, bool ownIsFemale);

// One individual's pairs with the other sex in ascending d^2 (descending preference), a group
// of equal partner traits at a time. The walk goes out from the smallest d^2 of each piece.
class LineWalk {
 public:
  // ownIsFemale: the individual is a female of trait `own` and the partners are males, or the
  // other way round.
  LineWalk(const SortedTraits& partners, const DistanceSteps& steps, double own, bool ownIsFemale);

  bool done() const { return current_ < 0; }
  std::size_t group() const;  // the partners' group (index into partners.values)
  double squared() const { return d2_[static_cast<std::size_t>(current_)]; }
  void next();

 private:
  double partnerValue(std::int64_t q) const;
  double squaredAt(std::int64_t q) const;
  void choose();

  const SortedTraits& partners_;
  const DistanceSteps& steps_;
  double own_;
  bool ownIsFemale_;
  std::int64_t n_;
  std::array<std::int64_t, 5> bound_{};  // piece k is the positions [bound_[k], bound_[k + 1])
  std::array<std::int64_t, 4> at_{};     // the walk of each piece, -1 once it is over
  std::array<double, 4> d2_{};
  int current_ = -1;
};

// The preference function: exp unless a test substitutes another.
using PreferenceTransform = double (*)(double);

class CandidateList;

// What the mating engine reads of the Gaussian preferences of a population (whose trait vectors
// outlive this): the preference of a pair, the largest one, and the steps of a file's current
// maximum down the descending order of the preferences of all pairs.
class PairPreferences {
 public:
  virtual ~PairPreferences() = default;

  // The preference of female f for male m (positions in the population): the same double as
  // Gaussbasedpref of their squared distance; read from a table when there is one.
  double preference(std::int32_t f, std::int32_t m) const {
    return preference(f, m, femaleTraits_[static_cast<std::size_t>(f)],
                      maleTraits_[static_cast<std::size_t>(m)]);
  }
  // The same, for a caller that holds their traits x and y at hand.
  double preference(std::int32_t f, std::int32_t m, double x, double y) const {
    if (table_ != nullptr)
      return table_[static_cast<std::size_t>(f) * males_ + static_cast<std::size_t>(m)];
    return transform(coefficient_ * steps_.squared(x, y));
  }
  double preferenceOfSquared(double d2) const { return transform(coefficient_ * d2); }
  double coefficient() const { return coefficient_; }
  const DistanceSteps& steps() const { return steps_; }

  // The largest preference M.
  virtual double largest() const = 0;
  // The current maximum of a file steps down to the next entry of the descending order of all
  // preferences (ties repeated as often as they occur), never below the smallest; steps counts
  // the steps made in the file.
  virtual void stepDown(std::int64_t& steps, double& maximum) = 0;
  // The scan of one individual's row (a female's) or column (a male's) when it dies: the
  // partners still in their candidate list, in list order (ascending position in the
  // population), each step the maximum down when their preference equals it at that moment.
  virtual void scanLine(bool female, std::int32_t individual, const CandidateList& partners,
                        std::int64_t& steps, double& maximum) = 0;

 protected:
  PairPreferences(const std::vector<double>& femaleTraits, const std::vector<double>& maleTraits,
                  const PairDistance& distance, PreferenceTransform transform)
      : femaleTraits_(femaleTraits.data()),
        maleTraits_(maleTraits.data()),
        males_(maleTraits.size()),
        steps_(distance),
        transform_(transform) {}
  double transform(double z) const { return transform_ ? transform_(z) : std::exp(z); }

  const double* femaleTraits_;
  const double* maleTraits_;
  std::size_t males_;
  DistanceSteps steps_;
  PreferenceTransform transform_;
  double coefficient_ = 0.0;
  const double* table_ = nullptr;  // female-major, when one is kept
};

// How a PairOrder is set up. Neither choice changes a preference or the order.
struct PairOrderOptions {
  PreferenceTransform transform = nullptr;  // exp unless a test substitutes another
  // A small population keeps the table of its pairs: worth its set-up when the order serves
  // many files, not when it serves one (the simulations of an inference draw new preferences
  // for every file).
  bool smallTable = true;
  // The memory the order needs is checked against what the system can give; a caller that
  // builds orders of one population many times checks once, for all of them.
  bool checkMemory = true;
};

// The Gaussian preferences without a table of the pairs: their descending order is produced
// lazily from the sorted traits. Only a small population keeps the table of its pairs, where a
// read from the nearest caches is cheaper than computing the preference.
class PairOrder final : public PairPreferences {
 public:
  // Checks the coefficient as the preference function does for the first pair, then stops the
  // run when some pair's preference is not a number (reporting the first such pair in
  // female-major order), then prepares the order and finds the largest preference.
  // args: the Gaussian argument vector (args[1] the coefficient, args[3] the choice, non-zero).
  PairOrder(const std::vector<double>& femaleTraits, const std::vector<double>& maleTraits,
            const PairDistance& distance, std::vector<double>& args,
            PreferenceTransform transform = nullptr)
      : PairOrder(femaleTraits, maleTraits, distance, args, PairOrderOptions{transform}) {}
  PairOrder(const std::vector<double>& femaleTraits, const std::vector<double>& maleTraits,
            const PairDistance& distance, std::vector<double>& args,
            const PairOrderOptions& options);
  PairOrder(const PairOrder&) = delete;
  PairOrder& operator=(const PairOrder&) = delete;

  std::int64_t pairs() const { return totpairs_; }
  const SortedTraits& sortedFemales() const { return sortedFemales_; }
  const SortedTraits& sortedMales() const { return sortedMales_; }

  // The entry of the given rank from the top of the ascending sort of all preferences (rank 0
  // is the largest; ties are repeated as often as they occur). Ranks beyond give the smallest.
  double fromTop(std::int64_t rank);
  // The largest preference M, and the first pair (f * males + m) that has it.
  double largest() const override { return largest_; }
  std::int64_t firstLargest() const { return firstLargest_; }

  void stepDown(std::int64_t& steps, double& maximum) override {
    if (steps < totpairs_ - 1) ++steps;
    maximum = fromTop(steps);
  }

  void scanLine(bool female, std::int32_t individual, const CandidateList& partners,
                std::int64_t& steps, double& maximum) override;
  // The scan with inList(position) saying whether a partner is still in the list. Only entries
  // at and just below the maximum are computed: those above it can equal neither it nor a later
  // maximum, and the scan is repeated on more entries until the maximum it ends at lies above
  // every entry left out.
  template <class InList>
  void scanLineOver(bool female, std::int32_t individual, InList inList, std::int64_t& steps,
                    double& maximum);

  // At most this many pairs are kept in a table (2 MiB).
  static constexpr std::int64_t kTablePairs = std::int64_t{1} << 18;

  // Pairs produced so far (for tests and benchmarks).
  std::int64_t produced() const { return produced_; }

 private:
  struct HeapEntry {
    double d2;
    std::uint32_t female;    // female group
    std::uint32_t position;  // male group
  };
  struct Run {
    double value;
    std::int64_t end;  // ranks [end of the previous run, end) hold value
  };

  void stopOnNonNumber(const PairDistance& distance);
  void prepareHeap();
  void findLargest();
  void produceBlock();
  void produce();
  void append(double value, std::int64_t weight);
  std::array<std::int64_t, 5> bounds(std::uint32_t femaleGroup) const;
  void pushHead(std::uint32_t femaleGroup, const std::array<std::int64_t, 5>& bound, int rank);

  const std::vector<double>& femaleTraitVector_;
  const std::vector<double>& maleTraitVector_;
  std::int64_t totpairs_ = 0;
  SortedTraits sortedFemales_;
  SortedTraits sortedMales_;
  std::vector<std::array<std::uint32_t, 3>> bounds_;  // pieceBounds 1 to 3 of each female group
  std::vector<HeapEntry> heap_;                       // min-heap on d2
  std::vector<Run> runs_;                             // the order produced, descending
  std::int64_t covered_ = 0;                          // ranks produced
  std::int64_t safe_ = 0;      // ranks followed by a whole block produced after them
  std::int64_t served_ = -1;   // the largest rank handed out
  std::int64_t produced_ = 0;  // heap entries taken
  double largest_ = 0.0;
  std::int64_t firstLargest_ = 0;
  std::vector<std::pair<std::int32_t, double>> scanned_;  // work space of scanLine
  std::vector<double> smallTable_;                        // the pairs of a small population
  std::vector<double> bestOfFemale_;                      // each individual's largest preference
  std::vector<double> bestOfMale_;
};

// Bytes of a PairOrder for nfem females and nmale males, at most (all traits distinct).
double pairOrderBytes(std::int64_t nfem, std::int64_t nmale);

template <class InList>
void PairOrder::scanLineOver(bool female, std::int32_t individual, InList inList,
                             std::int64_t& steps, double& maximum) {
  const double own = female ? femaleTraits_[static_cast<std::size_t>(individual)]
                            : maleTraits_[static_cast<std::size_t>(individual)];
  const SortedTraits& partners = female ? sortedMales_ : sortedFemales_;
  LineWalk walk(partners, steps_, own, female);
  const double start = maximum;
  // Entries above the maximum: as many pairs as the steps made so far, at most.
  double next = 0.0;
  while (!walk.done() && (next = preferenceOfSquared(walk.squared())) > start) walk.next();

  scanned_.clear();
  std::size_t wanted = 1;
  for (;;) {
    // Groups in descending preference, until `wanted` partners are taken.
    while (!walk.done() && scanned_.size() < wanted) {
      for (std::size_t i = partners.first(walk.group()); i < partners.end(walk.group()); ++i) {
        const std::int32_t partner = partners.individuals[i];
        if (inList(partner)) scanned_.emplace_back(partner, next);
      }
      walk.next();
      if (!walk.done()) next = preferenceOfSquared(walk.squared());
    }
    // The scan over the entries taken, in list order.
    std::sort(scanned_.begin(), scanned_.end());
    std::int64_t s = steps;
    double current = start;
    for (const auto& entry : scanned_)
      if (entry.second == current) stepDown(s, current);
    if (walk.done() || next < current) {
      steps = s;
      maximum = current;
      return;
    }
    wanted = 2 * scanned_.size() + 1;
  }
}

}  // namespace pairlab
