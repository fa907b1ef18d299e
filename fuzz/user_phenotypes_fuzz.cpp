// ReadUserPhenotypes, then what the continuous road does next with the traits: the check that
// they vary and their rescaling into [0, 1]. The first line of the input is the target's own:
// the numbers of females and males ("3 2"); the rest is PairlabUserPhenotypes.txt. Traits that
// get through are finite, within [0, 1], and reach both ends.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "continuous/phenotypes.hpp"
#include "fuzz_support.hpp"
#include "support/diagnostics.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pairlab;
  fuzz::enterPrivateDirectory();
  std::string_view text = fuzz::asText(data, size);
  const std::string settings(fuzz::takeFirstLine(text));
  int females = 3, males = 2;
  std::sscanf(settings.c_str(), "%d %d", &females, &males);
  females = std::abs(females % 32);
  males = std::abs(males % 32);
  fuzz::writeUserFile(kUserPhenotypesFile, text);

  Traits t;
  t.female.assign(females, 0.0);
  t.male.assign(males, 0.0);
  resetLimits(t);
  try {
    ReadUserPhenotypes("", kUserPhenotypesFile, females, males, t.female, t.femaleMin, t.femaleMax,
                       t.male, t.maleMin, t.maleMax);
    checkVariation(t);
    scaleTraits(t, 1.0, 0.0, 0.0);
    double lo = 1.0, hi = 0.0;
    for (const std::vector<double>* traits : {&t.female, &t.male})
      for (double v : *traits) {
        if (!(v >= 0.0 && v <= 1.0)) fuzz::fuzzFinding("scaled trait " + std::to_string(v));
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    if (lo != 0.0 || hi != 1.0)
      fuzz::fuzzFinding("scaled traits span [" + std::to_string(lo) + ", " + std::to_string(hi) +
                        "]");
  } catch (const Stop&) {
  }
  fuzz::removeDiagnostics();
  return 0;
}
