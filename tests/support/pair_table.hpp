// The exact reference of the Gaussian preferences, kept for the tests: the table of the
// preferences of all pairs (female-major), its descending order selected block by block from the
// whole table, and the engine's interface over them, whose scans of a dead individual's row or
// column visit every partner of the list.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "continuous/candidate_list.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/preferences.hpp"
#include "support/diagnostics.hpp"
#include "support/memory.hpp"
#include "support/text.hpp"

namespace pairlab {

// The entries of the pair table in ascending order (sortmatdistrib), as far as they are read.
// The rounds read only the largest ones (the current maximum preference steps down one entry at
// a time from the top), so they are selected from the table on demand, block by block, in the
// order of decreasing value (ties by increasing position), instead of sorting all the table.
class SortedPreferences {
 public:
  // sortmatdistrib[totpairs - 1 - rank] of the table: the entry of the given rank from the top
  // (rank 0 is the largest). Ranks beyond the table give its smallest entry.
  double fromTop(const std::vector<double>& table, std::int64_t rank);
  // Entries selected so far.
  std::int64_t selected() const { return static_cast<std::int64_t>(top_.size()); }
  // Position in the table of the first largest entry (after fromTop has been called once).
  std::int64_t firstLargest() const { return firstLargest_; }

 private:
  void selectNextBlock(const std::vector<double>& table, std::int64_t count);

  std::vector<double> top_;  // the selected entries, largest first
  double lastValue_ = 0.0;   // the last selected entry and its position
  std::int64_t lastPosition_ = -1;
  std::int64_t firstLargest_ = -1;
};

// The preference of every pair, female-major (entry f * males + m), its sorted copy and the
// largest preference M.
struct PairTable {
  std::vector<double> matdistrib;
  SortedPreferences sortmatdistrib;
  std::int64_t totpairs = 0;
  std::int64_t indxmaxpref = 0;
  double M = 0.0;

  // sortmatdistrib[totpairs - 1 - rank], never below the smallest entry.
  double sortedFromTop(std::int64_t rank) { return sortmatdistrib.fromTop(matdistrib, rank); }
};

// Bytes of the pair table (8 per pair); its sorted copy adds at most as much again, and only
// when the maximum steps down through all of it.
double pairTableBytes(std::int64_t totpairs);

// Builds the table (checking first that memory for it can be had); stops the run when an entry
// is not a number, since such a table has no maximum to scale the preferences by.
PairTable buildPairTable(const std::vector<double>& femaleTraits,
                         const std::vector<double>& maleTraits, const PairDistance& distance,
                         std::vector<double>& args);

inline double pairTableBytes(std::int64_t totpairs) {
  return static_cast<double>(sizeof(double)) * static_cast<double>(totpairs);
}

namespace table_detail {
// Entries selected in the first block: far more than the steps of the maximum in a file.
constexpr std::int64_t kFirstBlock = 4096;

// Order of selection: larger value first, and among equal values smaller position first.
struct Ranked {
  double value;
  std::int64_t position;
};
inline bool before(const Ranked& a, const Ranked& b) {
  return a.value > b.value || (a.value == b.value && a.position < b.position);
}
}  // namespace table_detail

inline void SortedPreferences::selectNextBlock(const std::vector<double>& table,
                                               std::int64_t count) {
  // One pass over the table keeps, in a heap whose top is the last of them, the first `count`
  // entries (in the order of selection) that come after the last entry selected so far.
  const table_detail::Ranked last{lastValue_, lastPosition_};
  const bool first = top_.empty();
  std::vector<table_detail::Ranked> heap;
  heap.reserve(static_cast<std::size_t>(count));
  const std::int64_t n = static_cast<std::int64_t>(table.size());
  for (std::int64_t i = 0; i < n; ++i) {
    const table_detail::Ranked entry{table[static_cast<std::size_t>(i)], i};
    if (!first && !table_detail::before(last, entry)) continue;  // selected already
    if (static_cast<std::int64_t>(heap.size()) < count) {
      heap.push_back(entry);
      std::push_heap(heap.begin(), heap.end(), table_detail::before);
    } else if (table_detail::before(entry, heap.front())) {
      std::pop_heap(heap.begin(), heap.end(), table_detail::before);
      heap.back() = entry;
      std::push_heap(heap.begin(), heap.end(), table_detail::before);
    }
  }
  std::sort_heap(heap.begin(), heap.end(),
                 table_detail::before);  // first in the order of selection first
  if (first && !heap.empty()) firstLargest_ = heap.front().position;
  for (const table_detail::Ranked& entry : heap) top_.push_back(entry.value);
  if (!heap.empty()) {
    lastValue_ = heap.back().value;
    lastPosition_ = heap.back().position;
  }
}

inline double SortedPreferences::fromTop(const std::vector<double>& table, std::int64_t rank) {
  const std::int64_t n = static_cast<std::int64_t>(table.size());
  rank = std::clamp<std::int64_t>(rank, 0, n - 1);
  while (rank >= selected()) {
    // Blocks double, so that the passes over the table stay few however far the maximum falls.
    const std::int64_t count =
        std::min(n - selected(), std::max(table_detail::kFirstBlock, selected()));
    requireMemory(static_cast<double>(count) * (sizeof(double) + sizeof(table_detail::Ranked)),
                  "the sorted preferences of the pair table");
    top_.reserve(static_cast<std::size_t>(selected() + count));
    selectNextBlock(table, count);
  }
  return top_[static_cast<std::size_t>(rank)];
}

inline PairTable buildPairTable(const std::vector<double>& femaleTraits,
                                const std::vector<double>& maleTraits, const PairDistance& distance,
                                std::vector<double>& args) {
  PairTable table;
  const std::size_t males = maleTraits.size();
  table.totpairs =
      static_cast<std::int64_t>(femaleTraits.size()) * static_cast<std::int64_t>(males);
  requireMemory(pairTableBytes(table.totpairs), "the preferences of the " + NtoS(table.totpairs) +
                                                    " female-male pairs (8 bytes per pair)");

  table.matdistrib.resize(static_cast<std::size_t>(table.totpairs));
  double* entry = table.matdistrib.data();
  for (std::size_t f = 0; f < femaleTraits.size(); ++f)
    for (std::size_t m = 0; m < males; ++m) {
      args[2] = distance(femaleTraits[f], maleTraits[m]);
      const double p = Gaussbasedpref(args);
      // A non-number (a trait written as nan, or an infinite trait or coefficient) cannot be
      // ordered: the table would have no largest preference to scale the others by.
      if (std::isnan(p))
        stopRun("\nThe preference of female " + NtoS(f + 1) + " for male " + NtoS(m + 1) +
                    " is not a number: the pair table has no largest preference "
                    "(condition matdistrib[distance(matdistrib.begin(), indxmaxpref)]== "
                    "sortmatdistrib[totpairs-1])\n",
                1);
      *entry++ = p;
    }

  table.M = table.sortedFromTop(0);
  table.indxmaxpref = table.sortmatdistrib.firstLargest();
  // Without non-numbers the first largest entry is the top of the sorted copy.
  PAIRLAB_CHECK(table.matdistrib[static_cast<std::size_t>(table.indxmaxpref)] == table.M,
                "indxmaxpref " + NtoS(table.indxmaxpref) + ", M " + NtoS(table.M));
  return table;
}

// The engine's view of a table: the table itself for the preferences, its sorted copy for the
// maximum, and scans over every partner of the list. It remembers the deepest rank read.
class TablePreferences final : public PairPreferences {
 public:
  // A table of the population's Gaussian preferences (as buildPairTable makes it).
  TablePreferences(const std::vector<double>& females, const std::vector<double>& males,
                   const PairDistance& distance, std::vector<double>& args)
      : PairPreferences(females, males, distance, nullptr),
        table(buildPairTable(females, males, distance, args)),
        females_(females.size()) {
    coefficient_ = args[1];
    table_ = this->table.matdistrib.data();
  }
  // A table given entry by entry (f * males + m).
  TablePreferences(const std::vector<double>& females, const std::vector<double>& males,
                   std::vector<double> entries)
      : PairPreferences(females, males, PairDistance{1, 0, 1, false}, nullptr),
        females_(females.size()) {
    table.matdistrib = std::move(entries);
    table.totpairs = static_cast<std::int64_t>(table.matdistrib.size());
    table.M = table.sortedFromTop(0);
    table_ = table.matdistrib.data();
  }

  double largest() const override { return table.M; }
  void stepDown(std::int64_t& steps, double& maximum) override {
    if (steps < table.totpairs - 1) ++steps;
    deepest = std::max(deepest, steps);
    maximum = table.sortedFromTop(steps);
  }
  void scanLine(bool female, std::int32_t individual, const CandidateList& partners,
                std::int64_t& steps, double& maximum) override {
    const auto n = static_cast<std::int32_t>(female ? males_ : females_);
    for (std::int32_t j = 0; j < n; ++j)
      if (partners.inList(j) &&
          (female ? preference(individual, j) : preference(j, individual)) == maximum)
        stepDown(steps, maximum);
  }

  PairTable table;
  std::int64_t deepest = 0;  // the deepest rank read

 private:
  std::size_t females_;
};

}  // namespace pairlab
