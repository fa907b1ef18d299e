#include "continuous/names.hpp"

#include "support/text.hpp"

namespace pairlab {

std::string continuousDirectory(EncounterProcess process) {
  switch (process) {
    case EncounterProcess::Mass:
      return std::string(kOutputDirectoryStem) + "_massEM";
    case EncounterProcess::Individual:
      return std::string(kOutputDirectoryStem) + "_iEM";
    case EncounterProcess::WithReplacement:
      break;
  }
  return kOutputDirectoryStem;
}

namespace {

std::string preferenceTag(const ContinuousNaming& s) {
  if (!s.gaussian)
    return "Log_a" + NtoS(s.logisticA) + "_b" + NtoS(s.logisticB) + "_" +
           (s.impatience != 0.0 ? "Imp_" : "");
  return std::string(s.model == 1 ? "FND_" : "BD03_") + "C" + NtoS(s.choice) + "_s" +
         NtoS(s.tolerance) + "_Dmax" + NtoS(s.dmax) + "_" +
         (s.bias != 0.0 ? "bias" + NtoS(s.bias) + "_" : "");
}

}  // namespace

OutputNames continuousNames(const ContinuousNaming& s) {
  OutputNames names;
  names.directory = continuousDirectory(s.process);
  names.prefix = "Pairlab_C_n" + NtoS(s.matings) + "_";
  if (s.process == EncounterProcess::Mass) names.prefix += "massEM_";
  if (s.process == EncounterProcess::Individual) names.prefix += "iEM_";
  if (s.aging)
    names.prefix += "Age_a" + NtoS(s.ageParams[0]) + "_b" + NtoS(s.ageParams[1]) + "_g" +
                    NtoS(s.ageParams[2]) + "_";
  names.prefix += preferenceTag(s);
  return names;
}

}  // namespace pairlab
