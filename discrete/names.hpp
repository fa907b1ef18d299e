// The names of the data-file mode's output directory and files.
#pragma once

#include "support/output.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

struct DataFileNaming {
  EncounterProcess process = EncounterProcess::WithReplacement;
  double roundSize = -1.0;  // mass encounters: -MRmax as settled
  int smallerSex = 0;       // the round size is named when below the smaller sex
  int model = 0;            // 0..9
  double a = 1.25;          // -incrfactor
  double b = 1.25;          // -choicefactor
  bool drift = false;
  bool uniform = true;
  bool userfreqs = false;
  int matings = 100;
  int N = 500;
  double MPF = 0.1;
};

// For example Out_Pairlab_iEM_1_a1.25_U_sample100_N500_MPF0.1 and Pairlab_D_iEM_M1_a1.25_U500_.
OutputNames dataFileNames(const DataFileNaming& s);

}  // namespace pairlab
