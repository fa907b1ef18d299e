// The command line: ParseArgs and the settling the driver does next. The input holds one word
// per line (a word may be empty or hold blanks). A run that gets past both must hold finite
// reals only: every real option rejects NaN and infinities.
#include <cmath>
#include <string>
#include <vector>

#include "app/parse_args.hpp"
#include "fuzz_support.hpp"
#include "support/diagnostics.hpp"
#include "support/settled_run.hpp"

namespace {

void expectFinite(const char* name, double value) {
  if (!std::isfinite(value))
    pairlab::fuzz::fuzzFinding(std::string(name) + " accepted as " + std::to_string(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pairlab;
  fuzz::enterPrivateDirectory();
  std::string_view text = fuzz::asText(data, size);
  std::vector<std::string> words{"pairlab"};
  while (!text.empty()) words.emplace_back(fuzz::takeFirstLine(text));
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());

  RunConfig c;
  try {
    ParseArgs(static_cast<int>(argv.size()), argv.data(), c);
    if (c.showHelp || c.showVersion) return 0;
    const SettledRun run = settleRun(c, c.fixseed);
    for (int i = 0; i < 3; ++i) expectFinite("-bimodal", c.bimodal[i]);
    for (int i = 0; i < 3; ++i) expectFinite("-age_params", c.age_params[i]);
    for (int i = 0; i < 2; ++i) expectFinite("-logistic_params", c.logistic_params[i]);
    const std::pair<const char*, double> reals[] = {{"-impatient", c.impatient},
                                                    {"-MRmax", c.MRmax},
                                                    {"-osr", c.osr},
                                                    {"-incrfactor", c.incrfactor},
                                                    {"-choicefactor", c.choicefactor},
                                                    {"-mintrait", c.mintrait},
                                                    {"-dmax", c.dmax},
                                                    {"-choice", c.choice},
                                                    {"-tolerance", c.tolerance},
                                                    {"-bias", c.bias},
                                                    {"-SL", c.SL},
                                                    {"-MPF", c.MPF},
                                                    {"settled -MRmax", run.MRmax}};
    for (const auto& [name, value] : reals) expectFinite(name, value);
  } catch (const Stop&) {
  }
  fuzz::removeDiagnostics();
  return 0;
}
