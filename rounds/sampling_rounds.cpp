#include "rounds/sampling_rounds.hpp"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <span>

#include "discrete/frequencies.hpp"
#include "rounds/reports.hpp"
#include "support/banner.hpp"
#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/text.hpp"

namespace pairlab {

RunAccumulators::RunAccumulators(int rounds, int replicates)
    : R(rounds),
      F(replicates),
      roundJRpti(static_cast<std::size_t>(rounds) * replicates, kMissing),
      roundJRpsi(roundJRpti.size(), kMissing),
      roundJRpss(roundJRpti.size(), kMissing),
      Jpti(replicates, kMissing),
      Jpsi(replicates, kMissing),
      Jpss(replicates, kMissing),
      replicatesPerRound(rounds, 0) {}

// ---------------------------------------------------------------------------------------------
// Set-up

std::vector<double> roundsUserNumbers(const std::vector<double>& freqs, int n) {
  const std::size_t k = freqs.size();
  std::vector<double> numbers(k, 0.0);
  long long assigned = 0;  // truncated after every addition
  for (std::size_t t = 0; t + 1 < k; ++t) {
    numbers[t] = freqs[t] * n;
    assigned = static_cast<long long>(static_cast<double>(assigned) + numbers[t]);
  }
  numbers[k - 1] = static_cast<double>(n - assigned);
  return numbers;
}

std::vector<double> roundsRandomPartition(int k, int n, double mpf, Random& rng) {
  std::vector<double> numbers(k, 0.0);
  if (k == 1) {
    numbers[0] = n;
    return numbers;
  }
  checkPartitionRoom(mpf);
  long long assigned = 0;
  for (int t = 0;; ++t) {
    const double x = drawShare(mpf, rng) * n;
    assigned = static_cast<long long>(static_cast<double>(assigned) + x);
    if (assigned >= n) {
      numbers[t] = x - static_cast<double>(assigned - n + 1);
      assigned = n - 1;
      break;
    }
    numbers[t] = x;
    if (t + 1 == k - 1 || assigned == n - 1) break;
  }
  numbers[k - 1] = static_cast<double>(n - assigned);
  std::shuffle(numbers.begin(), numbers.end(), rng.randgen);
  return numbers;
}

void checkRoundsMemory(long long R, long long F, long long k1, long long k2, bool mass) {
  // Run-wide: three running indices per round and replicate. Per replicate: per round the
  // population frequencies, the pairs formed and, under mass encounters, the mated frequencies,
  // each a separate vector.
  const double perRound = 8.0 * static_cast<double>(k1 * k2 + (mass ? 2 : 1) * (k1 + k2)) +
                          (mass ? 6 : 3) * 48.0;
  const double bytes = 24.0 * static_cast<double>(R) * static_cast<double>(F) +
                       perRound * static_cast<double>(R) + 28.0 * static_cast<double>(F);
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return;  // unknown: allocation failures still stop the run
  const double usable = 0.5 * static_cast<double>(pages) * static_cast<double>(pageSize);
  if (bytes <= usable) return;
  const double MB = 1024.0 * 1024.0;
  auto megabytes = [MB](double b) { return NtoS(static_cast<long long>(std::ceil(b / MB))); };
  stopRun("\nThe sampling rounds of this run need about " + megabytes(bytes) +
              " MB for their tables (" + NtoS(R) + " rounds by " + NtoS(F) + " replicates, " +
              NtoS(k1) + " x " + NtoS(k2) + " types), more than half of the " +
              megabytes(2.0 * usable) +
              " MB of memory of this machine (condition memory<=RAM/2): lower -matings or "
              "-numfiles\n",
          1);
}

RoundsExperiment setupSamplingRounds(RunConfig& config, int nfem, int nmale, OutputNames& names,
                                     Random& rng) {
  RoundsExperiment ex;
  ex.nfem = nfem;
  ex.nmale = nmale;
  const int smallerSex = std::min(nfem, nmale);

  // The sign of the model number plays no part here; numbers above 9 carry the model in all but
  // their last digit (123321 is random mating), and without -MRmax every propensity is the
  // smaller sex.
  long long model = std::llabs(static_cast<long long>(config.model));
  double MRmax = config.MRmax;
  if (model > 9) {
    if (MRmax < 0.0) MRmax = smallerSex;
    model = model == 123321 ? 0 : model / 10;
  }
  names.prefix += "Pairlab_Mmax_";
  int k1 = config.femtypes, k2 = config.maletypes;
  if (config.focalfem < 0) config.focalfem = k1 - 1;
  if (config.focalmale < 0) config.focalmale = k2 - 1;

  if (smallerSex < config.matings)
    stopRun("\nToo few population males or females (" + NtoS(smallerSex) +
                ") for too many matings (" + NtoS(config.matings) + ")\n",
            smallerSex);

  // Every propensity is MRmax / factor, except those the model raises to MRmax.
  double factor = 1.0;
  if (model == 3 || model == 4)
    factor = config.choicefactor;
  else if (model != 0)
    factor = config.incrfactor;
  if (model > 5) stopRun("Wrong model number " + NtoS(model) + "\n", config.uniform);
  checkTypeTableSize(k1, k2);
  Matrix& mm = ex.modelmatrix;
  mm.assign(k1, std::vector<double>(k2, MRmax / factor));
  switch (model) {
    case 0:  // random mating
      for (std::vector<double>& row : mm) row.assign(k2, MRmax);
      break;
    case 1:  // sexual selection on females: the focal female type is the less preferred
      for (int i = 0; i < k1; ++i)
        if (i != config.focalfem) mm[i].assign(k2, MRmax);
      break;
    case 2:  // sexual selection on males
      for (std::vector<double>& row : mm)
        for (int j = 0; j < k2; ++j)
          if (j != config.focalmale) row[j] = MRmax;
      break;
    case 3:  // positive assortative mating: like types mate factor times more readily
      if (!(factor >= 1.0)) stopRunQuiet("Wrong < 1 choice-factor for model 3", factor);
      for (int t = 0; t < std::min(k1, k2); ++t) mm[t][t] = MRmax;
      break;
    case 4:  // negative assortative mating
      if (!(factor <= 1.0)) stopRunQuiet("Wrong > 1 choice-factor for model 4", factor);
      for (int i = 0; i < k1; ++i)
        for (int j = 0; j < k2; ++j)
          if (i != j) mm[i][j] = MRmax;
      break;
    default: {  // 5: the user's matrix; its largest entry is the largest propensity
      ReadUserModels("", kUserModelFile, mm, k1, k2);
      MRmax = mm[0][0];
      for (const std::vector<double>& row : mm)
        for (double v : row) MRmax = std::max(MRmax, v);
      break;
    }
  }
  names.prefix += model == 0   ? NtoS(MRmax) + "_"
                  : model == 5 ? std::string("User_")
                               : NtoS(MRmax) + "_Factor" + NtoS(factor) + "_";

  ex.mass = MRmax >= 2.0;
  if (config.verbose)
    std::cout << (ex.mass ? "Mass encounter model with sampling rounds"
                          : "Individual encounter model with sampling rounds")
              << std::endl;
  names.prefix += ex.mass ? "massEM_" : "iEM_";
  names.prefix += "RM" + NtoS(model) + "_";
  names.directory += ex.mass ? "_massEM" : "_iEM";
  names.directory += model == 5 ? "_5_User"
                                : "_" + NtoS(model) + "_Mmax" + NtoS(MRmax) + "_factor" +
                                      NtoS(factor);
  const std::string tail = "_N" + NtoS(config.N) + "_Osr" + NtoS(config.osr) + "sample" +
                           NtoS(config.matings);
  if (config.uniform) {
    names.directory += "_U" + tail;
    names.prefix += "U_";
  } else if (config.userfreqs) {
    names.directory += "_User" + tail;
    names.prefix += "User" + NtoS(config.N) + "_";
  } else {
    names.directory += "_nonU" + tail;
    names.prefix += "nonU_";
  }
  if (!ex.mass && config.eJRpsi) names.prefix += "empRpsi_";

  checkRoundsMemory(config.matings, config.numfiles, k1, k2, ex.mass);
  createOutputDirectory(names.directory);
  names.basePath = names.directory + "/";
  ex.filePrefix = names.basePath + names.prefix;

  // The population every replicate starts from (drift plays no part in this mode).
  if (config.userfreqs) {
    ex.p1.assign(k1, 0.0);
    ex.p2.assign(k2, 0.0);
    ReadUserFreqs("", kUserFreqsFile, k1, k2, ex.p1, ex.p2, config.MPF);
    ex.femaleNumbers = roundsUserNumbers(ex.p1, nfem);
    ex.maleNumbers = roundsUserNumbers(ex.p2, nmale);
  } else {
    if (config.uniform) {
      ex.femaleNumbers = uniformNumbers(k1, nfem);
      ex.maleNumbers = uniformNumbers(k2, nmale);
    } else {
      ex.femaleNumbers = roundsRandomPartition(k1, nfem, config.MPF, rng);
      ex.maleNumbers = roundsRandomPartition(k2, nmale, config.MPF, rng);
    }
    ex.p1 = frequenciesOf(ex.femaleNumbers, nfem);
    ex.p2 = frequenciesOf(ex.maleNumbers, nmale);
  }
  ex.model = static_cast<int>(model);
  ex.MRmax = MRmax;
  ex.factor = factor;
  ex.k1 = k1;
  ex.k2 = k2;
  ex.meanPropensity = meanPropensity(ex.p1, ex.p2, mm);
  return ex;
}

// ---------------------------------------------------------------------------------------------
// Pieces shared by both encounter models

namespace {

Matrix zeroMatrix(int k1, int k2) { return Matrix(k1, std::vector<double>(k2, 0.0)); }

void addProducts(Matrix& sum, const std::vector<double>& a, const std::vector<double>& b) {
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) sum[i][j] += a[i] * b[j];
}

Matrix products(const std::vector<double>& a, const std::vector<double>& b) {
  Matrix m(a.size(), std::vector<double>(b.size()));
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) m[i][j] = a[i] * b[j];
  return m;
}

// A sum over rounds turned into an average: exact zeros become 0.5 first.
std::vector<double> averageOf(std::vector<double> sum, double count) {
  for (double& v : sum) v = (v == 0.0 ? 0.5 : v) / count;
  return sum;
}

Matrix averageOf(Matrix sum, double count, bool replaceZeros) {
  for (std::vector<double>& row : sum)
    for (double& v : row) v = (replaceZeros && v == 0.0 ? 0.5 : v) / count;
  return sum;
}

// The random-mating pair frequencies averaged over the rounds; the last cell takes what the
// others leave.
Matrix averageWithLastCellClosed(const Matrix& sum, double count) {
  Matrix QR = averageOf(sum, count, false);
  double others = 0.0;
  for (std::size_t i = 0; i < QR.size(); ++i)
    for (std::size_t j = 0; j < QR[i].size(); ++j)
      if (i + 1 < QR.size() || j + 1 < QR[i].size()) others += QR[i][j];
  QR.back().back() = 1.0 - others;
  return QR;
}

// The indices of the sample so far after round r of replicate f (0-based): the pairs formed
// (NA of them) against the random-mating products and against the mated products, both summed
// over NB rounds. Sums below 0.5 count as 0.5.
void runningRoundIndices(const Matrix& pairCounts, double NA, const Matrix& matedProducts,
                         const Matrix& randomProducts, double NB, int r, int f,
                         RunAccumulators& acc) {
  double JRpti = 0.0, JRpsi = 0.0, JRpss = 0.0;
  for (std::size_t i = 0; i < pairCounts.size(); ++i)
    for (std::size_t j = 0; j < pairCounts[i].size(); ++j) {
      const double pobs = (pairCounts[i][j] < 0.5 ? 0.5 : pairCounts[i][j]) / NA;
      const double pp = (matedProducts[i][j] < 0.5 ? 0.5 : matedProducts[i][j]) / NB;
      const double q = randomProducts[i][j] / NB;
      JRpti += jTerm(pobs, q);
      JRpsi += jTerm(pobs, pp);
      JRpss += jTerm(pp, q);
    }
  const std::size_t at = static_cast<std::size_t>(r) * acc.F + f;
  acc.roundJRpti[at] = JRpti;
  acc.roundJRpsi[at] = JRpsi;
  acc.roundJRpss[at] = JRpss;
}

// The tables of the sample-wide indices that do not depend on the encounter model: P from the
// pair counts, S from P, Q0 from the population at the start.
void sampleTables(MatingTables& t, const Matrix& pairCounts, int n, const RoundsExperiment& ex) {
  t.P = averageOf(pairCounts, n, true);
  std::vector<double> P1(ex.k1, 0.0), P2(ex.k2, 0.0);
  for (int i = 0; i < ex.k1; ++i)
    for (int j = 0; j < ex.k2; ++j) {
      P1[i] += t.P[i][j];
      P2[j] += t.P[i][j];
    }
  t.S = products(P1, P2);
  t.Q0 = products(ex.p1, ex.p2);
}

// The indices, their p-values and tallies, and the rounds table of replicate f.
void finishReplicate(const RoundsExperiment& ex, const RunConfig& config, int f,
                     const MatingTables& tables, const std::vector<std::vector<double>>& p1r,
                     const std::vector<std::vector<double>>& p2r,
                     const std::vector<std::vector<double>>& roundPairs, RunAccumulators& acc) {
  ReplicateIndices indices = computeIndices(tables);
  if (config.verbose) std::cout << f - 1 << '\n' << "E0R " << indices.E0R << std::endl;
  testIndices(indices, config.matings, ex.k1, ex.k2, config.SL, acc.tallies);
  acc.Jpti[f - 1] = indices.total[ReplicateIndices::Jpti];
  acc.Jpsi[f - 1] = indices.total[ReplicateIndices::Jpsi];
  acc.Jpss[f - 1] = indices.total[ReplicateIndices::Jpss];
  if (config.onlyresume) return;
  if (config.verbose) std::cout << "Writing output" << std::endl;
  const long long fileNumber = static_cast<long long>(f) + config.shift;
  writeRoundsTable(ex.filePrefix + NtoS(fileNumber) + ".txt", kProgramName, "", 16, p1r, p2r,
                   roundPairs, tables.P, tables.QR, indices);
}

// A pair of types can mate when its propensity has a positive ratio to the mean propensity
// (the propensities of this mode are all negative when -MRmax is not given).
bool somePairCanMate(const Matrix& mm, double M, const std::vector<bool>& females,
                     const std::vector<bool>& males) {
  for (std::size_t i = 0; i < females.size(); ++i) {
    if (!females[i]) continue;
    for (std::size_t j = 0; j < males.size(); ++j)
      if (males[j] && mm[i][j] / M > 0.0) return true;
  }
  return false;
}

[[noreturn]] void stopNoPairCanMate(int round, int f, double M) {
  stopRun("\nNo remaining female-male pair can mate in round " + NtoS(round) + " of replicate " +
              NtoS(f) + ": every pair that can still meet has a propensity whose ratio to the "
              "mean propensity " + NtoS(M) + " is not positive (condition propensity/M>0)\n",
          1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Mass encounters

void massEncounterReplicate(const RoundsExperiment& ex, const RunConfig& config, int f,
                            RunAccumulators& acc, Random& rng) {
  if (config.verbose) std::cout << "Beginning Mass encounters with sampling rounds" << std::endl;
  const int k1 = ex.k1, k2 = ex.k2, n = config.matings;
  const Matrix& mm = ex.modelmatrix;
  const int roundSize = ex.MRmax >= INT_MAX ? INT_MAX : static_cast<int>(ex.MRmax);

  // Per round: population frequencies at its start, frequencies among its mated individuals
  // (counts until it closes), the pairs it formed and the mean propensity.
  std::vector<std::vector<double>> p1r{ex.p1}, p2r{ex.p2};
  std::vector<std::vector<double>> p1rprime{std::vector<double>(k1, 0.0)};
  std::vector<std::vector<double>> p2rprime{std::vector<double>(k2, 0.0)};
  std::vector<std::vector<double>> roundPairs{std::vector<double>(k1 * k2, 0.0)};
  std::vector<double> meanPropensities{ex.meanPropensity};
  Matrix pairCounts = zeroMatrix(k1, k2);
  Matrix matedProducts = zeroMatrix(k1, k2);      // over closed rounds
  Matrix randomProducts = products(ex.p1, ex.p2);  // over started rounds
  std::vector<double> availableFemales = ex.femaleNumbers, availableMales = ex.maleNumbers;
  int femalesLeft = ex.nfem, malesLeft = ex.nmale;
  int total = 0, replicateMatings = 0, r = 0;
  std::vector<int> females, males;

  while (total < n) {
    const int E = std::min({femalesLeft, malesLeft, roundSize});
    roulette(E, p1r[r], availableFemales, females, rng);
    roulette(E, p2r[r], availableMales, males, rng);
    int roundMatings = 0;
    for (int k = 0; k < E; ++k) {
      const int i = females[k], j = males[k];
      if (mm[i][j] / meanPropensities[r] >= rng.u()) {
        ++total;
        roundPairs[r][i * k2 + j] += 1.0;
        pairCounts[i][j] += 1.0;
        p1rprime[r][i] += 1.0;
        p2rprime[r][j] += 1.0;
        ++roundMatings;
        if (total >= n) break;  // the rest of the round is not examined
        --femalesLeft;
        --malesLeft;
      } else {  // both go back to the population
        availableFemales[i] += 1.0;
        availableMales[j] += 1.0;
      }
    }
    if (roundMatings == 0) {
      // The round is drawn again; if no pair that can still be drawn can mate, it never ends.
      if (!somePairCanMate(mm, meanPropensities[r], rouletteReachable(p1r[r], availableFemales),
                           rouletteReachable(p2r[r], availableMales)))
        stopNoPairCanMate(r + 1, f, meanPropensities[r]);
      continue;
    }

    acc.replicatesPerRound[r] += 1;
    for (double& v : p1rprime[r]) v /= roundMatings;
    for (double& v : p2rprime[r]) v /= roundMatings;
    addProducts(matedProducts, p1rprime[r], p2rprime[r]);
    runningRoundIndices(pairCounts, total, matedProducts, randomProducts, r + 1, r, f - 1, acc);
    replicateMatings += roundMatings;
    if (total >= n) break;

    // Females and males are paired one to one, so as many of each must be left.
    if (femalesLeft != malesLeft)
      stopRun("\nMass encounters need as many unmated females as males: " + NtoS(femalesLeft) +
                  " females and " + NtoS(malesLeft) + " males are left after round " +
                  NtoS(r + 1) + " of replicate " + NtoS(f) +
                  " (condition nfem==nmale; use -osr 1 and an even -N)\n",
              1);
    roundPairs.emplace_back(k1 * k2, 0.0);
    p1rprime.emplace_back(k1, 0.0);
    p2rprime.emplace_back(k2, 0.0);
    p1r.push_back(p1r[r]);
    p2r.push_back(p2r[r]);
    ++r;
    refreshFrequencies(p1r[r], availableFemales, femalesLeft);
    refreshFrequencies(p2r[r], availableMales, malesLeft);
    meanPropensities.push_back(meanPropensity(p1r[r], p2r[r], mm));
    addProducts(randomProducts, p1r[r], p2r[r]);
  }

  const int rounds = r + 1;
  acc.sumMatingsPerRound += static_cast<double>(replicateMatings) / rounds;
  acc.sumRounds += rounds;
  if (config.verbose) std::cout << rounds << " mating rounds performed" << std::endl;

  MatingTables t;
  std::vector<double> sumP1(k1, 0.0), sumB1(k1, 0.0), sumP2(k2, 0.0), sumB2(k2, 0.0);
  for (int q = 0; q < rounds; ++q) {
    for (int i = 0; i < k1; ++i) {
      sumP1[i] += p1r[q][i];
      sumB1[i] += p1rprime[q][i];
    }
    for (int j = 0; j < k2; ++j) {
      sumP2[j] += p2r[q][j];
      sumB2[j] += p2rprime[q][j];
    }
  }
  t.A1 = averageOf(sumP1, rounds);
  t.B1 = averageOf(sumB1, rounds);
  t.A2 = averageOf(sumP2, rounds);
  t.B2 = averageOf(sumB2, rounds);
  t.PR = averageOf(matedProducts, rounds, true);
  t.QR = averageWithLastCellClosed(randomProducts, rounds);
  sampleTables(t, pairCounts, n, ex);
  finishReplicate(ex, config, f, t, p1r, p2r, roundPairs, acc);
}

// ---------------------------------------------------------------------------------------------
// Individual encounters

namespace {

// The shares of the matings each type is expected to obtain at the frequencies p1, p2 and mean
// propensity M; the last type of each sex takes what the others leave.
void expectedMatedShares(const std::vector<double>& p1, const std::vector<double>& p2,
                         const Matrix& mm, double M, std::vector<double>& e1,
                         std::vector<double>& e2) {
  const std::size_t k1 = p1.size(), k2 = p2.size();
  std::vector<double> rows(k1, 0.0), columns(k2, 0.0);
  for (std::size_t i = 0; i < k1; ++i)
    for (std::size_t j = 0; j < k2; ++j) {
      const double w = p1[i] * p2[j] * mm[i][j];
      rows[i] += w;
      columns[j] += w;
    }
  double others = 0.0;
  for (std::size_t i = 0; i + 1 < k1; ++i) others += e1[i] = rows[i] / M;
  e1[k1 - 1] = 1.0 - others;
  others = 0.0;
  for (std::size_t j = 0; j + 1 < k2; ++j) others += e2[j] = columns[j] / M;
  e2[k2 - 1] = 1.0 - others;
}

void addTo(std::vector<double>& sum, const std::vector<double>& v) {
  for (std::size_t k = 0; k < v.size(); ++k) sum[k] += v[k];
}

// Types that can still meet: drawn by their frequency, with individuals left.
std::vector<bool> canMeet(const std::vector<double>& freqs, const std::vector<double>& available) {
  std::vector<bool> types = drawTypeReachable(freqs);
  for (std::size_t t = 0; t < types.size(); ++t) types[t] = types[t] && available[t] > 0.0;
  return types;
}

}  // namespace

void individualEncounterReplicate(const RoundsExperiment& ex, const RunConfig& config, int f,
                                  RunAccumulators& acc, Random& rng) {
  if (config.verbose)
    std::cout << "Beginning individual encounters with sampling rounds" << std::endl;
  const int k1 = ex.k1, k2 = ex.k2, n = config.matings;
  const Matrix& mm = ex.modelmatrix;

  // One round per mating. Per round: the population frequencies and the pair that mated.
  std::vector<std::vector<double>> p1r{ex.p1}, p2r{ex.p2};
  std::vector<std::vector<double>> roundPairs{std::vector<double>(k1 * k2, 0.0)};
  p1r.reserve(n);
  p2r.reserve(n);
  roundPairs.reserve(n);
  double M = ex.meanPropensity;
  std::vector<double> e1(k1), e2(k2);
  expectedMatedShares(ex.p1, ex.p2, mm, M, e1, e2);
  Matrix pairCounts = zeroMatrix(k1, k2), observedPairs = zeroMatrix(k1, k2);
  Matrix expectedProducts = products(e1, e2);      // over started rounds
  Matrix randomProducts = products(ex.p1, ex.p2);  // over started rounds
  std::vector<double> sumP1 = ex.p1, sumE1 = e1, sumP2 = ex.p2, sumE2 = e2;
  std::vector<double> availableFemales = ex.femaleNumbers, availableMales = ex.maleNumbers;
  int femalesLeft = ex.nfem, malesLeft = ex.nmale;
  int total = 0, r = 0;

  // A round lasts until a pair mates; it could not end if no pair that can meet can mate.
  auto checkRoundCanEnd = [&] {
    if (!somePairCanMate(mm, M, canMeet(p1r[r], availableFemales), canMeet(p2r[r], availableMales)))
      stopNoPairCanMate(r + 1, f, M);
  };
  checkRoundCanEnd();
  while (total < n) {
    const int i = drawType(p1r[r], rng);
    const int j = drawType(p2r[r], rng);
    if (!(mm[i][j] / M >= rng.u())) continue;  // both stay in the population

    ++total;
    roundPairs[r][i * k2 + j] += 1.0;
    pairCounts[i][j] += 1.0;
    observedPairs[i][j] += 1.0;
    runningRoundIndices(pairCounts, total, expectedProducts, randomProducts, total, total - 1,
                        f - 1, acc);
    acc.replicatesPerRound[total - 1] += 1;
    if (total >= n) break;

    --femalesLeft;
    --malesLeft;
    availableFemales[i] -= 1.0;
    availableMales[j] -= 1.0;
    p1r.push_back(p1r[r]);
    p2r.push_back(p2r[r]);
    roundPairs.emplace_back(k1 * k2, 0.0);
    ++r;
    refreshFrequencies(p1r[r], availableFemales, femalesLeft);
    refreshFrequencies(p2r[r], availableMales, malesLeft);
    addProducts(randomProducts, p1r[r], p2r[r]);
    M = meanPropensity(p1r[r], p2r[r], mm);
    expectedMatedShares(p1r[r], p2r[r], mm, M, e1, e2);
    addProducts(expectedProducts, e1, e2);
    addTo(sumP1, p1r[r]);
    addTo(sumE1, e1);
    addTo(sumP2, p2r[r]);
    addTo(sumE2, e2);
    checkRoundCanEnd();
  }

  acc.sumRounds += n;
  acc.sumMatingsPerRound += 1.0;
  if (config.verbose) std::cout << total << " individual mating rounds performed" << std::endl;

  MatingTables t;
  t.PR = averageOf(config.eJRpsi ? observedPairs : expectedProducts, n, false);
  t.A1 = averageOf(sumP1, n);
  t.B1 = averageOf(sumE1, n);
  t.A2 = averageOf(sumP2, n);
  t.B2 = averageOf(sumE2, n);
  t.QR = averageWithLastCellClosed(randomProducts, n);
  sampleTables(t, pairCounts, n, ex);
  finishReplicate(ex, config, f, t, p1r, p2r, roundPairs, acc);
}

// ---------------------------------------------------------------------------------------------
// The run

void runSamplingRounds(RunConfig& config, int nfem, int nmale, OutputNames& names, Random& rng) {
  const RoundsExperiment ex = setupSamplingRounds(config, nfem, nmale, names, rng);
  RunAccumulators acc(config.matings, config.numfiles);
  for (int f = 1; f <= config.numfiles; ++f) {
    if (ex.mass)
      massEncounterReplicate(ex, config, f, acc, rng);
    else
      individualEncounterReplicate(ex, config, f, acc, rng);
  }

  SignificanceSummary s;
  s.massEncounters = ex.mass;
  s.numfiles = config.numfiles;
  s.nfem = nfem;
  s.nmale = nmale;
  s.matings = config.matings;
  s.SL = config.SL;
  s.meanMatingsPerRound = acc.sumMatingsPerRound / config.numfiles;
  s.meanRounds = acc.sumRounds / config.numfiles;
  for (int k = 0; k < 8; ++k) s.proportions[k] = acc.tallies[k] / config.numfiles;
  avesd(acc.Jpti, s.Jpti, s.sdJpti, kMissing);
  avesd(acc.Jpsi, s.Jpsi, s.sdJpsi, kMissing);
  avesd(acc.Jpss, s.Jpss, s.sdJpss, kMissing);
  const std::size_t R = static_cast<std::size_t>(acc.R), F = static_cast<std::size_t>(acc.F);
  for (std::vector<double>* v : {&s.JRpti, &s.sdJRpti, &s.JRpsi, &s.sdJRpsi, &s.JRpss, &s.sdJRpss})
    v->assign(R, kMissing);
  const std::span<const double> JRpti(acc.roundJRpti), JRpsi(acc.roundJRpsi),
      JRpss(acc.roundJRpss);
  for (std::size_t r = 0; r < R; ++r) {  // over the replicates that reached round r
    avesd(JRpti.subspan(r * F, F), s.JRpti[r], s.sdJRpti[r], kMissing);
    avesd(JRpsi.subspan(r * F, F), s.JRpsi[r], s.sdJRpsi[r], kMissing);
    avesd(JRpss.subspan(r * F, F), s.JRpss[r], s.sdJRpss[r], kMissing);
  }
  s.replicatesPerRound = acc.replicatesPerRound;
  writeEMSignificances(ex.filePrefix + ".txt", kProgramName, "", s);
}

}  // namespace pairlab
