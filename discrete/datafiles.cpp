#include "discrete/datafiles.hpp"

#include <algorithm>
#include <cstdlib>
#include <iomanip>
#include <iostream>

#include "discrete/frequencies.hpp"
#include "support/banner.hpp"
#include "support/diagnostics.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

// Mating between female type f and male type m happens when modelmatrix[f][m] / M >= u.
bool mates(const Matrix& modelmatrix, int f, int m, double M, Random& rng) {
  return modelmatrix[f][m] / M >= rng.u();
}

void stopUnlessPositive(double M) {
  if (!(M > 0.0))
    stopRun("\nNo mating can happen: the mean mating propensity M of the population is " +
                NtoS(M) + " (condition M>0)\n",
            1);
}

}  // namespace

void expectedMatings(const DiscretePopulation& pop, const Matrix& modelmatrix, double M,
                     int target, Matrix& matings) {
  for (std::size_t f = 0; f < pop.p1.size(); ++f)
    for (std::size_t m = 0; m < pop.p2.size(); ++m)
      matings[f][m] = pop.p1[f] * pop.p2[m] * modelmatrix[f][m] / M * target;
}

void individualEncounters(const DiscretePopulation& pop, const Matrix& modelmatrix, double M,
                          int target, Matrix& matings, Random& rng) {
  std::vector<double> f1 = pop.p1, f2 = pop.p2;
  std::vector<double> removedFemales(f1.size(), 0.0), removedMales(f2.size(), 0.0);
  std::vector<double> femalesLeftOfType(f1.size()), malesLeftOfType(f2.size());
  int femalesLeft = pop.nfem, malesLeft = pop.nmale;
  int total = 0;
  while (true) {
    const int f = drawType(f1, rng);
    removedFemales[f] += 1.0;
    const int m = drawType(f2, rng);
    removedMales[m] += 1.0;
    if (!mates(modelmatrix, f, m, M, rng)) {  // both return to the pool
      removedFemales[f] -= 1.0;
      removedMales[m] -= 1.0;
      continue;
    }
    matings[f][m] += 1.0;
    if (++total >= target) return;
    --femalesLeft;
    --malesLeft;
    for (std::size_t t = 0; t < f1.size(); ++t)
      femalesLeftOfType[t] = pop.femaleNumbers[t] - removedFemales[t];
    for (std::size_t t = 0; t < f2.size(); ++t)
      malesLeftOfType[t] = pop.maleNumbers[t] - removedMales[t];
    refreshFrequencies(f1, femalesLeftOfType, femalesLeft);
    refreshFrequencies(f2, malesLeftOfType, malesLeft);
    M = meanPropensity(f1, f2, modelmatrix);
    stopUnlessPositive(M);
  }
}

MassOutcome massEncounters(const DiscretePopulation& pop, const Matrix& modelmatrix, double M,
                           int target, int roundSize, Matrix& matings, Random& rng) {
  std::vector<double> f1 = pop.p1, f2 = pop.p2;
  std::vector<double> femalePool = pop.femaleNumbers, malePool = pop.maleNumbers;
  int femalesLeft = pop.nfem, malesLeft = pop.nmale;
  int matingsSoFar = 0;
  long long encounters = 0;
  const long long allPairs = static_cast<long long>(pop.nfem) * pop.nmale;
  std::vector<int> females, males;
  MassOutcome outcome;
  while (true) {
    const int n = std::min({femalesLeft, malesLeft, roundSize});
    roulette(n, f1, femalePool, females, rng);
    roulette(n, f2, malePool, males, rng);
    bool anyMating = false;
    for (int k = 0; k < n; ++k) {
      const int f = females[k], m = males[k];
      outcome.lastPropensity = modelmatrix[f][m];
      if (mates(modelmatrix, f, m, M, rng)) {
        anyMating = true;
        matings[f][m] += 1.0;
        if (++matingsSoFar >= target) {
          outcome.M = M;
          return outcome;
        }
        --femalesLeft;
        --malesLeft;
      } else {
        femalePool[f] += 1.0;
        malePool[m] += 1.0;
      }
    }
    encounters += n;
    if (anyMating) {
      refreshFrequencies(f1, femalePool, femalesLeft);
      refreshFrequencies(f2, malePool, malesLeft);
      M = meanPropensity(f1, f2, modelmatrix);
      stopUnlessPositive(M);
    }
    outcome.M = M;
    if (encounters == allPairs) break;
    if (!anyMating) {
      // Nothing changed in this round; if no pair that roulette can still draw has a positive
      // propensity, no later round can mate either and the file stays incomplete.
      const std::vector<bool> femaleTypes = rouletteReachable(f1, femalePool);
      const std::vector<bool> maleTypes = rouletteReachable(f2, malePool);
      bool canMate = false;
      for (std::size_t f = 0; f < f1.size() && !canMate; ++f)
        for (std::size_t m = 0; m < f2.size() && !canMate; ++m)
          canMate = femaleTypes[f] && maleTypes[m] && modelmatrix[f][m] > 0.0;
      if (!canMate) break;
    }
  }
  outcome.complete = false;
  return outcome;
}

void writediscretemodel(const std::string& filename, const std::string& programname,
                        const std::string& note, int format,
                        const std::vector<double>& femalenumbers,
                        const std::vector<double>& malenumbers, const Matrix& matings) {
  std::ofstream out = openResultFile(filename);
  writeBanner(out, "##", programname, note);
  out << "# format number\n" << format << '\n' << "# num of types\n";
  if (format == 0)
    out << femalenumbers.size() << '\n';
  else if (format == 2 || format == 15)
    out << femalenumbers.size() << '\t' << malenumbers.size() << '\n';
  out << std::fixed << std::setprecision(1);
  out << "#premating male numbers\n";
  for (double v : malenumbers) out << v << '\t';
  out << "\n#premating female numbers\n";
  for (double v : femalenumbers) out << v << '\t';
  out << "\n# matings by rows (females)\n";
  for (const std::vector<double>& row : matings) {
    for (double v : row) out << v << '\t';
    out << '\n';
  }
  closeResultFile(out, filename);
}

namespace {

// How the composition of the population is made (uniform, random or user frequencies).
struct PopulationRule {
  bool user;
  bool uniform;
  double mpf;
  int k1, k2, nfem, nmale;
  const std::vector<double>& userFemaleFreqs;
  const std::vector<double>& userMaleFreqs;
};

// The premating numbers and frequencies of the population: fixed once for all files, or drawn
// anew for a file (drift). User frequencies without drift are used as read; every other
// composition takes its frequencies from the numbers.
DiscretePopulation composePopulation(const PopulationRule& rule, bool drift, Random& rng) {
  DiscretePopulation pop;
  pop.nfem = rule.nfem;
  pop.nmale = rule.nmale;
  if (rule.user && !drift) {
    pop.femaleNumbers = userNumbers(rule.userFemaleFreqs, rule.nfem);
    pop.maleNumbers = userNumbers(rule.userMaleFreqs, rule.nmale);
    pop.p1 = rule.userFemaleFreqs;
    pop.p2 = rule.userMaleFreqs;
    return pop;
  }
  if (rule.user) {
    pop.femaleNumbers = driftUserNumbers(rule.userFemaleFreqs, rule.nfem, rng);
    pop.maleNumbers = driftUserNumbers(rule.userMaleFreqs, rule.nmale, rng);
  } else if (rule.uniform && drift) {
    pop.femaleNumbers = driftUniformNumbers(rule.k1, rule.nfem, rng);
    pop.maleNumbers = driftUniformNumbers(rule.k2, rule.nmale, rng);
  } else if (rule.uniform) {
    pop.femaleNumbers = uniformNumbers(rule.k1, rule.nfem);
    pop.maleNumbers = uniformNumbers(rule.k2, rule.nmale);
  } else {
    pop.femaleNumbers = randomPartition(rule.k1, rule.nfem, rule.mpf, rng);
    pop.maleNumbers = randomPartition(rule.k2, rule.nmale, rule.mpf, rng);
  }
  pop.p1 = frequenciesOf(pop.femaleNumbers, rule.nfem);
  pop.p2 = frequenciesOf(pop.maleNumbers, rule.nmale);
  return pop;
}

}  // namespace

void runDataFileMode(RunConfig& config, int nfem, int nmale, OutputNames& names, Random& rng) {
  // The sign and digits of the model number choose the encounter process.
  const long long given = config.model;
  long long decoded = std::llabs(given);
  Encounters process = Encounters::WithReplacement;
  if (given < 0) process = decoded > 9 ? Encounters::Mass : Encounters::Individual;
  const int smallerSex = std::min(nfem, nmale);
  if (process == Encounters::Mass) {
    if (config.MRmax < 0.0) config.MRmax = smallerSex;
    if (config.MRmax > smallerSex)
      stopRun("A mass-encounter model was defined so that the number of encounters per mating "
              "round " +
                  NtoS(config.MRmax) +
                  " cannot be higher than the number of individuals of one sex " +
                  NtoS(smallerSex) + "\n",
              config.uniform);
    decoded = decoded == 123321 ? 0 : decoded / 10;
  }
  const int model = static_cast<int>(decoded);  // at most INT_MAX, or |INT_MIN| / 10
  const bool roundSizeInName = process == Encounters::Mass && config.MRmax < smallerSex;

  names.prefix += "Pairlab_D_";
  if (process == Encounters::Mass)
    names.prefix += "massEM_" + (roundSizeInName ? NtoS(config.MRmax) + "_" : std::string());
  else if (process == Encounters::Individual)
    names.prefix += "iEM_";

  int k1 = config.femtypes, k2 = config.maletypes;
  resolveFocalTypes(model, k1, k2, config.focalfem, config.focalmale);
  names.prefix += modelPrefixHead(model);

  const long long capacity = process == Encounters::WithReplacement
                                 ? static_cast<long long>(nfem) * nmale
                                 : static_cast<long long>(smallerSex);
  if (capacity < config.matings)
    stopRun("\nToo few population males or females (" + NtoS(capacity) +
                ") for too many matings (" + NtoS(config.matings) + ")\n",
            static_cast<std::uint64_t>(capacity));

  const DiscreteModel dm = setupDiscreteModel(model, k1, k2, config.incrfactor,
                                              config.choicefactor, config.focalfem,
                                              config.focalmale, config.uniform);
  names.prefix += dm.prefixPart;
  if (k1 != k2 && config.format == 0) config.format = 2;

  if (process == Encounters::Mass)
    names.directory += "_massEM" + (roundSizeInName ? NtoS(config.MRmax) : std::string());
  else if (process == Encounters::Individual)
    names.directory += "_iEM";
  names.directory += dm.directoryTag;
  const std::string sample = "_sample" + NtoS(config.matings);
  const std::string popN = NtoS(config.N) + "_";
  const std::string drift = config.drift ? "drift" : "";
  if (config.uniform) {
    names.directory += "_" + drift + "U" + sample;
    names.prefix += drift + "U" + popN;
  } else if (config.userfreqs) {
    names.directory += "_" + drift + "User" + sample;
    names.prefix += drift + "User" + popN;
  } else {
    names.directory += config.drift ? "_driftnonU" + sample : "_nonU" + sample.substr(1);
    names.prefix += drift + "nonU" + popN;
  }
  names.directory += "_N" + NtoS(config.N) + "_MPF" + NtoS(config.MPF);
  createOutputDirectory(names.directory);
  names.basePath = names.directory + "/";
  const std::string filePath = names.basePath + names.prefix;

  // The population: fixed here for every file, or redrawn per file with drift.
  std::vector<double> userFemaleFreqs(k1, 0.0), userMaleFreqs(k2, 0.0);
  if (config.userfreqs)
    ReadUserFreqs("", kUserFreqsFile, k1, k2, userFemaleFreqs, userMaleFreqs, config.MPF);
  const PopulationRule rule{config.userfreqs, config.uniform, config.MPF, k1, k2, nfem, nmale,
                            userFemaleFreqs, userMaleFreqs};
  DiscretePopulation pop;
  if (!config.drift) pop = composePopulation(rule, false, rng);

  if (!config.drift && process == Encounters::WithReplacement && config.numfiles > 1) {
    config.numfiles = 1;
    warnRun(config.uniform || config.userfreqs
                ? "The number of files has been changed to 1 because there is no drift, the "
                  "process is with replacement and the frequencies are uniform\n"
                : "The number of files has been changed to 1 because there is no drift and the "
                  "process is with replacement.\n");
  }

  Matrix matings(k1, std::vector<double>(k2, 0.0));
  for (int i = 0; i < config.numfiles; ++i) {
    if (config.drift) pop = composePopulation(rule, true, rng);
    const double M = meanPropensity(pop.p1, pop.p2, dm.modelmatrix);
    stopUnlessPositive(M);
    const long long fileNumber = static_cast<long long>(i) + config.shift + 1;
    switch (process) {
      case Encounters::WithReplacement:
        expectedMatings(pop, dm.modelmatrix, M, config.matings, matings);
        break;
      case Encounters::Individual:
        individualEncounters(pop, dm.modelmatrix, M, config.matings, matings, rng);
        break;
      case Encounters::Mass: {
        const MassOutcome outcome =
            massEncounters(pop, dm.modelmatrix, M, config.matings,
                           static_cast<int>(config.MRmax), matings, rng);
        if (!outcome.complete && config.verbose)
          std::cout << "File " << fileNumber << " incomplete" << std::endl
                    << outcome.lastPropensity << '\t' << outcome.M << std::endl;
        break;
      }
    }
    const std::string fileName = filePath + NtoS(fileNumber) + ".txt";
    if (config.format == 15)
      writediscretemodel(fileName, kProgramName, "", config.format,
                         frequenciesOf(pop.femaleNumbers, nfem), frequenciesOf(pop.maleNumbers, nmale),
                         matings);
    else
      writediscretemodel(fileName, kProgramName, "", config.format, pop.femaleNumbers,
                         pop.maleNumbers, matings);
    if (process != Encounters::WithReplacement)
      for (std::vector<double>& row : matings) row.assign(k2, 0.0);
  }
}

}  // namespace pairlab
