#include "discrete/frequencies.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <tuple>

#include "support/diagnostics.hpp"
#include "support/test_helpers.hpp"
#include "support/text.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::readFile;
using testing::writeFile;
using Vec = std::vector<double>;

double sum(const Vec& v) { return std::accumulate(v.begin(), v.end(), 0.0); }

TEST(Composition, UniformTypesShareThePopulationUnrounded) {
  EXPECT_EQ(uniformNumbers(2, 250), (Vec{125.0, 125.0}));
  const Vec three = uniformNumbers(3, 250);
  EXPECT_DOUBLE_EQ(three[0], 250.0 / 3);
  EXPECT_DOUBLE_EQ(three[1], 250.0 / 3);
  EXPECT_DOUBLE_EQ(three[2], 250.0 - (250.0 / 3 + 250.0 / 3));
  EXPECT_EQ(uniformNumbers(1, 7), (Vec{7.0}));
  EXPECT_EQ(frequenciesOf({125.0, 125.0}, 250), (Vec{0.5, 0.5}));
}

TEST(Composition, UserFrequenciesRoundHalfAwayFromZeroAndTheLastTakesTheRest) {
  EXPECT_EQ(userNumbers({0.3, 0.7}, 250), (Vec{75.0, 175.0}));
  EXPECT_EQ(userNumbers({0.25, 0.25, 0.5}, 10), (Vec{3.0, 3.0, 4.0}));  // 2.5 rounds to 3
}

TEST(Composition, RandomPartitionOfTwoTypesKeepsBothWithinTheMinimumShare) {
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    Random rng(seed);
    const Vec numbers = randomPartition(2, 250, 0.2, rng);
    EXPECT_EQ(sum(numbers), 250.0);
    for (double n : numbers) {
      EXPECT_GE(n, 50.0);  // round(u * 250) with u in [0.2, 0.8]
      EXPECT_LE(n, 200.0);
    }
  }
}

TEST(Composition, RandomPartitionAlwaysPlacesEveryone) {
  for (std::uint64_t seed = 1; seed <= 100; ++seed) {
    Random rng(seed);
    const Vec numbers = randomPartition(6, 300, 0.05, rng);
    EXPECT_EQ(sum(numbers), 300.0);
    for (double n : numbers) EXPECT_GE(n, 0.0);
  }
  Random rng(1);
  EXPECT_EQ(randomPartition(1, 9, 0.1, rng), (Vec{9.0}));
}

class Partition : public InTempDir {};

TEST_F(Partition, NoRoomForADrawStopsBeforeDrawing) {
  Random rng(1);
  const Random untouched(1);
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(randomPartition(2, 250, 0.5, rng));
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("-MPF below 0.5"), std::string::npos);
  EXPECT_TRUE(rng == untouched);
}

TEST(Drift, UniformPassesPlaceExactlyN) {
  for (std::uint64_t seed = 1; seed <= 50; ++seed) {
    Random rng(seed);
    EXPECT_EQ(sum(driftUniformNumbers(3, 250, rng)), 250.0);
  }
}

TEST(Drift, UniformPassesMakeOneDrawPerVisitedType) {
  // With one type every draw below 1 places an individual: n draws for n individuals.
  Random rng(3), copy(3);
  driftUniformNumbers(1, 10, rng);
  for (int i = 0; i < 10; ++i) copy.u();
  EXPECT_TRUE(rng == copy);
}

TEST(Drift, UserFrequenciesPlaceExactlyN) {
  Random rng(5);
  const Vec numbers = driftUserNumbers({0.2, 0.3, 0.5}, 400, rng);
  EXPECT_EQ(sum(numbers), 400.0);
  // A draw beyond frequencies that fall short of 1 is redone, never placed.
  Random rng2(6);
  EXPECT_EQ(sum(driftUserNumbers({0.1, 0.1}, 50, rng2)), 50.0);
}

TEST(TypeDraw, FindsTheIntervalHoldingTheDraw) {
  const Vec f{0.2, 0.0, 0.5, 0.3};
  EXPECT_EQ(findType(f, 0.0), 0);
  EXPECT_EQ(findType(f, 0.1999), 0);
  EXPECT_EQ(findType(f, 0.2), 2);  // the empty interval of type 1 holds nothing
  EXPECT_EQ(findType(f, 0.7), 3);
  EXPECT_EQ(findType({0.5, 0.4999}, 0.99995), -1);
}

TEST(TypeDraw, ADrawBeyondTheLastIntervalTakesTheLastTypeWithAPositiveFrequency) {
  // Frequencies summing to 0.3: nearly every draw falls beyond them.
  Random rng(11);
  for (int i = 0; i < 50; ++i) {
    const int t = drawType({0.1, 0.2, 0.0}, rng);
    EXPECT_TRUE(t == 0 || t == 1);
  }
  Random rng2(12);
  int last = 0;
  for (int i = 0; i < 50; ++i) last += drawType({0.0, 0.1, 0.0}, rng2) == 1;
  EXPECT_EQ(last, 50);
}

TEST(Roulette, ChoosesWithoutReplacement) {
  Random rng(7);
  Vec pool{3.0, 2.0};
  std::vector<int> chosen;
  roulette(5, {0.5, 0.5}, pool, chosen, rng);
  EXPECT_EQ(std::count(chosen.begin(), chosen.end(), 0), 3);
  EXPECT_EQ(std::count(chosen.begin(), chosen.end(), 1), 2);
  EXPECT_EQ(pool, (Vec{0.0, 0.0}));
}

TEST(Roulette, AFractionalPoolCanBeChosenOnceMoreAndGoesNegative) {
  Random rng(8);
  Vec pool{0.5, 0.0};
  std::vector<int> chosen;
  roulette(1, {1.0, 0.0}, pool, chosen, rng);
  EXPECT_EQ(chosen, (std::vector<int>{0}));
  EXPECT_EQ(pool[0], -0.5);
}

TEST(Roulette, RedrawsTypesWithoutIndividuals) {
  Random rng(9);
  Vec pool{0.0, 4.0};
  std::vector<int> chosen;
  roulette(4, {0.9, 0.1}, pool, chosen, rng);
  EXPECT_EQ(chosen, (std::vector<int>(4, 1)));
}

TEST(Roulette, ReachableTypes) {
  EXPECT_EQ(rouletteReachable({0.5, 0.5}, {1.0, 1.0}), (std::vector<bool>{true, true}));
  EXPECT_EQ(rouletteReachable({0.5, 0.5}, {0.0, 1.0}), (std::vector<bool>{false, true}));
  EXPECT_EQ(rouletteReachable({1.0, 0.0}, {1.0, 5.0}), (std::vector<bool>{true, false}));
  // A type without individuals whose interval reaches 1 ends the walk: a later type whose
  // interval it covers can never be chosen.
  EXPECT_EQ(rouletteReachable({1.2, -0.3, 0.1}, {0.0, 0.0, 2.0}),
            (std::vector<bool>{false, false, false}));
}

class RouletteGuards : public InTempDir {};

TEST_F(RouletteGuards, AskingForMoreThanThePoolHoldsStops) {
  Random rng(1);
  Vec pool{1.0, 1.0};
  std::vector<int> chosen;
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(roulette(3, {0.5, 0.5}, pool, chosen, rng));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("condition n<=pool"), std::string::npos);
}

TEST_F(RouletteGuards, APoolThatNoDrawCanReachStopsInsteadOfLooping) {
  Random rng(1);
  Vec pool{0.0, 0.0, 2.0};
  std::vector<int> chosen;
  ::testing::internal::CaptureStdout();
  EXPECT_STOPS(roulette(1, {1.2, -0.3, 0.1}, pool, chosen, rng));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("condition pool>0"), std::string::npos);
}

class UserFreqs : public InTempDir {
 protected:
  void read(int k1, int k2, double mpf = 0.1) {
    p1.assign(k1, 0.0);
    p2.assign(k2, 0.0);
    ::testing::internal::CaptureStdout();
    try {  // read and reported as a run does
      RunOutput output;
      reportUserFreqs("PairlabUserFreqs.txt",
                      ReadUserFreqs("", "PairlabUserFreqs.txt", k1, k2, p1, p2, mpf), mpf, output);
    } catch (const Stop& stop) {
      reportStop(stop);
      printed = ::testing::internal::GetCapturedStdout();
      throw;
    }
    printed = ::testing::internal::GetCapturedStdout();
  }
  Vec p1, p2;
  std::string printed;
};

TEST_F(UserFreqs, ReadsFemaleThenMaleLines) {
  writeFile("PairlabUserFreqs.txt",
            "# female frequencies, then male frequencies\n0.3 0.7\n\n 0.2,0.3;0.5\n9 9 9\n");
  read(2, 3);
  EXPECT_EQ(p1, (Vec{0.3, 0.7}));
  EXPECT_EQ(p2, (Vec{0.2, 0.3, 0.5}));
  EXPECT_EQ(printed, "\nReading file PairlabUserFreqs.txt\n");
  EXPECT_FALSE(std::filesystem::exists("Pairlab.err"));
}

TEST_F(UserFreqs, FrequenciesAreKeptWithinTheMinimumShare) {
  writeFile("PairlabUserFreqs.txt", "0.05 0.95\n0.5 0.5\n");
  read(2, 2);
  EXPECT_EQ(p1, (Vec{0.1, 0.9}));
}

TEST_F(UserFreqs, SumsOffOneAreCorrectedWithAWarning) {
  writeFile("PairlabUserFreqs.txt", "0.2 0.2\n0.5 0.5\n");
  read(2, 2);
  EXPECT_DOUBLE_EQ(p1[1], 0.8);
  const std::string warning =
      "Warning: Female frequencies do not sum up to 1 in PairlabUserFreqs.txt. The last "
      "frequency has been updated to 0.8\n";
  EXPECT_NE(printed.find(warning + "\n"), std::string::npos);
  EXPECT_EQ(readFile("Pairlab.err"), warning + "\n");
}

TEST_F(UserFreqs, ASingleTypeHasFrequencyOne) {
  writeFile("PairlabUserFreqs.txt", "0.3\n0.5 0.5\n");
  read(1, 2);
  EXPECT_EQ(p1, (Vec{1.0}));
}

// The reader returns every frequency it moved into [MPF, 1 - MPF], for the run to report.
TEST_F(UserFreqs, FrequenciesMovedIntoRangeAreReturned) {
  writeFile("PairlabUserFreqs.txt", "# moved\n0.05 0.95\n-0.2 0.5 0.4\n");
  p1.assign(2, 0.0);
  p2.assign(3, 0.0);
  ::testing::internal::CaptureStdout();
  const std::vector<MovedFrequency> moved =
      ReadUserFreqs("", "PairlabUserFreqs.txt", 2, 3, p1, p2, 0.1);
  ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(moved.size(), 3u);
  const auto same = [](const MovedFrequency& a, const MovedFrequency& b) {
    return a.male == b.male && a.type == b.type && a.line == b.line && a.read == b.read &&
           a.used == b.used;
  };
  EXPECT_TRUE(same(moved[0], {false, 0, 2, 0.05, 0.1}));
  EXPECT_TRUE(same(moved[1], {false, 1, 2, 0.95, 0.9}));
  EXPECT_TRUE(same(moved[2], {true, 0, 3, -0.2, 0.1}));
  EXPECT_EQ(movedFrequencyNote("PairlabUserFreqs.txt", moved[1], 0.1),
            "Note: user file PairlabUserFreqs.txt line 2, female type 2: the frequency 0.95 is "
            "used as 0.9 (frequencies are kept within [MPF, 1 - MPF] = [0.1, 0.9])");
  writeFile("PairlabUserFreqs.txt", "0.05\n0.2 0.3 0.5\n");  // a single type is not moved
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(ReadUserFreqs("", "PairlabUserFreqs.txt", 1, 3, p1, p2, 0.1).size(), 0u);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(p1, (Vec{1.0}));
}

// k frequencies of at least MPF sum to more than 1 when MPF x k > 1: no file can meet it.
TEST_F(UserFreqs, AnMPFThatNoCompositionOfTheTypesCanMeetStops) {
  writeFile("PairlabUserFreqs.txt", "0.5 0.5\n0.3 0.3 0.4\n");
  EXPECT_NO_THROW(read(2, 3, 1.0 / 3));
  for (const auto& [k1, k2, mpf] : {std::tuple{2, 3, 0.34}, {3, 2, 0.4}, {2, 2, 0.6}}) {
    try {
      read(k1, k2, mpf);
      ADD_FAILURE() << mpf;
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.status, 1);
      EXPECT_EQ(printed.rfind("\n-MPF " + NtoS(mpf) + " cannot be met by the ", 0), 0u) << printed;
    }
  }
  writeFile("PairlabUserFreqs.txt", "1\n0.2 0.8\n");
  read(1, 2, 0.5);  // a single type has frequency 1 whatever MPF is
  EXPECT_EQ(p1, (Vec{1.0}));
  EXPECT_EQ(p2, (Vec{0.5, 0.5}));
}

TEST_F(UserFreqs, AWrongNumberOfValuesStopsWithTheCountAsStatus) {
  writeFile("PairlabUserFreqs.txt", "0.2 0.3 0.5\n0.5 0.5\n");
  try {
    read(2, 2);
    FAIL();
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 3);
  }
  EXPECT_EQ(readFile("Pairlab.err"),
            "Wrong number of female types in user file PairlabUserFreqs.txt\n\n");
  writeFile("PairlabUserFreqs.txt", "0.5 0.5\n1\n");
  EXPECT_THROW(read(2, 2), Stop);
  EXPECT_NE(printed.find("Wrong number of male types in user file PairlabUserFreqs.txt"),
            std::string::npos);
}

TEST_F(UserFreqs, ACorrectedLastFrequencyOfZeroOrLessStops) {
  writeFile("PairlabUserFreqs.txt", "# comment\n0.5 0.5\n0.9 0.9 0.9\n");
  try {
    read(2, 3);
    FAIL();
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
  }
  EXPECT_NE(printed.find("Wrong male frequencies in user file PairlabUserFreqs.txt line 3: the "
                         "last frequency becomes -0.8"),
            std::string::npos);
}

TEST_F(UserFreqs, AMissingFileThrowsItsPath) {
  p1.assign(2, 0.0);
  p2.assign(2, 0.0);
  try {
    ReadUserFreqs("", "PairlabUserFreqs.txt", 2, 2, p1, p2, 0.1);
    FAIL();
  } catch (const Stop& e) {
    EXPECT_EQ(e.message, "Could not open file: PairlabUserFreqs.txt");
  }
}

// The types a type draw can return, which decide whether a round of encounters can still end.
TEST(TypeDraw, ReachableTypes) {
  using Reach = std::vector<bool>;
  EXPECT_EQ(drawTypeReachable({0.5, 0.5}), (Reach{true, true}));
  EXPECT_EQ(drawTypeReachable({0.0, 1.0, 0.0}), (Reach{false, true, false}));
  // A negative frequency pulls the next interval back under earlier ones.
  EXPECT_EQ(drawTypeReachable({0.5, -0.2, 0.1, 0.6}), (Reach{true, false, false, true}));
  // Draws beyond every interval select the last type with a positive frequency.
  EXPECT_EQ(drawTypeReachable({0.3, 0.3, 0.0}), (Reach{true, true, false}));
  EXPECT_EQ(drawTypeReachable({0.0, 0.0}), (Reach{true, false}));
}

// Both reachability sets against the draws themselves: what a draw selects changes only where u
// passes a sum of frequencies, so the draws u = 0 and u = every such sum in [0, 1) see every type
// a draw can select. Frequencies as the rounds leave them (counts / left, the last type taking
// 1 minus the others), with zeros, gaps, overshoots and negative entries.
TEST(TypeDraw, ReachableTypesAreThoseSomeDrawSelects) {
  std::mt19937_64 bits(5);
  const double parts[] = {0.0, 0.0, 0.1, 0.25, 0.3, 0.5, 1.0 / 3.0, 0.7, 1.0, -0.2, -1e-17, 1e-17};
  for (int trial = 0; trial < 20000; ++trial) {
    const std::size_t k = 1 + bits() % 5;
    Vec freqs(k), pool(k), counts(k);
    for (std::size_t t = 0; t < k; ++t) {
      counts[t] = static_cast<double>(bits() % 4);
      freqs[t] = parts[bits() % std::size(parts)];
      pool[t] = static_cast<double>(bits() % 3);
    }
    const int left = static_cast<int>(std::accumulate(counts.begin(), counts.end(), 0.0));
    if (trial % 2 == 0 && left > 0) refreshFrequencies(freqs, counts, left);
    int beyond = 0;  // the type a draw beyond every interval selects
    for (int t = static_cast<int>(k) - 1; t > 0 && beyond == 0; --t)
      if (freqs[t] > 0.0) beyond = t;
    std::vector<double> draws{0.0};
    double sum = 0.0;
    for (double f : freqs) draws.push_back(sum += f);
    std::vector<bool> byDraw(k, false), byRoulette(k, false);
    for (double u : draws) {
      if (!(u >= 0.0 && u < 1.0)) continue;
      const int t = findType(freqs, u);
      byDraw[t >= 0 ? t : beyond] = true;
      double cumulative = 0.0;  // the walk of a roulette draw
      for (std::size_t c = 0; c < k; ++c) {
        const double lo = cumulative;
        cumulative += freqs[c];
        if (!(lo <= u && u < cumulative)) continue;
        if (pool[c] > 0.0) {
          byRoulette[c] = true;
          break;
        }
        if (cumulative >= 1.0) break;
      }
    }
    ASSERT_EQ(drawTypeReachable(freqs), byDraw) << ::testing::PrintToString(freqs);
    ASSERT_EQ(rouletteReachable(freqs, pool), byRoulette)
        << ::testing::PrintToString(freqs) << ::testing::PrintToString(pool);
  }
}

}  // namespace
}  // namespace pairlab
