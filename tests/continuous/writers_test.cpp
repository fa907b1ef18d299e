#include "continuous/writers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::linesFrom;
using Vec = std::vector<double>;
using Lines = std::vector<std::string>;

std::string errorOf(const Vec& x, const Vec& y, bool adjusted, bool inverse = false) {
  std::array<double, 2> regression{};
  try {
    regcorrelxy(x, y, adjusted, inverse, regression);
  } catch (const Stop& error) {
    return error.message;
  }
  return "";
}

TEST(Regcorrelxy, PerfectLineGivesOneWithItsInterceptAndSlope) {
  std::array<double, 2> regression{};
  EXPECT_EQ(regcorrelxy({1, 2, 3, 4, 5}, {2, 4, 6, 8, 10}, false, false, regression), 1.0);
  EXPECT_EQ(regression[0], 0.0);
  EXPECT_EQ(regression[1], 2.0);
  EXPECT_EQ(regcorrelxy({1, 2, 3, 4, 5}, {2, 4, 6, 8, 10}, true, false, regression), 1.0);
}

TEST(Regcorrelxy, AdjustsTheCorrelationForSmallSamples) {
  std::array<double, 2> regression{};
  const Vec x{1, 2, 3, 4, 5, 6}, y{1, 3, 2, 5, 4, 6};
  const double r = regcorrelxy(x, y, false, false, regression);
  EXPECT_NEAR(r, 31.0 / 35.0, 1e-15);
  EXPECT_NEAR(regcorrelxy(x, y, true, false, regression), r * (1 + (1 - r * r) / 4), 1e-15);
  EXPECT_NEAR(regcorrelxy(x, y, true, false, regression), 0.933434, 1e-6);
}

TEST(Regcorrelxy, WithoutVariationTheCorrelationIsZero) {
  std::array<double, 2> regression{};
  EXPECT_EQ(regcorrelxy({1, 2, 3, 4, 5}, {3, 3, 3, 3, 3}, true, false, regression), 0.0);
  EXPECT_EQ(regcorrelxy({2, 2, 2, 2, 2}, {1, 2, 3, 4, 5}, true, false, regression), 0.0);
}

TEST(Regcorrelxy, EntriesWithoutATraitAreLeftOutAndMinus99IsATrait) {
  std::array<double, 2> regression{};
  // The pair without a trait does not count: the rest lie on y = x + 1, -99 included.
  EXPECT_EQ(
      regcorrelxy({1, 2, 50, 3, -100, 5}, {2, 3, kNoTrait, 4, -99, 6}, false, false, regression),
      1.0);
  EXPECT_EQ(regression[0], 1.0);
  EXPECT_EQ(errorOf({1, 2, 3, 4, 5, 6}, {1, kNoTrait, 2, 5, kNoTrait, 6}, true),
            "Too low sample size in regcorrelxy: 4");
  EXPECT_EQ(errorOf({1, 2}, {kNoTrait, kNoTrait}, false), "Too low sample size in regcorrelxy: 0");
}

TEST(Regcorrelxy, RejectsBadVectors) {
  EXPECT_EQ(errorOf({1, 2, 3}, {1, 2}, false), "Sample size different in regcorrelxy");
  EXPECT_EQ(errorOf({}, {}, false), "Empty vector in regcorrelxy");
  EXPECT_EQ(errorOf({1, 2, 0, 4, 5}, {1, 2, 3, 4, 5}, false, true),
            "division by 0 in inverse regression\n");
  EXPECT_EQ(errorOf({1, 2, std::nan(""), 4, 5}, {1, 2, 3, 4, 5}, false, true),
            "division by 0 in inverse regression\n");
  std::array<double, 2> regression{};
  // Inverse regression works on 1/x: y = 1/x exactly is a perfect line.
  EXPECT_NEAR(regcorrelxy({1, 2, 4, 5, 10}, {1, 0.5, 0.25, 0.2, 0.1}, false, true, regression), 1.0,
              1e-15);
}

class ContinuousWriters : public InTempDir {};

TEST_F(ContinuousWriters, DataFileListsThePairsAfterItsHeader) {
  const Vec x{0.5, 0.731, -99, 1, kNoTrait}, y{0.25, 1e-05, 2, 1234567, kNoTrait};
  writecontinuousmodel("data.txt", "Pairlab", "\nIncomplete sample\nlogit preference", true, false,
                       250, 251, x, y, 4);
  EXPECT_EQ(linesFrom("data.txt", 10),
            (Lines{"", "Preference function: ", "Incomplete sample", "logit preference", "",
                   "Encounter model: Indiv EM", "",
                   "Premating female numbers: 250. Premating "
                   "male numbers: 251",
                   "Sample size 4", "Matings", "Female\tMale", "0.5\t0.25", "0.731\t1e-05",
                   "-99\t2", "1\t1.23457e+06", ""}));
}

TEST_F(ContinuousWriters, DataFileStopsWhenItsPairsDoNotMakeTheSample) {
  ::testing::internal::CaptureStdout();
  try {
    writecontinuousmodel("data.txt", "Pairlab", "x", false, false, 5, 5, {1, kNoTrait, 3},
                         {1, 2, 3}, 3);
    ADD_FAILURE() << "no stop";
  } catch (const Stop& stop) {
    reportStop(stop);
    EXPECT_EQ(stop.status, 1);
  }
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Internal error in writecontinuousmodel"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists("data.txt"));  // a result file is whole or absent
  EXPECT_FALSE(std::filesystem::exists("data.txt.tmp"));
}

TEST_F(ContinuousWriters, CorrelationFileShowsAgesOnlyWhenBothArePositive) {
  writecorrelations("c.txt", "Pairlab", "Random mating Gaussian preference", true, true, 10, 12, 99,
                    {"P_1.txt", "P_2.txt", "P_3.txt"}, {0.5, -99, -0.25}, 3.5, 2);
  EXPECT_EQ(linesFrom("c.txt", 13),
            (Lines{"Encounter model: Mass EM", "",
                   "Premating female numbers: 10. Premating male numbers: 12.",
                   "Mean female age after the mating season: 3.5",
                   "Mean male age after the mating season: 2", "Mean sample size:\t99", "File\tRho",
                   "P_1.txt\t0.5", "P_3.txt\t-0.25", ""}));
  writecorrelations("c.txt", "Pairlab", "x", false, false, 10, 12, 0, {"P_1.txt"}, {-99}, 0, 0);
  EXPECT_EQ(linesFrom("c.txt", 15), (Lines{"Premating female numbers: 10. Premating male "
                                           "numbers: 12.",
                                           "Mean sample size:\t0", "File\tRho", ""}));
}

TEST_F(ContinuousWriters, PhenotypeFileListsFemalesThenMales) {
  writephenotypedistrib("p.txt", "Pairlab", 2, 1, {0, 0.125}, {1});
  EXPECT_EQ(
      linesFrom("p.txt", 2),
      (Lines{"", "------------------------------------------------", "Pairlab",
             "---------------------------------------------------------------------", "",
             "Pairlab: stochastic simulation of mate choice\t\t\t",
             "Documentation and citation: see README.md of the distribution\t\t\t\t",
             "---------------------------------------------------------------------", "",
             "Phenotypic distribution: ", "", "#females", "0", "0.125", "", "#males", "1", ""}));
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(writephenotypedistrib("p.txt", "Pairlab", 2, 2, {0, 1}, {1}));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("(unsigned)n2==p2.size()"),
            std::string::npos);
}

}  // namespace
}  // namespace pairlab
