#include "discrete/names.hpp"

#include <gtest/gtest.h>

namespace pairlab {
namespace {

using P = EncounterProcess;

// The names the README and the help give, from the settings that make them.
TEST(DataFileNames, NamesOfTheDocumentedRuns) {
  struct Case {
    const char* what;
    DataFileNaming settings;
    const char* directory;
    const char* prefix;
  };
  auto naming = [](P process, int model, double roundSize = 250) {
    DataFileNaming s;
    s.process = process;
    s.model = model;
    s.roundSize = roundSize;
    s.smallerSex = 250;
    return s;
  };
  DataFileNaming drift = naming(P::WithReplacement, 0);
  drift.drift = true;
  drift.N = 200;
  DataFileNaming random = naming(P::Mass, 4, 50);
  random.uniform = false;
  random.b = 0.5;
  DataFileNaming user = naming(P::Individual, 5);
  user.uniform = false;
  user.userfreqs = true;
  user.drift = true;
  user.MPF = 0.05;
  const Case cases[] = {
      {"defaults", naming(P::WithReplacement, 0), "Out_Pairlab_0_a1_U_sample100_N500_MPF0.1",
       "Pairlab_D_M0_a1_U500_"},
      {"individual", naming(P::Individual, 1), "Out_Pairlab_iEM_1_a1.25_U_sample100_N500_MPF0.1",
       "Pairlab_D_iEM_M1_a1.25_U500_"},
      {"mass", naming(P::Mass, 1), "Out_Pairlab_massEM_1_a1.25_U_sample100_N500_MPF0.1",
       "Pairlab_D_massEM_M1_a1.25_U500_"},
      {"focal", naming(P::Individual, 6), "Out_Pairlab_iEM_6_ac1.25-1.25_U_sample100_N500_MPF0.1",
       "Pairlab_D_iEM_M6_ac1.25-1.25_U500_"},
      {"drift", drift, "Out_Pairlab_0_a1_driftU_sample100_N200_MPF0.1",
       "Pairlab_D_M0_a1_driftU200_"},
      {"random, rounds of 50", random, "Out_Pairlab_massEM50_4_a0.5_nonUsample100_N500_MPF0.1",
       "Pairlab_D_massEM_50_M4_a0.5_nonU500_"},
      {"user files", user, "Out_Pairlab_iEM_5_aUser_driftUser_sample100_N500_MPF0.05",
       "Pairlab_D_iEM_M5_aUser_driftUser500_"},
  };
  for (const Case& c : cases) {
    const OutputNames names = dataFileNames(c.settings);
    EXPECT_EQ(names.directory, c.directory) << c.what;
    EXPECT_EQ(names.prefix, c.prefix) << c.what;
  }
  EXPECT_EQ(dataFileNames(naming(P::WithReplacement, 0)).filePath(),
            "Out_Pairlab_0_a1_U_sample100_N500_MPF0.1/Pairlab_D_M0_a1_U500_");
}

}  // namespace
}  // namespace pairlab
