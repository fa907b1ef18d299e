// Tests of an observed table against its own null distribution, simulated:
//   - Monte Carlo tests under random mating: replicates with the table's population numbers and
//     sample size under the process the user names (matings drawn with replacement, or the
//     sampling-rounds engine under individual or mass encounters, mated individuals leaving the
//     population), each measured by the indices of the observed table;
//   - the permutation test of sexual isolation: the mated females and males are kept and who mates
//     with whom is reshuffled, the exact conditional test of Jpsi.
// The p-value of an index is (1 + replicates at least as large) / (1 + replicates), with its Monte
// Carlo standard error. Each table draws from streams of its own, derived from the seed and the
// table's number, so its results do not depend on the other tables of the file.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "analysis/table_indices.hpp"

namespace pairlab {

enum class NullProcess { Replacement, Individual, Mass };
const char* processName(NullProcess process);

struct NullSettings {
  long long replicates = 9999;  // 0: no Monte Carlo or permutation test
  NullProcess process = NullProcess::Individual;
  double mrmax = 0.0;  // mass encounters: the round size; 0 for the smaller sex
  std::uint64_t seed = 0;
};

// The replicates' values of an index binned for a figure: kBins equal bins from 0 to the largest
// of the replicates and the observed value.
inline constexpr int kHistogramBins = 40;
struct Histogram {
  double width = 0.0;
  std::vector<long long> counts;  // kBins, or none when the index was not simulated
};

// A simulated p-value.
struct SimulatedP {
  double p = std::numeric_limits<double>::quiet_NaN();
  double se = std::numeric_limits<double>::quiet_NaN();
  Histogram histogram;
};

// The p-value of `observed` among the replicates' values, and their histogram.
SimulatedP simulatedP(const std::vector<double>& values, double observed);

struct NullResults {
  long long replicates = 0;  // 0 when the tests were not made
  std::string refused;       // why the Monte Carlo tests were not made ("" when they were)
  std::array<SimulatedP, kIndexCount> monteCarlo;  // for the testable indices
  long long permutations = 0;
  std::string permutationRefused;
  SimulatedP permutation;  // of Jpsi
};

// What the tests need of a table.
struct NullInput {
  const Matrix& counts;
  double n;
  const std::vector<double>& femaleNumbers;
  const std::vector<double>& maleNumbers;
  const std::vector<double>& p1;
  const std::vector<double>& p2;
  const std::vector<std::string>& femaleTypes;
  const std::vector<std::string>& maleTypes;
  bool wholeMatings;
  long long tableNumber;  // the streams' derivation
  const std::array<IndexTest, kIndexCount>& observed;
};

// Why the process cannot replay this table ("" when it can).
std::string monteCarloRefusal(const NullInput& in, const NullSettings& settings);

NullResults nullTests(const NullInput& in, const NullSettings& settings);

// The seed of stream `stream` of table `table`: the run's seed, the table and the stream mixed
// (SplitMix64), so that streams differ in every bit.
std::uint64_t streamSeed(std::uint64_t seed, long long table, int stream);

}  // namespace pairlab
