#include "continuous/preferences.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/diagnostics.hpp"
#include "support/memory.hpp"
#include "support/text.hpp"

namespace pairlab {

PreferenceChoice choosePreferenceFamily(int model, const RunConfig& config) {
  if ((config.gaussian && model != 3) || model <= 2) {
    if (model != 1 && model != 2)
      stopRun("Wrong model number " + NtoS(model) + "\n", config.uniform);
    return {PreferenceFamily::Gaussian, model};
  }
  return {PreferenceFamily::Logistic, 3};
}

double Gaussbasedpref(const std::vector<double>& args) {
  if (args.size() < 4)
    stopRunLog(
        "Gaussbasedpref: Bad argument number: " + NtoS(args.size()) + " in Gaussbasedpref" + "\n",
        static_cast<int>(args.size()));
  if (args[1] >= 0.0)  // a non-number passes
    stopRunLog("Gaussbasedpref: Bad argument: " + NtoS(args[1]) + " in args[1]" + "\n", args[1]);
  if (args[3] == 0.0) return 1.0;
  return std::exp(args[1] * args[2]);
}

namespace {
// e^z / (1 + e^z), as written: beyond the range of a double it is infinity over infinity.
double logistic(double z) {
  const double e = std::exp(z);
  return e / (1.0 + e);
}
}  // namespace

double Logitpref(const std::vector<double>& args) {
  if (args.size() < 6)
    stopRunLog("Logitpref: Bad argument number: " + NtoS(args.size()) + " in Logitpref" + "\n",
               static_cast<int>(args.size()));
  return logistic(args[0] + args[1] * args[2]) * logistic(args[3] + args[4] * args[5]);
}

double gaussianCoefficient(int model, double choice, double tolerance, double dmax) {
  if (model == 1) {
    const double q = choice / (tolerance * dmax);
    return -(q * q);
  }
  const double q = choice * choice / tolerance;
  return -0.5 * (q * q);
}

double PairDistance::operator()(double x, double y) const {
  double d;
  if (choice < 0.0)
    d = std::fabs(x - y) - dmax;
  else if (onechoosy)
    d = x - y - bias;
  else
    d = std::fabs(x - y) - std::fabs(bias);
  return d * d;
}

double pairTableBytes(std::int64_t totpairs) {
  return static_cast<double>(sizeof(double)) * static_cast<double>(totpairs);
}

namespace {
// Entries selected in the first block: far more than the steps of the maximum in a file.
constexpr std::int64_t kFirstBlock = 4096;

// Order of selection: larger value first, and among equal values smaller position first.
struct Ranked {
  double value;
  std::int64_t position;
};
bool before(const Ranked& a, const Ranked& b) {
  return a.value > b.value || (a.value == b.value && a.position < b.position);
}
}  // namespace

void SortedPreferences::selectNextBlock(const std::vector<double>& table, std::int64_t count) {
  // One pass over the table keeps, in a heap whose top is the last of them, the first `count`
  // entries (in the order of selection) that come after the last entry selected so far.
  const Ranked last{lastValue_, lastPosition_};
  const bool first = top_.empty();
  std::vector<Ranked> heap;
  heap.reserve(static_cast<std::size_t>(count));
  const std::int64_t n = static_cast<std::int64_t>(table.size());
  for (std::int64_t i = 0; i < n; ++i) {
    const Ranked entry{table[static_cast<std::size_t>(i)], i};
    if (!first && !before(last, entry)) continue;  // selected already
    if (static_cast<std::int64_t>(heap.size()) < count) {
      heap.push_back(entry);
      std::push_heap(heap.begin(), heap.end(), before);
    } else if (before(entry, heap.front())) {
      std::pop_heap(heap.begin(), heap.end(), before);
      heap.back() = entry;
      std::push_heap(heap.begin(), heap.end(), before);
    }
  }
  std::sort_heap(heap.begin(), heap.end(), before);  // first in the order of selection first
  if (first && !heap.empty()) firstLargest_ = heap.front().position;
  for (const Ranked& entry : heap) top_.push_back(entry.value);
  if (!heap.empty()) {
    lastValue_ = heap.back().value;
    lastPosition_ = heap.back().position;
  }
}

double SortedPreferences::fromTop(const std::vector<double>& table, std::int64_t rank) {
  const std::int64_t n = static_cast<std::int64_t>(table.size());
  rank = std::clamp<std::int64_t>(rank, 0, n - 1);
  while (rank >= selected()) {
    // Blocks double, so that the passes over the table stay few however far the maximum falls.
    const std::int64_t count = std::min(n - selected(), std::max(kFirstBlock, selected()));
    requireMemory(static_cast<double>(count) * (sizeof(double) + sizeof(Ranked)),
                  "the sorted preferences of the pair table");
    top_.reserve(static_cast<std::size_t>(selected() + count));
    selectNextBlock(table, count);
  }
  return top_[static_cast<std::size_t>(rank)];
}

PairTable buildPairTable(const std::vector<double>& femaleTraits,
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

}  // namespace pairlab
