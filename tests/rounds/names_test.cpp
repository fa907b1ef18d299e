#include "rounds/names.hpp"

#include <gtest/gtest.h>

namespace pairlab {
namespace {

TEST(RoundsNames, NamesOfTheDocumentedRuns) {
  struct Case {
    RoundsNaming settings;
    const char* directory;
    const char* prefix;
  };
  RoundsNaming mass;
  mass.model = 1;
  mass.MRmax = 50;
  mass.factor = 1.25;
  mass.mass = true;
  RoundsNaming individual = mass;
  individual.model = 3;
  individual.MRmax = 1;
  individual.factor = 2;
  individual.mass = false;
  individual.eJRpsi = true;
  individual.uniform = false;
  RoundsNaming user = mass;
  user.model = 5;
  user.uniform = false;
  user.userfreqs = true;
  user.osr = 1.5;
  RoundsNaming random = mass;
  random.model = 0;
  random.MRmax = 250;
  random.factor = 1;
  const Case cases[] = {
      {mass, "Out_Pairlab_massEM_1_Mmax50_factor1.25_U_N500_Osr1sample100",
       "Pairlab_Mmax_50_Factor1.25_massEM_RM1_U_"},
      {individual, "Out_Pairlab_iEM_3_Mmax1_factor2_nonU_N500_Osr1sample100",
       "Pairlab_Mmax_1_Factor2_iEM_RM3_nonU_empRpsi_"},
      {user, "Out_Pairlab_massEM_5_User_User_N500_Osr1.5sample100",
       "Pairlab_Mmax_User_massEM_RM5_User500_"},
      {random, "Out_Pairlab_massEM_0_Mmax250_factor1_U_N500_Osr1sample100",
       "Pairlab_Mmax_250_massEM_RM0_U_"},
  };
  for (const Case& c : cases) {
    const OutputNames names = roundsNames(c.settings);
    EXPECT_EQ(names.directory, c.directory);
    EXPECT_EQ(names.prefix, c.prefix);
  }
}

}  // namespace
}  // namespace pairlab
