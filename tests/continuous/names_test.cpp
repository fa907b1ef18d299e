#include "continuous/names.hpp"

#include <gtest/gtest.h>

namespace pairlab {
namespace {

TEST(ContinuousNames, NamesOfTheDocumentedRuns) {
  struct Case {
    ContinuousNaming settings;
    const char* directory;
    const char* prefix;
  };
  ContinuousNaming mass;
  mass.process = EncounterProcess::Mass;
  mass.choice = 0.5;
  ContinuousNaming biased = mass;
  biased.process = EncounterProcess::Individual;
  biased.model = 2;
  biased.bias = 0.05;
  biased.aging = true;
  biased.ageParams = {1, 2, 0};
  ContinuousNaming logistic;
  logistic.gaussian = false;
  logistic.model = 3;
  logistic.logisticA = -1;
  logistic.logisticB = 2;
  logistic.impatience = 0.1;
  logistic.matings = 50;
  const Case cases[] = {
      {mass, "Out_Pairlab_massEM", "Pairlab_C_n100_massEM_FND_C0.5_s0.08_Dmax1_"},
      {biased, "Out_Pairlab_iEM",
       "Pairlab_C_n100_iEM_Age_a1_b2_g0_BD03_C0.5_s0.08_Dmax1_bias0.05_"},
      {logistic, "Out_Pairlab", "Pairlab_C_n50_Log_a-1_b2_Imp_"},
  };
  for (const Case& c : cases) {
    const OutputNames names = continuousNames(c.settings);
    EXPECT_EQ(names.directory, c.directory);
    EXPECT_EQ(names.prefix, c.prefix);
  }
}

}  // namespace
}  // namespace pairlab
