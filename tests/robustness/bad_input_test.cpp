// Bad input through the real binary: every option with every kind of bad value, the multi-option
// runs that once hung or wrote NaN, and broken user files. A sweep runs the program thousands of
// times, so each run must end in one of two ways:
//   - exit 0, every result file under Out_* non-empty and every number in it finite;
//   - a non-zero exit with a message (on standard output, or for a few checks in Pairlab.err),
//     and no temporary (".tmp") file left.
// A run that outlives its time limit, dies of a signal or writes to standard error is a fault.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <thread>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using Words = std::vector<std::string>;

constexpr int kTimeLimitSeconds = 10;
// A huge count may be a long but legitimate run: it gets this long, then SIGTERM.
constexpr int kLongRunSeconds = 3;
constexpr int kGraceSeconds = 5;  // after SIGTERM, before SIGKILL

struct Ending {
  bool exited = false;
  int status = 0;           // exit status, or the signal when !exited
  bool terminated = false;  // we sent SIGTERM at the time limit
  std::string output;
  std::string errors;
};

// Runs the binary in workdir with standard output and error captured into files of capture,
// stopping it with SIGTERM after `limit` seconds and with SIGKILL after the grace period.
Ending runWithLimit(const Words& args, const fs::path& workdir, const fs::path& capture,
                    int limit) {
  // Everything the child needs is made before fork: other threads may hold the allocator.
  const std::string out = capture / "stdout", err = capture / "stderr", dir = workdir;
  std::vector<std::string> words{PAIRLAB_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, STDIN_FILENO);
    dup2(o, STDOUT_FILENO);
    dup2(e, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Ending ending;
  const auto start = std::chrono::steady_clock::now();
  int wstatus = 0;
  bool killed = false;
  while (waitpid(pid, &wstatus, WNOHANG) == 0) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (!ending.terminated && elapsed > std::chrono::seconds(limit)) {
      kill(pid, SIGTERM);
      ending.terminated = true;
    } else if (!killed && elapsed > std::chrono::seconds(limit + kGraceSeconds)) {
      kill(pid, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ending.exited = WIFEXITED(wstatus);
  ending.status = ending.exited ? WEXITSTATUS(wstatus) : WTERMSIG(wstatus);
  ending.output = readFile(out);
  ending.errors = readFile(err);
  return ending;
}

// A word that parses completely as a number that is not finite ("nan", "-nan", "inf", "1e999").
bool isNonFiniteNumber(const std::string& word) {
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  return end != word.c_str() && *end == '\0' && !std::isfinite(value);
}

// The first non-finite number of a text file (infinities aside when allowed), with its line, or
// "".
std::string firstNonFinite(const fs::path& file, bool infinityAllowed) {
  const std::vector<std::string> lines = splitLines(readFile(file));
  const std::regex separators("[\\s,;:=()\\[\\]{}<>|\"']+");
  for (std::size_t i = 0; i < lines.size(); ++i)
    for (std::sregex_token_iterator w(lines[i].begin(), lines[i].end(), separators, -1), end;
         w != end; ++w)
      if (isNonFiniteNumber(*w) &&
          !(infinityAllowed && std::isinf(std::strtod(w->str().c_str(), nullptr))))
        return "line " + std::to_string(i + 1) + ": " + lines[i];
  return "";
}

// Files of the output directory that are not results: the run ledger and the lock.
bool isBookkeeping(const fs::path& file) {
  return file.filename() == "Pairlab_runs.tsv" || file.filename() == ".pairlab.lock";
}

// Standard output without the lines every run prints on its way (seed, progress, files read).
std::string messageOf(const std::string& output) {
  static const std::regex progress("Seed: -?[0-9]+|File [0-9]+ done|Reading file .*|\\s*");
  std::string message;
  for (const std::string& line : splitLines(output))
    if (!std::regex_match(line, progress)) message += line + "\n";
  return message;
}

enum class Expect {
  EndWellOrStop,  // either way of ending
  Stop,           // must stop, its message naming every text of `names`
  Run,            // must end well
};

struct UserFile {
  std::string name{};
  std::string content{};
  bool directory = false;
};

struct Case {
  std::string name{};
  Words args{};
  Expect expect = Expect::EndWellOrStop;
  Words names{};            // texts the stop's message must contain
  bool mayRunLong = false;  // a huge count: running until SIGTERM is fine, if it then cleans up
  std::vector<UserFile> files{};
  std::string reference{};  // when set: the results must equal those of the file holding this
};

// The problems of one ending; empty when the run ended in one of the two good ways. Result files
// are checked however the run ended: a stop must not leave a half-written one behind either.
std::vector<std::string> problemsOf(const Case& c, const Ending& e, const fs::path& workdir) {
  std::vector<std::string> problems;
  auto problem = [&](const std::string& text) { problems.push_back(text); };
  // The progress line, the report of an interruption and the options without effect are all
  // standard error may show.
  const std::string errors = std::regex_replace(
      e.errors,
      std::regex("\r(Pairlab: [^\r\n]*)?\x1b\\[K|\n*Interrupted by SIG[A-Z]+: [^\n]*\n*|"
                 "Not applied: -[A-Za-z_]+: [^\n]*\n"),
      "");
  if (!errors.empty()) problem("wrote to standard error:\n" + e.errors);
  for (const std::string& f : listFiles(workdir)) {
    if (f.find(".tmp") != std::string::npos) problem("left a temporary file: " + f);
    if (f.rfind("Out_", 0) != 0 || isBookkeeping(f)) continue;
    if (fs::file_size(workdir / f) == 0) problem("empty result file " + f);
    // A sampling-round index is infinite when an expected frequency of 0 meets an observed one.
    const bool indices = fs::path(f).filename().string().rfind("Pairlab_Mmax_", 0) == 0;
    const std::string bad = firstNonFinite(workdir / f, indices);
    if (!bad.empty()) problem("non-finite number in " + f + " " + bad);
  }

  const bool interrupted = e.terminated && ((!e.exited && e.status == SIGTERM) ||
                                            (e.exited && e.status == 128 + SIGTERM));
  const bool endedWell = e.exited && e.status == 0;
  // A few stops record their message only in Pairlab.err (the checks of the choice factor).
  std::string message = messageOf(e.output);
  if (message.empty() && !endedWell) message = readFile(workdir / "Pairlab.err");
  if (e.terminated && !(c.mayRunLong && interrupted))
    problem(c.mayRunLong ? "did not end on SIGTERM"
                         : "did not end within " + std::to_string(kTimeLimitSeconds) + " s");
  else if (!e.exited && !interrupted)
    problem("died of signal " + std::to_string(e.status));
  else if (!endedWell && !interrupted && message.empty())
    problem("exit " + std::to_string(e.status) + " without a message");

  if (c.expect == Expect::Run && !endedWell) problem("should end well");
  if (c.expect == Expect::Stop && (endedWell || !e.exited)) problem("should stop");
  if (c.expect == Expect::Stop)
    for (const std::string& text : c.names)
      if (message.find(text) == std::string::npos)
        problem("the message does not name \"" + text + "\"");
  return problems;
}

Words join(Words words, const Words& more) {
  words.insert(words.end(), more.begin(), more.end());
  return words;
}

// Small runs of each road; the option under test follows and so overrides them.
const Words kFiles = {"-fixseed", "1", "-N", "60", "-matings", "10", "-numfiles", "2"};
const Words kIndividual = join(kFiles, {"-model", "-1"});
const Words kMass = join(kFiles, {"-model", "-10"});
const Words kRounds = join(kFiles, {"-onematround", "0"});
const Words kContinuous = join(kFiles, {"-continuous", "1", "-model", "-1", "-choice", "0.5"});

struct Road {
  const char* name;
  Words args;
};
const std::vector<Road> kRoads = {
    {"files", kFiles},
    {"individual", kIndividual},
    {"mass", kMass},
    {"assortative", join(kFiles, {"-model", "-3"})},
    {"massassortative", join(kFiles, {"-model", "-30"})},
    {"randomfreqs", join(kFiles, {"-uniform", "0"})},
    {"rounds", kRounds},
    {"roundsindividual", join(kRounds, {"-model", "-1"})},
    {"roundsmass", join(kRounds, {"-model", "-10"})},
    {"roundsassortative", join(kRounds, {"-model", "3"})},
    {"continuous", kContinuous},
    {"logistic", join(kContinuous, {"-model", "-3"})},
};

struct OptionRow {
  std::string option{};
  Words roads{};  // names of the runs in which the option matters
  Words valid{};  // a valid value for each value of a multi-valued option
  bool mayRunLong = false;
};

// Every option of the usage text (one name of an alias is enough).
const std::vector<OptionRow> kOptions = {
    {"-N", {"files", "rounds", "continuous"}},
    {"-N", {"mass"}, {}, true},  // a huge population is a long run
    {"-osr", {"files", "rounds", "continuous"}},
    {"-matings", {"files", "rounds", "continuous"}},
    {"-numfiles", {"files", "rounds", "continuous"}, {}, true},
    {"-shift", {"files", "rounds", "continuous"}},
    {"-model", {"files", "rounds", "continuous"}},
    {"-fixseed", {"files", "rounds", "continuous"}},
    {"-continuous", {"files", "continuous"}},
    {"-verbose", {"files", "rounds", "continuous"}},
    {"-onematround", {"files"}},
    {"-femtypes", {"files", "rounds"}},
    {"-maletypes", {"files", "rounds"}},
    {"-uniform", {"files"}},
    {"-userfreqs", {"randomfreqs"}},
    {"-userphenotypes", {"continuous"}},
    {"-MPF", {"randomfreqs"}},
    {"-drift", {"files"}},
    {"-incrfactor", {"individual", "mass", "roundsindividual"}},
    {"-choicefactor", {"assortative", "massassortative", "roundsassortative"}},
    {"-MRmax", {"mass", "roundsmass"}},
    {"-format", {"files"}},
    {"-SL", {"rounds"}},
    {"-eJRpsi", {"roundsindividual"}},
    {"-onlyresume", {"rounds"}},
    {"-gaussian", {"continuous"}},
    {"-choice", {"continuous"}},
    {"-tolerance", {"continuous"}},
    {"-dmax", {"continuous"}},
    {"-bias", {"continuous"}},
    {"-mintrait", {"continuous"}},
    {"-scaling", {"continuous"}},
    {"-onechoosy", {"continuous"}},
    {"-logistic_params", {"logistic"}, {"0", "1"}},
    {"-impatient", {"logistic"}},
    {"-bimodal", {"continuous"}, {"0.5", "2", "1"}},
    {"-age_params", {"continuous"}, {"1", "2", "0"}},
    {"-writefiles", {"continuous"}},
    {"-writedistrib", {"continuous"}},
    {"-tidy", {"files", "rounds", "continuous"}},
    {"-progress", {"files"}},
    {"-checkonly", {"files", "continuous"}},
    {"-popseed", {"randomfreqs", "continuous"}},
    {"-outdir", {"files"}},
};

struct BadValue {
  const char* name;
  const char* text;
};
const BadValue kBadValues[] = {
    {"abc", "abc"},   {"empty", ""},     {"zero", "0"},
    {"minus1", "-1"}, {"huge", "1e308"}, {"hugeint", "99999999999"},
    {"nan", "nan"},   {"inf", "inf"},    {"minusinf", "-inf"},
};

const Words& roadArgs(const std::string& name) {
  for (const Road& road : kRoads)
    if (road.name == name) return road.args;
  throw std::invalid_argument("no road " + name);
}

std::string nameOf(std::string text) {
  for (char& c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return text;
}

std::vector<Case> optionCases() {
  std::vector<Case> cases;
  for (const OptionRow& row : kOptions) {
    const std::string option = nameOf(row.option.substr(1));
    for (const std::string& road : row.roads) {
      const Words& base = roadArgs(road);
      const std::size_t positions = std::max<std::size_t>(row.valid.size(), 1);
      for (std::size_t at = 0; at < positions; ++at)
        for (const BadValue& bad : kBadValues) {
          Words values = row.valid.empty() ? Words{""} : row.valid;
          values[at] = bad.text;
          const std::string where = positions > 1 ? std::to_string(at + 1) : "";
          cases.push_back({.name = option + where + "_" + road + "_" + bad.name,
                           .args = join(join(base, {row.option}), values),
                           .mayRunLong = row.mayRunLong});
        }
      cases.push_back({option + "_" + road + "_missing", join(base, {row.option})});
      if (positions > 1)
        cases.push_back({option + "_" + road + "_too_few", join(base, {row.option, row.valid[0]})});
    }
  }
  return cases;
}

// Runs that once hung, wrote NaN or took a huge population without checking memory.
std::vector<Case> knownCases() {
  const Expect stop = Expect::Stop;
  return {
      {"individual_incrfactor_inf", join(kIndividual, {"-incrfactor", "inf"}), stop},
      {"individual_selfactor_inf", join(kIndividual, {"-selfactor", "inf"}), stop},
      {"individual3_choicefactor_inf", join(kFiles, {"-model", "-3", "-choicefactor", "inf"}),
       stop},
      {"individual6_incrfactor_inf", join(kFiles, {"-model", "-6", "-incrfactor", "inf"}), stop},
      {"individual8_factors_1e200",
       join(kFiles, {"-model", "-8", "-incrfactor", "1e200", "-choicefactor", "1e200"})},
      {"replacement3_choicefactor_inf", join(kFiles, {"-model", "3", "-choicefactor", "inf"}),
       stop},
      {"replacement1_incrfactor_inf", join(kFiles, {"-model", "1", "-incrfactor", "inf"}), stop},
      {"mass_incrfactor_inf", join(kMass, {"-incrfactor", "inf"}), stop},
      {"continuous_dmax_inf", join(kContinuous, {"-dmax", "inf"}), stop},
      {"continuous_mintrait_1e308", join(kContinuous, {"-mintrait", "1e308"})},
      {"continuous_bimodal_huge", join(kContinuous, {"-bimodal", "0.5", "1e308", "1e308"})},
      {"continuous_bimodal_nan", join(kContinuous, {"-bimodal", "0.5", "nan", "1"}), stop},
      {"logistic_params_nan", join(kContinuous, {"-gaussian", "0", "-logistic_params", "nan", "1"}),
       stop},
      {"logistic_impatience_nan", join(kContinuous, {"-gaussian", "0", "-impatience", "nan"}),
       stop},
      {"continuous_age_params_nan", join(kContinuous, {"-age_params", "1", "nan", "0"}), stop},
      // A large population that fits in memory is a long but legitimate run.
      {.name = "mass_population_2e9",
       .args = join(kMass, {"-N", "2000000000"}),
       .mayRunLong = true},
      // Numbers that convert only in part stop, naming the option and the text.
      {"numfiles_partly_converted",
       join(kFiles, {"-numfiles", "1e4"}),
       stop,
       {"-numfiles", "1e4", "10000"}},
      {"N_partly_converted", join(kFiles, {"-N", "5e3", "-matings", "5"}), stop, {"-N", "5e3"}},
      {"fixseed_partly_converted", join(kFiles, {"-fixseed", "abc"}), stop, {"-fixseed", "abc"}},
      {"choice_decimal_comma",
       join(kContinuous, {"-choice", "0,5"}),
       stop,
       {"-choice", "0,5", "decimal point"}},
      {"choice_last_without_value", join(kContinuous, {"-choice"}), stop, {"-choice"}},
  };
}

// Broken user files: each must stop naming the file (or the line), except a byte-order mark
// before valid content, which is skipped.
std::vector<Case> userFileCases() {
  struct Reader {
    const char* name;
    std::string file;
    Words args;
    std::string valid;      // a valid file for the run
    std::string firstLine;  // the first data line alone
    std::string badLine;    // valid but for one value, written as "VALUE"
    bool namesLine;         // a bad value stops naming the file and line (else: just stops)
  };
  std::string phenotypes;
  for (int i = 0; i < 60; ++i) phenotypes += std::to_string(i % 7) + ".5\n";
  const Reader readers[] = {
      {"freqs", "PairlabUserFreqs.txt", join(kFiles, {"-uniform", "0", "-userfreqs", "1"}),
       "0.4 0.6\n0.5 0.5\n", "0.4 0.6\n", "0.4 VALUE\n0.5 0.5\n", true},
      {"model", "PairlabUserModel.txt", join(kFiles, {"-model", "-5"}), "2 2\n1 2\n2 1\n", "2 2\n",
       "2 2\n1 VALUE\n2 1\n", false},
      {"phenotypes", "PairlabUserPhenotypes.txt", join(kContinuous, {"-userphenotypes", "1"}),
       phenotypes, "1.5\n", "VALUE\n" + phenotypes.substr(4), true},
  };
  std::vector<Case> cases;
  for (const Reader& r : readers) {
    auto add = [&](const std::string& what, UserFile file, Expect expect, Words names) {
      file.name = r.file;
      cases.push_back({.name = std::string(r.name) + "_" + what,
                       .args = r.args,
                       .expect = expect,
                       .names = names,
                       .files = {file}});
    };
    const Words names{r.file};
    add("empty", {"", "", false}, Expect::Stop, names);
    add("comments_only", {"", "# nothing here\n#\n", false}, Expect::Stop, names);
    add("first_line_only", {"", r.firstLine, false}, Expect::Stop, names);
    add("directory", {"", "", true}, Expect::Stop, names);
    add("byte_order_mark", {"", "\xEF\xBB\xBF" + r.valid, false}, Expect::Run, {});
    cases.back().reference = r.valid;
    for (const char* value : {"nan", "inf", "1e999"}) {
      std::string content = r.badLine;
      content.replace(content.find("VALUE"), 5, value);
      add(std::string("value_") + nameOf(value), {"", content, false}, Expect::Stop,
          r.namesLine ? Words{r.file, "line"} : Words{});
    }
  }
  return cases;
}

std::vector<Case> allCases() {
  std::vector<Case> cases = optionCases();
  for (std::vector<Case> more : {knownCases(), userFileCases()})
    cases.insert(cases.end(), more.begin(), more.end());
  return cases;
}

std::string commandLine(const Words& args) {
  std::string line = "pairlab";
  for (const std::string& a : args) line += a.empty() ? " ''" : " " + a;
  return line;
}

// The result files below workdir and their lines, without the first (it holds the time).
std::map<std::string, std::vector<std::string>> resultsIn(const fs::path& workdir) {
  std::map<std::string, std::vector<std::string>> results;
  for (const std::string& f : listFiles(workdir))
    if (f.rfind("Out_", 0) == 0 && !isBookkeeping(f)) {
      std::vector<std::string> lines = splitLines(readFile(workdir / f));
      if (!lines.empty()) lines.erase(lines.begin());
      results[f] = lines;
    }
  return results;
}

// Runs the case in root / name with its user files (their content replaced by `content` when
// given).
Ending runCase(const Case& c, const fs::path& root, const std::string& name,
               const std::string* content = nullptr) {
  const fs::path workdir = root / name;
  fs::create_directory(workdir);
  for (const UserFile& f : c.files) {
    if (f.directory)
      fs::create_directory(workdir / f.name);
    else
      writeFile(workdir / f.name, content != nullptr ? *content : f.content);
  }
  return runWithLimit(c.args, workdir, root, c.mayRunLong ? kLongRunSeconds : kTimeLimitSeconds);
}

// The problems of one case, each with the command line and the standard output.
std::vector<std::string> checkCase(const Case& c) {
  const fs::path root = makeTempDir();
  const Ending e = runCase(c, root, "run");
  std::vector<std::string> problems = problemsOf(c, e, root / "run");
  if (!c.reference.empty()) {
    runCase(c, root, "reference", &c.reference);
    if (resultsIn(root / "run") != resultsIn(root / "reference"))
      problems.push_back("results differ from those of the same file without the mark");
  }
  fs::remove_all(root);
  const std::size_t shown = 2000;  // the end of a long standard output is enough
  const std::string tail =
      e.output.size() > shown ? e.output.substr(e.output.size() - shown) : e.output;
  for (std::string& p : problems)
    p = c.name + ": " + commandLine(c.args) + "\n  " + p + "\n  standard output:\n" + tail;
  return problems;
}

// One test runs the whole table, several runs at a time (they are short, a hang is not), and
// reports every failing case. PAIRLAB_BAD_INPUT_CASES (a regular expression) picks cases by name.
TEST(BadInput, EveryCaseEndsWellOrStopsCleanly) {
  std::vector<Case> cases = allCases();
  if (const char* pick = std::getenv("PAIRLAB_BAD_INPUT_CASES")) {
    const std::regex picked(pick);
    std::erase_if(cases, [&](const Case& c) { return !std::regex_search(c.name, picked); });
  }
  std::vector<std::vector<std::string>> problems(cases.size());
  std::atomic<std::size_t> next = 0;
  std::vector<std::thread> workers;
  for (unsigned w = 0; w < std::max(4u, std::thread::hardware_concurrency()); ++w)
    workers.emplace_back([&] {
      for (std::size_t i; (i = next++) < cases.size();) problems[i] = checkCase(cases[i]);
    });
  for (std::thread& worker : workers) worker.join();
  int failed = 0;
  for (const std::vector<std::string>& found : problems) {
    failed += !found.empty();
    for (const std::string& p : found) ADD_FAILURE() << p;
  }
  EXPECT_EQ(failed, 0) << "of " << cases.size() << " cases";
}

// A new option needs its rows above: every option of the usage text is in the table.
TEST(BadInputTable, CoversEveryOptionOfTheUsageText) {
  const fs::path root = makeTempDir();
  const Ending help = runWithLimit({"--help"}, root, root, kTimeLimitSeconds);
  fs::remove_all(root);
  const std::regex optionLine("  (-[A-Za-z_]+)\\b.*");
  std::smatch m;
  int found = 0;
  for (const std::string& line : splitLines(help.output)) {
    if (!std::regex_match(line, m, optionLine) || m[1] == "-h") continue;
    ++found;
    const bool covered = std::any_of(kOptions.begin(), kOptions.end(),
                                     [&](const OptionRow& row) { return row.option == m[1]; });
    EXPECT_TRUE(covered) << m[1] << " has no row in the bad-input table";
  }
  EXPECT_GT(found, 30);
}

}  // namespace
}  // namespace pairlab
