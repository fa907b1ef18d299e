#include "continuous/candidate_list.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "continuous/survival_table.hpp"
#include "support/random.hpp"

namespace pairlab {
namespace {

// Against a list that really erases: files of random removals (anywhere, or near the front
// only), one after another for the same population (small ones keep the list itself, large ones
// past the sparse limit turn dense), and a population that changes size.
TEST(PositionMap, HoldsThePositionsOfAListThatErases) {
  Random rng(3);
  PositionMap map;
  struct File {
    int n, removals;
    bool front;
  };
  for (auto [n, removals, front] : {File{1, 0, false},
                                    {37, 20, false},
                                    {37, 36, false},
                                    {37, 9, true},
                                    {37, 9, false},
                                    {300, 150, false},
                                    {300, 299, false},
                                    {300, 40, true},
                                    {300, 40, false},
                                    {5000, 4900, false},
                                    {5000, 300, false},
                                    {5000, 4999, false},
                                    {5000, 2000, true}}) {
    map.reset(n);
    std::vector<std::int32_t> list(static_cast<std::size_t>(n));
    std::iota(list.begin(), list.end(), 0);
    for (std::int64_t p = 0; p < n; ++p) ASSERT_EQ(map.at(p), p) << n;
    for (int r = 0; r < removals; ++r) {
      const std::int64_t p = rng.position(static_cast<std::int64_t>(list.size()) / (front ? 4 : 1));
      ASSERT_EQ(map.at(p), list[static_cast<std::size_t>(p)]) << n << " removal " << r;
      map.remove(list[static_cast<std::size_t>(p)], p);
      list.erase(list.begin() + p);
      ASSERT_EQ(map.size(), static_cast<std::int64_t>(list.size()));
      const std::int64_t q = rng.position(static_cast<std::int64_t>(list.size()));
      ASSERT_EQ(map.at(q), list[static_cast<std::size_t>(q)]);
    }
    for (std::size_t p = 0; p < list.size(); ++p)
      ASSERT_EQ(map.at(static_cast<std::int64_t>(p)), list[p]);
  }
}

TEST(CandidateList, AFileStartsAfreshWhateverThePreviousOneChanged) {
  for (const int n : {300, 6000}) {
    const std::vector<double> traits(n, 0.5);
    Random rng(8);
    CandidateList list;
    for (int file = 0; file < 4; ++file) {
      list.startFile(traits);
      ASSERT_EQ(list.size(), n);
      ASSERT_EQ(list.availableCount(), n);
      ASSERT_EQ(list.totalAge(), 0.0);
      for (std::int32_t i = 0; i < n; ++i) {
        ASSERT_EQ(list.age(i), 0);
        ASSERT_TRUE(list.available(i) && list.inList(i));
      }
      std::vector<std::int64_t> age(n, 0);
      std::vector<int> state(n, 0);  // 0 available, 1 withdrawn, 2 left
      for (int op = 0; op < 4 * n / 3; ++op) {
        const std::int64_t p = rng.position(list.size());
        const std::int32_t i = list.at(p);
        ASSERT_NE(state[i], 2);
        const double u = rng.u();
        if (u < 0.6) {
          ASSERT_EQ(list.meet(i), ++age[i]);
        } else if (u < 0.8) {
          list.withdraw(i);
          state[i] = std::max(state[i], 1);
        } else {
          list.remove(i, p);
          state[i] = 2;
        }
      }
      std::int64_t available = 0, inList = 0, ages = 0;
      for (std::int32_t i = 0; i < n; ++i) {
        available += state[i] == 0;
        inList += state[i] != 2;
        if (state[i] != 2) ages += age[i];
        EXPECT_EQ(list.available(i), state[i] == 0);
        EXPECT_EQ(list.inList(i), state[i] != 2);
      }
      EXPECT_EQ(list.availableCount(), available);
      EXPECT_EQ(list.size(), inList);
      EXPECT_EQ(list.totalAge(), static_cast<double>(ages));
    }
  }
}

TEST(SurvivalTable, GivesTheSameDoubleAsTheFormulaAtEveryAge) {
  const AgingParams params[] = {
      {1, 2, 0}, {0.3, 1.5, 0}, {0.2, 3, 0.1}, {1, 2, 10}, {2, std::nan(""), 1}};
  for (const AgingParams& aging : params) {
    SurvivalTable table(aging);
    Random rng(4);
    for (int i = 0; i < 3000; ++i) {
      // Ages in no particular order, past the end of the table too.
      const std::int64_t age = i < 1000 ? 1 + i : 1 + rng.position(i < 2000 ? 30000 : 200000);
      double survival = -5;
      ASSERT_EQ(table.mortal(age, survival), mayDie(age, aging)) << age;
      if (mayDie(age, aging)) {
        const double expected = survivalProbability(age, aging);
        ASSERT_TRUE(survival == expected || (std::isnan(survival) && std::isnan(expected))) << age;
      }
    }
  }
}

}  // namespace
}  // namespace pairlab
