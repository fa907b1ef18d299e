#include "discrete/datafiles.hpp"

#include <gtest/gtest.h>

#include <numeric>

#include "discrete/frequencies.hpp"
#include "support/diagnostics.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::linesFrom;

DiscretePopulation uniformPopulation(int nfem, int nmale, int k1 = 2, int k2 = 2) {
  DiscretePopulation pop;
  pop.nfem = nfem;
  pop.nmale = nmale;
  pop.femaleNumbers = uniformNumbers(k1, nfem);
  pop.maleNumbers = uniformNumbers(k2, nmale);
  pop.p1 = frequenciesOf(pop.femaleNumbers, nfem);
  pop.p2 = frequenciesOf(pop.maleNumbers, nmale);
  return pop;
}

double total(const Matrix& m) {
  double t = 0;
  for (const auto& row : m) t = std::accumulate(row.begin(), row.end(), t);
  return t;
}

TEST(WithReplacement, GivesTheExpectedMatings) {
  const DiscretePopulation pop = uniformPopulation(250, 250);
  Matrix matings(2, std::vector<double>(2, 0.0));
  expectedMatings(pop, {{1, 1}, {1, 1}}, 1.0, 100, matings);
  EXPECT_EQ(matings, (Matrix{{25, 25}, {25, 25}}));
  // Model 8 with a = 2, b = 3: weights 6 2 / 1 3, mean propensity 3.
  expectedMatings(pop, {{6, 2}, {1, 3}}, 3.0, 120, matings);
  EXPECT_EQ(matings, (Matrix{{60, 20}, {10, 30}}));
}

TEST(IndividualEncounters, CollectExactlyTheTargetAndNoTypeBeyondItsNumbers) {
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    Random rng(seed);
    const DiscretePopulation pop = uniformPopulation(100, 120);
    Matrix matings(2, std::vector<double>(2, 0.0));
    individualEncounters(pop, {{4, 1}, {1, 4}}, 2.5, 100, matings, rng);
    EXPECT_EQ(total(matings), 100.0);
    for (int f = 0; f < 2; ++f) EXPECT_LE(matings[f][0] + matings[f][1], 50.0);
  }
}

TEST(IndividualEncounters, UseThreeDrawsPerEncounter) {
  // With random mating every encounter mates: n matings take exactly 3n uniform draws.
  Random rng(4), copy(4);
  const DiscretePopulation pop = uniformPopulation(250, 250);
  Matrix matings(2, std::vector<double>(2, 0.0));
  individualEncounters(pop, {{1, 1}, {1, 1}}, 1.0, 50, matings, rng);
  for (int i = 0; i < 150; ++i) copy.u();
  EXPECT_TRUE(rng == copy);
}

class EncounterStops : public InTempDir {};

TEST_F(EncounterStops, AMeanPropensityOfZeroAfterAMatingStops) {
  // Only female type 0 can mate and only two of them exist: the third mating is impossible.
  DiscretePopulation pop;
  pop.nfem = pop.nmale = 10;
  pop.femaleNumbers = {2, 8};
  pop.maleNumbers = {5, 5};
  pop.p1 = {0.2, 0.8};
  pop.p2 = {0.5, 0.5};
  Matrix matings(2, std::vector<double>(2, 0.0));
  Random rng(1);
  ::testing::internal::CaptureStdout();
  try {
    individualEncounters(pop, {{1, 1}, {0, 0}}, 0.2, 5, matings, rng);
    FAIL();
  } catch (const Stop& stop) {
    reportStop(stop);
    EXPECT_EQ(stop.status, 1);
  }
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("(condition M>0)"), std::string::npos);
  EXPECT_EQ(total(matings), 2.0);
}

TEST(MassEncounters, RandomMatingCompletesInTheFirstRound) {
  Random rng(2), copy(2);
  const DiscretePopulation pop = uniformPopulation(250, 250);
  Matrix matings(2, std::vector<double>(2, 0.0));
  const MassOutcome outcome = massEncounters(pop, {{1, 1}, {1, 1}}, 1.0, 100, 100, matings, rng);
  EXPECT_TRUE(outcome.complete);
  EXPECT_EQ(total(matings), 100.0);
  // 100 female and 100 male choices (one draw each: no type runs out), then 100 mating draws.
  for (int i = 0; i < 300; ++i) copy.u();
  EXPECT_TRUE(rng == copy);
}

TEST(MassEncounters, RoundsOfTwoCollectTheSample) {
  Random rng(3);
  const DiscretePopulation pop = uniformPopulation(250, 250);
  Matrix matings(2, std::vector<double>(2, 0.0));
  EXPECT_TRUE(massEncounters(pop, {{3, 1}, {1, 3}}, 2.0, 100, 2, matings, rng).complete);
  EXPECT_EQ(total(matings), 100.0);
}

TEST(MassEncounters, EndIncompleteWhenNoRemainingPairCanMate) {
  // The frequencies say type 0 exists but its pool is empty; type 1 cannot mate at all.
  DiscretePopulation pop;
  pop.nfem = pop.nmale = 10;
  pop.femaleNumbers = {0, 10};
  pop.maleNumbers = {5, 5};
  pop.p1 = {0.5, 0.5};
  pop.p2 = {0.5, 0.5};
  Matrix matings(2, std::vector<double>(2, 0.0));
  Random rng(5);
  const MassOutcome outcome = massEncounters(pop, {{1, 1}, {0, 0}}, 0.5, 5, 10, matings, rng);
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(total(matings), 0.0);
  EXPECT_EQ(outcome.lastPropensity, 0.0);
}

TEST(MassEncounters, EndIncompleteAfterEveryPossibleEncounter) {
  // 2 females and 2 males, rounds of 1: four encounters exhaust nfem x nmale.
  DiscretePopulation pop;
  pop.nfem = pop.nmale = 2;
  pop.femaleNumbers = {1, 1};
  pop.maleNumbers = {1, 1};
  pop.p1 = pop.p2 = {0.5, 0.5};
  Matrix matings(2, std::vector<double>(2, 0.0));
  Random rng(6);
  const MassOutcome outcome =
      massEncounters(pop, {{1e-300, 1e-300}, {1e-300, 1e-300}}, 1.0, 2, 1, matings, rng);
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(total(matings), 0.0);
}

class Writer : public InTempDir {};

TEST_F(Writer, FormatZeroWritesOneNumberOfTypes) {
  writediscretemodel("f.txt", "Pairlab", "", 0, {125, 125}, {125, 125}, {{25, 25}, {25, 25}});
  EXPECT_EQ(linesFrom("f.txt", 11),
            (std::vector<std::string>{
                "##", "# format number", "0", "# num of types", "2", "#premating male numbers",
                "125.0\t125.0\t", "#premating female numbers", "125.0\t125.0\t",
                "# matings by rows (females)", "25.0\t25.0\t", "25.0\t25.0\t"}));
  EXPECT_EQ(testing::readFile("f.txt").back(), '\n');
}

TEST_F(Writer, FormatsTwoAndFifteenWriteBothNumbersOfTypes) {
  writediscretemodel("f.txt", "Pairlab", "", 2, {250.0 / 3, 250.0 / 3, 250.0 - 2 * 250.0 / 3},
                     {100, 150}, {{1, 2}, {3, 4}, {5, 6.25}});
  EXPECT_EQ(linesFrom("f.txt", 12),
            (std::vector<std::string>{
                "# format number", "2", "# num of types", "3\t2", "#premating male numbers",
                "100.0\t150.0\t", "#premating female numbers", "83.3\t83.3\t83.3\t",
                "# matings by rows (females)", "1.0\t2.0\t", "3.0\t4.0\t", "5.0\t6.2\t"}));
  writediscretemodel("g.txt", "Pairlab", "", 15, {0.5, 0.5}, {0.5, 0.5}, {{1, 2}, {3, 4}});
  EXPECT_EQ(linesFrom("g.txt", 14)[1], "2\t2");
}

TEST_F(Writer, OtherFormatsLeaveTheNumberOfTypesOut) {
  writediscretemodel("f.txt", "Pairlab", "", 7, {1, 1}, {1, 1}, {{1, 2}, {3, 4}});
  const auto lines = linesFrom("f.txt", 12);
  EXPECT_EQ(lines[2], "# num of types");
  EXPECT_EQ(lines[3], "#premating male numbers");
}

}  // namespace
}  // namespace pairlab
