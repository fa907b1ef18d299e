#include "app/analyze_args.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "support/diagnostics.hpp"

namespace pairlab {

namespace {

[[noreturn]] void reject(const std::string& message) {
  rejectInput("pairlab-analyze: " + message + " (see pairlab-analyze --help)\n");
}

long long wholeNumber(const std::string& option, const std::string& text, long long least,
                      long long most) {
  long long v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, v);
  if (error != std::errc() || ptr != end || text.empty() || v < least || v > most)
    reject(option + " takes a whole number from " + std::to_string(least) + " to " +
           std::to_string(most) + ", not \"" + text + "\"");
  return v;
}

NullProcess processOf(const std::string& text) {
  if (text == "replacement") return NullProcess::Replacement;
  if (text == "individual") return NullProcess::Individual;
  if (text == "mass") return NullProcess::Mass;
  reject("--process takes replacement, individual or mass, not \"" + text + "\"");
}

// One option with a value: stores it.
void apply(AnalyzeConfig& c, const std::string& option, const std::string& value) {
  constexpr long long kMost = std::numeric_limits<int>::max();
  if (option == "--out") {
    if (value.empty()) reject("--out takes a directory");
    c.out = value;
  } else if (option == "--null") {
    c.null = wholeNumber(option, value, 0, 1000000000);
  } else if (option == "--process") {
    c.process = processOf(value);
  } else if (option == "--mrmax") {
    c.mrmax = static_cast<double>(wholeNumber(option, value, 2, kMost));
  } else if (option == "--seed") {
    c.seed = wholeNumber(option, value, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max());
    c.seedGiven = true;
  } else if (option == "--show") {
    c.show = wholeNumber(option, value, 0, std::numeric_limits<long long>::max());
  } else if (option == "--progress") {
    c.progress = static_cast<int>(wholeNumber(option, value, 0, 1));
  }
}

bool takesValue(const std::string& option) {
  for (const char* name :
       {"--out", "--null", "--process", "--mrmax", "--seed", "--show", "--progress"})
    if (option == name) return true;
  return false;
}

}  // namespace

AnalyzeConfig parseAnalyzeArgs(int argc, const char* const* argv) {
  AnalyzeConfig c;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      if (!c.input.empty()) reject("one input file only: \"" + c.input + "\" and \"" + word + "\"");
      c.input = word;
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "-h" || word == "--help") {
      c.showHelp = true;
      continue;
    }
    if (word == "--version") {
      c.showVersion = true;
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string option = word.substr(0, equals);
    if (!takesValue(option)) reject("unknown option " + option);
    std::string value;
    if (equals != std::string::npos)
      value = word.substr(equals + 1);
    else if (i + 1 < argc)
      value = argv[++i];
    else
      reject(option + " needs a value");
    apply(c, option, value);
    c.given.push_back(option);
  }
  if (!c.showHelp && !c.showVersion && c.input.empty())
    reject("no input file: give the table of matings to analyse");
  return c;
}

std::string defaultOutputDirectory(const std::string& input) {
  const std::size_t slash = input.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string name = input.substr(nameStart);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return input.substr(0, nameStart) + name + "_analysis";
}

void printAnalyzeUsage(std::ostream& out) {
  out << R"(Usage: pairlab-analyze [option]... FILE

Analyses observed mating tables: is there mate choice, of which kind, and how strong? FILE is a
tab- or comma-separated table with a header and the columns female_type, male_type,
female_premating, male_premating and matings (the columns of Pairlab_matings.tsv; without
matings every row is one mated pair). Types may be numbers or words. Every other column groups
the rows: each group is one table, analysed apart. For each table: the indices Jpti, Jpsi, Jpss,
Jps1 and Jps2 with their chi-square tests, Monte Carlo tests under the encounter process and a
permutation test of sexual isolation, and mating models fitted by maximum likelihood and ranked
by Akaike weight. See the manual page pairlab-analyze(1) and doc/analysis.md.

Options
  --out DIR              output directory (default: beside FILE, named after it: FILE's name
                         without its extension and "_analysis")
  --null R               replicates of the Monte Carlo and permutation tests (default 9999;
                         0 turns them off)
  --process P            the process of the Monte Carlo tests: replacement (matings drawn with
                         replacement from an infinite population), individual (individual
                         encounters, mated individuals leave: the default) or mass (mass
                         encounters)
  --mrmax R              mass encounters: females and males paired a round (default: the
                         smaller sex; at least 2)
  --seed S               seed of the simulated tests (default: from the clock)
  --show N               tables whose summary is printed (default 10); the others are in the
                         result tables
  --progress 0|1         progress line on standard error (default: when it is a terminal)
  -h, --help             print this text and exit
  --version              print the version and exit

Results in the output directory: tests.tsv (table x index), cells.tsv (table x cell),
models.tsv (table x model), estimates.tsv (table x model x parameter), null.tsv (the simulated
values binned, with --null above 0) and the run ledger Pairlab_runs.tsv. pairlab-plot DIR draws
them. Bad input stops the run with a message naming the file, line and column (status 1) and
writes nothing.
)";
}

}  // namespace pairlab
