#include "app/parse_args.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

[[noreturn]] void reject(const char* message) { rejectInput(message); }

bool finite(double v) { return std::isfinite(v); }

// The values of one option on the command line. Every value is read completely as a number of
// the option's kind (a whole number for integers, flags and the seed, a real otherwise), or the
// run stops naming the option, the text and how to write it.
class Values {
 public:
  Values(const char* option, const char* const* words) : option_(option), words_(words) {}

  double real(int i) const {
    const std::optional<double> value = readReal(words_[i]);
    if (!value) reject(i, false, 0, 0);
    return *value;
  }
  int integer(int i) const {
    return static_cast<int>(
        whole(i, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  }
  bool flag(int i) const { return integer(i) != 0; }
  std::string text(int i) const { return words_[i]; }
  std::int64_t seed(int i) const {
    return whole(i, std::numeric_limits<std::int64_t>::min(),
                 std::numeric_limits<std::int64_t>::max());
  }

 private:
  std::int64_t whole(int i, std::int64_t low, std::int64_t high) const {
    const std::optional<std::int64_t> value = readWhole(words_[i], low, high);
    if (!value) reject(i, true, low, high);
    return *value;
  }

  [[noreturn]] void reject(int i, bool whole, std::int64_t low, std::int64_t high) const {
    rejectInput("\n ERROR: the value \"" + std::string(words_[i]) + "\" of " + option_ + " " +
                notANumber(words_[i], whole, low, high) + "\n");
  }

  const char* option_;
  const char* const* words_;
};

// One option: its names (main name first, then an alias), how many values follow it, and the
// function that stores and checks them. Checks are written so that NaN and infinities fail them.
struct Option {
  std::array<std::string_view, 2> names;
  int values;
  const char* valueNames;  // for the message when a multi-valued option lacks values
  void (*apply)(RunConfig&, const Values&);
};

// clang-format off
const Option kOptions[] = {
    {{"-continuous", ""}, 1, "", [](RunConfig& c, const Values& v) { c.continuous = v.flag(0); }},
    {{"-scaling", ""}, 1, "", [](RunConfig& c, const Values& v) { c.scaling = v.flag(0); }},
    {{"-format", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.format = v.integer(0);
       if (c.format < 0 || c.format > 16) reject("wrong format");
     }},
    {{"-bimodal", ""}, 3, "proportion, mean and standard deviation",
     [](RunConfig& c, const Values& v) {
       for (int i = 0; i < 3; ++i) c.bimodal[i] = v.real(i);
       if (!(c.bimodal[0] > 0.0 && c.bimodal[0] < 1.0) || !finite(c.bimodal[1]) ||
           !finite(c.bimodal[2]))
         reject("wrong mixture argument");
     }},
    {{"-age_params", ""}, 3, "scale a, shape b and log-age threshold g",
     [](RunConfig& c, const Values& v) {
       for (int i = 0; i < 3; ++i) c.age_params[i] = v.real(i);
       for (double p : c.age_params)
         if (!finite(p)) reject("wrong aging argument");
     }},
    {{"-writefiles", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.writefiles = v.flag(0);
       c.writefilesGiven = true;
     }},
    {{"-writedistrib", ""}, 1, "", [](RunConfig& c, const Values& v) { c.writedistrib = v.flag(0); }},
    {{"-impatient", "-impatience"}, 1, "", [](RunConfig& c, const Values& v) {
       c.impatient = v.real(0);
       if (!finite(c.impatient)) reject("wrong impatience argument");
     }},
    {{"-gaussian", ""}, 1, "", [](RunConfig& c, const Values& v) { c.gaussian = v.flag(0); }},
    {{"-onechoosy", ""}, 1, "", [](RunConfig& c, const Values& v) { c.onechoosy = v.flag(0); }},
    {{"-logistic_params", ""}, 2, "intercept a and slope b", [](RunConfig& c, const Values& v) {
       for (int i = 0; i < 2; ++i) c.logistic_params[i] = v.real(i);
       if (!finite(c.logistic_params[0]) || !finite(c.logistic_params[1]))
         reject("wrong logistic argument");
     }},
    {{"-model", ""}, 1, "", [](RunConfig& c, const Values& v) { c.model = v.integer(0); }},
    {{"-matings", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.matings = v.integer(0);
       if (c.matings <= 4) reject("wrong sample size");
     }},
    {{"-onematround", ""}, 1, "", [](RunConfig& c, const Values& v) { c.onematround = v.flag(0); }},
    {{"-MRmax", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.MRmax = v.real(0);
       if (!(c.MRmax >= 1.0 && finite(c.MRmax))) reject("wrong number of encounters per round");
     }},
    {{"-numfiles", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.numfiles = v.integer(0);
       if (c.numfiles < 1) reject("wrong number of files to generate");
     }},
    {{"-shift", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.shift = v.integer(0);
       if (c.shift < 0) reject("wrong shift at the arguments");
     }},
    {{"-N", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.N = v.integer(0);
       if (c.N <= 1) reject("wrong number of population size");
     }},
    {{"-drift", ""}, 1, "", [](RunConfig& c, const Values& v) { c.drift = v.flag(0); }},
    {{"-femtypes", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.femtypes = v.integer(0);
       if (c.femtypes < 1) reject("wrong number of female types to generate");
     }},
    {{"-maletypes", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.maletypes = v.integer(0);
       if (c.maletypes < 1) reject("wrong number of male types to generate");
     }},
    {{"-osr", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.osr = v.real(0);
       if (!(c.osr > qzero && c.osr < qbig)) reject("wrong sex ratio");
     }},
    {{"-uniform", ""}, 1, "", [](RunConfig& c, const Values& v) { c.uniform = v.flag(0); }},
    {{"-userfreqs", "-userphenotypes"}, 1, "",
     [](RunConfig& c, const Values& v) { c.userfreqs = v.flag(0); }},
    {{"-incrfactor", "-selfactor"}, 1, "", [](RunConfig& c, const Values& v) {
       c.incrfactor = v.real(0);
       if (!(c.incrfactor >= 1.0 && finite(c.incrfactor)))
         reject("wrong sexual selection factor argument");
     }},
    {{"-choicefactor", "-decrfactor"}, 1, "", [](RunConfig& c, const Values& v) {
       c.choicefactor = v.real(0);
       if (!finite(c.choicefactor)) reject("wrong choice factor argument");
     }},
    {{"-mintrait", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.mintrait = v.real(0);
       if (!(c.mintrait >= 0.0 && finite(c.mintrait))) reject("wrong minimum trait argument");
     }},
    {{"-dmax", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.dmax = v.real(0);
       if (!(c.dmax > 0.0 && finite(c.dmax))) reject("wrong Dmax argument");
     }},
    {{"-choice", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.choice = v.real(0);
       if (!(c.choice >= -1.0 && c.choice <= 1.0)) reject("wrong choice argument");
     }},
    {{"-tolerance", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.tolerance = v.real(0);
       if (!(c.tolerance > qzero && finite(c.tolerance))) reject("wrong tolerance argument");
     }},
    {{"-bias", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.bias = v.real(0);
       if (!finite(c.bias)) reject("wrong bias argument");
     }},
    {{"-SL", "-sl"}, 1, "", [](RunConfig& c, const Values& v) {
       c.SL = v.real(0);
       if (!(c.SL > 0.0 && c.SL <= 1.0)) reject("wrong significance level (SL) argument");
     }},
    {{"-MPF", "-mpf"}, 1, "", [](RunConfig& c, const Values& v) {
       c.MPF = v.real(0);
       if (!(c.MPF > 0.0 && c.MPF <= 1.0)) reject("wrong MPF argument");
     }},
    {{"-fixseed", ""}, 1, "", [](RunConfig& c, const Values& v) { c.fixseed = v.seed(0); }},
    {{"-eJRpsi", ""}, 1, "", [](RunConfig& c, const Values& v) { c.eJRpsi = v.flag(0); }},
    {{"-onlyresume", ""}, 1, "", [](RunConfig& c, const Values& v) { c.onlyresume = v.flag(0); }},
    {{"-verbose", ""}, 1, "", [](RunConfig& c, const Values& v) { c.verbose = v.flag(0); }},
    {{"-tidy", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.tidy = v.integer(0);
       if (c.tidy < 0 || c.tidy > 2) reject("wrong tidy argument");
     }},
    {{"-progress", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.progress = v.flag(0) ? 1 : 0;
     }},
    {{"-checkonly", ""}, 1, "", [](RunConfig& c, const Values& v) { c.checkonly = v.flag(0); }},
    {{"-popseed", ""}, 1, "", [](RunConfig& c, const Values& v) { c.popseed = v.seed(0); }},
    {{"-outdir", ""}, 1, "", [](RunConfig& c, const Values& v) {
       c.outdir = v.text(0);
       if (c.outdir.empty()) reject("wrong output folder argument: the folder name is empty");
     }},
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
    if (available == 0 && option->values == 1)
      rejectInput("\n ERROR: " + std::string(word) +
                  " needs a value, but it is the last word of the command line\n");
    if (available < option->values)
      rejectInput("\n ERROR: " + std::string(word) + " takes " + NtoS(option->values) +
                  " values (" + option->valueNames + ") but " +
                  (available == 0   ? std::string("none follows\n")
                   : available == 1 ? std::string("only 1 follows\n")
                                    : "only " + NtoS(available) + " follow\n"));
    option->apply(config, Values(argv[cursor], argv + cursor + 1));
    const std::string name(option->names[0]);
    if (std::find(config.given.begin(), config.given.end(), name) == config.given.end())
      config.given.push_back(name);
    cursor += 1 + option->values;
  }
}

int optionValueCount(std::string_view name) {
  const Option* option = findOption(name);
  return option != nullptr ? option->values : -1;
}

std::string mainOptionName(std::string_view name) {
  const Option* option = findOption(name);
  return option != nullptr ? std::string(option->names[0]) : std::string();
}

std::vector<std::string> optionNames() {
  std::vector<std::string> names;
  for (const Option& option : kOptions)
    for (std::string_view name : option.names)
      if (!name.empty()) names.emplace_back(name);
  return names;
}

}  // namespace pairlab
