#include "discrete/names.hpp"

#include "support/text.hpp"

namespace pairlab {

namespace {

// "_massEM" (with the round size when it is below the smaller sex), "_iEM" or nothing.
std::string processTag(const DataFileNaming& s, bool forPrefix) {
  switch (s.process) {
    case EncounterProcess::Mass: {
      const bool sized = s.roundSize < s.smallerSex;
      if (forPrefix) return "massEM_" + (sized ? NtoS(s.roundSize) + "_" : std::string());
      return "_massEM" + (sized ? NtoS(s.roundSize) : std::string());
    }
    case EncounterProcess::Individual:
      return forPrefix ? "iEM_" : "_iEM";
    case EncounterProcess::WithReplacement:
      break;
  }
  return "";
}

// The number that names models 0 to 4: 1, the factor a (models 1, 2) or b (models 3, 4).
double modelValue(const DataFileNaming& s) {
  if (s.model == 0) return 1.0;
  return s.model <= 2 ? s.a : s.b;
}

// "M1_a1.25_" in the prefix, "_1_a1.25" in the directory name.
std::string modelTag(const DataFileNaming& s, bool forPrefix) {
  const std::string m = NtoS(s.model);
  std::string value;
  if (s.model == 5)
    value = "User";
  else if (s.model <= 4)
    value = NtoS(modelValue(s));
  else
    value = NtoS(s.a) + "-" + NtoS(s.b);
  const std::string kind = s.model <= 5 ? "_a" : "_ac";
  return forPrefix ? "M" + m + kind + value + "_" : "_" + m + kind + value;
}

// How the type frequencies are made, with the sample size in the directory name.
std::string populationTag(const DataFileNaming& s, bool forPrefix) {
  const std::string drift = s.drift ? "drift" : "";
  const std::string kind = s.uniform ? "U" : s.userfreqs ? "User" : "nonU";
  if (forPrefix) return drift + kind + NtoS(s.N) + "_";
  const std::string sample = "sample" + NtoS(s.matings);
  if (!s.uniform && !s.userfreqs && !s.drift) return "_nonU" + sample;
  return "_" + drift + kind + "_" + sample;
}

}  // namespace

OutputNames dataFileNames(const DataFileNaming& s) {
  OutputNames names;
  names.directory = std::string(kOutputDirectoryStem) + processTag(s, false) + modelTag(s, false) +
                    populationTag(s, false) + "_N" + NtoS(s.N) + "_MPF" + NtoS(s.MPF);
  names.prefix = "Pairlab_D_" + processTag(s, true) + modelTag(s, true) + populationTag(s, true);
  return names;
}

}  // namespace pairlab
