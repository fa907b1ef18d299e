// pairlab-analyze --continuous as a user runs it: bad input and bad options stop it with a
// message naming the file, line and column (or the option) and leave nothing behind; the pairs
// of a simulated run flow straight in; the results are the same byte for byte on 1 and 2 threads.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;

RunResult analyze(const std::vector<std::string>& args, const fs::path& dir) {
  return runBinary(args, dir, PAIRLAB_ANALYZE_BINARY);
}

// n pairs of traits that go together, and a population of nf females and nm males.
std::string pairsTable(int n, const std::string& group = "") {
  std::string text = (group.empty() ? "" : "site\t") + std::string("female_trait\tmale_trait\n");
  for (int i = 0; i < n; ++i)
    text += (group.empty() ? "" : group + "\t") + std::to_string(0.1 * i + 0.01 * (i % 3)) + "\t" +
            std::to_string(0.1 * i + 0.02 * (i % 4)) + "\n";
  return text;
}
std::string populationTable(int nf, int nm) {
  std::string text = "id,sex,trait\n";
  for (int i = 0; i < nf + nm; ++i)
    text += std::to_string(i) + "," + (i < nf ? "F" : "male") + "," +
            std::to_string(std::sin(i * 1.7) * 2.0) + "\n";
  return text;
}

TEST(ContinuousAnalysis, BadInputStopsWithItsPlaceAndWritesNothing) {
  const std::string pop = populationTable(30, 30), pairs = pairsTable(8);
  const std::vector<std::string> abc = {"-model", "-1", "--abc", "10"};
  const struct {
    const char* name;
    std::string pairs, population;
    std::vector<std::string> args, expected;
  } cases[] = {
      {"no male trait",
       "female_trait\tx\n1\t2\n",
       pop,
       {},
       {"line 1: the header has no column male_trait"}},
      {"trait not a number",
       pairsTable(6) + "1.5\tbig\n",
       pop,
       {},
       {"line 8, column male_trait: \"big\" is not a number"}},
      {"infinite trait",
       pairsTable(6) + "inf\t1\n",
       pop,
       {},
       {"line 8, column female_trait: \"inf\" is not a finite"}},
      {"four pairs",
       pairsTable(4, "a") + "b\t1\t1\n",
       pop,
       {},
       {"line 2: the table that starts here holds 4 pairs: at least 5"}},
      {"grouping column named as a result",
       "weight\tfemale_trait\tmale_trait\n1\t1\t1\n",
       pop,
       {},
       {"column weight: a grouping column may not"}},
      {"unknown sex",
       pairs,
       "sex\ttrait\nF\t1\nX\t2\n",
       {},
       {"pop.tsv, line 3, column sex: \"X\" is neither female nor male"}},
      {"no males",
       pairs,
       "sex\ttrait\nF\t1\nF\t2\n",
       {},
       {"pop.tsv, column sex: the population has no male"}},
      {"females that do not vary",
       pairs,
       "sex\ttrait\nF\t1\nF\t1\nM\t2\nM\t3\n",
       {},
       {"the traits of the females do not vary"}},
      {"population too small",
       pairs,
       populationTable(30, 7),
       {},
       {"in.tsv, line 2: table 1 holds 8 pairs, more than the population (pop.tsv: 30 females, 7 "
        "males)"}},
      {"prior outside the option",
       pairs,
       pop,
       {"-model", "-1", "--abc", "10", "--prior", "choice=-2:1"},
       {"--prior choice=-2:1: the lower end -2 is not a value of -choice"}},
      {"empty range",
       pairs,
       pop,
       {"-model", "-1", "--abc", "10", "--prior", "tolerance=0.3:0.3", "-choice", "1"},
       {"the range is empty"}},
      {"parameter the model does not use",
       pairs,
       pop,
       {"-model", "-3", "--abc", "10", "--prior", "tolerance=0.1:0.2"},
       {"logistic does not use it: the logistic preference does not use it"}},
      {"preference of choice 0",
       pairs,
       pop,
       {"-model", "-2", "--abc", "10", "--prior", "dmax=1:2"},
       {"-choice is 0, random mating"}},
      {"nothing to infer", pairs, pop, abc, {"--abc needs a prior"}},
      {"option of the road the data give",
       pairs,
       pop,
       {"-N", "100"},
       {"-N is not an option of the analysis"}},
      {"two processes",
       pairs,
       pop,
       {"-model", "-10", "--process", "individual"},
       {"-model -10 names mass encounters, --process individual"}},
      {"traits beyond the sums of squares",
       pairsTable(6) + "1e300\t1\n",
       pop,
       {},
       {"line 2: the traits are too large"}},
      {"pairs standing for a population that does not vary",
       "female_trait,male_trait\n1,2\n1,3\n1,4\n1,5\n1,6\n",
       "",
       {},
       {"in.tsv, line 2, column female_trait: table 1: the female traits do not vary"}},
      {"road option without --continuous",
       "",
       "",
       {"-model", "-1"},
       {"-model is an option of the analysis of continuous traits: give --continuous"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = makeTempDir();
    if (!c.pairs.empty()) writeFile(dir / "in.tsv", c.pairs);
    if (!c.population.empty()) writeFile(dir / "pop.tsv", c.population);
    std::vector<std::string> args = {"in.tsv"};
    if (!c.pairs.empty()) args.push_back("--continuous");
    if (!c.population.empty()) args.insert(args.end(), {"--population", "pop.tsv"});
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = analyze(args, dir);
    EXPECT_EQ(r.status, 1);
    for (const std::string& fragment : c.expected)
      EXPECT_NE(r.output.find(fragment), std::string::npos) << r.output;
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir)) left.insert(entry.path().filename());
    left.erase("in.tsv");
    left.erase("pop.tsv");
    EXPECT_EQ(left, std::set<std::string>{}) << r.output;
    fs::remove_all(dir);
  }
}

TEST(ContinuousAnalysis, ThePairsOfASimulatedRunFlowInAndThreadsChangeNoResult) {
  const fs::path dir = makeTempDir();
  ASSERT_EQ(
      runBinary({"-continuous",   "1",  "-model",    "-1", "-choice", "0.6", "-N",          "120",
                 "-matings",      "30", "-numfiles", "2",  "-tidy",   "2",   "-writefiles", "0",
                 "-writedistrib", "1",  "-fixseed",  "5"},
                dir)
          .status,
      0);
  const fs::path run = outputDirectory(dir);
  // The population as the run used it (rescaled), from its phenotype file.
  const std::vector<std::string> lines = splitLines(readFile(run / "phenotypes.txt"));
  std::string population = "sex\ttrait\n";
  const char* sex = nullptr;
  for (const std::string& line : lines) {
    if (line == "#females" || line == "#males")
      sex = line == "#females" ? "F" : "M";
    else if (sex != nullptr && !line.empty())
      population += std::string(sex) + "\t" + line + "\n";
  }
  writeFile(dir / "pop.tsv", population);
  const std::vector<std::string> common = {(run / "Pairlab_pairs.tsv").string(),
                                           "--continuous",
                                           "--population",
                                           "pop.tsv",
                                           "--models",
                                           "FND,random",
                                           "--abc",
                                           "300",
                                           "--prior",
                                           "choice=0:1",
                                           "--prior",
                                           "tolerance=0.02:0.5",
                                           "--accept",
                                           "0.1",
                                           "--null",
                                           "49",
                                           "--seed",
                                           "3",
                                           "--show",
                                           "1"};
  std::vector<std::string> one = common, two = common;
  one.insert(one.end(), {"--threads", "1", "--out", "one"});
  two.insert(two.end(), {"--threads", "2", "--out", "two"});
  const RunResult a = analyze(one, dir), b = analyze(two, dir);
  ASSERT_EQ(a.status, 0) << a.output;
  ASSERT_EQ(b.status, 0) << b.output;
  EXPECT_NE(a.output.find("2 tables analysed (the first 1 shown above)"), std::string::npos);
  EXPECT_NE(a.output.find("Model probabilities: FND"), std::string::npos) << a.output;
  for (const char* file : {"tests.tsv", "posterior.tsv", "estimates.tsv", "statistics.tsv"})
    EXPECT_EQ(readFile(dir / "one" / file), readFile(dir / "two" / file)) << file;
  // Another number of threads is the same analysis: it may replace the first's results.
  std::vector<std::string> again = common;
  again.insert(again.end(), {"--threads", "2", "--out", "one"});
  EXPECT_EQ(analyze(again, dir).status, 0);

  // Tables by run and file (the pair column does not group); 30 accepted of each table's 300
  // simulations; the model probabilities of a table add up to 1.
  const std::vector<Row> tests = readTable(dir / "one/tests.tsv");
  ASSERT_EQ(tests.size(), 2u * 9u);
  EXPECT_EQ(tests[0].at("statistic"), "r");
  EXPECT_EQ(tests[0].at("file"), "1");
  EXPECT_EQ(tests[0].at("sample_size"), "30");
  EXPECT_EQ(tests[0].at("null_replicates"), "49");
  std::map<std::string, double> probability;
  std::map<std::string, int> accepted;
  for (const Row& row : readTable(dir / "one/estimates.tsv"))
    if (row.at("parameter") == "probability")
      probability[row.at("file")] += std::stod(row.at("mean"));
  for (const Row& row : readTable(dir / "one/statistics.tsv"))
    if (row.at("source") == "accepted" && row.at("statistic") == "r") ++accepted[row.at("file")];
  EXPECT_EQ(accepted, (std::map<std::string, int>{{"1", 30}, {"2", 30}}));
  for (const auto& [file, p] : probability) EXPECT_NEAR(p, 1.0, 1e-12) << file;
  const Row ledger = readTable(dir / "one/Pairlab_runs.tsv").at(0);
  EXPECT_EQ(ledger.at("abc"), "300");
  EXPECT_EQ(ledger.at("priors"), "choice=0:1 tolerance=0.02:0.5");
  fs::remove_all(dir);
}

TEST(ContinuousAnalysis, WithoutAPopulationSelectionIsNotMeasured) {
  const fs::path dir = makeTempDir();
  writeFile(dir / "in.csv", pairsTable(12));
  const RunResult r = analyze({"in.csv", "--continuous", "--null", "19", "--seed", "1"}, dir);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("selection on the traits cannot be measured"), std::string::npos);
  for (const Row& row : readTable(dir / "in_analysis/tests.tsv")) {
    const bool selection = row.at("statistic").find("male_") != std::string::npos;
    EXPECT_EQ(row.at("value") == "NA", selection) << row.at("statistic");
    EXPECT_EQ(row.at("p_null") != "NA", row.at("statistic") == "r") << row.at("statistic");
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pairlab
