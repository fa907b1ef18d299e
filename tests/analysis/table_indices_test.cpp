// The indices of a table are those of the sampling-rounds road: the road's own replicates (their
// pairs and the population they started from, from its tidy tables) measured by the analysis give
// the road's Jpti, Jpsi and Jpss and, where the road tested them, the same p-values.
#include "analysis/table_indices.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;

double number(const std::string& cell) { return std::strtod(cell.c_str(), nullptr); }

// Per replicate: the pairs of all its rounds and the frequencies of its first round.
struct Replicate {
  Matrix pairs;
  std::vector<double> p1, p2;
};

std::map<std::string, Replicate> replicatesOf(const fs::path& rounds) {
  std::map<std::string, Replicate> out;
  for (const Row& row : readTable(rounds)) {
    Replicate& r = out[row.at("replicate")];
    const std::size_t i = std::stoul(row.at("female_type")) - 1,
                      j = std::stoul(row.at("male_type")) - 1;
    if (r.pairs.size() <= i) r.pairs.resize(i + 1);
    if (r.pairs[i].size() <= j) r.pairs[i].resize(j + 1, 0.0);
    r.pairs[i][j] += number(row.at("pairs"));
    if (row.at("round") == "1") {
      if (r.p1.size() <= i) r.p1.resize(i + 1);
      if (r.p2.size() <= j) r.p2.resize(j + 1);
      r.p1[i] = number(row.at("female_frequency"));
      r.p2[j] = number(row.at("male_frequency"));
    }
  }
  return out;
}

TEST(TableIndices, AreTheIndicesOfTheSamplingRoundsRoad) {
  const std::vector<std::vector<std::string>> runs = {
      {"-MRmax", "2", "-numfiles", "4", "-model", "3", "-choicefactor", "3"},
      {"-model", "-2", "-numfiles", "4", "-femtypes", "3", "-uniform", "0", "-matings", "60"},
      {"-model", "-4", "-choicefactor", "0.3", "-numfiles", "3", "-maletypes", "4", "-SL", "1"},
  };
  for (const std::vector<std::string>& options : runs) {
    const fs::path dir = makeTempDir();
    std::vector<std::string> args = {"-onematround", "0", "-tidy", "1", "-fixseed", "12"};
    args.insert(args.end(), options.begin(), options.end());
    ASSERT_EQ(runBinary(args, dir).status, 0);
    const fs::path out = outputDirectory(dir);
    const std::map<std::string, Replicate> replicates = replicatesOf(out / "Pairlab_rounds.tsv");
    int compared = 0;
    for (const Row& row : readTable(out / "Pairlab_indices.tsv")) {
      const std::string& index = row.at("index");
      const int k = index == "Jpti"   ? kJpti
                    : index == "Jpsi" ? kJpsi
                    : index == "Jpss" ? kJpss
                                      : -1;
      if (k < 0) continue;
      const Replicate& r = replicates.at(row.at("replicate"));
      const double n = number(row.at("sample_size"));
      MatingTables work;
      const IndexValues values = sampleIndexValues(r.pairs, n, r.p1, r.p2, work);
      const auto tests =
          testIndexValues(values, n, static_cast<int>(r.p1.size()), static_cast<int>(r.p2.size()));
      EXPECT_NEAR(values[k], number(row.at("value")), 1e-12 * number(row.at("value"))) << index;
      if (row.at("tested") == "1") {
        EXPECT_NEAR(tests[k].pChiSquare, number(row.at("p_value")), 1e-12) << index;
      }
      ++compared;
    }
    EXPECT_GE(compared, 9);
    fs::remove_all(dir);
  }
}

TEST(TableIndices, CellIndicesComeFromTheRawFrequencies) {
  // 100 matings; females 60/40, males 50/50.
  const Matrix counts = {{40, 10}, {15, 35}};
  const std::vector<CellIndices> cells = cellIndices(counts, 100, {0.6, 0.4}, {0.5, 0.5});
  // Mated shares: females 0.5, 0.5; males 0.55, 0.45.
  const double expected[4][4] = {{30, 0.4 / 0.3, 0.4 / 0.275, 0.275 / 0.3},
                                 {30, 0.1 / 0.3, 0.1 / 0.225, 0.225 / 0.3},
                                 {20, 0.15 / 0.2, 0.15 / 0.275, 0.275 / 0.2},
                                 {20, 0.35 / 0.2, 0.35 / 0.225, 0.225 / 0.2}};
  for (int c = 0; c < 4; ++c) {
    EXPECT_DOUBLE_EQ(cells[c].expected, expected[c][0]);
    EXPECT_DOUBLE_EQ(cells[c].PTI, expected[c][1]);
    EXPECT_DOUBLE_EQ(cells[c].PSI, expected[c][2]);
    EXPECT_DOUBLE_EQ(cells[c].PSS, expected[c][3]);
  }
  // A male type that never mated has no expected share among the mated: PSI is undefined.
  const std::vector<CellIndices> empty = cellIndices({{3, 0}, {2, 0}}, 5, {0.5, 0.5}, {0.5, 0.5});
  EXPECT_TRUE(std::isnan(empty[1].PSI));
  EXPECT_EQ(empty[1].PTI, 0.0);
}

}  // namespace
}  // namespace pairlab
