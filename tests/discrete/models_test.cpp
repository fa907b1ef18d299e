#include "discrete/models.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "support/diagnostics.hpp"
#include "support/run_config.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::readFile;
using testing::writeFile;

DiscreteModel build(int model, int k1, int k2, double a = 1.25, double b = 1.25) {
  checkModelNumber(model, 9, RunConfig{});
  DiscreteModel built =
      setupDiscreteModel(model, k1, k2, a, b, resolveFocalTypes(model, k1, k2, -1, -1));
  checkModelWeights(built.modelmatrix, model);  // as the data-file mode checks it
  return built;
}

TEST(Models, RandomMatingLeavesEveryWeightAtOne) {
  EXPECT_EQ(build(0, 2, 2).modelmatrix, (Matrix{{1, 1}, {1, 1}}));
}

TEST(Models, SexualSelectionOnFemalesWeighsEveryRowButTheLast) {
  EXPECT_EQ(build(1, 3, 2, 2.0).modelmatrix, (Matrix{{2, 2}, {2, 2}, {1, 1}}));
}

TEST(Models, SexualSelectionOnMalesWeighsEveryColumnButTheLast) {
  EXPECT_EQ(build(2, 2, 2).modelmatrix, (Matrix{{1.25, 1}, {1.25, 1}}));
}

TEST(Models, AssortativeModelsWeighTheDiagonal) {
  EXPECT_EQ(build(3, 2, 2, 1.25, 1.0).modelmatrix, (Matrix{{1, 1}, {1, 1}}));
  EXPECT_EQ(build(3, 3, 2, 1.25, 2.0).modelmatrix, (Matrix{{2, 1}, {1, 2}, {1, 1}}));
  EXPECT_EQ(build(4, 2, 2, 1.25, 0.5).modelmatrix, (Matrix{{0.5, 1}, {1, 0.5}}));
}

TEST(Models, FocalModelsCombineSelectionAndChoice) {
  EXPECT_EQ(build(6, 3, 3, 2, 3).modelmatrix, (Matrix{{2, 2, 2}, {1, 3, 1}, {1, 1, 3}}));
  EXPECT_EQ(build(7, 3, 3, 2, 3).modelmatrix, (Matrix{{2, 1, 1}, {2, 3, 1}, {2, 1, 3}}));
  EXPECT_EQ(build(8, 2, 2, 2, 3).modelmatrix, (Matrix{{6, 2}, {1, 3}}));
  EXPECT_EQ(build(9, 2, 2, 2, 3).modelmatrix, (Matrix{{6, 1}, {2, 3}}));
}

TEST(Models, FocalTypesResolveToTheLastTypeUpToModelFiveAndToTheFirstAfter) {
  EXPECT_EQ(resolveFocalTypes(2, 4, 3, -1, -1).female, 3);
  EXPECT_EQ(resolveFocalTypes(2, 4, 3, -1, -1).male, 2);
  EXPECT_EQ(resolveFocalTypes(7, 4, 3, -1, -1).female, 0);
  EXPECT_EQ(resolveFocalTypes(7, 4, 3, -1, 1).male, 1);
}

TEST(Models, MeanPropensity) {
  EXPECT_DOUBLE_EQ(meanPropensity({0.5, 0.5}, {0.5, 0.5}, {{1, 1}, {1, 1}}), 1.0);
  EXPECT_DOUBLE_EQ(meanPropensity({0.25, 0.75}, {1.0}, {{2}, {4}}), 3.5);
}

class ModelStops : public InTempDir {
 protected:
  int stopStatusOf(int model, double b, int k1 = 2, int k2 = 2) {
    ::testing::internal::CaptureStdout();
    try {
      build(model, k1, k2, 1.25, b);
    } catch (const Stop& stop) {
      reportStop(stop);
      printed = ::testing::internal::GetCapturedStdout();
      return stop.status;
    }
    printed = ::testing::internal::GetCapturedStdout();
    return -1000;
  }
  std::string printed;
};

TEST_F(ModelStops, ChoiceFactorsOnTheWrongSideOfOne) {
  EXPECT_EQ(stopStatusOf(3, 0.9), 0);
  EXPECT_EQ(readFile("Pairlab.err"), "Wrong < 1 choice-factor for model 3\n");
  EXPECT_EQ(printed, "");  // the factor messages go only to the error file
  EXPECT_EQ(stopStatusOf(4, 1.25), 1);
  EXPECT_EQ(stopStatusOf(4, 3.7), 3);
  EXPECT_NE(readFile("Pairlab.err").find("Wrong > 1 choice-factor for model 4\n"),
            std::string::npos);
  EXPECT_EQ(stopStatusOf(3, std::nan("")), 1);
  EXPECT_EQ(stopStatusOf(4, std::nan("")), 1);
}

// Every sign of the choice factor b under every model (a = 2; model 5 reads its weights from the
// user file and never uses b). Where b becomes a weight, a negative b stops the run naming the
// option, its value and the model, and a b of 0 forbids the pairs it weighs.
TEST_F(ModelStops, EveryChoiceFactorSignPerModel) {
  struct Case {
    int model;
    double b;
    Matrix weights;       // when the model is built
    const char* message;  // when it stops with status 1
  };
  const char* negative = "\nWrong -choicefactor -0.5 for model ";
  const Case cases[] = {
      {0, -0.5, {{1, 1}, {1, 1}}, nullptr},
      {1, -0.5, {{2, 2}, {1, 1}}, nullptr},
      {2, -0.5, {{2, 1}, {2, 1}}, nullptr},
      {3, -0.5, {}, negative},
      {4, -0.5, {}, negative},
      {4, 0, {{0, 1}, {1, 0}}, nullptr},
      {4, 0.5, {{0.5, 1}, {1, 0.5}}, nullptr},
      {6, -0.5, {}, negative},
      {6, 0, {{2, 2}, {1, 0}}, nullptr},
      {7, -0.5, {}, negative},
      {7, 0, {{2, 1}, {2, 0}}, nullptr},
      {8, -0.5, {}, negative},
      {8, 0, {{0, 2}, {1, 0}}, nullptr},
      {9, -0.5, {}, negative},
      {9, 0, {{0, 1}, {2, 0}}, nullptr},
      {9, 3, {{6, 1}, {2, 3}}, nullptr},
  };
  for (const Case& c : cases) {
    const std::string what = "model " + std::to_string(c.model) + ", b " + std::to_string(c.b);
    ::testing::internal::CaptureStdout();
    try {
      EXPECT_EQ(build(c.model, 2, 2, 2, c.b).modelmatrix, c.weights) << what;
      EXPECT_EQ(c.message, nullptr) << what;
    } catch (const Stop& stop) {
      reportStop(stop);
      EXPECT_EQ(stop.status, 1) << what;
      ASSERT_NE(c.message, nullptr) << what;
      EXPECT_EQ(stop.message.rfind(c.message + std::to_string(c.model) + ": ", 0), 0u)
          << stop.message;
    }
    ::testing::internal::GetCapturedStdout();
  }
}

// A model that weighs every pair 0 (a choice factor of 0 where it is the only weight) could
// never mate: it stops before anything is written.
TEST_F(ModelStops, AModelThatForbidsEveryPairStops) {
  for (int model : {4, 8, 9}) {
    EXPECT_EQ(stopStatusOf(model, 0, 1, 1), 1) << model;
    EXPECT_NE(printed.find("gives every pair of female and male types the weight 0"),
              std::string::npos);
  }
  EXPECT_EQ(stopStatusOf(6, 0, 1, 1), -1000);  // the focal row wins over the diagonal
}

TEST_F(ModelStops, ModelNumbersOutsideZeroToNine) {
  EXPECT_EQ(stopStatusOf(10, 1.25), 1);
  EXPECT_EQ(printed, "Wrong model number 10\n\n");
  EXPECT_EQ(readFile("Pairlab.err"), "Wrong model number 10\n\n");
}

TEST_F(ModelStops, TooManyTypesStopBeforeAllocating) {
  EXPECT_EQ(stopStatusOf(0, 1.25, 100000, 100000), 1);
  EXPECT_NE(printed.find("Too many types"), std::string::npos);
}

class UserModel : public InTempDir {
 protected:
  int k1 = 2, k2 = 2;
  Matrix mm{{1, 1}, {1, 1}};
  std::string printed;
  void read() {
    ::testing::internal::CaptureStdout();
    try {
      ReadUserModels("", "PairlabUserModel.txt", mm, k1, k2);
    } catch (const Stop& stop) {
      reportStop(stop);
      printed = ::testing::internal::GetCapturedStdout();
      throw;
    }
    printed = ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(UserModel, ReadsRowsByFemaleType) {
  writeFile("PairlabUserModel.txt", "# user mating model\n2 2\n1 2.5\n  0.5,1\nignored 1 2\n");
  read();
  EXPECT_EQ(mm, (Matrix{{1, 2.5}, {0.5, 1}}));
  EXPECT_EQ(printed, "\nReading file PairlabUserModel.txt\n");
}

TEST_F(UserModel, ADifferentHeaderRebuildsTheMatrixWithZeros) {
  writeFile("PairlabUserModel.txt", "3 2\n1 2\n");
  read();
  EXPECT_EQ(k1, 3);
  EXPECT_EQ(k2, 2);
  EXPECT_EQ(mm, (Matrix{{1, 2}, {0, 0}, {0, 0}}));
}

TEST_F(UserModel, RowsTheFileDoesNotReachKeepTheirEntries) {
  writeFile("PairlabUserModel.txt", "2 2\n3 4\n");
  read();
  EXPECT_EQ(mm, (Matrix{{3, 4}, {1, 1}}));
}

TEST_F(UserModel, AValueOfZeroStopsThroughTheErrorLog) {
  writeFile("Pairlab_ERROR.log", "stale\n");
  writeFile("PairlabUserModel.txt", "2 2\n1 0\n1 1\n");
  try {
    read();
    FAIL();
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 0);
  }
  EXPECT_EQ(readFile("Pairlab_ERROR.log"), "Negative parameter 0 in user model\n\n");
  EXPECT_NE(printed.find("Negative parameter 0 in user model\n\n"), std::string::npos);
}

TEST_F(UserModel, NegativeAndNonNumericValuesStopToo) {
  writeFile("PairlabUserModel.txt", "2 2\n1 -3.5\n1 1\n");
  try {
    read();
    FAIL();
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, -3);
  }
  writeFile("PairlabUserModel.txt", "2 2\n1 nan\n1 1\n");
  EXPECT_STOPS(read());
  writeFile("PairlabUserModel.txt", "2 2\n1 inf\n1 1\n");
  EXPECT_STOPS(read());
  EXPECT_NE(printed.find("Infinite parameter inf in user model"), std::string::npos);
}

TEST_F(UserModel, AHeaderWithoutTwoNumbersStopsNamingTheLine) {
  writeFile("PairlabUserModel.txt", "# header follows\n2 2 2\n1 1\n1 1\n");
  EXPECT_STOPS(read());
  EXPECT_NE(printed.find("user model file PairlabUserModel.txt line 2: expected 2 numbers"),
            std::string::npos);
  writeFile("PairlabUserModel.txt", "0 2\n");
  EXPECT_STOPS(read());
  EXPECT_NE(printed.find("must be at least 1"), std::string::npos);
}

TEST_F(UserModel, ARowWithoutOneNumberPerMaleTypeStopsNamingTheLine) {
  writeFile("PairlabUserModel.txt", "2 3\n1 1 1\n1 1\n");
  try {
    read();
    FAIL();
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.status, 1);
  }
  EXPECT_NE(printed.find("line 3: expected 3 numbers (one per male type) but found 2"),
            std::string::npos);
  EXPECT_NE(readFile("Pairlab.err").find("line 3"), std::string::npos);
}

TEST_F(UserModel, ModelFiveReadsTheFileAndNamesItUser) {
  writeFile("PairlabUserModel.txt", "2 2\n1 2.5\n0.5 1\n");
  ::testing::internal::CaptureStdout();
  const DiscreteModel m = build(5, 2, 2);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(m.modelmatrix, (Matrix{{1, 2.5}, {0.5, 1}}));
}

}  // namespace
}  // namespace pairlab
