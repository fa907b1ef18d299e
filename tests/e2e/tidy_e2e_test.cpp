// The tidy tables hold what the legacy files hold, at full precision: rounded to the legacy
// files' digits, every number of a table is the number of the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>

#include "continuous/writers.hpp"
#include "support/format.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;

std::string fixed(const std::string& cell, int decimals) {
  std::string text;
  appendFixed(text, std::strtod(cell.c_str(), nullptr), decimals);
  return text;
}

std::string general(const std::string& cell) {
  std::string text;
  appendGeneral(text, std::strtod(cell.c_str(), nullptr));
  return text;
}

// The tab-separated words of line `number` (1-based) of a file.
std::vector<std::string> words(const fs::path& file, std::size_t number) {
  std::vector<std::string> out;
  std::string word;
  for (char c : linesFrom(file, number).at(0) + '\t')
    if (c == '\t') {
      if (!word.empty()) out.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  return out;
}

class Tidy : public ::testing::Test {
 protected:
  void SetUp() override { work = makeTempDir(); }
  void TearDown() override { fs::remove_all(work); }
  fs::path run(const std::vector<std::string>& args) {
    const RunResult r = runBinary(args, work);
    EXPECT_EQ(r.status, 0) << r.output;
    return outputDirectory(work);
  }
  fs::path work;
};

TEST_F(Tidy, DiscreteMatingsAgreeWithTheDataFiles) {
  const fs::path out = run({"-model", "-10", "-femtypes", "3", "-numfiles", "3", "-shift", "4",
                            "-tidy", "1", "-fixseed", "5"});
  const std::vector<Row> rows = readTable(out / "Pairlab_matings.tsv");
  ASSERT_EQ(rows.size(), 3u * 3 * 2);
  for (const Row& row : rows) {
    const fs::path file = out / ("Pairlab_D_massEM_M1_a1.25_U500_" + row.at("file") + ".txt");
    const int f = std::stoi(row.at("female_type")), m = std::stoi(row.at("male_type"));
    EXPECT_EQ(words(file, 17).at(m - 1), fixed(row.at("male_premating"), 1));
    EXPECT_EQ(words(file, 19).at(f - 1), fixed(row.at("female_premating"), 1));
    EXPECT_EQ(words(file, 20 + f).at(m - 1), fixed(row.at("matings"), 1));
    EXPECT_EQ(row.at("complete"), "1");
  }
  EXPECT_EQ(rows.front().at("file"), "5");
  // With -tidy, an explicit -writefiles 0 leaves the table alone.
  fs::remove_all(out);
  run({"-model", "-1", "-numfiles", "2", "-tidy", "1", "-writefiles", "0"});
  EXPECT_EQ(listFiles(outputDirectory(work)), (std::vector<std::string>{"Pairlab_matings.tsv"}));
}

TEST_F(Tidy, RoundsAndIndicesAgreeWithTheRoundsTables) {
  const fs::path out = run({"-onematround", "0", "-model", "10", "-MRmax", "25", "-numfiles", "2",
                            "-tidy", "1", "-fixseed", "2"});
  const std::string prefix = "Pairlab_Mmax_25_Factor1.25_massEM_RM1_U_";
  for (const Row& row : readTable(out / "Pairlab_rounds.tsv")) {
    const fs::path file = out / (prefix + row.at("replicate") + ".txt");
    const std::vector<std::string> line = words(file, 19 + std::stoi(row.at("round")));
    const int f = std::stoi(row.at("female_type")), m = std::stoi(row.at("male_type"));
    EXPECT_EQ(line.at(f), fixed(row.at("female_frequency"), 3));
    EXPECT_EQ(line.at(2 + m), fixed(row.at("male_frequency"), 3));
    EXPECT_EQ(line.at(4 + 2 * (f - 1) + m), fixed(row.at("pairs"), 3));
  }
  const std::vector<Row> indices = readTable(out / "Pairlab_indices.tsv");
  ASSERT_EQ(indices.size(), 2u * 9);
  for (const Row& row : indices) {
    if (row.at("index") == "E0R") {
      EXPECT_EQ(row.at("p_value"), "NA");
      continue;
    }
    const fs::path file = out / (prefix + row.at("replicate") + ".txt");
    const std::string text = readFile(file);
    const std::string item = row.at("index") + " (p-val)\t" + fixed(row.at("value"), 3) + " (" +
                             fixed(row.at("p_value"), 4) + ")";
    EXPECT_NE(text.find(item), std::string::npos) << item;
    const bool significant = row.at("tested") == "1" && std::stod(row.at("p_value")) <= 0.05;
    EXPECT_EQ(row.at("significant"), significant ? "1" : "0");
  }
}

TEST_F(Tidy, ContinuousFilesAndPairsAgreeWithTheDataAndCorrelationFiles) {
  const fs::path out = run({"-continuous", "1", "-model", "-1", "-choice", "0.5", "-numfiles", "3",
                            "-writefiles", "1", "-tidy", "1", "-fixseed", "3"});
  const std::string prefix = "Pairlab_C_n100_iEM_FND_C0.5_s0.08_Dmax1_";
  const std::vector<std::string> correl = splitLines(readFile(out / (prefix + "Correl.txt")));
  for (const Row& row : readTable(out / "Pairlab_files.tsv")) {
    EXPECT_EQ(row.at("sample_size"), "100");
    EXPECT_EQ(row.at("report"), "");
    const std::string line = prefix + row.at("file") + ".txt\t" + general(row.at("correlation"));
    EXPECT_NE(std::find(correl.begin(), correl.end(), line), correl.end()) << line;
  }
  const std::vector<Row> pairs = readTable(out / "Pairlab_pairs.tsv");
  ASSERT_EQ(pairs.size(), 300u);
  for (const Row& row : pairs) {
    const fs::path file = out / (prefix + row.at("file") + ".txt");
    const std::vector<std::string> line = words(file, 18 + std::stoi(row.at("pair")));
    EXPECT_EQ(line.at(0), general(row.at("female_trait")));
    EXPECT_EQ(line.at(1), general(row.at("male_trait")));
  }
}

// A trait of -99 is a trait like any other: every pair of the sample is listed and counted, with
// and without data files, and the correlation is that of all the pairs. (Logistic preference
// 50 0: every encounter mates, so each file mates all 8 females and all 8 males.)
TEST_F(Tidy, ATraitOfMinus99IsListedAndCountedOnEveryOutput) {
  for (const char* writefiles : {"1", "0"}) {
    fs::remove_all(work);
    fs::create_directory(work);
    writeFile(work / "PairlabUserPhenotypes.txt",
              "1\n2\n-99\n4\n5\n6\n7\n8\n-99\n3\n1\n4\n1\n5\n9\n2\n");
    const fs::path out = run({"-continuous",
                              "1",
                              "-model",
                              "-3",
                              "-logistic_params",
                              "50",
                              "0",
                              "-userphenotypes",
                              "1",
                              "-N",
                              "16",
                              "-matings",
                              "8",
                              "-numfiles",
                              "2",
                              "-writefiles",
                              writefiles,
                              "-tidy",
                              "2",
                              "-fixseed",
                              "1"});
    std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> pairs;
    for (const Row& row : readTable(out / "Pairlab_pairs.tsv")) {
      pairs[row.at("file")].first.push_back(std::stod(row.at("female_trait")));
      pairs[row.at("file")].second.push_back(std::stod(row.at("male_trait")));
    }
    const std::vector<Row> files = readTable(out / "Pairlab_files.tsv");
    ASSERT_EQ(files.size(), 2u);
    for (const Row& row : files) {
      const auto& [x, y] = pairs[row.at("file")];
      EXPECT_EQ(row.at("sample_size"), "8");
      ASSERT_EQ(x.size(), 8u);
      EXPECT_EQ(std::count(x.begin(), x.end(), -99.0), 1);
      EXPECT_EQ(std::count(y.begin(), y.end(), -99.0), 1);
      std::array<double, 2> regression{};
      EXPECT_EQ(std::stod(row.at("correlation")), regcorrelxy(x, y, true, false, regression));
      if (*writefiles == '0') continue;
      const std::vector<std::string> data =
          splitLines(readFile(out / ("Pairlab_C_n8_iEM_Log_a50_b0_" + row.at("file") + ".txt")));
      const auto header = std::find(data.begin(), data.end(), "Female\tMale");
      ASSERT_NE(header, data.end());
      EXPECT_EQ(std::count_if(header + 1, data.end(),
                              [](const std::string& l) { return l.find('\t') != l.npos; }),
                8);
    }
  }
}

}  // namespace
}  // namespace pairlab
