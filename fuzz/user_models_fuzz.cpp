// ReadUserModels. The first line of the input is the target's own: the numbers of female and
// male types the run has before the read ("2 2"); the rest is PairlabUserModel.txt. A read that
// does not stop leaves a k1 x k2 matrix of finite weights, positive where the file gave them and
// 0 in rows it did not give after changing the numbers of types.
#include <cmath>
#include <cstdio>
#include <string>

#include "discrete/models.hpp"
#include "fuzz_support.hpp"
#include "support/diagnostics.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pairlab;
  fuzz::enterPrivateDirectory();
  std::string_view text = fuzz::asText(data, size);
  const std::string settings(fuzz::takeFirstLine(text));
  int k1 = 2, k2 = 2;
  std::sscanf(settings.c_str(), "%d %d", &k1, &k2);
  k1 = 1 + std::abs(k1 % 8);
  k2 = 1 + std::abs(k2 % 8);
  fuzz::writeUserFile(kUserModelFile, text);

  Matrix mm(k1, std::vector<double>(k2, 1.0));
  try {
    ReadUserModels("", kUserModelFile, mm, k1, k2);
    if (mm.size() != static_cast<std::size_t>(k1))
      fuzz::fuzzFinding(std::to_string(mm.size()) + " rows for " + std::to_string(k1) + " types");
    for (const std::vector<double>& row : mm) {
      if (row.size() != static_cast<std::size_t>(k2))
        fuzz::fuzzFinding(std::to_string(row.size()) + " columns for " + std::to_string(k2));
      for (double w : row)
        if (!(w >= 0.0 && std::isfinite(w))) fuzz::fuzzFinding("weight " + std::to_string(w));
    }
  } catch (const Stop&) {
  }
  fuzz::removeDiagnostics();
  return 0;
}
