#include "continuous/phenotypes.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::readFile;
using testing::writeFile;
using Vec = std::vector<double>;

Traits sized(int females, int males) {
  Traits traits;
  traits.female.assign(females, 0.0);
  traits.male.assign(males, 0.0);
  resetLimits(traits);
  return traits;
}

class UserPhenotypes : public InTempDir {
 protected:
  // Reads the file into a population of the given size; returns the stop status or -1.
  int read(const std::string& content, int females, int males) {
    writeFile(kUserPhenotypesFile, content);
    traits = sized(females, males);
    ::testing::internal::CaptureStdout();
    int status = -1;
    try {
      ReadUserPhenotypes("", kUserPhenotypesFile, females, males, traits.female, traits.femaleMin,
                         traits.femaleMax, traits.male, traits.maleMin, traits.maleMax);
    } catch (const Stop& stop) {
      reportStop(stop);
      status = stop.status;
    }
    out = ::testing::internal::GetCapturedStdout();
    return status;
  }
  Traits traits;
  std::string out;
};

TEST_F(UserPhenotypes, FemalesFirstThenMalesSkippingBlankAndCommentLines) {
  EXPECT_EQ(read("# two females, then two males\n  0.5\n\n1.25 \n3.2 # remark\n-0.3\n2\n", 2, 2),
            -1);
  EXPECT_EQ(out, "\nReading file PairlabUserPhenotypes.txt\n");
  EXPECT_EQ(traits.female, (Vec{0.5, 1.25}));
  EXPECT_EQ(traits.male, (Vec{-0.3, 2}));
  EXPECT_EQ(traits.femaleMin, 0.5);
  EXPECT_EQ(traits.femaleMax, 1.25);
  EXPECT_EQ(traits.maleMin, -0.3);
  EXPECT_EQ(traits.maleMax, 2);
  EXPECT_DOUBLE_EQ(traits.range(), 2.3);
}

TEST_F(UserPhenotypes, NegativeTraitsKeepTheirTrueMaximum) {
  EXPECT_EQ(read("-3\n-2.5\n-4\n-1.5\n", 2, 2), -1);
  EXPECT_EQ(traits.femaleMax, -2.5);
  EXPECT_EQ(traits.maleMax, -1.5);
  EXPECT_EQ(traits.range(), 2.5);
  EXPECT_EQ(traits.minimum(), -4);
}

TEST_F(UserPhenotypes, ALineMustHoldExactlyOneValue) {
  EXPECT_EQ(read("1\n# fine\n2\n1.5 2.5\n3\n", 2, 2), 2);
  EXPECT_EQ(out,
            "\nReading file PairlabUserPhenotypes.txt\n"
            "Wrong format in user phenotypes file PairlabUserPhenotypes.txt line 3\n\n");
  EXPECT_EQ(readFile(kErrorFile),
            "Wrong format in user phenotypes file PairlabUserPhenotypes.txt line 3\n\n");
  // A line of separators only holds no value at all: a format error too (status 0 exits 1).
  EXPECT_EQ(read("1\n,;\n2\n3\n", 2, 2), 0);
  EXPECT_NE(out.find("line 2\n"), std::string::npos);
  EXPECT_EQ(read("abc\n1\n2\n3\n", 2, 2), 1);  // not a number
  EXPECT_NE(out.find("line 1: \"abc\" is not a number"), std::string::npos);
}

TEST_F(UserPhenotypes, TheFileMustHoldThePopulationExactly) {
  const std::string tooFew =
      "Wrong number of phenotypes in user phenotypes file PairlabUserPhenotypes.txt: The number "
      "of phenotypes in the file (3) does not coincide with the population size (4). Check your "
      "argument -N (by default set to 500).\n\n";
  EXPECT_EQ(read("1\n2\n3\n", 2, 2), 1);
  EXPECT_NE(out.find(tooFew), std::string::npos);
  EXPECT_EQ(read("1\n2\n3\n4\n5\n", 2, 2), 1);
  EXPECT_NE(out.find("in the file (5) does not coincide"), std::string::npos);
  EXPECT_EQ(read("# nothing\n", 2, 2), 0);
}

TEST_F(UserPhenotypes, AMissingFileIsReportedByItsPath) {
  Traits t = sized(1, 1);
  try {
    ReadUserPhenotypes("", "missing.txt", 1, 1, t.female, t.femaleMin, t.femaleMax, t.male,
                       t.maleMin, t.maleMax);
    ADD_FAILURE() << "no error";
  } catch (const Stop& error) {
    EXPECT_EQ(error.message, "Could not open file: missing.txt");
  }
}

TEST(TraitDraws, MixtureGivesTheShareOfTheStandardComponentRoundedUp) {
  Traits traits = sized(250, 7);
  Random rng(3), replay(3);
  drawMixtureTraits(traits, 0.5, 3, 1, rng);
  EXPECT_TRUE(traits.bimodal);
  // Females 0..124 standard normal, 125..249 from N(3, 1); then males: 7 * 0.5 = 3.5 gives 3
  // in the second component, so 4 in the first.
  for (int i = 0; i < 250; ++i) EXPECT_EQ(traits.female[i], (i < 125 ? 0 : 3) + replay.z()) << i;
  for (int i = 0; i < 7; ++i) EXPECT_EQ(traits.male[i], (i < 4 ? 0 : 3) + replay.z()) << i;
  EXPECT_EQ(traits.femaleMax, *std::max_element(traits.female.begin(), traits.female.end()));
  EXPECT_EQ(traits.maleMin, *std::min_element(traits.male.begin(), traits.male.end()));
}

TEST(TraitScaling, FillsTheIntervalExactlyWithBothEndsReached) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    Traits traits = sized(30, 20);
    Random rng(seed);
    drawNormalTraits(traits, rng);
    const double dmax = 0.1 + 3 * rng.u(), mintrait = 2 * rng.u();
    const double range = traits.range();
    const double bias = scaleTraits(traits, dmax, mintrait, 0.25);
    Vec all = traits.female;
    all.insert(all.end(), traits.male.begin(), traits.male.end());
    EXPECT_EQ(*std::min_element(all.begin(), all.end()), mintrait) << seed;
    EXPECT_EQ(*std::max_element(all.begin(), all.end()), mintrait + dmax) << seed;
    EXPECT_EQ(bias, dmax * 0.25 / range);
  }
}

class Variation : public InTempDir {};

TEST_F(Variation, EqualTraitsStopNegativeOnesIncluded) {
  for (double value : {2.0, -1.5, 0.0}) {
    Traits traits = sized(2, 2);
    for (double* t : {&traits.female[0], &traits.female[1]}) {
      *t = value;
      updateLimits(value, traits.femaleMin, traits.femaleMax);
    }
    for (double* t : {&traits.male[0], &traits.male[1]}) {
      *t = value;
      updateLimits(value, traits.maleMin, traits.maleMax);
    }
    ::testing::internal::CaptureStdout();
    try {
      checkVariation(traits);
      ADD_FAILURE() << "no stop for " << value;
    } catch (const Stop& stop) {
      reportStop(stop);
      EXPECT_EQ(processExitStatus(stop.status), 1);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "\nError: no phenotypic variation in the data\n\n");
  }
}

}  // namespace
}  // namespace pairlab
