#include "rounds/names.hpp"

#include "support/text.hpp"

namespace pairlab {

OutputNames roundsNames(const RoundsNaming& s) {
  const std::string model = NtoS(s.model);
  const std::string MRmax = NtoS(s.MRmax);
  OutputNames names;
  names.directory =
      std::string(kOutputDirectoryStem) + (s.mass ? "_massEM" : "_iEM") +
      (s.model == 5 ? "_5_User" : "_" + model + "_Mmax" + MRmax + "_factor" + NtoS(s.factor)) +
      (s.uniform     ? "_U"
       : s.userfreqs ? "_User"
                     : "_nonU") +
      "_N" + NtoS(s.N) + "_Osr" + NtoS(s.osr) + "sample" + NtoS(s.matings);
  names.prefix = "Pairlab_Mmax_" +
                 (s.model == 0   ? MRmax + "_"
                  : s.model == 5 ? std::string("User_")
                                 : MRmax + "_Factor" + NtoS(s.factor) + "_") +
                 (s.mass ? "massEM_" : "iEM_") + "RM" + model + "_" +
                 (s.uniform     ? "U_"
                  : s.userfreqs ? "User" + NtoS(s.N) + "_"
                                : "nonU_") +
                 (!s.mass && s.eJRpsi ? "empRpsi_" : "");
  return names;
}

}  // namespace pairlab
