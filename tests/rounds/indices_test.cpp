#include "rounds/indices.hpp"

#include <gtest/gtest.h>

#include <boost/math/special_functions/gamma.hpp>
#include <cmath>
#include <functional>
#include <limits>

#include "support/diagnostics.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::readFile;
using testing::writeFile;

struct Stopped {
  int status = -1;
  std::string output;
};

// Runs f, which must stop the run, and returns its status and standard output.
Stopped expectStop(const std::function<void()>& f) {
  Stopped result;
  ::testing::internal::CaptureStdout();
  try {
    f();
    ADD_FAILURE() << "the run was not stopped";
  } catch (const pairlab::Stop& stop) {
    reportStop(stop);
    result.status = stop.status;
  }
  result.output = ::testing::internal::GetCapturedStdout();
  return result;
}

TEST(ChiSquare, LnGammaAgreesWithTheLibrary) {
  for (double a = 0.05; a < 2e5; a *= 1.37)
    EXPECT_NEAR(lnGamma(a), std::lgamma(a), 2e-10 * std::max(1.0, std::fabs(std::lgamma(a))))
        << "a = " << a;
}

// Q(df / 2, x / 2) over statistics well below, around and well above the degrees of freedom,
// which takes both the series (x/2 < df/2 + 1) and the continued fraction.
TEST(ChiSquare, PValuesAgreeWithBoostIncompleteGamma) {
  for (int df : {1, 2, 3, 4, 5, 7, 10, 15, 24, 50, 99, 200, 1000, 5000}) {
    for (double ratio : {0.01, 0.1, 0.3, 0.6, 0.9, 0.99, 1.0, 1.01, 1.1, 1.5, 2.0, 3.0, 6.0}) {
      for (double shift : {-1e-9, 0.0, 1e-9, 2.0}) {
        const double x = df * ratio + shift;
        if (x <= 0.0) continue;
        const double expected = boost::math::gamma_q(df * 0.5, x * 0.5);
        EXPECT_NEAR(getChiPval(x, df), expected, 1e-9 * std::max(expected, 1e-6))
            << "x = " << x << ", df = " << df;
      }
    }
  }
}

TEST(ChiSquare, TheBoundaryBelongsToTheContinuedFraction) {
  for (int df : {1, 4, 30}) {
    const double a = df * 0.5;
    const double boundary = 2.0 * (a + 1.0);  // x / 2 == a + 1
    double viaFraction = 0.0, viaSeries = 0.0, gln = 0.0;
    gcf(viaFraction, a, boundary * 0.5, gln);
    EXPECT_EQ(getChiPval(boundary, df), viaFraction);
    const double below = std::nextafter(boundary, 0.0);
    gser(viaSeries, a, below * 0.5, gln);
    EXPECT_EQ(getChiPval(below, df), 1.0 - viaSeries);
    EXPECT_NEAR(viaFraction, 1.0 - viaSeries, 1e-10);
  }
}

TEST(ChiSquare, SpecialStatistics) {
  EXPECT_EQ(getChiPval(0.0, 3), 1.0);
  EXPECT_EQ(getChiPval(0.0, 0), 1.0);  // before any check of the degrees of freedom
  EXPECT_EQ(getChiPval(-0.0, -2), 1.0);
  EXPECT_EQ(getChiPval(std::numeric_limits<double>::infinity(), 3), 0.0);
  EXPECT_TRUE(std::isnan(getChiPval(std::nan(""), 3)));
  EXPECT_NEAR(getChiPval(3.841458820694124, 1), 0.05, 1e-12);  // the textbook 5% point
}

class ChiSquareStops : public InTempDir {};

TEST_F(ChiSquareStops, InvalidArgumentsStopWithStatus11AndTruncateTheLog) {
  writeFile("Pairlab_ERROR.log", "an earlier error\n");
  Stopped s = expectStop([] { getChiPval(3.0, 0); });
  EXPECT_EQ(s.status, 11);
  EXPECT_EQ(s.output, "x: 1.5 a: 0\n");
  EXPECT_EQ(readFile("Pairlab_ERROR.log"), "Invalid arguments in gammq\n");
  EXPECT_EQ(expectStop([] { getChiPval(-1.0, 4); }).output, "x: -0.5 a: 2\n");
  // A NaN statistic is still checked against its degrees of freedom.
  EXPECT_EQ(expectStop([] { getChiPval(std::nan(""), -1); }).status, 11);
}

TEST_F(ChiSquareStops, SeriesAndContinuedFractionStops) {
  double result = 0.0, gln = 0.0;
  Stopped s = expectStop([&] { gser(result, 2.0, -1.0, gln); });
  EXPECT_EQ(s.status, 8);
  EXPECT_EQ(readFile("Pairlab_ERROR.log"), "x less than 0 in gser\n");
  s = expectStop([&] { gser(result, 1e9, 1e9, gln); });
  EXPECT_EQ(s.status, 9);
  EXPECT_EQ(s.output, "a too large, ITMAX too small in routine gser x = 1e+09\n");
  EXPECT_EQ(readFile("Pairlab_ERROR.log"), s.output);
  s = expectStop([&] { gcf(result, 1e9, 1e9, gln); });
  EXPECT_EQ(s.status, 7);
  EXPECT_EQ(s.output, "a too large, ITMAX too small in routine gcf x = 1e+09\n");
  gser(result, 2.0, 0.0, gln);
  EXPECT_EQ(result, 0.0);
}

TEST(JDivergence, CellsEmptyInOneOrBothTables) {
  EXPECT_EQ(jDivergence(std::vector<double>{0.5, 0.5}, std::vector<double>{0.5, 0.5}), 0.0);
  EXPECT_DOUBLE_EQ(jDivergence(std::vector<double>{0.8, 0.2}, std::vector<double>{0.5, 0.5}),
                   0.3 * std::log(1.6) - 0.3 * std::log(0.4));
  EXPECT_EQ(jDivergence(std::vector<double>{0.0, 1.0}, std::vector<double>{0.0, 1.0}), 0.0);
  EXPECT_EQ(jDivergence(std::vector<double>{-0.0, 1.0}, std::vector<double>{0.0, 1.0}), 0.0);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(jDivergence(std::vector<double>{0.5, 0.5}, std::vector<double>{0.0, 1.0}), inf);
  EXPECT_EQ(jDivergence(std::vector<double>{0.5, 0.5}, std::vector<double>{-0.0, 1.0}), inf);
  EXPECT_EQ(jDivergence(std::vector<double>{0.0, 1.0}, std::vector<double>{0.5, 0.5}), inf);
}

// Tables of a 2 x 2 sample of n = 100 whose expectations are all uniform.
MatingTables uniformExpectations(const Matrix& P) {
  MatingTables t;
  t.P = P;
  t.Q0 = t.S = t.QR = t.PR = {{0.25, 0.25}, {0.25, 0.25}};
  t.A1 = t.B1 = t.A2 = t.B2 = {0.5, 0.5};
  return t;
}

TEST(Indices, SampleEqualToTheExpectationShowsNoDeparture) {
  SignificanceTallies tallies{};
  ReplicateIndices r = computeIndices(uniformExpectations({{0.25, 0.25}, {0.25, 0.25}}));
  testIndices(r, 100, 2, 2, 0.05, tallies);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(r.total[k], 0.0);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(r.round[k], 0.0);
  for (double p : r.roundPval) EXPECT_EQ(p, 1.0);
  for (double p : r.totalPval) EXPECT_EQ(p, 1.0);
  EXPECT_EQ(r.E0R, 0.0);
  EXPECT_EQ(tallies, SignificanceTallies{});
}

// Assortative pairs on uniform margins: total and isolation depart, selection does not, so the
// components of selection by sex are not tested however large they are.
TEST(Indices, ComponentsAreTestedOnlyWhenTheirTotalIsSignificant) {
  MatingTables t = uniformExpectations({{0.4, 0.1}, {0.1, 0.4}});
  t.B1 = {0.9, 0.1};
  SignificanceTallies tallies{};
  ReplicateIndices r = computeIndices(t);
  testIndices(r, 100, 2, 2, 0.05, tallies);
  const double isolation = 0.3 * std::log(4.0);
  EXPECT_NEAR(r.total[ReplicateIndices::Jpti], isolation, 1e-15);
  EXPECT_NEAR(r.total[ReplicateIndices::Jpsi], isolation, 1e-15);
  EXPECT_EQ(r.total[ReplicateIndices::Jpss], 0.0);
  EXPECT_GT(r.round[ReplicateIndices::JRps1], 0.5);
  EXPECT_NEAR(r.roundPval[ReplicateIndices::JRpti], getChiPval(100 * isolation, 3), 1e-15);
  EXPECT_LT(r.roundPval[ReplicateIndices::JRpsi], 1e-6);
  EXPECT_EQ(r.roundPval[ReplicateIndices::JRpss], 1.0);
  EXPECT_EQ(r.roundPval[ReplicateIndices::JRps1], 1.0);  // large, but not tested
  EXPECT_EQ(tallies, (SignificanceTallies{1, 1, 0, 0, 0, 1, 1, 0}));
  EXPECT_NEAR(r.E0R, 0.0, 1e-15);

  // Not significant at all: nothing else is tested and nothing is tallied.
  SignificanceTallies none{};
  ReplicateIndices weak = computeIndices(uniformExpectations({{0.26, 0.24}, {0.24, 0.26}}));
  testIndices(weak, 100, 2, 2, 0.05, none);
  EXPECT_GT(weak.roundPval[0], 0.05);
  EXPECT_EQ(weak.roundPval[1], 1.0);
  EXPECT_GT(weak.round[1], 0.0);
  EXPECT_EQ(none, SignificanceTallies{});
}

TEST(Indices, APValueEqualToTheLevelIsSignificant) {
  ReplicateIndices r = computeIndices(uniformExpectations({{0.35, 0.15}, {0.15, 0.35}}));
  const double p = getChiPval(100 * r.total[ReplicateIndices::Jpti], 3);
  SignificanceTallies atLevel{}, belowLevel{};
  testIndices(r, 100, 2, 2, p, atLevel);
  EXPECT_EQ(atLevel[0], 1.0);
  EXPECT_EQ(atLevel[5], 1.0);
  testIndices(r, 100, 2, 2, std::nextafter(p, 0.0), belowLevel);
  EXPECT_EQ(belowLevel[0], 0.0);
  EXPECT_EQ(belowLevel[5], 0.0);
}

class OneFemaleType : public InTempDir {};

TEST_F(OneFemaleType, SelectionOnFemalesIsZeroAndIsolationCannotBeTested) {
  MatingTables t;
  t.P = {{0.8, 0.2}};
  t.Q0 = t.QR = {{0.5, 0.5}};
  t.S = t.PR = {{0.8, 0.2}};
  t.A1 = t.B1 = {1.0};
  t.A2 = {0.5, 0.5};
  t.B2 = {0.8, 0.2};
  SignificanceTallies tallies{};
  ReplicateIndices r = computeIndices(t);
  testIndices(r, 100, 1, 2, 0.05, tallies);
  EXPECT_EQ(r.round[ReplicateIndices::JRps1], 0.0);
  EXPECT_EQ(r.roundPval[ReplicateIndices::JRps1], 1.0);
  EXPECT_EQ(r.roundPval[ReplicateIndices::JRpsi], 1.0);  // a statistic of 0 with 0 df

  // A non-zero statistic with 0 degrees of freedom stops the run.
  t.PR = {{0.7, 0.3}};
  ReplicateIndices broken = computeIndices(t);
  EXPECT_EQ(expectStop([&] { testIndices(broken, 100, 1, 2, 0.05, tallies); }).status, 11);
}

}  // namespace
}  // namespace pairlab
