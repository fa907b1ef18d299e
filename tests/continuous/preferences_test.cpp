#include "continuous/preferences.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/diagnostics.hpp"
#include "support/pair_table.hpp"
#include "support/random.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::readFile;
using Vec = std::vector<double>;

class PreferenceStops : public InTempDir {
 protected:
  // Runs f, which must stop the run; returns the status and keeps standard output.
  template <typename F>
  int stopStatusOf(F f) {
    ::testing::internal::CaptureStdout();
    int status = -1000;
    try {
      f();
    } catch (const Stop& stop) {
      reportStop(stop);
      status = stop.status;
    }
    out = ::testing::internal::GetCapturedStdout();
    return status;
  }
  std::string out;
};

TEST_F(PreferenceStops, UnknownModelsStopWithTheUniformFlag) {
  RunConfig config;
  config.uniform = false;
  EXPECT_EQ(stopStatusOf([&] { choosePreferenceFamily(12, config); }), 0);
  EXPECT_EQ(out, "Wrong model number 12\n\n");
  EXPECT_EQ(readFile(kErrorFile), "Wrong model number 12\n\n");
  // Without the Gaussian flag any model above 2 is the logistic family, model 3; a decoded
  // model 3 turns the flag off.
  config.gaussian = false;
  EXPECT_EQ(choosePreferenceFamily(7, config).family, PreferenceFamily::Logistic);
  EXPECT_EQ(choosePreferenceFamily(7, config).model, 3);
  EXPECT_EQ(choosePreferenceFamily(2, config).family, PreferenceFamily::Gaussian);
  config.gaussian = true;
  EXPECT_EQ(choosePreferenceFamily(3, config).family, PreferenceFamily::Logistic);
}

TEST_F(PreferenceStops, GaussbasedprefChecksItsArgumentsIntoTheErrorLog) {
  EXPECT_EQ(Gaussbasedpref({0, -2, 0.5, 0}), 1.0);  // c = 0: random mating
  EXPECT_EQ(Gaussbasedpref({0, -2, 0.5, 0.3}), std::exp(-1.0));
  EXPECT_TRUE(std::isnan(Gaussbasedpref({0, std::nan(""), 0.5, 0.3})));  // passes the check
  EXPECT_EQ(stopStatusOf([] { Gaussbasedpref({0, -2, 1}); }), 3);
  EXPECT_EQ(out, "Gaussbasedpref: Bad argument number: 3 in Gaussbasedpref\n\n");
  EXPECT_EQ(stopStatusOf([] { Gaussbasedpref({0, 2.7, 1, 1}); }), 2);
  EXPECT_EQ(stopStatusOf([] { Gaussbasedpref({0, -0.0, 1, 1}); }), 0);
  EXPECT_EQ(out, "Gaussbasedpref: Bad argument: -0 in args[1]\n\n");
  // The log holds only the last error: it is truncated first.
  EXPECT_EQ(readFile(kErrorLogFile), "Gaussbasedpref: Bad argument: -0 in args[1]\n\n");
}

TEST_F(PreferenceStops, LogitprefMultipliesTheTwoLogisticFactors) {
  const double l1 = std::exp(0.5) / (1 + std::exp(0.5)), l2 = std::exp(-1.0) / (1 + std::exp(-1.0));
  EXPECT_EQ(Logitpref({0.5, 1, 0, -1, 2, 0}), l1 * l2);  // L(a + b y) L(a + b x)
  EXPECT_EQ(Logitpref({0, 1, 0.5, 0, 1, -1}), l1 * l2);
  // Beyond the range of a double a factor is infinity over infinity: never a mating.
  EXPECT_TRUE(std::isnan(Logitpref({1000, 1, 0, 0, 1, 0})));
  EXPECT_EQ(stopStatusOf([] { Logitpref({0, 1, 0, 0, 1}); }), 5);
  EXPECT_EQ(out, "Logitpref: Bad argument number: 5 in Logitpref\n\n");
}

TEST(GaussianCoefficient, FndUsesDmaxAndBd03TheFourthPower) {
  EXPECT_DOUBLE_EQ(gaussianCoefficient(1, 0.5, 0.08, 1), -(0.5 / 0.08) * (0.5 / 0.08));
  EXPECT_DOUBLE_EQ(gaussianCoefficient(1, 0.5, 0.08, 2), -(0.5 / 0.16) * (0.5 / 0.16));
  EXPECT_DOUBLE_EQ(gaussianCoefficient(2, 0.5, 0.08, 7), -std::pow(0.5, 4) / (2 * 0.08 * 0.08));
  EXPECT_EQ(gaussianCoefficient(1, -0.3, 0.1, 1), gaussianCoefficient(1, 0.3, 0.1, 1));
  EXPECT_EQ(gaussianCoefficient(2, -0.3, 0.1, 1), gaussianCoefficient(2, 0.3, 0.1, 1));
  // A tiny choice underflows to a zero coefficient, which the preference function rejects.
  EXPECT_EQ(gaussianCoefficient(2, 1e-100, 0.08, 1), 0.0);
}

TEST(PairDistance, BiasSignMattersOnlyWhenOneSexChooses) {
  const PairDistance both{0.5, -0.25, 1, false}, one{0.5, -0.25, 1, true};
  EXPECT_EQ(both(0.75, 0.5), 0.0);  // |0.25| - |-0.25|
  EXPECT_EQ(both(0.5, 0.75), 0.0);
  EXPECT_EQ(one(0.25, 0.5), 0.0);  // x - y - bias: the peak is at x - y = -0.25
  EXPECT_EQ(one(0.75, 0.5), 0.25);
  const PairDistance negative{-0.5, 0.3, 2, true};  // (|x - y| - Dmax)^2, bias unused
  EXPECT_DOUBLE_EQ(negative(0, 2), 0.0);
  EXPECT_DOUBLE_EQ(negative(1, 0.5), 2.25);
}

TEST(PairTable, IsFemaleMajorWithItsLargestEntryOnTop) {
  const Vec females{0, 0.5, 1}, males{0.1, 0.9};
  Vec args{0, -3, 0, 0.5};
  PairTable table = buildPairTable(females, males, PairDistance{0.5, 0, 1, false}, args);
  ASSERT_EQ(table.totpairs, 6);
  for (int f = 0; f < 3; ++f)
    for (int m = 0; m < 2; ++m) {
      const double d = females[f] - males[m];
      EXPECT_EQ(table.matdistrib[f * 2 + m], std::exp(-3 * (d * d)));
    }
  Vec sorted = table.matdistrib;
  std::sort(sorted.begin(), sorted.end());
  for (std::int64_t rank = 0; rank < 6; ++rank)
    EXPECT_EQ(table.sortedFromTop(rank), sorted[5 - rank]);
  EXPECT_EQ(table.sortedFromTop(6), sorted[0]);  // never below the smallest entry
  EXPECT_EQ(table.M, sorted[5]);
  EXPECT_EQ(table.indxmaxpref, 0);  // 0 - 0.1 and 1 - 0.9 tie: the first one
}

TEST(PairTable, SortedTopMatchesAFullSortAcrossBlocksAndTies) {
  Random rng(5);
  Vec females(90), males(70);
  for (double& t : females) t = std::floor(rng.u() * 20) / 20;  // many tied preferences
  for (double& t : males) t = std::floor(rng.u() * 20) / 20;
  Vec args{0, -5, 0, -0.4};
  PairTable table = buildPairTable(females, males, PairDistance{-0.4, 0, 1, false}, args);
  Vec sorted = table.matdistrib;
  std::sort(sorted.begin(), sorted.end());
  for (std::int64_t rank = 0; rank < table.totpairs; rank += 7)
    ASSERT_EQ(table.sortedFromTop(rank), sorted[table.totpairs - 1 - rank]) << rank;
  EXPECT_EQ(table.matdistrib[table.indxmaxpref], sorted.back());
  EXPECT_EQ(std::find(table.matdistrib.begin(), table.matdistrib.end(), sorted.back()) -
                table.matdistrib.begin(),
            table.indxmaxpref);
}

TEST_F(PreferenceStops, TableWithANonNumberStops) {
  Vec args{0, -3, 0, 0.5};
  EXPECT_EQ(stopStatusOf([&] {
              buildPairTable({0, std::nan("")}, {0, 1}, PairDistance{0.5, 0, 1, false}, args);
            }),
            1);
  EXPECT_NE(out.find("female 2 for male 1 is not a number"), std::string::npos);
  EXPECT_NE(out.find("(condition matdistrib[distance(matdistrib.begin(), indxmaxpref)]== "
                     "sortmatdistrib[totpairs-1])"),
            std::string::npos);
}

}  // namespace
}  // namespace pairlab
