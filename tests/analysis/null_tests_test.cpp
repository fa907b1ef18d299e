// The simulated tests: which tables a process cannot replay, and the p-values of tables whose
// answer is known.
#include "analysis/null_tests.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace pairlab {
namespace {

struct Table {
  Matrix counts;
  std::vector<double> females, males;
  bool whole = true;
};

std::vector<double> frequencies(const std::vector<double>& numbers) {
  double total = 0.0;
  for (double v : numbers) total += v;
  std::vector<double> p;
  for (double v : numbers) p.push_back(v / total);
  return p;
}

NullResults run(const Table& t, const NullSettings& settings, std::string* refusal = nullptr) {
  double n = 0.0;
  for (const auto& row : t.counts)
    for (double v : row) n += v;
  const std::vector<double> p1 = frequencies(t.females), p2 = frequencies(t.males);
  const std::vector<std::string> labels = {"A", "B", "C"};
  MatingTables work;
  const auto observed = testIndexValues(sampleIndexValues(t.counts, n, p1, p2, work), n,
                                        static_cast<int>(p1.size()), static_cast<int>(p2.size()));
  const NullInput in{t.counts, n, t.females, t.males, p1, p2, labels, labels, t.whole, 1, observed};
  if (refusal != nullptr) *refusal = monteCarloRefusal(in, settings);
  return nullTests(in, settings);
}

TEST(NullTests, AProcessReplaysOnlyTablesItCouldHaveMade) {
  using P = NullProcess;
  const Table fine = {{{10, 5}, {5, 10}}, {40, 40}, {40, 40}};
  const struct {
    const char* name;
    Table table;
    P process;
    double mrmax;
    std::string refusal;  // a fragment, "" when the tests are made
  } cases[] = {
      {"individual", fine, P::Individual, 0, ""},
      {"mass, one round", fine, P::Mass, 0, ""},
      {"replacement", fine, P::Replacement, 0, ""},
      {"matings not whole",
       {{{10.5, 5}, {5, 10}}, {40, 40}, {40, 40}, false},
       P::Replacement,
       0,
       "the matings are not whole numbers"},
      {"numbers not whole",
       {{{10, 5}, {5, 10}}, {40.5, 40}, {40, 40}},
       P::Individual,
       0,
       "the premating numbers are not whole numbers"},
      {"numbers not whole, with replacement",
       {{{10, 5}, {5, 10}}, {40.5, 40}, {40, 40}},
       P::Replacement,
       0,
       ""},
      {"a type mated more than it has individuals",
       {{{10, 5}, {5, 10}}, {12, 40}, {40, 40}},
       P::Individual,
       0,
       "female type A mated 15 times but has 12 individuals"},
      {"the same with replacement",
       {{{10, 5}, {5, 10}}, {12, 40}, {40, 40}},
       P::Replacement,
       0,
       ""},
      {"mass, several rounds of unequal sexes",
       {{{10, 5}, {5, 10}}, {40, 40}, {40, 41}},
       P::Mass,
       10,
       "need as many females as males"},
      {"mass, one round of unequal sexes",
       {{{10, 5}, {5, 10}}, {40, 40}, {40, 41}},
       P::Mass,
       0,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string refusal;
    const NullResults r = run(c.table, {49, c.process, c.mrmax, 5}, &refusal);
    if (c.refusal.empty()) {
      EXPECT_EQ(refusal, "");
      EXPECT_EQ(r.replicates, 49);
    } else {
      EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
      EXPECT_EQ(r.replicates, 0);
      EXPECT_TRUE(std::isnan(r.monteCarlo[kJpti].p));
    }
    EXPECT_EQ(r.permutations, c.table.whole ? 49 : 0);
  }
}

TEST(NullTests, PValuesCountTheReplicatesAtLeastAsLarge) {
  // Every female mated with a like male, which a random pairing of these individuals can match
  // but never exceed.
  const Table assortative = {{{20, 0}, {0, 20}}, {20, 20}, {30, 30}};
  for (NullProcess process :
       {NullProcess::Replacement, NullProcess::Individual, NullProcess::Mass}) {
    const NullResults r = run(assortative, {199, process, 0, 11});
    EXPECT_LT(r.monteCarlo[kJpti].p, 0.01);
    EXPECT_EQ(r.permutation.p, 1.0 / 200.0);
    EXPECT_NEAR(r.permutation.se, std::sqrt(0.005 * 0.995 / 199), 1e-15);
    long long binned = 0;
    for (long long c : r.monteCarlo[kJpti].histogram.counts) binned += c;
    EXPECT_EQ(binned, 199);
  }
  // The mated types are exactly as frequent as in the population (and no cell is empty): no
  // replicate has a smaller selection index.
  const Table whole = {{{6, 4}, {4, 6}}, {10, 10}, {10, 10}};
  const NullResults r = run(whole, {99, NullProcess::Individual, 0, 3});
  EXPECT_EQ(r.monteCarlo[kJpss].p, 1.0);
  EXPECT_EQ(r.monteCarlo[kJps1].p, 1.0);
}

TEST(NullTests, StreamsDifferByTableAndByTest) {
  EXPECT_NE(streamSeed(1, 1, 0), streamSeed(1, 2, 0));
  EXPECT_NE(streamSeed(1, 1, 0), streamSeed(1, 1, 1));
  EXPECT_NE(streamSeed(1, 1, 0), streamSeed(2, 1, 0));
  EXPECT_EQ(streamSeed(7, 3, 1), streamSeed(7, 3, 1));
}

}  // namespace
}  // namespace pairlab
