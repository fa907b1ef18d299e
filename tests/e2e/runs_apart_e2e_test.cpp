// Runs keep experiments apart: a run never replaces the files of an earlier run of other
// settings, -outdir puts a run where asked, a check writes nothing, and -popseed gives runs of
// other seeds one population.
#include <gtest/gtest.h>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using Words = std::vector<std::string>;

class RunsApart : public ::testing::Test {
 protected:
  void SetUp() override { work = makeTempDir(); }
  void TearDown() override { fs::remove_all(work); }
  RunResult run(const Words& args) { return runBinary(args, work); }
  // Every file below the working directory but the ledger and the lock, with its content.
  std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> files;
    for (const std::string& f : listFiles(work))
      if (f.find("Out_") != std::string::npos) files[f] = readFile(work / f);
    return files;
  }
  fs::path work;
};

Words join(Words a, const Words& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(RunsApart, ASecondRunReplacesOnlyTheFilesOfARunOfTheSameSettings) {
  const Words continuous = {"-continuous", "1",        "-model", "-1",        "-choice",
                            "0.5",         "-matings", "50",     "-numfiles", "2",
                            "-writefiles", "1",        "-tidy",  "1"};
  const Words files = {"-model", "-1", "-numfiles", "3", "-N", "600"};
  const Words rounds = {"-onematround", "0", "-model", "3", "-MRmax", "1", "-numfiles", "2"};
  struct Case {
    Words first, second;
    const char* differs;  // the stop names this difference; nullptr: the second run goes on
  };
  const Case cases[] = {
      {join(continuous, {"-N", "200"}), join(continuous, {"-N", "1000"}), "-N: 200 then, 1000 now"},
      {files, join(files, {"-femtypes", "3"}), "-femtypes: 2 then, 3 now"},
      {files, join(files, {"-format", "2"}), "-format: 0 then, 2 now"},
      {rounds, join(rounds, {"-SL", "0.01"}), "-SL: 0.05 then, 0.01 now"},
      {rounds, join(rounds, {"-MPF", "0.2"}), "-MPF: 0.1 then, 0.2 now"},
      {files, join(files, {"-shift", "2"}), "-shift: 0 then, 2 now"},  // files 3..5 overlap
      {files, join(files, {"-shift", "3"}), nullptr},                  // files 4..6 do not
      {continuous, join(continuous, {"-fixseed", "7"}), nullptr},      // a rerun
      {continuous, join(continuous, {"-outdir", "other"}), nullptr},
  };
  for (const Case& c : cases) {
    fs::remove_all(work);
    fs::create_directory(work);
    ASSERT_EQ(run(c.first).status, 0);
    const auto before = snapshot();
    const RunResult second = run(c.second);
    if (c.differs == nullptr) {
      EXPECT_EQ(second.status, 0) << second.output;
      continue;
    }
    EXPECT_EQ(second.status, 1) << c.differs;
    EXPECT_NE(second.output.find("whose settings differ from this run's:\n  "), std::string::npos);
    EXPECT_NE(second.output.find(c.differs), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("-outdir DIR"), std::string::npos);
    EXPECT_EQ(snapshot(), before) << c.differs;
  }
  // -outdir: the directory goes where asked, the folders above it created.
  EXPECT_TRUE(fs::is_directory(work / "other" / "Out_Pairlab_iEM"));
  fs::remove_all(work / "other");
  ASSERT_EQ(run(join(files, {"-outdir", "a/b"})).status, 0);
  EXPECT_TRUE(fs::exists(work / "a/b/Out_Pairlab_iEM_1_a1.25_U_sample100_N600_MPF0.1" /
                         "Pairlab_D_iEM_M1_a1.25_U600_3.txt"));
}

// A check goes as far as a run goes before its first file, prints where the run would write,
// and writes nothing at all.
TEST_F(RunsApart, ACheckWritesNothingAndStopsAsTheRunWould) {
  struct Case {
    Words args;
    int status;
    const char* output;
  };
  const Case cases[] = {
      {{"-fixseed", "1"}, 0, "\nOutput directory: Out_Pairlab_0_a1_U_sample100_N500_MPF0.1\n"},
      {{"-continuous", "1", "-model", "-1", "-outdir", "x/y"},
       0,
       "\nOutput directory: x/y/Out_Pairlab_iEM\n"},
      {{"-onematround", "0", "-model", "-3", "-choicefactor", "2"}, 0, "Output directory: Out_"},
      {{"-model", "-1", "-matings", "300"}, 250, "Too few population males or females (250)"},
      {{"-model", "-10", "-MRmax", "300"}, 1, "cannot be higher than the number of individuals"},
      {{"-model", "5"}, 1, "Could not open file: PairlabUserModel.txt"},
      {{"-model", "-3", "-choicefactor", "0.5"}, 1, "Wrong < 1 choice-factor for model 3"},
      {{"-continuous", "1", "-model", "-1", "-userphenotypes", "1"}, 1, "Could not open file"},
  };
  for (const Case& c : cases) {
    const RunResult r = run(join(c.args, {"-checkonly", "1"}));
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.output), std::string::npos) << r.output;
    EXPECT_TRUE(listFiles(work).empty()) << r.output;
    EXPECT_TRUE(fs::is_empty(work)) << r.output;
  }
  // A user frequency file corrected on the way: said on standard output, written nowhere.
  writeFile(work / "PairlabUserFreqs.txt", "0.2 0.2\n0.05 0.95\n");
  const RunResult corrected =
      run({"-uniform", "0", "-userfreqs", "1", "-model", "-1", "-checkonly", "1"});
  EXPECT_EQ(corrected.status, 0) << corrected.output;
  EXPECT_NE(corrected.output.find("The last frequency has been updated to 0.8"), std::string::npos);
  EXPECT_EQ(listFiles(work), std::vector<std::string>{"PairlabUserFreqs.txt"});
  fs::remove(work / "PairlabUserFreqs.txt");
  // The files of an earlier run of other settings.
  ASSERT_EQ(run({"-model", "-1", "-numfiles", "2"}).status, 0);
  const RunResult r = run({"-model", "-1", "-numfiles", "2", "-N", "600", "-checkonly", "1"});
  EXPECT_EQ(r.status, 0);  // the name carries -N: another directory
  const RunResult clash =
      run({"-model", "-1", "-numfiles", "2", "-format", "2", "-checkonly", "1"});
  EXPECT_EQ(clash.status, 1);
  EXPECT_NE(clash.output.find("-format: 0 then, 2 now"), std::string::npos) << clash.output;
}

// Runs with other seeds and one -popseed draw one population; the rest of the run follows
// -fixseed.
TEST_F(RunsApart, APopulationSeedGivesRunsOnePopulation) {
  const auto population = [&](const Words& args, const std::string& folder, const char* file) {
    EXPECT_EQ(run(join(args, {"-outdir", folder})).status, 0);
    return readFile(outputDirectory(work / folder) / file);
  };
  const Words traits = {"-continuous", "1", "-model", "1", "-choice", "0.5", "-writedistrib", "1"};
  EXPECT_EQ(population(join(traits, {"-fixseed", "1", "-popseed", "5"}), "a", "phenotypes.txt"),
            population(join(traits, {"-fixseed", "2", "-popseed", "5"}), "b", "phenotypes.txt"));
  EXPECT_NE(population(join(traits, {"-fixseed", "1"}), "c", "phenotypes.txt"),
            population(join(traits, {"-fixseed", "2"}), "d", "phenotypes.txt"));
  // Random type frequencies of the sampling rounds: those of the first round of the first
  // replicate in the rounds table, without the run id and the pairs formed.
  const Words rounds = {"-onematround", "0", "-uniform",  "0", "-model", "-3", "-numfiles", "2",
                        "-onlyresume",  "1", "-femtypes", "3", "-tidy",  "1"};
  const auto firstRound = [](const std::string& table) {
    std::string rows;
    for (const std::string& line : splitLines(table)) {
      const std::string cells = line.substr(line.find('\t') + 1);
      if (cells.rfind("1\t1\t", 0) == 0) rows += cells.substr(0, cells.rfind('\t')) + "\n";
    }
    return rows;
  };
  const char* table = "Pairlab_rounds.tsv";
  const std::string e =
      firstRound(population(join(rounds, {"-fixseed", "1", "-popseed", "9"}), "e", table));
  EXPECT_EQ(e,
            firstRound(population(join(rounds, {"-fixseed", "2", "-popseed", "9"}), "f", table)));
  EXPECT_NE(e, firstRound(population(join(rounds, {"-fixseed", "2"}), "g", table)));
  EXPECT_EQ(splitLines(e).size(), 6u);
}

// The result files below a folder, without the banner's time line, the run ids of the tables,
// the ledger and the lock.
std::map<std::string, std::string> resultsIn(const fs::path& folder) {
  std::map<std::string, std::string> results;
  for (const std::string& f : listFiles(folder)) {
    const std::string text = readFile(folder / f);
    if (f.find(".tsv") == std::string::npos) {
      results[f] = text.substr(text.find('\n') + 1);
      continue;
    }
    for (const std::string& line : splitLines(text)) results[f] += line.substr(line.find('\t'));
  }
  return results;
}

// Every option reported as not applied is named on standard error and in the ledger, and truly
// has no effect: the run with another value of it writes the same results.
TEST_F(RunsApart, OptionsWithoutEffectAreNamedAndChangeNothing) {
  const Words continuous = {"-continuous", "1", "-model",   "-1", "-choice", "0.5",
                            "-numfiles",   "3", "-matings", "20", "-N",      "600"};
  const Words logistic = {"-continuous", "1", "-model", "-3", "-numfiles", "3", "-matings", "20"};
  const Words files = {"-model", "-3", "-numfiles", "2", "-N", "600", "-tidy", "1"};
  const Words rounds = {"-onematround", "0", "-model", "-30", "-numfiles", "3", "-tidy", "1"};
  struct Case {
    Words base;
    const char* option;
    const char *value, *other;  // two values; the second run uses the other
    const char* reason;
  };
  const Case cases[] = {
      {continuous, "-MRmax", "7", "9", "the discrete roads use it"},
      {continuous, "-gaussian", "0", "1", "models 1 and 2 are Gaussian"},
      {continuous, "-impatience", "0.3", "0.1", "the Gaussian preferences do not use it"},
      {logistic, "-tolerance", "0.2", "0.4", "the logistic preference does not use it"},
      {logistic, "-onechoosy", "1", "0", "the logistic preference does not use it"},
      {files, "-incrfactor", "2", "3", "model 3 does not use the factor a"},
      {join(files, {"-model", "-30"}), "-incrfactor", "2", "3", "model 3 does not use"},
      {join(files, {"-model", "1"}), "-numfiles", "40", "20", "writes one file"},
      {join(files, {"-model", "1"}), "-MRmax", "40", "20", "only mass encounters"},
      {files, "-SL", "0.01", "0.2", "the sampling rounds use it"},
      {rounds, "-eJRpsi", "1", "0", "individual encounters only"},
      {rounds, "-drift", "1", "0", "start from one population"},
      {rounds, "-format", "2", "15", "tables of their own"},
      {join(files, {"-N", "400"}), "-drift", "0", "1", "fewer than 250 individuals"},
      {files, "-MPF", "0.2", "0.3", "uniform type frequencies are not bounded"},
      {continuous, "-uniform", "0", "1", "the discrete roads use it"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string a = "a" + std::to_string(++n), b = "b" + std::to_string(n);
    const RunResult first = run(join(c.base, {c.option, c.value, "-fixseed", "3", "-outdir", a}));
    const RunResult second = run(join(c.base, {c.option, c.other, "-fixseed", "3", "-outdir", b}));
    ASSERT_EQ(first.status, 0) << c.option << first.output;
    std::string main = c.option == std::string("-impatience") ? "-impatient" : c.option;
    EXPECT_NE(first.errors.find("Not applied: " + main + ": "), std::string::npos)
        << c.option << ": " << first.errors;
    EXPECT_NE(first.errors.find(c.reason), std::string::npos) << first.errors;
    const std::string ledger = readFile(outputDirectory(work / a) / "Pairlab_runs.tsv");
    EXPECT_NE(ledger.find("\t" + main), std::string::npos) << ledger;
    EXPECT_EQ(resultsIn(outputDirectory(work / a)), resultsIn(outputDirectory(work / b)))
        << c.option;
  }
  // An option that acts is not named.
  EXPECT_EQ(run(join(continuous, {"-tolerance", "0.2"})).errors, "");
}

}  // namespace
}  // namespace pairlab
