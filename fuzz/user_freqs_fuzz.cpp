// ReadUserFreqs. The first line of the input is the target's own: the numbers of female and
// male types and the minimum frequency ("2 3 0.1"); the rest is PairlabUserFreqs.txt. A read
// that does not stop leaves, in each sex, frequencies in (0, 1] that sum to 1.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "discrete/frequencies.hpp"
#include "fuzz_support.hpp"
#include "support/diagnostics.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pairlab;
  fuzz::enterPrivateDirectory();
  std::string_view text = fuzz::asText(data, size);
  const std::string settings(fuzz::takeFirstLine(text));
  int k1 = 2, k2 = 2;
  double mpf = 0.1;
  std::sscanf(settings.c_str(), "%d %d %lf", &k1, &k2, &mpf);
  k1 = 1 + std::abs(k1 % 8);
  k2 = 1 + std::abs(k2 % 8);
  if (!(mpf > 0.0 && mpf < 0.5)) mpf = 0.1;  // the useful range of -MPF
  fuzz::writeUserFile(kUserFreqsFile, text);

  std::vector<double> p1(k1, 1.0 / k1), p2(k2, 1.0 / k2);
  try {
    ReadUserFreqs("", kUserFreqsFile, k1, k2, p1, p2, mpf);
    for (const std::vector<double>* freqs : {&p1, &p2}) {
      double sum = 0.0;
      for (double f : *freqs) {
        if (!(f > 0.0 && f <= 1.0)) fuzz::fuzzFinding("frequency " + std::to_string(f));
        sum += f;
      }
      if (!(std::fabs(sum - 1.0) <= 1e-9))
        fuzz::fuzzFinding("frequencies sum to " + std::to_string(sum));
    }
  } catch (const Stop&) {
  }
  fuzz::removeDiagnostics();
  return 0;
}
