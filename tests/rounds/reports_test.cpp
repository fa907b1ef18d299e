#include "rounds/reports.hpp"

#include <gtest/gtest.h>

#include "support/numeric.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::readFile;

TEST(Avesd, MeanAndPopulationDeviationSkipTheMissingMark) {
  double mean = 0.0, sd = 0.0;
  avesd(std::vector<double>{1.0, kMissing, 3.0}, mean, sd, kMissing);
  EXPECT_EQ(mean, 2.0);
  EXPECT_EQ(sd, 1.0);  // divisor m, not m - 1
  avesd(std::vector<double>{0.7}, mean, sd, kMissing);
  EXPECT_EQ(mean, 0.7);
  EXPECT_EQ(sd, 0.0);
  sd = 12.5;
  avesd(std::vector<double>{kMissing, kMissing}, mean, sd, kMissing);
  EXPECT_EQ(mean, kMissing);
  EXPECT_EQ(sd, 12.5);  // left as it was
  avesd(std::vector<double>{}, mean, sd, kMissing);
  EXPECT_EQ(mean, kMissing);
}

// Everything of a result file after its first line (the local time).
std::string afterTime(const std::string& path) {
  const std::string text = readFile(path);
  return text.substr(text.find('\n') + 1);
}

const char* const kBannerAfterTime =
    "\n"
    "##------------------------------------------------\n"
    "##Pairlab\n"
    "##---------------------------------------------------------------------\n"
    "##\n"
    "##Pairlab: stochastic simulation of mate choice\t\t\t\n"
    "##Documentation and citation: see README.md of the distribution\t\t\t\t\n"
    "##---------------------------------------------------------------------\n"
    "\n"
    "##\n";

class Writers : public InTempDir {};

TEST_F(Writers, RoundsTableLayout) {
  ReplicateIndices indices;
  indices.round = {0.12345, 0.0, 1.5, 0.01, 2.0};
  indices.roundPval = {0.00004, 1.0, 0.5, 1.0, 0.12345};
  indices.total = {0.1, 0.2, 0.3};
  indices.totalPval = {0.01, 0.02, 1.0};
  writeRoundsTable("table.txt", "Pairlab", "", 16, {{1.0}, {1.0}}, {{0.5, 0.5}, {0.6, 0.4}},
                   {{1.0, 0.0}, {1.0, 0.0}}, {{0.4, 0.0025}}, {{0.55, 0.45}}, indices);
  EXPECT_EQ(afterTime("table.txt"),
            std::string(kBannerAfterTime) +
                "# format number\n16\n# num of types\n1\t2\n"
                "#Sampling over 2 mating rounds\n\n"
                "Round\tpfem_r1\tpmale_r1\tpmale_r2\t1 x 1\t1 x 2\t\n\n"
                "1\t1.000\t0.500\t0.500\t1.000\t0.000\t\n"
                "2\t1.000\t0.600\t0.400\t1.000\t0.000\t\n"
                "Total\t\t\t\t2\t0\t\n"
                "\t\t\tq'R\t0.400\t0.003\t\n"
                "\t\t\tqR\t0.550\t0.450\t\n"
                "JRpti (p-val)\t0.123 (0.0000)\tJRpsi (p-val)\t0.000 (1.0000)\t"
                "JRpss (p-val)\t1.500 (0.5000)\tJRps1 (p-val)\t0.010 (1.0000)\t"
                "JRps2 (p-val)\t2.000 (0.1235)\t\n"
                "Jpti (p-val)\t0.100 (0.0100)\tJpsi (p-val)\t0.200 (0.0200)\t"
                "Jpss (p-val)\t0.300 (1.0000)\t");
}

TEST_F(Writers, SignificanceReportLayout) {
  SignificanceSummary s;
  s.massEncounters = false;
  s.numfiles = 2;
  s.nfem = 250;
  s.nmale = 251;
  s.matings = 3;
  s.SL = 0.05;
  s.meanMatingsPerRound = 1;
  s.meanRounds = 3;
  s.proportions = {0.5, 0, 1, 0.5, 0, 1.0 / 3, 0, 0.5};
  s.JRpti = {0.25, kMissing, 1e-7};
  s.sdJRpti = {0.125, kMissing, 0};
  s.JRpsi = {1, kMissing, 2};
  s.sdJRpsi = {0, kMissing, 0};
  s.JRpss = {3, kMissing, 4};
  s.sdJRpss = {0.5, kMissing, 0};
  s.Jpti = 0.1;
  s.sdJpti = 0.01;
  s.Jpsi = 0.2;
  s.sdJpsi = 0.02;
  s.Jpss = 1234567;
  s.sdJpss = 0;
  s.replicatesPerRound = {2, 0, 1};
  writeEMSignificances("report.txt", "Pairlab", "", s);
  std::string banner = kBannerAfterTime;
  for (std::size_t at; (at = banner.find("##")) != std::string::npos;) banner.erase(at, 2);
  EXPECT_EQ(afterTime("report.txt"),
            banner +
                "\nEncounter model: Indiv EM\n\n"
                "#Sampling over an average of 3 mating rounds with 1 matings in average per "
                "round\n"
                "Premating female numbers: 250\tPremating male numbers: 251\tSample size: 3\t"
                "Number of replicates: 2\tSignificance level 0.05\n"
                "%*JRpti\t%*JRpsi\t%*JRpss\t%*JRps1\t%*JRps2\n50\t0\t100\t50\t0\n"
                "%*Jpti\t%*Jpsi\t%*Jpss\n33.3333\t0\t50\n\n"
                "Round\tNumFiles\tJRPTI\tsdJRPTI\tJRPSI\tsdJRPSI\tJRPSS\tsdJRPSS\n"
                "1\t2\t0.25\t0.125\t1\t0\t3\t0.5\n"
                "3\t1\t1e-07\t0\t2\t0\t4\t0\n"
                "\nJPTI (var)\tJPSI (var)\tJPSS (var)\n"
                "0.1 (0.01)\t0.2 (0.02)\t1.23457e+06 (0)");
}

}  // namespace
}  // namespace pairlab
