#include "app/run_record.hpp"

#include <unistd.h>

#include <utility>

#include "support/format.hpp"

namespace pairlab {

namespace {

std::string number(double v) { return shortestText(v); }
std::string number(std::int64_t v) { return std::to_string(v); }
std::string number(int v) { return std::to_string(v); }
std::string number(bool v) { return v ? "1" : "0"; }

// Every option, named after it, with the value the run used: the driver's settled values for
// the fields it settles, the parsed ones for the others.
std::vector<std::pair<std::string, std::string>> optionColumns(const RunConfig& c,
                                                               const SettledRun& s) {
  return {
      {"continuous", number(c.continuous)},
      {"scaling", number(c.continuous && c.scaling)},
      {"format", number(c.format)},
      {"bimodal_1", number(c.bimodal[0])},
      {"bimodal_2", number(c.bimodal[1])},
      {"bimodal_3", number(c.bimodal[2])},
      {"age_params_1", number(c.age_params[0])},
      {"age_params_2", number(c.age_params[1])},
      {"age_params_3", number(c.age_params[2])},
      {"writefiles", number(s.writefiles)},
      {"writedistrib", number(c.writedistrib)},
      {"impatient", number(c.impatient)},
      {"gaussian", number(c.gaussian)},
      {"onechoosy", number(c.onechoosy)},
      {"logistic_params_1", number(c.logistic_params[0])},
      {"logistic_params_2", number(c.logistic_params[1])},
      {"model", number(c.model)},
      {"matings", number(c.matings)},
      {"onematround", number(c.onematround)},
      {"MRmax", number(s.MRmax)},
      {"numfiles", number(c.numfiles)},
      {"shift", number(c.shift)},
      {"N", number(c.N)},
      {"drift", number(s.drift)},
      {"femtypes", number(c.femtypes)},
      {"maletypes", number(c.maletypes)},
      {"osr", number(c.osr)},
      {"uniform", number(c.uniform)},
      {"userfreqs", number(c.userfreqs)},
      {"incrfactor", number(c.incrfactor)},
      {"choicefactor", number(c.choicefactor)},
      {"mintrait", number(c.mintrait)},
      {"dmax", number(c.dmax)},
      {"choice", number(c.choice)},
      {"tolerance", number(c.tolerance)},
      {"bias", number(c.bias)},
      {"SL", number(c.SL)},
      {"MPF", number(c.MPF)},
      {"fixseed", number(c.fixseed)},
      {"eJRpsi", number(c.eJRpsi)},
      {"onlyresume", number(c.onlyresume)},
      {"verbose", number(c.verbose)},
      {"tidy", number(c.tidy)},
      {"progress", c.progress < 0 ? std::string("NA") : number(c.progress)},
      {"checkonly", number(c.checkonly)},
      {"popseed", number(c.popseed)},
      {"outdir", c.outdir},
  };
}

std::string hostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "host";
  return name;
}

bool needsQuotes(const std::string& word) {
  if (word.empty()) return true;
  for (char c : word)
    if (!(std::isalnum(static_cast<unsigned char>(c)) ||
          std::string_view("_-+=.,:/@%").find(c) != std::string_view::npos))
      return true;
  return false;
}

}  // namespace

std::string commandLineText(int argc, const char* const* argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    const std::string word = argv[i];
    if (i > 0) text += ' ';
    if (!needsQuotes(word)) {
      text += word;
      continue;
    }
    text += '\'';
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    text += '\'';
  }
  return text;
}

LedgerEntry describeRun(const RunConfig& config, const SettledRun& settled, int argc,
                        const char* const* argv, std::int64_t startNanoseconds) {
  LedgerEntry e;
  e.runId = std::to_string(settled.seed) + "-" + std::to_string(startNanoseconds) + "-" +
            std::to_string(::getpid()) + "-" + hostName();
  e.startTime = isoTimeNow();
  e.version = PAIRLAB_VERSION;
  e.seed = std::to_string(settled.seed);
  e.commandLine = commandLineText(argc, argv);
  for (auto& [name, value] : optionColumns(config, settled)) {
    e.optionNames.push_back(name);
    e.optionValues.push_back(value);
  }
  return e;
}

}  // namespace pairlab
