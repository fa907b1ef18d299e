// pairlab-analyze as a user runs it: bad input and bad options stop it with a message naming the
// file, line and column and leave nothing behind; good input in its many spellings is read as the
// same tables; simulated files flow straight in; the simulated tests are reproducible and a
// table's results do not depend on the other tables of the file.
#include <gtest/gtest.h>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;

const char* const kHeader = "female_type\tmale_type\tmatings\tfemale_premating\tmale_premating\n";

RunResult analyze(const std::vector<std::string>& args, const fs::path& dir) {
  return runBinary(args, dir, PAIRLAB_ANALYZE_BINARY);
}

// Every entry of the directory but the input file.
std::vector<std::string> leftBehind(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename() != "in.tsv") names.push_back(entry.path().filename().string());
  return names;
}

struct BadCase {
  const char* name;
  std::string file;                   // the input, written to in.tsv (none when empty)
  std::vector<std::string> args;      // after the input file
  std::vector<std::string> expected;  // fragments of the message
};

TEST(AnalyzeProgram, BadInputStopsWithItsPlaceAndWritesNothing) {
  const std::string h = kHeader;
  const BadCase cases[] = {
      {"missing file", "", {}, {"Could not open file: in.tsv"}},
      {"empty file", "\n\n", {}, {"in.tsv: the file holds no header line"}},
      {"header only", h, {}, {"in.tsv: the file holds no rows after its header"}},
      {"missing column",
       "female_type\tmale_type\tmatings\tfemale_premating\nA\tA\t1\t2\n",
       {},
       {"line 1: the header has no column male_premating"}},
      {"non-numeric count",
       h + "A\tA\t3\t5\t5\nA\tB\tx\t5\t5\n",
       {},
       {"line 3, column matings: \"x\" is not a number"}},
      {"partly numeric", h + "A\tA\t3abc\t5\t5\n", {}, {"line 2, column matings: \"3abc\""}},
      {"negative count",
       h + "A\tA\t-3\t5\t5\n",
       {},
       {"line 2, column matings: \"-3\" is negative"}},
      {"NaN count", h + "A\tA\tnan\t5\t5\n", {}, {"column matings: \"nan\" is not a finite"}},
      {"infinite premating",
       h + "A\tA\t1\tinf\t5\n",
       {},
       {"line 2, column female_premating: \"inf\" is not a finite number"}},
      {"empty premating",
       h + "A\tA\t1\t5\t\"\"\n",
       {},
       {"line 2, column male_premating: the cell is empty"}},
      {"premating differs",
       h + "A\tA\t3\t60\t50\nA\tB\t2\t61\t50\n",
       {},
       {"line 3, column female_premating: 61 for female type A", "gives 60"}},
      {"mated type of no individuals",
       h + "A\tA\t3\t5\t5\nA\tB\t2\t5\t0\n",
       {},
       {"line 3, column male_premating: male type B mated but has a premating number of 0"}},
      {"duplicated cell",
       h + "A\tA\t3\t5\t5\nA\tB\t2\t5\t5\nA\tA\t1\t5\t5\n",
       {},
       {"line 4: the pair of female type A and male type A is already on line 2"}},
      {"no matings",
       h + "A\tA\t0\t5\t5\nA\tB\t0\t5\t5\n",
       {},
       {"line 2, column matings: the table that starts here holds no matings"}},
      {"cells missing",
       h + "A\tA\t3\t5\t5\nA\tB\t5\t5\n",
       {},
       {"line 3: 4 cells where the header has 5"}},
      {"empty type",
       h + "\"\"\tA\t3\t5\t5\n",
       {},
       {"line 2, column female_type: the type is empty"}},
      {"rows of a table apart",
       "file\t" + h + "1\tA\tA\t3\t5\t5\n2\tA\tA\t3\t5\t5\n1\tA\tB\t3\t5\t5\n",
       {},
       {"line 4: this row belongs to a table whose rows came earlier", "sort the file by file"}},
      {"group column named as a result column",
       "weight\t" + h + "1\tA\tA\t3\t5\t5\n",
       {},
       {"line 1, column weight: a grouping column may not take the name"}},
      {"column named twice", "file\tfile\t" + h, {}, {"column file: the header names this column"}},
      {"unknown option", h + "A\tA\t3\t5\t5\n", {"--nul", "9"}, {"unknown option --nul"}},
      {"replicates below 0", h + "A\tA\t3\t5\t5\n", {"--null", "-1"}, {"--null takes a whole"}},
      {"replicates not a number", h + "A\tA\t3\t5\t5\n", {"--null=1e3"}, {"not \"1e3\""}},
      {"unknown process", h + "A\tA\t3\t5\t5\n", {"--process", "pairs"}, {"--process takes"}},
      {"round of one", h + "A\tA\t3\t5\t5\n", {"--mrmax", "1"}, {"--mrmax takes a whole"}},
      {"option without value", h + "A\tA\t3\t5\t5\n", {"--seed"}, {"--seed needs a value"}},
      {"two inputs", h + "A\tA\t3\t5\t5\n", {"other.tsv"}, {"one input file only"}},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = makeTempDir();
    if (!c.file.empty()) writeFile(dir / "in.tsv", c.file);
    std::vector<std::string> args = {"in.tsv"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = analyze(args, dir);
    EXPECT_EQ(r.status, 1);
    for (const std::string& fragment : c.expected)
      EXPECT_NE(r.output.find(fragment), std::string::npos) << r.output;
    EXPECT_EQ(leftBehind(dir), std::vector<std::string>{}) << r.output;
    fs::remove_all(dir);
  }
}

// The matings of every cell of cells.tsv, by table, female type and male type.
std::map<std::string, std::string> observedCells(const fs::path& cells) {
  std::map<std::string, std::string> out;
  for (const Row& row : readTable(cells))
    out[row.at("table") + " " + row.at("female_type") + " " + row.at("male_type")] =
        row.at("observed");
  return out;
}

TEST(AnalyzeProgram, EverySpellingOfATableIsReadAsTheSameTables) {
  const std::string tsv = std::string("site\t") + kHeader +
                          "north\tRB\tRB\t4\t10\t12\nnorth\tRB\tSU\t2\t10\t9\n"
                          "north\tSU\tRB\t1\t7\t12\nnorth\tSU\tSU\t3\t7\t9\n"
                          "south\tRB\tSU\t5\t8\t8\nsouth\tSU\tSU\t1\t8\t8\n";
  // The same tables: comma-separated with quotes, a byte-order mark, CRLF line ends, blank and
  // comment lines, columns in another order, and one row per mated pair instead of counts.
  std::string pairs =
      "\xEF\xBB\xBF# field season 2025\r\n\"male_premating\",site,female_type,"
      "\"male_type\",female_premating\r\n\r\n";
  const struct {
    const char *site, *f, *m, *nf, *nm;
    int count;
  } cells[] = {{"north", "RB", "RB", "10", "12", 4}, {"north", "RB", "SU", "10", "9", 2},
               {"north", "SU", "RB", "7", "12", 1},  {"north", "SU", "SU", "7", "9", 3},
               {"south", "RB", "SU", "8", "8", 5},   {"south", "SU", "SU", "8", "8", 1}};
  for (const auto& c : cells)
    for (int k = 0; k < c.count; ++k)
      pairs += std::string(c.nm) + ", \"" + c.site + "\" ," + c.f + "," + c.m + "," + c.nf + "\r\n";

  const fs::path dir = makeTempDir();
  writeFile(dir / "counts.tsv", tsv);
  writeFile(dir / "pairs.csv", pairs);
  const RunResult counts = analyze({"counts.tsv", "--null", "0"}, dir);
  const RunResult rows = analyze({"pairs.csv", "--null", "0"}, dir);
  ASSERT_EQ(counts.status, 0) << counts.output;
  ASSERT_EQ(rows.status, 0) << rows.output;
  EXPECT_EQ(readFile(dir / "counts_analysis/models.tsv"),
            readFile(dir / "pairs_analysis/models.tsv"));
  EXPECT_EQ(readFile(dir / "counts_analysis/tests.tsv"),
            readFile(dir / "pairs_analysis/tests.tsv"));
  const std::map<std::string, std::string> observed =
      observedCells(dir / "pairs_analysis/cells.tsv");
  EXPECT_EQ(observed.size(), 6u);  // the south table has one male type
  EXPECT_EQ(observed.at("1 SU RB"), "1");
  EXPECT_EQ(observed.at("2 RB SU"), "5");
  EXPECT_EQ(readTable(dir / "pairs_analysis/tests.tsv").at(5).at("site"), "south");
  fs::remove_all(dir);
}

TEST(AnalyzeProgram, AnalysesEveryFileOfASimulatedRun) {
  const fs::path dir = makeTempDir();
  ASSERT_EQ(runBinary({"-model", "-3", "-choicefactor", "3", "-numfiles", "12", "-tidy", "1",
                       "-writefiles", "0", "-fixseed", "4", "-femtypes", "3"},
                      dir)
                .status,
            0);
  const fs::path matings = outputDirectory(dir) / "Pairlab_matings.tsv";
  // Three female types of 250 females are not whole numbers of individuals: the Monte Carlo tests
  // draw matings with replacement.
  const RunResult r = analyze(
      {matings.string(), "--null", "19", "--seed", "9", "--show", "2", "--process", "replacement"},
      dir);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("12 tables analysed (the first 2 shown above)"), std::string::npos);
  const fs::path out = outputDirectory(dir) / "Pairlab_matings_analysis";
  const std::vector<Row> tests = readTable(out / "tests.tsv");
  ASSERT_EQ(tests.size(), 12u * 5u);
  EXPECT_EQ(tests.back().at("file"), "12");
  EXPECT_EQ(tests.back().at("null_replicates"), "19");
  EXPECT_EQ(readTable(out / "cells.tsv").size(), 12u * 6u);
  const std::vector<Row> ledger = readTable(out / "Pairlab_runs.tsv");
  ASSERT_EQ(ledger.size(), 1u);
  EXPECT_EQ(ledger[0].at("seed"), "9");
  EXPECT_EQ(ledger[0].at("status"), "0");
  EXPECT_EQ(ledger[0].at("files_completed"), "12");
  EXPECT_EQ(ledger[0].at("null"), "19");
  fs::remove_all(dir);
}

TEST(AnalyzeProgram, SimulatedTestsAreReproducibleAndEachTableDrawsItsOwnStreams) {
  const std::string one = std::string("plot\t") + kHeader +
                          "1\tA\tA\t20\t60\t50\n1\tA\tB\t10\t60\t50\n"
                          "1\tB\tA\t5\t40\t50\n1\tB\tB\t15\t40\t50\n";
  const std::string two = one +
                          "2\tA\tA\t9\t30\t30\n2\tA\tB\t6\t30\t30\n"
                          "2\tB\tA\t6\t30\t30\n2\tB\tB\t9\t30\t30\n";
  const fs::path dir = makeTempDir();
  writeFile(dir / "one.tsv", one);
  writeFile(dir / "two.tsv", two);
  const std::vector<std::string> options = {"--null", "199", "--seed", "77"};
  auto run = [&](const std::string& file, const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> args = {file, "--out", out};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), more.begin(), more.end());
    EXPECT_EQ(analyze(args, dir).status, 0);
    return readTable(dir / out / "tests.tsv");
  };
  const std::vector<Row> a = run("one.tsv", "a", {});
  const std::vector<Row> b = run("one.tsv", "b", {"--show", "0"});
  const std::vector<Row> c = run("two.tsv", "c", {});
  const std::vector<Row> d = run("one.tsv", "d", {"--seed", "78"});
  ASSERT_EQ(c.size(), 10u);
  bool differs = false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_EQ(a[k], b[k]);
    EXPECT_EQ(a[k], c[k]);
    differs = differs || a[k].at("p_null") != d[k].at("p_null");
  }
  EXPECT_TRUE(differs) << "another seed gives the same p-values";
  EXPECT_EQ(readFile(dir / "a/null.tsv"), readFile(dir / "b/null.tsv"));
  fs::remove_all(dir);
}

TEST(AnalyzeProgram, AnAnalysisReplacesOnlyTheResultsOfTheSameSettings) {
  const fs::path dir = makeTempDir();
  writeFile(dir / "t.tsv", std::string(kHeader) +
                               "A\tA\t6\t9\t9\nA\tB\t2\t9\t9\n"
                               "B\tA\t1\t9\t9\nB\tB\t5\t9\t9\n");
  ASSERT_EQ(analyze({"t.tsv", "--null", "9", "--seed", "1", "--out", "a/b"}, dir).status, 0);
  const std::string tests = readFile(dir / "a/b/tests.tsv");
  // Another seed or summary is the same analysis: its results replace the first's.
  EXPECT_EQ(
      analyze({"t.tsv", "--null", "9", "--seed", "2", "--show", "0", "--out", "a/b"}, dir).status,
      0);
  const RunResult other = analyze({"t.tsv", "--null", "19", "--out", "a/b"}, dir);
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.output.find("--null: 9 then, 19 now"), std::string::npos) << other.output;
  EXPECT_NE(other.output.find("another directory with --out DIR"), std::string::npos);
  EXPECT_NE(readFile(dir / "a/b/tests.tsv"), tests);  // the second seed's
  EXPECT_EQ(readTable(dir / "a/b/Pairlab_runs.tsv").size(), 3u);
  // What a setting leaves unused is said, and kept apart from the settings.
  const RunResult unused = analyze({"t.tsv", "--null", "0", "--mrmax", "4", "--out", "c"}, dir);
  EXPECT_EQ(unused.status, 0);
  EXPECT_NE(unused.errors.find("Not applied: --mrmax: nothing is simulated with --null 0"),
            std::string::npos)
      << unused.errors;
  EXPECT_EQ(readTable(dir / "c/Pairlab_runs.tsv").at(0).at("not_applied"), "--mrmax");
  fs::remove_all(dir);
}

TEST(AnalyzeProgram, WhatCannotBeTestedIsReportedWithItsReason) {
  const fs::path dir = makeTempDir();
  // Expected matings of the process with replacement: analysed, but nothing is simulated.
  writeFile(dir / "expected.tsv", std::string(kHeader) +
                                      "1\t1\t30.5\t50\t50\n1\t2\t19.5\t50\t50\n"
                                      "2\t1\t20\t50\t50\n2\t2\t30\t50\t50\n");
  // One female type: what compares female types cannot be tested.
  writeFile(dir / "one_female.tsv", std::string(kHeader) + "1\t1\t30\t50\t40\n1\t2\t20\t50\t60\n");
  const RunResult expected = analyze({"expected.tsv", "--null", "99"}, dir);
  ASSERT_EQ(expected.status, 0) << expected.output;
  EXPECT_NE(expected.output.find("no simulated tests: the matings are not whole numbers"),
            std::string::npos);
  for (const Row& row : readTable(dir / "expected_analysis/tests.tsv")) {
    EXPECT_EQ(row.at("p_null"), "NA");
    EXPECT_EQ(row.at("p_perm"), "NA");
    EXPECT_NE(row.at("p_chisq"), "NA");
  }
  EXPECT_FALSE(fs::exists(dir / "expected_analysis/null.tsv.tmp"));

  ASSERT_EQ(analyze({"one_female.tsv", "--null", "99", "--seed", "1"}, dir).status, 0);
  std::map<std::string, Row> byIndex;
  for (const Row& row : readTable(dir / "one_female_analysis/tests.tsv"))
    byIndex[row.at("index")] = row;
  for (const char* untestable : {"Jpsi", "Jps1"}) {
    EXPECT_EQ(byIndex.at(untestable).at("value"), "NA");
    EXPECT_EQ(byIndex.at(untestable).at("df"), "0");
    EXPECT_NE(byIndex.at(untestable).at("note").find("one female type"), std::string::npos);
  }
  EXPECT_NE(byIndex.at("Jps2").at("p_null"), "NA");
  EXPECT_EQ(byIndex.at("Jpsi").at("p_perm"), "NA");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pairlab
