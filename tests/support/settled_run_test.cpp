#include "support/settled_run.hpp"

#include <gtest/gtest.h>

#include "support/diagnostics.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using P = EncounterProcess;
using N = ModelNumbering;

TEST(ModelNumber, EachRoadReadsSignAndDigitsItsOwnWay) {
  struct Case {
    int given;
    N numbering;
    int model;
    P process;
  };
  const Case cases[] = {
      {5, N::DataFiles, 5, P::WithReplacement},
      {-5, N::DataFiles, 5, P::Individual},
      {-34, N::DataFiles, 3, P::Mass},
      {-123321, N::DataFiles, 0, P::Mass},
      {123321, N::DataFiles, 123321, P::WithReplacement},
      {-1000, N::DataFiles, 100, P::Mass},
      {10, N::SamplingRounds, 1, P::WithReplacement},
      {-3, N::SamplingRounds, 3, P::Individual},
      {123321, N::SamplingRounds, 0, P::WithReplacement},
      {12, N::Continuous, 12, P::WithReplacement},
      {-2, N::Continuous, 2, P::Individual},
      {-35, N::Continuous, 3, P::Mass},
      {-123321, N::Continuous, 12332, P::Mass},
      {-2147483647 - 1, N::Continuous, 214748364, P::Mass},
  };
  for (const Case& c : cases) {
    const ModelNumber decoded = decodeModelNumber(c.given, c.numbering);
    EXPECT_EQ(decoded.model, c.model) << c.given;
    EXPECT_EQ(decoded.process, c.process) << c.given;
  }
}

class Settle : public testing::InTempDir {
 protected:
  // The status of a settling that must stop (its message written where it belongs).
  int stopStatusOf(const RunConfig& config) {
    ::testing::internal::CaptureStdout();
    int status = -1000;
    try {
      settleRun(config, 1);
    } catch (const Stop& stop) {
      reportStop(stop);
      status = stop.status;
    }
    out = ::testing::internal::GetCapturedStdout();
    return status;
  }
  std::string out;
};

TEST_F(Settle, SplitDriftWritefilesAndRoundSize) {
  RunConfig c;
  c.N = 499;
  SettledRun run = settleRun(c, 7);
  EXPECT_EQ(run.seed, 7);
  EXPECT_EQ(run.nfem, 249);
  EXPECT_EQ(run.nmale, 250);
  EXPECT_TRUE(run.drift);       // fewer than 250 females
  EXPECT_TRUE(run.writefiles);  // one file
  c.N = 1000;
  c.osr = 3;
  c.numfiles = 2;
  c.model = -20;
  run = settleRun(c, 7);
  EXPECT_EQ(run.nfem, 250);
  EXPECT_EQ(run.nmale, 750);
  EXPECT_FALSE(run.drift);
  EXPECT_FALSE(run.writefiles);
  EXPECT_EQ(run.MRmax, 250);  // mass encounters: rounds of the smaller sex
  c.age_params = {1, 2, 0};
  EXPECT_TRUE(settleRun(c, 1).aging);
  c.age_params = {1, 2, -1};
  EXPECT_FALSE(settleRun(c, 1).aging);
}

TEST_F(Settle, StopsOfTheSettling) {
  RunConfig c;
  c.model = -20;
  c.MRmax = 300;
  c.uniform = false;
  EXPECT_EQ(stopStatusOf(c), 0);  // the -uniform flag
  EXPECT_EQ(out,
            "A mass-encounter model was defined so that the number of encounters per mating round "
            "300 cannot be higher than the number of individuals of one sex 250\n\n");
  c = RunConfig{};
  c.userfreqs = true;
  EXPECT_EQ(stopStatusOf(c), 1);
  c.continuous = true;  // the continuous road reads no frequencies, but needs a model
  EXPECT_EQ(stopStatusOf(c), 1);
  EXPECT_EQ(out,
            "Continuous trait requires a preference model (see Table S2 from the manual).\n\n");
}

}  // namespace
}  // namespace pairlab
