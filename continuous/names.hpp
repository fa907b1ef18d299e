// The names of the continuous road's output directory and files.
#pragma once

#include <array>

#include "support/output.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

struct ContinuousNaming {
  EncounterProcess process = EncounterProcess::WithReplacement;
  int matings = 100;
  bool aging = false;
  std::array<double, 3> ageParams{0.0, 2.0, 0.0};  // a, b, g as given
  bool gaussian = true;                            // Gaussian preference family, or logistic
  int model = 1;                                   // Gaussian family: 1 FND, 2 BD03
  double choice = 0.0;                             // c
  double tolerance = 0.08;
  double dmax = 1.0;
  double bias = 0.0;       // as rescaled with the traits
  double logisticA = 0.0;  // -logistic_params
  double logisticB = 1.0;
  double impatience = 0.0;
};

// "Out_Pairlab", with "_massEM" or "_iEM" under an encounter model.
std::string continuousDirectory(EncounterProcess process);

// For example Out_Pairlab_massEM and Pairlab_C_n100_massEM_FND_C0.5_s0.08_Dmax1_.
OutputNames continuousNames(const ContinuousNaming& s);

}  // namespace pairlab
