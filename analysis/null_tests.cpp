#include "analysis/null_tests.hpp"

#include <algorithm>
#include <climits>
#include <cmath>

#include "discrete/frequencies.hpp"
#include "rounds/sampling_rounds.hpp"
#include "support/format.hpp"
#include "support/memory.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

std::uint64_t splitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

bool whole(double v) { return v == std::floor(v); }

double sum(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return s;
}

// A type that mated more often than it has individuals ("" when none did).
std::string overmatedType(const NullInput& in) {
  for (std::size_t i = 0; i < in.femaleNumbers.size(); ++i) {
    double mated = 0.0;
    for (double v : in.counts[i]) mated += v;
    if (mated > in.femaleNumbers[i])
      return "female type " + in.femaleTypes[i] + " mated " + shortestText(mated) +
             " times but has " + shortestText(in.femaleNumbers[i]) + " individuals";
  }
  for (std::size_t j = 0; j < in.maleNumbers.size(); ++j) {
    double mated = 0.0;
    for (const std::vector<double>& row : in.counts) mated += row[j];
    if (mated > in.maleNumbers[j])
      return "male type " + in.maleTypes[j] + " mated " + shortestText(mated) + " times but has " +
             shortestText(in.maleNumbers[j]) + " individuals";
  }
  return "";
}

// The replicates of random mating under the settings' process: their indices, index by index.
std::array<std::vector<double>, kIndexCount> simulateNull(const NullInput& in,
                                                          const NullSettings& settings) {
  Random rng(streamSeed(settings.seed, in.tableNumber, 0));
  const std::size_t k1 = in.p1.size(), k2 = in.p2.size();
  const int n = static_cast<int>(in.n);
  RoundsExperiment ex;
  if (settings.process != NullProcess::Replacement) {
    const double smaller = std::min(sum(in.femaleNumbers), sum(in.maleNumbers));
    const double R = settings.process == NullProcess::Individual ? 1.0
                     : settings.mrmax > 0.0                      ? settings.mrmax
                                                                 : std::max(2.0, smaller);
    ex = roundsExperimentOf(Matrix(k1, std::vector<double>(k2, R)), in.femaleNumbers,
                            in.maleNumbers, R);
  }
  ReplicateStorage storage;
  MatingTables work;
  Matrix counts(k1, std::vector<double>(k2, 0.0));
  std::array<std::vector<double>, kIndexCount> values;
  for (std::vector<double>& v : values) v.reserve(static_cast<std::size_t>(settings.replicates));
  for (long long r = 0; r < settings.replicates; ++r) {
    if (settings.process == NullProcess::Replacement) {
      for (std::vector<double>& row : counts) row.assign(k2, 0.0);
      for (int m = 0; m < n; ++m) {
        const int i = drawType(in.p1, rng);
        counts[i][drawType(in.p2, rng)] += 1.0;
      }
    } else {
      counts = playReplicatePairs(ex, n, static_cast<int>(std::min<long long>(r + 1, INT_MAX)),
                                  storage, rng);
    }
    const IndexValues v = sampleIndexValues(counts, in.n, in.p1, in.p2, work);
    for (int k = 0; k < kIndexCount; ++k) values[k].push_back(v[k]);
  }
  return values;
}

// Jpsi of the mated individuals paired at random, `replicates` times.
std::vector<double> permuteIsolation(const NullInput& in, long long replicates,
                                     std::uint64_t seed) {
  Random rng(streamSeed(seed, in.tableNumber, 1));
  requireMemory(2.0 * sizeof(int) * in.n,
                "the " + shortestText(in.n) + " mated females and males of the permutation test");
  std::vector<int> females, males;
  for (std::size_t i = 0; i < in.p1.size(); ++i)
    for (std::size_t j = 0; j < in.p2.size(); ++j)
      for (double c = 0.0; c < in.counts[i][j]; c += 1.0) {
        females.push_back(static_cast<int>(i));
        males.push_back(static_cast<int>(j));
      }
  Matrix counts(in.p1.size(), std::vector<double>(in.p2.size(), 0.0));
  MatingTables work;
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(replicates));
  for (long long r = 0; r < replicates; ++r) {
    rng.shuffle(males.begin(), males.end());
    for (std::vector<double>& row : counts) row.assign(row.size(), 0.0);
    for (std::size_t k = 0; k < females.size(); ++k) counts[females[k]][males[k]] += 1.0;
    values.push_back(sampleIndexValues(counts, in.n, in.p1, in.p2, work)[kJpsi]);
  }
  return values;
}

}  // namespace

SimulatedP simulatedP(const std::vector<double>& values, double observed) {
  SimulatedP out;
  long long atLeast = 0;
  double largest = std::isfinite(observed) ? observed : 0.0;
  for (double v : values) {
    if (v >= observed) ++atLeast;
    if (std::isfinite(v)) largest = std::max(largest, v);
  }
  const double R = static_cast<double>(values.size());
  out.p = (1.0 + static_cast<double>(atLeast)) / (1.0 + R);
  out.se = std::sqrt(out.p * (1.0 - out.p) / R);
  out.histogram.width = (largest > 0.0 ? largest : 1.0) / kHistogramBins;
  out.histogram.counts.assign(kHistogramBins, 0);
  for (double v : values) {
    const double at = std::floor(v / out.histogram.width);
    ++out.histogram
          .counts[at >= kHistogramBins || !(at >= 0.0) ? kHistogramBins - 1 : static_cast<int>(at)];
  }
  return out;
}

const char* processName(NullProcess process) {
  switch (process) {
    case NullProcess::Replacement:
      return "replacement";
    case NullProcess::Mass:
      return "mass";
    case NullProcess::Individual:
      break;
  }
  return "individual";
}

std::uint64_t streamSeed(std::uint64_t seed, long long table, int stream) {
  return splitMix(splitMix(splitMix(seed) ^ static_cast<std::uint64_t>(table)) ^
                  static_cast<std::uint64_t>(stream));
}

std::string monteCarloRefusal(const NullInput& in, const NullSettings& settings) {
  if (!in.wholeMatings)
    return "the matings are not whole numbers: simulated tests need whole matings";
  if (in.n > INT_MAX) return "the sample is too large for simulated tests";
  if (settings.process == NullProcess::Replacement) return "";
  for (const std::vector<double>* numbers : {&in.femaleNumbers, &in.maleNumbers})
    for (double v : *numbers)
      if (!whole(v))
        return "the premating numbers are not whole numbers: the encounter processes draw "
               "individuals (--process replacement needs none)";
  const double females = sum(in.femaleNumbers), males = sum(in.maleNumbers);
  if (females > INT_MAX || males > INT_MAX)
    return "the population is too large for the encounter processes";
  const std::string overmated = overmatedType(in);
  if (!overmated.empty())
    return overmated +
           ": under encounters every individual mates once (--process replacement does not "
           "deplete the population)";
  if (settings.process == NullProcess::Mass) {
    const double R = settings.mrmax > 0.0 ? settings.mrmax : std::min(females, males);
    if (in.n > std::min({females, males, R}) && females != males)
      return "mass encounters in rounds of " + shortestText(R) + " need as many females as " +
             "males when the sample takes more than one round (" + shortestText(females) +
             " females, " + shortestText(males) + " males)";
  }
  return "";
}

NullResults nullTests(const NullInput& in, const NullSettings& settings) {
  NullResults out;
  if (settings.replicates <= 0) return out;
  out.refused = monteCarloRefusal(in, settings);
  if (out.refused.empty()) {
    out.replicates = settings.replicates;
    const std::array<std::vector<double>, kIndexCount> values = simulateNull(in, settings);
    for (int k = 0; k < kIndexCount; ++k)
      if (in.observed[k].testable) out.monteCarlo[k] = simulatedP(values[k], in.observed[k].value);
  }
  if (!in.wholeMatings || in.n > INT_MAX)
    out.permutationRefused =
        "the matings are not whole numbers: the permutation test needs whole matings";
  else if (!in.observed[kJpsi].testable)
    out.permutationRefused = in.observed[kJpsi].reason;
  if (out.permutationRefused.empty()) {
    out.permutations = settings.replicates;
    out.permutation = simulatedP(permuteIsolation(in, settings.replicates, settings.seed),
                                 in.observed[kJpsi].value);
  }
  return out;
}

}  // namespace pairlab
