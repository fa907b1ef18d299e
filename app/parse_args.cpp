#include "app/parse_args.hpp"

#include <array>
#include <string>
#include <string_view>

#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

using Values = const char* const*;

[[noreturn]] void reject(const char* message) { rejectInput(message); }

bool flag(const char* word) { return toInt(word) != 0; }

// One option: its names (main name first, then an alias), how many values follow it, and the
// function that stores and checks them. Checks are written so that NaN fails them.
struct Option {
  std::array<std::string_view, 2> names;
  int values;
  const char* valueNames;  // for the message when a multi-valued option lacks values
  void (*apply)(RunConfig&, Values);
};

// clang-format off: one option per entry, its names, count and checks together
const Option kOptions[] = {
    {{"-continuous", ""}, 1, "", [](RunConfig& c, Values v) { c.continuous = flag(v[0]); }},
    {{"-scaling", ""}, 1, "", [](RunConfig& c, Values v) { c.scaling = flag(v[0]); }},
    {{"-format", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.format = toInt(v[0]);
       if (c.format < 0 || c.format > 16) reject("wrong format");
     }},
    {{"-bimodal", ""},
     3,
     "proportion, mean and standard deviation",
     [](RunConfig& c, Values v) {
       for (int i = 0; i < 3; ++i) c.bimodal[i] = toReal(v[i]);
       if (!(c.bimodal[0] > 0.0 && c.bimodal[0] < 1.0)) reject("wrong mixture argument");
     }},
    {{"-age_params", ""},
     3,
     "scale a, shape b and log-age threshold g",
     [](RunConfig& c, Values v) {
       for (int i = 0; i < 3; ++i) c.age_params[i] = toReal(v[i]);
     }},
    {{"-writefiles", ""}, 1, "", [](RunConfig& c, Values v) { c.writefiles = flag(v[0]); }},
    {{"-writedistrib", ""}, 1, "", [](RunConfig& c, Values v) { c.writedistrib = flag(v[0]); }},
    {{"-impatient", "-impatience"},
     1,
     "",
     [](RunConfig& c, Values v) { c.impatient = toReal(v[0]); }},
    {{"-gaussian", ""}, 1, "", [](RunConfig& c, Values v) { c.gaussian = flag(v[0]); }},
    {{"-onechoosy", ""}, 1, "", [](RunConfig& c, Values v) { c.onechoosy = flag(v[0]); }},
    {{"-logistic_params", ""},
     2,
     "intercept a and slope b",
     [](RunConfig& c, Values v) {
       for (int i = 0; i < 2; ++i) c.logistic_params[i] = toReal(v[i]);
     }},
    {{"-model", ""}, 1, "", [](RunConfig& c, Values v) { c.model = toInt(v[0]); }},
    {{"-matings", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.matings = toInt(v[0]);
       if (c.matings <= 4) reject("wrong sample size");
     }},
    {{"-onematround", ""}, 1, "", [](RunConfig& c, Values v) { c.onematround = flag(v[0]); }},
    {{"-MRmax", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.MRmax = toReal(v[0]);
       if (!(c.MRmax >= 1.0)) reject("wrong number of encounters per round");
     }},
    {{"-numfiles", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.numfiles = toInt(v[0]);
       if (c.numfiles < 1) reject("wrong number of files to generate");
     }},
    {{"-shift", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.shift = toInt(v[0]);
       if (c.shift < 0) reject("wrong shift at the arguments");
     }},
    {{"-N", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.N = toInt(v[0]);
       if (c.N <= 1) reject("wrong number of population size");
     }},
    {{"-drift", ""}, 1, "", [](RunConfig& c, Values v) { c.drift = flag(v[0]); }},
    {{"-femtypes", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.femtypes = toInt(v[0]);
       if (c.femtypes < 1) reject("wrong number of female types to generate");
     }},
    {{"-maletypes", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.maletypes = toInt(v[0]);
       if (c.maletypes < 1) reject("wrong number of male types to generate");
     }},
    {{"-osr", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.osr = toReal(v[0]);
       if (!(c.osr > qzero && c.osr < qbig)) reject("wrong sex ratio");
     }},
    {{"-uniform", ""}, 1, "", [](RunConfig& c, Values v) { c.uniform = flag(v[0]); }},
    {{"-userfreqs", "-userphenotypes"},
     1,
     "",
     [](RunConfig& c, Values v) { c.userfreqs = flag(v[0]); }},
    {{"-incrfactor", "-selfactor"},
     1,
     "",
     [](RunConfig& c, Values v) {
       // A factor of 0 or less is ignored (the field keeps its value); the result must be >= 1.
       const double a = toReal(v[0]);
       if (a > 0.0) c.incrfactor = a;
       if (!(c.incrfactor >= 1.0)) reject("wrong sexual selection factor argument");
     }},
    {{"-choicefactor", "-decrfactor"},
     1,
     "",
     [](RunConfig& c, Values v) { c.choicefactor = toReal(v[0]); }},
    {{"-mintrait", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.mintrait = toReal(v[0]);
       if (!(c.mintrait >= 0.0)) reject("wrong minimum trait argument");
     }},
    {{"-dmax", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.dmax = toReal(v[0]);
       if (!(c.dmax > 0.0)) reject("wrong Dmax argument");
     }},
    {{"-choice", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.choice = toReal(v[0]);
       if (!(c.choice >= -1.0 && c.choice <= 1.0)) reject("wrong choice argument");
     }},
    {{"-tolerance", ""},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.tolerance = toReal(v[0]);
       if (!(c.tolerance > qzero)) reject("wrong tolerance argument");
     }},
    {{"-bias", ""}, 1, "", [](RunConfig& c, Values v) { c.bias = toReal(v[0]); }},
    {{"-SL", "-sl"},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.SL = toReal(v[0]);
       if (!(c.SL > 0.0 && c.SL <= 1.0)) reject("wrong significance level (SL) argument");
     }},
    {{"-MPF", "-mpf"},
     1,
     "",
     [](RunConfig& c, Values v) {
       c.MPF = toReal(v[0]);
       if (!(c.MPF > 0.0 && c.MPF <= 1.0)) reject("wrong MPF argument");
     }},
    {{"-fixseed", ""}, 1, "", [](RunConfig& c, Values v) { c.fixseed = toInt64(v[0]); }},
    {{"-eJRpsi", ""}, 1, "", [](RunConfig& c, Values v) { c.eJRpsi = flag(v[0]); }},
    {{"-onlyresume", ""}, 1, "", [](RunConfig& c, Values v) { c.onlyresume = flag(v[0]); }},
    {{"-verbose", ""}, 1, "", [](RunConfig& c, Values v) { c.verbose = flag(v[0]); }},
};
// clang-format on

const Option* findOption(std::string_view word) {
  for (const Option& option : kOptions)
    for (std::string_view name : option.names)
      if (!name.empty() && name == word) return &option;
  return nullptr;
}

}  // namespace

void ParseArgs(int argc, const char* const* argv, RunConfig& config) {
  int cursor = 1;
  while (cursor < argc) {
    const std::string_view word = argv[cursor];
    if (word == "--help" || word == "-h") {
      config.showHelp = true;
      return;
    }
    if (word == "--version") {
      config.showVersion = true;
      return;
    }
    const Option* option = findOption(word);
    if (option == nullptr)
      rejectInput("\n ERROR: " + std::string(word) + " is not a valid command line parameter\n");
    const int available = argc - cursor - 1;
    if (available == 0) return;  // an option as the last word is ignored
    if (available < option->values)
      rejectInput("\n ERROR: " + std::string(word) + " takes " + NtoS(option->values) +
                  " values (" + option->valueNames + ") but only " + NtoS(available) +
                  (available == 1 ? " follows\n" : " follow\n"));
    option->apply(config, argv + cursor + 1);
    cursor += 1 + option->values;
  }
}

}  // namespace pairlab
