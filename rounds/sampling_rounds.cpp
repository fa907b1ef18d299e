#include "rounds/sampling_rounds.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <span>

#include "discrete/frequencies.hpp"
#include "rounds/names.hpp"
#include "rounds/reports.hpp"
#include "support/banner.hpp"
#include "support/diagnostics.hpp"
#include "support/memory.hpp"
#include "support/numeric.hpp"
#include "support/output.hpp"
#include "support/text.hpp"

namespace pairlab {

RunAccumulators::RunAccumulators(int rounds, int replicates)
    : R(rounds),
      F(replicates),
      roundJRpti(largeVector(static_cast<std::size_t>(rounds) * replicates, kMissing)),
      roundJRpsi(largeVector(roundJRpti.size(), kMissing)),
      roundJRpss(largeVector(roundJRpti.size(), kMissing)),
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
  rng.shuffle(numbers.begin(), numbers.end());
  return numbers;
}

double roundsMemoryBytes(long long R, long long F, long long k1, long long k2, bool mass,
                         double roundSize) {
  // Run-wide: three running indices per round and replicate. Per replicate: per round the
  // population frequencies, the pairs formed and, under mass encounters, the mated frequencies,
  // each a separate vector.
  const double perRound =
      8.0 * static_cast<double>(k1 * k2 + (mass ? 2 : 1) * (k1 + k2)) + (mass ? 6 : 3) * 48.0;
  // Mass encounters also draw the types of a round's females and males.
  return 24.0 * static_cast<double>(R) * static_cast<double>(F) +
         perRound * static_cast<double>(R) + 28.0 * static_cast<double>(F) +
         (mass ? 2.0 * sizeof(int) * roundSize : 0.0);
}

namespace {

// The propensity matrix: MRmax for the pairs the model favours, MRmax / factor for the others
// (model 4: MRmax for unlike types, MRmax x factor for like types, the factor at most 1);
// model 5 reads the user's matrix, whose largest entry becomes MRmax.
struct RoundsModel {
  Matrix modelmatrix;
  double MRmax = -1.0;
  double factor = 1.0;
  int k1 = 0, k2 = 0;
};

RoundsModel roundsModel(int model, double MRmax, const RunConfig& config, const FocalTypes& focal) {
  RoundsModel r{{}, MRmax, 1.0, config.femtypes, config.maletypes};
  if (model == 3 || model == 4)
    r.factor = config.choicefactor;
  else if (model != 0)
    r.factor = config.incrfactor;
  checkModelNumber(model, 5, config);
  checkTypeTableSize(r.k1, r.k2);
  checkChoiceFactor(model, r.factor);
  const double other = MRmax / r.factor;
  Matrix& mm = r.modelmatrix;
  // Model 4 favours unlike types: they take MRmax, like types MRmax x factor, so that like pairs
  // weigh the factor relative to unlike pairs, as in the data-file mode.
  mm.assign(r.k1, std::vector<double>(r.k2, model == 0 || model == 4 ? MRmax : other));
  if (model >= 1 && model <= 3) setModelPattern(mm, model, MRmax, focal);
  if (model == 4) setModelPattern(mm, model, MRmax * r.factor, focal);
  if (model == 5) {
    ReadUserModels("", kUserModelFile, mm, r.k1, r.k2);
    r.MRmax = mm[0][0];
    for (const std::vector<double>& row : mm)
      for (double v : row) r.MRmax = std::max(r.MRmax, v);
  }
  checkModelWeights(mm, model);
  return r;
}

RoundsNaming namingOf(const RunConfig& config, const RoundsExperiment& ex) {
  RoundsNaming s;
  s.model = ex.model;
  s.MRmax = ex.MRmax;
  s.factor = ex.factor;
  s.mass = ex.mass;
  s.eJRpsi = config.eJRpsi;
  s.uniform = config.uniform;
  s.userfreqs = config.userfreqs;
  s.N = config.N;
  s.osr = config.osr;
  s.matings = config.matings;
  return s;
}

// The population every replicate starts from (drift plays no part in this mode); user
// frequencies moved into [MPF, 1 - MPF] are noted.
void setUpPopulation(const RunConfig& config, RoundsExperiment& ex, RunOutput& output,
                     Random& rng) {
  if (config.userfreqs) {
    ex.p1.assign(ex.k1, 0.0);
    ex.p2.assign(ex.k2, 0.0);
    reportUserFreqs(kUserFreqsFile,
                    ReadUserFreqs("", kUserFreqsFile, ex.k1, ex.k2, ex.p1, ex.p2, config.MPF),
                    config.MPF, output);
    ex.femaleNumbers = roundsUserNumbers(ex.p1, ex.nfem);
    ex.maleNumbers = roundsUserNumbers(ex.p2, ex.nmale);
    return;
  }
  if (config.uniform) {
    ex.femaleNumbers = uniformNumbers(ex.k1, ex.nfem);
    ex.maleNumbers = uniformNumbers(ex.k2, ex.nmale);
  } else {
    ex.femaleNumbers = roundsRandomPartition(ex.k1, ex.nfem, config.MPF, rng);
    ex.maleNumbers = roundsRandomPartition(ex.k2, ex.nmale, config.MPF, rng);
  }
  ex.p1 = frequenciesOf(ex.femaleNumbers, ex.nfem);
  ex.p2 = frequenciesOf(ex.maleNumbers, ex.nmale);
}

}  // namespace

RoundsExperiment setupSamplingRounds(const RunConfig& config, const SettledRun& run,
                                     RunOutput& output, Random& rng) {
  RoundsExperiment ex;
  ex.nfem = run.nfem;
  ex.nmale = run.nmale;
  ex.model = run.model.model;
  const FocalTypes focal = resolveFocalTypes(ex.model, config.femtypes, config.maletypes,
                                             config.focalfem, config.focalmale);
  checkCapacity(run.smallerSex(), config.matings);

  RoundsModel model = roundsModel(ex.model, run.MRmax, config, focal);
  ex.modelmatrix = std::move(model.modelmatrix);
  ex.MRmax = model.MRmax;
  ex.factor = model.factor;
  ex.k1 = model.k1;
  ex.k2 = model.k2;
  ex.mass = ex.MRmax >= 2.0;
  reportUserModelTypes(config, ex.k1, ex.k2, output);
  if (ex.model == 5 && wasGiven(config, "-MRmax"))
    output.notApplied("-MRmax", "model 5 takes its largest propensity from the user model file");
  if (ex.mass && wasGiven(config, "-eJRpsi"))
    output.notApplied("-eJRpsi", "it changes the indices of individual encounters only");
  if (config.verbose)
    std::cout << (ex.mass ? "Mass encounter model with sampling rounds"
                          : "Individual encounter model with sampling rounds")
              << std::endl;

  OutputNames names = roundsNames(namingOf(config, ex));
  requireMemory(roundsMemoryBytes(config.matings, config.numfiles, ex.k1, ex.k2, ex.mass,
                                  std::min<double>(ex.MRmax, run.smallerSex())),
                "the tables of the sampling rounds (" + NtoS(config.matings) + " rounds by " +
                    NtoS(config.numfiles) + " replicates, " + NtoS(ex.k1) + " x " + NtoS(ex.k2) +
                    " types); lower -matings or -numfiles");
  names.directory = output.openDirectory(names.directory);
  ex.filePrefix = names.filePath();
  ex.files = RunFiles{names.prefix,
                      ".txt",
                      config.shift + 1LL,
                      static_cast<std::int64_t>(config.shift) + config.numfiles,
                      {names.prefix + ".txt"}};
  ex.roundsTables =
      !config.onlyresume && !(output.tidy() > 0 && config.writefilesGiven && !run.writefiles);

  PopulationRandom population(run.populationSeed, rng);
  setUpPopulation(config, ex, output, population.get());
  ex.meanPropensity = meanPropensity(ex.p1, ex.p2, ex.modelmatrix);
  checkFiniteMeanPropensity(ex.meanPropensity);
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

// The indices, their p-values and tallies, and the rounds table of replicate f.
constexpr const char* kIndicesTable = "Pairlab_indices.tsv";
const char* const kIndicesHeader =
    "run_id\treplicate\trounds\tsample_size\tindex\tvalue\tp_value\ttested\tsignificant\n";
constexpr const char* kRoundsTable = "Pairlab_rounds.tsv";
const char* const kRoundsHeader =
    "run_id\treplicate\tround\tfemale_type\tmale_type\tfemale_frequency\tmale_frequency\tpairs\n";

// The replicate's rows of the indices table: one per index.
void appendIndexRows(RunOutput& output, long long replicate, int rounds, int sampleSize, double SL,
                     const ReplicateIndices& indices) {
  std::string rows;
  // An index that was not tested keeps the p-value 1 of the rounds table; E0R has none.
  const auto row = [&](const char* name, double value, double pval, bool tested, bool hasPval) {
    TableRow r{rows};
    r.text(output.runId()).integer(replicate).integer(rounds).integer(sampleSize).text(name);
    r.number(value);
    if (hasPval)
      r.number(pval);
    else
      r.missing();
    r.integer(tested ? 1 : 0).integer(tested && pval <= SL ? 1 : 0).end();
  };
  const char* const roundNames[5] = {"JRpti", "JRpsi", "JRpss", "JRps1", "JRps2"};
  const char* const totalNames[3] = {"Jpti", "Jpsi", "Jpss"};
  for (int k = 0; k < 5; ++k)
    row(roundNames[k], indices.round[k], indices.roundPval[k], indices.roundTested[k], true);
  for (int k = 0; k < 3; ++k)
    row(totalNames[k], indices.total[k], indices.totalPval[k], indices.totalTested[k], true);
  row("E0R", indices.E0R, 0.0, false, false);
  output.appendTable(kIndicesTable, kIndicesHeader, rows);
}

// The replicate's rows of the rounds table: one per round and pair of types (numbered from 1).
void appendRoundRows(RunOutput& output, long long replicate,
                     const std::vector<std::vector<double>>& p1r,
                     const std::vector<std::vector<double>>& p2r,
                     const std::vector<std::vector<double>>& roundPairs) {
  std::string rows;
  for (std::size_t r = 0; r < p1r.size(); ++r)
    for (std::size_t i = 0; i < p1r[r].size(); ++i)
      for (std::size_t j = 0; j < p2r[r].size(); ++j)
        TableRow{rows}
            .text(output.runId())
            .integer(replicate)
            .integer(static_cast<std::int64_t>(r) + 1)
            .integer(static_cast<std::int64_t>(i) + 1)
            .integer(static_cast<std::int64_t>(j) + 1)
            .number(p1r[r][i])
            .number(p2r[r][j])
            .number(roundPairs[r][i * p2r[r].size() + j])
            .end();
  output.appendTable(kRoundsTable, kRoundsHeader, rows);
}

// The replicate's rows of the running indices: the indices of the sample so far after every
// round it reached (column f - 1 of the run's tables), as the significance report averages them.
constexpr const char* kRoundIndicesTable = "Pairlab_round_indices.tsv";
const char* const kRoundIndicesHeader = "run_id\treplicate\tround\tindex\tvalue\n";

void appendRunningIndexRows(RunOutput& output, long long replicate, int rounds, int f,
                            const RunAccumulators& acc) {
  std::string rows;
  const std::vector<double>* const tables[3] = {&acc.roundJRpti, &acc.roundJRpsi, &acc.roundJRpss};
  const char* const names[3] = {"JRpti", "JRpsi", "JRpss"};
  for (int r = 0; r < rounds; ++r)
    for (int k = 0; k < 3; ++k)
      TableRow{rows}
          .text(output.runId())
          .integer(replicate)
          .integer(r + 1)
          .text(names[k])
          .number((*tables[k])[static_cast<std::size_t>(r) * acc.F + (f - 1)])
          .end();
  output.appendTable(kRoundIndicesTable, kRoundIndicesHeader, rows);
}

// The indices, their p-values and tallies, the rounds table and the tidy rows of replicate f.
void finishReplicate(const RoundsExperiment& ex, const RunConfig& config, int f,
                     const MatingTables& tables, const std::vector<std::vector<double>>& p1r,
                     const std::vector<std::vector<double>>& p2r,
                     const std::vector<std::vector<double>>& roundPairs, RunAccumulators& acc,
                     RunOutput& output) {
  ReplicateIndices indices = computeIndices(tables);
  if (config.verbose) std::cout << f - 1 << '\n' << "E0R " << indices.E0R << std::endl;
  testIndices(indices, config.matings, ex.k1, ex.k2, config.SL, acc.tallies);
  acc.Jpti[f - 1] = indices.total[ReplicateIndices::Jpti];
  acc.Jpsi[f - 1] = indices.total[ReplicateIndices::Jpsi];
  acc.Jpss[f - 1] = indices.total[ReplicateIndices::Jpss];
  const long long fileNumber = static_cast<long long>(f) + config.shift;
  if (ex.roundsTables) {
    if (config.verbose) std::cout << "Writing output" << std::endl;
    writeRoundsTable(ex.filePrefix + NtoS(fileNumber) + ".txt", kProgramName, "", 16, p1r, p2r,
                     roundPairs, tables.P, tables.QR, indices);
  }
  if (output.tidy() > 0) {
    appendIndexRows(output, fileNumber, static_cast<int>(p1r.size()), config.matings, config.SL,
                    indices);
    appendRoundRows(output, fileNumber, p1r, p2r, roundPairs);
    appendRunningIndexRows(output, fileNumber, static_cast<int>(p1r.size()), f, acc);
  }
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
              NtoS(f) +
              ": every pair that can still meet has a propensity whose ratio to the "
              "mean propensity " +
              NtoS(M) + " is not positive (condition propensity/M>0)\n",
          1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Mass encounters

namespace {

// One mass-encounter replicate in progress. Per round: the population frequencies at its start,
// the frequencies among its mated individuals (counts until the round closes), the pairs it
// formed and its mean propensity.
struct MassReplicate {
  explicit MassReplicate(const RoundsExperiment& ex)
      : p1r{ex.p1},
        p2r{ex.p2},
        p1rprime{std::vector<double>(ex.k1, 0.0)},
        p2rprime{std::vector<double>(ex.k2, 0.0)},
        roundPairs{std::vector<double>(ex.k1 * ex.k2, 0.0)},
        meanPropensities{ex.meanPropensity},
        pairCounts(zeroMatrix(ex.k1, ex.k2)),
        matedProducts(zeroMatrix(ex.k1, ex.k2)),
        randomProducts(products(ex.p1, ex.p2)),
        availableFemales(ex.femaleNumbers),
        availableMales(ex.maleNumbers),
        femalesLeft(ex.nfem),
        malesLeft(ex.nmale) {}

  std::vector<std::vector<double>> p1r, p2r, p1rprime, p2rprime, roundPairs;
  std::vector<double> meanPropensities;
  Matrix pairCounts;
  Matrix matedProducts;   // over closed rounds
  Matrix randomProducts;  // over started rounds
  std::vector<double> availableFemales, availableMales;
  int femalesLeft, malesLeft;
  int total = 0, replicateMatings = 0, r = 0;
  std::vector<int> females, males;  // the types drawn for the current round
};

// Draws round r's females and males and lets each pair meet; returns the matings of the round.
int playRound(const RoundsExperiment& ex, int n, int roundSize, MassReplicate& s, Random& rng) {
  const int r = s.r;
  const int E = std::min({s.femalesLeft, s.malesLeft, roundSize});
  roulette(E, s.p1r[r], s.availableFemales, s.females, rng);
  roulette(E, s.p2r[r], s.availableMales, s.males, rng);
  int roundMatings = 0;
  for (int k = 0; k < E; ++k) {
    const int i = s.females[k], j = s.males[k];
    if (ex.modelmatrix[i][j] / s.meanPropensities[r] >= rng.u()) {
      ++s.total;
      s.roundPairs[r][i * ex.k2 + j] += 1.0;
      s.pairCounts[i][j] += 1.0;
      s.p1rprime[r][i] += 1.0;
      s.p2rprime[r][j] += 1.0;
      ++roundMatings;
      if (s.total >= n) break;  // the rest of the round is not examined
      --s.femalesLeft;
      --s.malesLeft;
    } else {  // both go back to the population
      s.availableFemales[i] += 1.0;
      s.availableMales[j] += 1.0;
    }
  }
  return roundMatings;
}

// A round with matings closes: its mated frequencies, the running round indices (when there is
// a run to record them).
void closeRound(int roundMatings, int f, MassReplicate& s, RunAccumulators* acc) {
  const int r = s.r;
  for (double& v : s.p1rprime[r]) v /= roundMatings;
  for (double& v : s.p2rprime[r]) v /= roundMatings;
  addProducts(s.matedProducts, s.p1rprime[r], s.p2rprime[r]);
  if (acc != nullptr) {
    acc->replicatesPerRound[r] += 1;
    runningRoundIndices(s.pairCounts, s.total, s.matedProducts, s.randomProducts, r + 1, r, f - 1,
                        *acc);
  }
  s.replicateMatings += roundMatings;
}

// The next round starts from the unmated population.
void openNextRound(const RoundsExperiment& ex, int f, MassReplicate& s) {
  // Females and males are paired one to one, so as many of each must be left.
  if (s.femalesLeft != s.malesLeft)
    stopRun("\nMass encounters need as many unmated females as males: " + NtoS(s.femalesLeft) +
                " females and " + NtoS(s.malesLeft) + " males are left after round " +
                NtoS(s.r + 1) + " of replicate " + NtoS(f) +
                " (condition nfem==nmale; use -osr 1 and an even -N)\n",
            1);
  s.roundPairs.emplace_back(ex.k1 * ex.k2, 0.0);
  s.p1rprime.emplace_back(ex.k1, 0.0);
  s.p2rprime.emplace_back(ex.k2, 0.0);
  s.p1r.push_back(s.p1r[s.r]);
  s.p2r.push_back(s.p2r[s.r]);
  const int r = ++s.r;
  refreshFrequencies(s.p1r[r], s.availableFemales, s.femalesLeft);
  refreshFrequencies(s.p2r[r], s.availableMales, s.malesLeft);
  s.meanPropensities.push_back(meanPropensity(s.p1r[r], s.p2r[r], ex.modelmatrix));
  checkFiniteMeanPropensity(s.meanPropensities.back());
  addProducts(s.randomProducts, s.p1r[r], s.p2r[r]);
}

// The tables of the indices: averages over the replicate's rounds.
MatingTables massTables(const RoundsExperiment& ex, int n, int rounds, const MassReplicate& s) {
  MatingTables t;
  std::vector<double> sumP1(ex.k1, 0.0), sumB1(ex.k1, 0.0), sumP2(ex.k2, 0.0), sumB2(ex.k2, 0.0);
  for (int q = 0; q < rounds; ++q) {
    for (int i = 0; i < ex.k1; ++i) {
      sumP1[i] += s.p1r[q][i];
      sumB1[i] += s.p1rprime[q][i];
    }
    for (int j = 0; j < ex.k2; ++j) {
      sumP2[j] += s.p2r[q][j];
      sumB2[j] += s.p2rprime[q][j];
    }
  }
  t.A1 = averageOf(sumP1, rounds);
  t.B1 = averageOf(sumB1, rounds);
  t.A2 = averageOf(sumP2, rounds);
  t.B2 = averageOf(sumB2, rounds);
  t.PR = averageOf(s.matedProducts, rounds, true);
  t.QR = averageWithLastCellClosed(s.randomProducts, rounds);
  sampleTables(t, s.pairCounts, n, ex.p1, ex.p2);
  return t;
}

}  // namespace

namespace {

// Replicate f (from 1) plays rounds until n matings; the running indices of the sample after
// every round go to acc when there is one.
void playMassRounds(const RoundsExperiment& ex, int n, int f, RunAccumulators* acc,
                    MassReplicate& s, Random& rng) {
  const int roundSize = ex.MRmax >= INT_MAX ? INT_MAX : static_cast<int>(ex.MRmax);
  while (s.total < n) {
    const int roundMatings = playRound(ex, n, roundSize, s, rng);
    if (roundMatings == 0) {
      // The round is drawn again; if no pair that can still be drawn can mate, it never ends.
      const double M = s.meanPropensities[s.r];
      if (!somePairCanMate(ex.modelmatrix, M, rouletteReachable(s.p1r[s.r], s.availableFemales),
                           rouletteReachable(s.p2r[s.r], s.availableMales)))
        stopNoPairCanMate(s.r + 1, f, M);
      continue;
    }
    closeRound(roundMatings, f, s, acc);
    if (s.total >= n) break;
    openNextRound(ex, f, s);
  }
}

}  // namespace

void massEncounterReplicate(const RoundsExperiment& ex, const RunConfig& config, int f,
                            RunAccumulators& acc, RunOutput& output, Random& rng) {
  if (config.verbose) std::cout << "Beginning Mass encounters with sampling rounds" << std::endl;
  const int n = config.matings;
  MassReplicate s(ex);
  playMassRounds(ex, n, f, &acc, s, rng);
  const int rounds = s.r + 1;
  acc.sumMatingsPerRound += static_cast<double>(s.replicateMatings) / rounds;
  acc.sumRounds += rounds;
  if (config.verbose) std::cout << rounds << " mating rounds performed" << std::endl;
  finishReplicate(ex, config, f, massTables(ex, n, rounds, s), s.p1r, s.p2r, s.roundPairs, acc,
                  output);
}

// ---------------------------------------------------------------------------------------------
// Individual encounters

namespace {

// The shares of the matings each type is expected to obtain at the frequencies p1, p2 and mean
// propensity M; the last type of each sex takes what the others leave (rows and columns are
// working space).
void expectedMatedShares(const std::vector<double>& p1, const std::vector<double>& p2,
                         const Matrix& mm, double M, std::vector<double>& e1,
                         std::vector<double>& e2, std::vector<double>& rows,
                         std::vector<double>& columns) {
  const std::size_t k1 = p1.size(), k2 = p2.size();
  rows.assign(k1, 0.0);
  columns.assign(k2, 0.0);
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

// Encounters without a mating after which a round is checked for a pair that can mate.
constexpr int kMissesBeforeCheck = 1000;

// Types that can still meet: drawn by their frequency, with individuals left.
const std::vector<bool>& canMeet(const std::vector<double>& freqs,
                                 const std::vector<double>& available, std::vector<bool>& types) {
  drawTypeReachable(freqs, types);
  for (std::size_t t = 0; t < types.size(); ++t) types[t] = types[t] && available[t] > 0.0;
  return types;
}

}  // namespace

void ReplicateStorage::start(const std::vector<double>& p1, const std::vector<double>& p2,
                             int count) {
  for (auto* table : {&p1r, &p2r, &roundPairs}) table->resize(static_cast<std::size_t>(count));
  p1r[0] = p1;
  p2r[0] = p2;
  roundPairs[0].assign(p1.size() * p2.size(), 0.0);
}

namespace {

// One individual-encounter replicate in progress: the current round r (one per mating) and its
// mean propensity M, the shares of the matings each type is expected to obtain, and the sums over
// the rounds started so far. The per-round tables are the caller's storage.
struct IndividualReplicate {
  IndividualReplicate(const RoundsExperiment& ex, int n, ReplicateStorage& storage)
      : rounds(storage),
        M(ex.meanPropensity),
        e1(ex.k1),
        e2(ex.k2),
        pairCounts(zeroMatrix(ex.k1, ex.k2)),
        observedPairs(zeroMatrix(ex.k1, ex.k2)),
        availableFemales(ex.femaleNumbers),
        availableMales(ex.maleNumbers),
        femalesLeft(ex.nfem),
        malesLeft(ex.nmale) {
    rounds.start(ex.p1, ex.p2, std::max(n, 1));
    expectedMatedShares(ex.p1, ex.p2, ex.modelmatrix, M, e1, e2, rounds.rows, rounds.columns);
    expectedProducts = products(e1, e2);
    randomProducts = products(ex.p1, ex.p2);
    sumP1 = ex.p1;
    sumE1 = e1;
    sumP2 = ex.p2;
    sumE2 = e2;
  }

  ReplicateStorage& rounds;
  double M;
  std::vector<double> e1, e2;
  Matrix pairCounts, observedPairs;
  Matrix expectedProducts;  // over started rounds
  Matrix randomProducts;    // over started rounds
  std::vector<double> sumP1, sumE1, sumP2, sumE2;
  std::vector<double> availableFemales, availableMales;
  int femalesLeft, malesLeft;
  int total = 0, r = 0;
};

// Females and males meet until a pair mates; returns the female and male types of the pair. A
// round could not end if no pair that can meet can mate. As nothing changes within a round, and
// the check draws nothing, it is made once, when the round has gone on for long without a
// mating: a round that cannot end stops the run all the same.
std::pair<int, int> meetUntilMating(const RoundsExperiment& ex, int f, IndividualReplicate& s,
                                    Random& rng) {
  const Matrix& mm = ex.modelmatrix;
  const std::vector<double>& p1 = s.rounds.p1r[s.r];
  const std::vector<double>& p2 = s.rounds.p2r[s.r];
  for (int misses = 1;; ++misses) {
    const int i = drawType(p1, rng);
    const int j = drawType(p2, rng);
    if (mm[i][j] / s.M >= rng.u()) return {i, j};
    // Both stay in the population.
    if (misses == kMissesBeforeCheck &&
        !somePairCanMate(mm, s.M, canMeet(p1, s.availableFemales, s.rounds.femalesMeet),
                         canMeet(p2, s.availableMales, s.rounds.malesMeet)))
      stopNoPairCanMate(s.r + 1, f, s.M);
  }
}

// The pair i x j leaves the population and the next round starts from the unmated.
void openNextIndividualRound(const RoundsExperiment& ex, int i, int j, IndividualReplicate& s) {
  ReplicateStorage& t = s.rounds;
  --s.femalesLeft;
  --s.malesLeft;
  s.availableFemales[i] -= 1.0;
  s.availableMales[j] -= 1.0;
  t.p1r[s.r + 1] = t.p1r[s.r];
  t.p2r[s.r + 1] = t.p2r[s.r];
  t.roundPairs[s.r + 1].assign(ex.k1 * ex.k2, 0.0);
  const int r = ++s.r;
  refreshFrequencies(t.p1r[r], s.availableFemales, s.femalesLeft);
  refreshFrequencies(t.p2r[r], s.availableMales, s.malesLeft);
  addProducts(s.randomProducts, t.p1r[r], t.p2r[r]);
  s.M = meanPropensity(t.p1r[r], t.p2r[r], ex.modelmatrix);
  checkFiniteMeanPropensity(s.M);
  expectedMatedShares(t.p1r[r], t.p2r[r], ex.modelmatrix, s.M, s.e1, s.e2, t.rows, t.columns);
  addProducts(s.expectedProducts, s.e1, s.e2);
  addTo(s.sumP1, t.p1r[r]);
  addTo(s.sumE1, s.e1);
  addTo(s.sumP2, t.p2r[r]);
  addTo(s.sumE2, s.e2);
}

// Replicate f (from 1) plays one round per mating until n matings; the running indices of the
// sample after every round go to acc when there is one.
void playIndividualRounds(const RoundsExperiment& ex, int n, int f, RunAccumulators* acc,
                          IndividualReplicate& s, Random& rng) {
  while (s.total < n) {
    const auto [i, j] = meetUntilMating(ex, f, s, rng);
    ++s.total;
    s.rounds.roundPairs[s.r][i * ex.k2 + j] += 1.0;
    s.pairCounts[i][j] += 1.0;
    s.observedPairs[i][j] += 1.0;
    if (acc != nullptr) {
      runningRoundIndices(s.pairCounts, s.total, s.expectedProducts, s.randomProducts, s.total,
                          s.total - 1, f - 1, *acc);
      acc->replicatesPerRound[s.total - 1] += 1;
    }
    if (s.total >= n) break;
    openNextIndividualRound(ex, i, j, s);
  }
}

// The tables of the indices: averages over the n rounds (one per mating). With eJRpsi the mated
// pairs expected each round are replaced by the pairs observed.
MatingTables individualTables(const RoundsExperiment& ex, int n, bool eJRpsi,
                              const IndividualReplicate& s) {
  MatingTables t;
  t.PR = averageOf(eJRpsi ? s.observedPairs : s.expectedProducts, n, false);
  t.A1 = averageOf(s.sumP1, n);
  t.B1 = averageOf(s.sumE1, n);
  t.A2 = averageOf(s.sumP2, n);
  t.B2 = averageOf(s.sumE2, n);
  t.QR = averageWithLastCellClosed(s.randomProducts, n);
  sampleTables(t, s.pairCounts, n, ex.p1, ex.p2);
  return t;
}

}  // namespace

void individualEncounterReplicate(const RoundsExperiment& ex, const RunConfig& config, int f,
                                  ReplicateStorage& rounds, RunAccumulators& acc, RunOutput& output,
                                  Random& rng) {
  if (config.verbose)
    std::cout << "Beginning individual encounters with sampling rounds" << std::endl;
  const int n = config.matings;
  IndividualReplicate s(ex, n, rounds);
  playIndividualRounds(ex, n, f, &acc, s, rng);
  acc.sumRounds += n;
  acc.sumMatingsPerRound += 1.0;
  if (config.verbose) std::cout << s.total << " individual mating rounds performed" << std::endl;
  finishReplicate(ex, config, f, individualTables(ex, n, config.eJRpsi, s), rounds.p1r, rounds.p2r,
                  rounds.roundPairs, acc, output);
}

// ---------------------------------------------------------------------------------------------
// A replicate without a run

RoundsExperiment roundsExperimentOf(Matrix modelmatrix, std::vector<double> femaleNumbers,
                                    std::vector<double> maleNumbers, double MRmax) {
  PAIRLAB_CHECK(!modelmatrix.empty() && modelmatrix.size() == femaleNumbers.size() &&
                    modelmatrix[0].size() == maleNumbers.size(),
                NtoS(static_cast<int>(modelmatrix.size())) + " rows");
  RoundsExperiment ex;
  ex.k1 = static_cast<int>(femaleNumbers.size());
  ex.k2 = static_cast<int>(maleNumbers.size());
  double females = 0.0, males = 0.0;
  for (double v : femaleNumbers) females += v;
  for (double v : maleNumbers) males += v;
  ex.nfem = static_cast<int>(std::llround(females));
  ex.nmale = static_cast<int>(std::llround(males));
  ex.p1 = frequenciesOf(femaleNumbers, ex.nfem);
  ex.p2 = frequenciesOf(maleNumbers, ex.nmale);
  ex.femaleNumbers = std::move(femaleNumbers);
  ex.maleNumbers = std::move(maleNumbers);
  ex.modelmatrix = std::move(modelmatrix);
  ex.MRmax = MRmax;
  ex.mass = MRmax >= 2.0;
  ex.meanPropensity = meanPropensity(ex.p1, ex.p2, ex.modelmatrix);
  checkFiniteMeanPropensity(ex.meanPropensity);
  ex.roundsTables = false;
  return ex;
}

Matrix playReplicatePairs(const RoundsExperiment& ex, int n, int replicate,
                          ReplicateStorage& storage, Random& rng) {
  if (ex.mass) {
    MassReplicate s(ex);
    playMassRounds(ex, n, replicate, nullptr, s, rng);
    return s.pairCounts;
  }
  IndividualReplicate s(ex, n, storage);
  playIndividualRounds(ex, n, replicate, nullptr, s, rng);
  return s.pairCounts;
}

// ---------------------------------------------------------------------------------------------
// The run

namespace {
// What the significance report shows: tallies and averages over the replicates.
SignificanceSummary significanceSummary(const RunConfig& config, const SettledRun& run,
                                        const RoundsExperiment& ex, const RunAccumulators& acc) {
  SignificanceSummary s;
  s.massEncounters = ex.mass;
  s.numfiles = config.numfiles;
  s.nfem = run.nfem;
  s.nmale = run.nmale;
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
  const std::span<const double> JRpti(acc.roundJRpti), JRpsi(acc.roundJRpsi), JRpss(acc.roundJRpss);
  for (std::size_t r = 0; r < R; ++r) {  // over the replicates that reached round r
    avesd(JRpti.subspan(r * F, F), s.JRpti[r], s.sdJRpti[r], kMissing);
    avesd(JRpsi.subspan(r * F, F), s.JRpsi[r], s.sdJRpsi[r], kMissing);
    avesd(JRpss.subspan(r * F, F), s.JRpss[r], s.sdJRpss[r], kMissing);
  }
  s.replicatesPerRound = acc.replicatesPerRound;
  return s;
}
}  // namespace

void runSamplingRounds(const RunConfig& config, const SettledRun& run, RunOutput& output,
                       Random& rng) {
  const RoundsExperiment ex = setupSamplingRounds(config, run, output, rng);
  RunAccumulators acc(config.matings, config.numfiles);
  ReplicateStorage rounds;
  if (!output.startFiles(ex.files, config.numfiles)) return;
  for (int f = 1; f <= config.numfiles; ++f) {
    if (ex.mass)
      massEncounterReplicate(ex, config, f, acc, output, rng);
    else
      individualEncounterReplicate(ex, config, f, rounds, acc, output, rng);
    output.fileDone(static_cast<std::int64_t>(f) + config.shift);
  }
  writeEMSignificances(ex.filePrefix + ".txt", kProgramName, "",
                       significanceSummary(config, run, ex, acc));
}

}  // namespace pairlab
