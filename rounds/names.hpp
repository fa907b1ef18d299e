// The names of a sampling-round experiment's output directory and files.
#pragma once

#include "support/output.hpp"

namespace pairlab {

struct RoundsNaming {
  int model = 0;        // 0..5
  double MRmax = -1.0;  // the largest propensity
  double factor = 1.0;  // the other propensities are MRmax / factor
  bool mass = false;    // mass or individual encounters
  bool eJRpsi = false;  // individual encounters with the observed pairs in JRpsi
  bool uniform = true;
  bool userfreqs = false;
  int N = 500;
  double osr = 1.0;
  int matings = 100;
};

// For example Out_Pairlab_massEM_1_Mmax250_factor1.25_U_N500_Osr1sample100 and
// Pairlab_Mmax_250_Factor1.25_massEM_RM1_U_.
OutputNames roundsNames(const RoundsNaming& s);

}  // namespace pairlab
