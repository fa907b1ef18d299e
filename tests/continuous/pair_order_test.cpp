#include "continuous/pair_order.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "support/diagnostics.hpp"
#include "support/random.hpp"

namespace pairlab {
namespace {

using Vec = std::vector<double>;
constexpr double kInf = std::numeric_limits<double>::infinity();

// The exact reference: the preference of every pair, female-major, as a table would hold it.
Vec fullTable(const Vec& females, const Vec& males, const PairDistance& distance, double c,
              PreferenceTransform transform = nullptr) {
  Vec table;
  table.reserve(females.size() * males.size());
  for (double x : females)
    for (double y : males) {
      const double z = c * distance(x, y);
      table.push_back(transform ? transform(z) : std::exp(z));
    }
  return table;
}

Vec descending(Vec table) {
  std::sort(table.begin(), table.end(), std::greater<double>());
  return table;
}

// Trait sets: continuous, heavily tied, bimodal, signed zeros and infinities (+inf for the
// females, -inf for the males, so that no difference is inf - inf).
Vec traits(int kind, int n, std::uint64_t seed, bool females = true) {
  Random rng(seed);
  Vec v(static_cast<std::size_t>(n));
  for (double& t : v) {
    switch (kind) {
      case 0:
        t = rng.u();
        break;  // continuous
      case 1:
        t = std::floor(rng.u() * 6) / 6;
        break;  // six values
      case 2:
        t = rng.u() < 0.5 ? 0.1 * rng.u() : 0.9 + 0.1 * rng.u();
        break;
      case 3:
        t = rng.u() < 0.3 ? (rng.u() < 0.5 ? 0.0 : -0.0) : rng.u() - 0.5;
        break;
      default:
        t = rng.u() < 0.1 ? (females ? kInf : -kInf) : rng.u();
        break;
    }
  }
  return v;
}

struct Branch {
  const char* name;
  PairDistance distance;
  double coefficient;
};
const Branch kBranches[] = {
    {"positive", {0.5, 0.0, 1.0, false}, -39.0},
    {"positive bias", {0.5, -0.2, 1.0, false}, -39.0},
    {"one choosy", {0.5, 0.1, 1.0, true}, -39.0},
    {"one choosy negative bias", {0.5, -0.3, 1.0, true}, -5.0},
    {"negative", {-0.4, 0.0, 1.0, false}, -25.0},
    {"negative small dmax", {-0.4, 0.0, 0.3, true}, -300.0},
    {"flat", {0.5, 0.0, 1.0, false}, -1e-13},      // many pairs share each preference
    {"underflow", {-0.5, 0.0, 1.0, false}, -2e4},  // most preferences are 0
};

TEST(PairOrder, EveryRankMatchesTheSortedTable) {
  for (const Branch& branch : kBranches)
    for (int kind = 0; kind < 5; ++kind)
      for (auto [nf, nm] : {std::pair{1, 1}, std::pair{60, 45}, std::pair{7, 90}}) {
        const Vec females = traits(kind, nf, 11 + kind), males = traits(kind, nm, 97 + kind, false);
        Vec args{0, branch.coefficient, 0, branch.distance.choice};
        PairOrder order(females, males, branch.distance, args);
        const Vec table = fullTable(females, males, branch.distance, branch.coefficient);
        const Vec sorted = descending(table);
        SCOPED_TRACE(std::string(branch.name) + " kind " + std::to_string(kind) + " " +
                     std::to_string(nf) + "x" + std::to_string(nm));
        ASSERT_EQ(order.pairs(), static_cast<std::int64_t>(table.size()));
        EXPECT_EQ(order.largest(), sorted[0]);
        EXPECT_EQ(order.firstLargest(),
                  std::find(table.begin(), table.end(), sorted[0]) - table.begin());
        // Read as files read it: from the top again and again, each time a little further.
        for (std::int64_t depth = 1; depth <= order.pairs(); depth = depth * 3 + 1)
          for (std::int64_t rank = 0; rank < depth && rank < order.pairs(); ++rank)
            ASSERT_EQ(order.fromTop(rank), sorted[static_cast<std::size_t>(rank)]) << rank;
        for (std::int64_t rank = order.pairs() - 1; rank >= 0; rank -= 7)
          ASSERT_EQ(order.fromTop(rank), sorted[static_cast<std::size_t>(rank)]) << rank;
        EXPECT_EQ(order.fromTop(order.pairs() + 5), sorted.back());
        for (int f = 0; f < nf; f += 5)
          for (int m = 0; m < nm; m += 3)
            ASSERT_EQ(order.preference(f, m), table[static_cast<std::size_t>(f * nm + m)]);
      }
}

TEST(PairOrder, ProducesOnlyTheTopOfALargePopulation) {
  const Vec females = traits(0, 2000, 1), males = traits(2, 1500, 2);
  for (const Branch& branch : kBranches) {
    Vec args{0, branch.coefficient, 0, branch.distance.choice};
    PairOrder order(females, males, branch.distance, args);
    Vec top = fullTable(females, males, branch.distance, branch.coefficient);
    std::partial_sort(top.begin(), top.begin() + 5000, top.end(), std::greater<double>());
    for (std::int64_t rank = 0; rank < 5000; ++rank)
      ASSERT_EQ(order.fromTop(rank), top[static_cast<std::size_t>(rank)]) << branch.name << rank;
    EXPECT_LT(order.produced(), 20000) << branch.name;
  }
}

// A preference function that is not monotone within cells of the exponent 1e-4 wide (below the
// top): the order puts such entries in place before their ranks are read, and refuses to go on
// when an entry would change a rank already read.
double cellwise(double z) {
  if (z > -0.5) return std::exp(z);
  const double cell = std::floor(z / 1e-4);
  return std::exp(cell * 1e-4) * (1.0 + 1e-5 * (cell + 1.0 - z / 1e-4));
}
double jump(double z) { return z < -1.0 ? 2.0 : std::exp(z); }

TEST(PairOrder, OutOfOrderEntriesArePutInPlaceOrStopTheRun) {
  const Vec females = traits(0, 80, 3), males = traits(0, 70, 4);
  const PairDistance distance{0.5, 0.0, 1.0, false};
  Vec args{0, -39.0, 0, 0.5};
  // In ascending d^2 the preferences do rise here and there.
  Vec byDistance;
  for (double x : females)
    for (double y : males) byDistance.push_back(distance(x, y));
  std::sort(byDistance.begin(), byDistance.end());
  for (double& p : byDistance) p = cellwise(-39.0 * p);
  ASSERT_FALSE(std::is_sorted(byDistance.begin(), byDistance.end(), std::greater<double>()));

  PairOrder order(females, males, distance, args, cellwise);
  const Vec sorted = descending(fullTable(females, males, distance, -39.0, cellwise));
  for (std::int64_t rank = 0; rank < order.pairs(); ++rank)
    ASSERT_EQ(order.fromTop(rank), sorted[static_cast<std::size_t>(rank)]) << rank;

  PairOrder broken(females, males, distance, args, jump);
  std::string message;
  try {
    for (std::int64_t rank = 0; rank < broken.pairs(); ++rank) broken.fromTop(rank);
  } catch (const Stop& stop) {
    message = stop.message;
  }
  EXPECT_NE(message.find("cannot be ordered exactly"), std::string::npos);
}

class PairOrderStops : public ::testing::Test {
 protected:
  // The status of the stop (its message in `out`), or -1000 when the order was built.
  int build(const Vec& females, const Vec& males, const PairDistance& distance, double c) {
    out.clear();
    try {
      Vec args{0, c, 0, distance.choice};
      PairOrder order(females, males, distance, args);
    } catch (const Stop& stop) {
      out = stop.message;
      return stop.status;
    }
    return -1000;
  }
  std::string out;
};

TEST_F(PairOrderStops, TheFirstPairThatIsNotANumberIsReported) {
  const double nan = std::nan("");
  const PairDistance folded{0.5, 0.0, 1.0, false}, signedInf{0.5, kInf, 1.0, true},
      foldedInf{0.5, kInf, 1.0, false};
  struct Case {
    Vec females, males;
    PairDistance distance;
    double c;
  };
  const Case cases[] = {
      {{0.1, nan, 0.3}, {0.5, 0.2}, folded, -3},         // female trait
      {{0.1, 0.2}, {0.5, 0.2, nan}, folded, -3},         // male trait
      {{0.1, kInf, 0.2}, {0.3, kInf, 0.5}, folded, -3},  // inf - inf
      {{0.1, 0.2, -kInf}, {-kInf, 0.5}, folded, -3},     // -inf - -inf
      {{0.1, 0.2, 0.4}, {0.3, 0.4}, folded, -kInf},      // -inf * 0
      {{0.1, 0.2}, {0.3, kInf}, foldedInf, -3},          // |s| - |bias|: inf - inf
      {{0.1, 0.2}, {0.3, -kInf}, signedInf, -3},         // s - bias: inf - inf
      {{0.1, 0.2}, {0.3, 0.4}, folded, nan},             // coefficient
  };
  for (const Case& c : cases) {
    const Vec table = fullTable(c.females, c.males, c.distance, c.c);
    const auto first =
        std::find_if(table.begin(), table.end(), [](double p) { return std::isnan(p); }) -
        table.begin();
    ASSERT_LT(first, static_cast<std::ptrdiff_t>(table.size()));
    EXPECT_EQ(build(c.females, c.males, c.distance, c.c), 1);
    const std::ptrdiff_t males = static_cast<std::ptrdiff_t>(c.males.size());
    EXPECT_NE(out.find("The preference of female " + std::to_string(first / males + 1) +
                       " for male " + std::to_string(first % males + 1) + " is not a number"),
              std::string::npos)
        << out;
  }
  // Infinities that give no non-number, and an underflow to a zero d^2 with a finite coefficient.
  EXPECT_EQ(build({0.1, kInf}, {-kInf, 0.3}, folded, -3), -1000);
  EXPECT_EQ(build({0.1, 0.2}, {0.1, 0.2}, folded, -1e300), -1000);
  // The coefficient is checked first, as the preference function does at the first pair.
  EXPECT_EQ(build({nan}, {0.1}, folded, 2.5), 2);
  EXPECT_NE(out.find("Gaussbasedpref: Bad argument: 2.5 in args[1]"), std::string::npos);
}

// The scan of a dead individual's row or column, against a plain walk over the list.
TEST(PairOrder, ScanOfARowOrColumnStepsAsAWalkOverTheListDoes) {
  Random rng(9);
  int scansThatStep = 0;
  for (int kind : {0, 1, 3})
    for (const Branch& branch : kBranches) {
      const Vec females = traits(kind, 40, 5 + kind), males = traits(kind, 35, 6 + kind);
      Vec args{0, branch.coefficient, 0, branch.distance.choice};
      PairOrder order(females, males, branch.distance, args);
      for (int trial = 0; trial < 40; ++trial) {
        const bool female = trial % 2 == 0;
        const std::int32_t individual = static_cast<std::int32_t>(rng.position(female ? 40 : 35));
        const std::vector<bool> inList = [&] {
          std::vector<bool> present(female ? 35 : 40);
          for (std::size_t i = 0; i < present.size(); ++i) present[i] = rng.u() < 0.8;
          return present;
        }();
        std::int64_t steps = rng.position(trial < 20 ? 3 : order.pairs());
        double maximum = order.fromTop(steps);
        std::int64_t expectedSteps = steps;
        double expected = maximum;
        for (std::size_t j = 0; j < inList.size(); ++j) {
          if (!inList[j]) continue;
          const auto partner = static_cast<std::int32_t>(j);
          const double p = female ? order.preference(individual, partner)
                                  : order.preference(partner, individual);
          if (p == expected) order.stepDown(expectedSteps, expected);
        }
        const std::int64_t before = steps;
        order.scanLineOver(
            female, individual, [&](std::int32_t j) { return inList[j]; }, steps, maximum);
        ASSERT_EQ(steps, expectedSteps) << branch.name << " kind " << kind << " trial " << trial;
        ASSERT_EQ(maximum, expected);
        scansThatStep += steps > before + 1;
      }
    }
  EXPECT_GT(scansThatStep, 50);
}

}  // namespace
}  // namespace pairlab
