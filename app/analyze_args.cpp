#include "app/analyze_args.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "app/parse_args.hpp"
#include "support/diagnostics.hpp"
#include "support/text.hpp"

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

std::vector<std::string> listItems(const std::string& text);

// The options of the continuous analysis.
void applyContinuous(AnalyzeConfig& c, const std::string& option, const std::string& value) {
  if (option == "--population") {
    if (value.empty()) reject("--population takes a file");
    c.population = value;
  } else if (option == "--abc") {
    c.abc = wholeNumber(option, value, 1, 1000000000);
  } else if (option == "--prior") {
    c.priors.push_back(value);
  } else if (option == "--accept") {
    const std::optional<double> v = readReal(value);
    if (!v || !(*v > 0.0 && *v <= 1.0))
      reject(
          "--accept takes the share of the simulations accepted, above 0 and at most 1, not "
          "\"" +
          value + "\"");
    c.accept = *v;
  } else if (option == "--models") {
    c.models = listItems(value);
  } else if (option == "--threads") {
    c.threads = static_cast<int>(wholeNumber(option, value, 1, 4096));
  }
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
  } else {
    applyContinuous(c, option, value);
  }
}

bool takesValue(const std::string& option) {
  for (const char* name :
       {"--out", "--null", "--process", "--mrmax", "--seed", "--show", "--progress", "--population",
        "--abc", "--prior", "--accept", "--models", "--threads"})
    if (option == name) return true;
  return false;
}

// The items of a comma-separated list, blanks around them trimmed.
std::vector<std::string> listItems(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    items.emplace_back(stripSpace(text.substr(start, comma - start)));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
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
    if (word == "--continuous") {
      c.continuous = true;
      c.given.push_back(word);
      continue;
    }
    if (word[1] != '-') {  // an option of the continuous road, as pairlab takes it
      const int values = optionValueCount(word);
      if (values < 0) reject("unknown option " + word);
      if (argc - i - 1 < values)
        reject(word + " takes " + std::to_string(values) + (values == 1 ? " value" : " values"));
      for (int v = 0; v <= values; ++v) c.roadOptions.push_back(argv[i + v]);
      i += values;
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string option = word.substr(0, equals);
    if (option == "--continuous") reject("--continuous takes no value");
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
       pairlab-analyze --continuous [option]... [--population POP] [road option]... FILE

Analyses observed mating tables: is there mate choice, of which kind, and how strong? FILE is a
tab- or comma-separated table with a header and the columns female_type, male_type,
female_premating, male_premating and matings (the columns of Pairlab_matings.tsv; without
matings every row is one mated pair). Types may be numbers or words. Every other column groups
the rows: each group is one table, analysed apart. For each table: the indices Jpti, Jpsi, Jpss,
Jps1 and Jps2 with their chi-square tests, Monte Carlo tests under the encounter process and a
permutation test of sexual isolation, and mating models fitted by maximum likelihood and ranked
by Akaike weight. See the manual page pairlab-analyze(1) and doc/analysis.md.

With --continuous, FILE holds mated pairs of continuous traits: the columns female_trait and
male_trait, one row per pair (the columns of Pairlab_pairs.tsv; every other column but pair
groups the rows into tables). For each table: the correlation between partners (and its
small-sample adjusted value), its 95 % interval, J divergence and t-test, the statistics of the
pairs, a Monte Carlo test of random mating under the encounter process and, with --abc, the
preference parameters inferred by simulation (approximate Bayesian computation).

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

Continuous traits
  --continuous           FILE holds pairs of traits
  --population POP       the population the pairs were drawn from: a table with the columns
                         sex (female or male, F or M) and trait (default: the mated
                         individuals stand for it, and selection cannot be measured)
  --abc S                infer the parameters from S simulations
  --prior NAME=LOW:HIGH  a uniform prior on an option of the continuous road: choice,
                         tolerance, bias, dmax, impatience, logistic_a, logistic_b, age_a,
                         age_b, age_g (repeat for each parameter)
  --accept F             the share of the simulations accepted (default 0.01)
  --models M,M,...       compare models: FND, BD03, logistic, random (their encounter process:
                         --process); without it, the model of -model
  --threads T            threads of the simulations (default: every core); the results are the
                         same for any number
  road options           the model and the options of the continuous road as pairlab takes
                         them: -model (its sign and digits name the encounter process), -choice,
                         -tolerance, -dmax, -bias, -onechoosy, -mintrait, -scaling, -gaussian,
                         -logistic_params, -impatience, -age_params

Results in the output directory: tests.tsv (table x index), cells.tsv (table x cell),
models.tsv (table x model), estimates.tsv (table x model x parameter), null.tsv (the simulated
values binned, with --null above 0) and the run ledger Pairlab_runs.tsv; with --continuous,
tests.tsv (table x statistic) and with --abc posterior.tsv (the accepted simulations),
estimates.tsv (per model and parameter) and statistics.tsv (observed and accepted statistics).
pairlab-plot DIR draws them. Bad input stops the run with a message naming the file, line and
column (status 1) and writes nothing.
)";
}

}  // namespace pairlab
