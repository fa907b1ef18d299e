#include "continuous/road.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "continuous/engine.hpp"
#include "continuous/memory.hpp"
#include "continuous/phenotypes.hpp"
#include "continuous/preferences.hpp"
#include "continuous/writers.hpp"
#include "support/banner.hpp"
#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

// Traits of the population and, per file, the candidate lists (trait, original position, age,
// availability) and the sample buffers.
double populationBytes(int nfem, int nmale, int matings) {
  const double individuals = static_cast<double>(nfem) + static_cast<double>(nmale);
  return 8.0 * individuals + 21.0 * individuals + 32.0 * static_cast<double>(matings);
}

// Creates the traits: the user phenotype file, the two-component mixture or standard normals.
Traits createTraits(const RunConfig& config, int nfem, int nmale, Random& rng) {
  Traits traits;
  traits.female.assign(static_cast<std::size_t>(nfem), 0.0);
  traits.male.assign(static_cast<std::size_t>(nmale), 0.0);
  resetLimits(traits);
  const double p = config.bimodal[0], mu = config.bimodal[1], sigma = config.bimodal[2];
  const bool mixture = mu != 0.0;
  if (mixture && std::fabs(mu) <= sigma + 1.0)
    warnRun("\nWarning: note that the value of the mean (" + NtoS(mu) +
            ") and the standard deviation (" + NtoS(sigma) +
            ") may not be enough to produce a bimodal distribution" + "\n");
  if (config.userfreqs) {
    if (mixture)
      warnRun("\nWarning: note that the bimodality is not applied because user-defined "
              "argument is true\n");
    ReadUserPhenotypes("", kUserPhenotypesFile, nfem, nmale, traits.female, traits.femaleMin,
                       traits.femaleMax, traits.male, traits.maleMin, traits.maleMax);
  } else if (mixture) {
    drawMixtureTraits(traits, p, mu, sigma, rng);
  } else {
    drawNormalTraits(traits, rng);
  }
  return traits;
}

}  // namespace

void runContinuousRoad(RunConfig& config, int nfem, int nmale, bool aging, OutputNames& names,
                       Random& rng) {
  // Set-up: the encounter mode, the names, the capacity of the population and the traits.
  ContinuousModel decoded = decodeContinuousModel(config.model, config.gaussian, config.uniform);
  const bool encounterModel = decoded.mode != EncounterMode::WithReplacement;
  const bool mass = decoded.mode == EncounterMode::Mass;
  names.prefix += "Pairlab_C_n" + NtoS(config.matings) + "_";
  if (mass) {
    names.directory += "_massEM";
    names.prefix += "massEM_";
  } else if (decoded.mode == EncounterMode::Individual) {
    names.directory += "_iEM";
    names.prefix += "iEM_";
  }

  const std::int64_t capacity = encounterModel ? std::min(nfem, nmale)
                                               : static_cast<std::int64_t>(nfem) * nmale;
  if (capacity < config.matings)
    stopRun("\nToo few population males or females (" + NtoS(capacity) +
                ") for too many matings (" + NtoS(config.matings) + ")\n",
            static_cast<std::uint64_t>(capacity));
  requireMemory(populationBytes(nfem, nmale, config.matings),
                "the traits of the " + NtoS(static_cast<std::int64_t>(nfem) + nmale) +
                    " individuals and the work space of a file");
  createOutputDirectory(names.directory);
  names.basePath = names.directory + "/";

  Traits traits = createTraits(config, nfem, nmale, rng);
  checkVariation(traits);

  // Preferences: the aging piece of the name, the family, the scaling and the pair table.
  if (aging)
    names.prefix += "Age_a" + NtoS(config.age_params[0]) + "_b" + NtoS(config.age_params[1]) +
                    "_g" + NtoS(config.age_params[2]) + "_";
  const PreferenceFamily family =
      choosePreferenceFamily(decoded.model, config.gaussian, config.uniform);

  EngineSettings settings;
  settings.mode = decoded.mode;
  settings.onechoosy = config.onechoosy;
  settings.aging = aging;
  settings.agingParams = {config.age_params[0], config.age_params[1], config.age_params[2]};
  settings.matings = config.matings;
  settings.roundSize = std::min(nfem, nmale);
  settings.impatience = config.impatient;
  settings.logisticIntercept = config.logistic_params[0];

  std::vector<double> args;
  PairTable table;
  if (family == PreferenceFamily::Gaussian) {
    const double c = config.choice;
    double bias = config.bias;
    if (config.scaling) bias = scaleTraits(traits, config.dmax, config.mintrait, config.bias);
    names.prefix += std::string(decoded.model == 1 ? "FND_" : "BD03_") + "C" + NtoS(c) + "_s" +
                    NtoS(config.tolerance) + "_Dmax" + NtoS(config.dmax) + "_";
    if (bias != 0.0) names.prefix += "bias" + NtoS(bias) + "_";
    args = {0.0, gaussianCoefficient(decoded.model, c, config.tolerance, config.dmax), 0.0, c};
    settings.branch = c > 0.0   ? Branch::PositiveAssortative
                      : c < 0.0 ? Branch::NegativeAssortative
                                : Branch::RandomMating;
    if (c != 0.0)
      table = buildPairTable(traits.female, traits.male,
                             PairDistance{c, bias, config.dmax, config.onechoosy}, args);
  } else {
    const double a = config.logistic_params[0], b = config.logistic_params[1];
    names.prefix += "Log_a" + NtoS(a) + "_b" + NtoS(b) + "_";
    if (config.impatient != 0.0) names.prefix += "Imp_";
    args = {a, b, 0.0, a, b, 0.0};
    settings.branch = Branch::Logistic;
  }
  const std::string branchName = preferenceName(settings.branch, config.impatient);

  // The files.
  const EngineInputs inputs{&traits.female, &traits.male,
                            settings.branch == Branch::RandomMating ||
                                    settings.branch == Branch::Logistic
                                ? nullptr
                                : &table};
  const std::string filePath = names.basePath + names.prefix;
  const std::string dataSuffix = traits.bimodal ? "b.txt" : ".txt";
  std::vector<double> x(static_cast<std::size_t>(config.matings), kMissing);
  std::vector<double> y(static_cast<std::size_t>(config.matings), kMissing);
  std::vector<std::string> fileNames;
  std::vector<double> correlations;
  double sampleSizeSum = 0.0;
  double femaleTotal = 0.0, maleTotal = 0.0;
  std::int64_t totalMatings = 0;
  std::string name;  // the preference name of the last file, with its reports
  FileWorkspace workspace;
  for (int file = 1; file <= config.numfiles; ++file) {
    const FileResult result = runContinuousFile(settings, inputs, workspace, args, x, y, rng);
    sampleSizeSum += result.k;
    const std::int64_t fileNumber = static_cast<std::int64_t>(file) + config.shift;
    name = result.report + branchName;
    if (config.writefiles)
      writecontinuousmodel(filePath + NtoS(fileNumber) + dataSuffix, kProgramName, name,
                           encounterModel, mass, nfem, nmale, x, y, result.k);
    else  // a progress line; not flushed, as a flush per file would cost a system call each
      std::cout << "\nFile " << file << " done\n";

    double correlation = kMissing;
    if (result.k < 5) {
      std::cout << "no enough matings in file " << file;
      if (!aging && settings.branch == Branch::NegativeAssortative)
        std::cout << ": " << result.k << " pairs";
      std::cout << std::endl;
    } else {
      std::array<double, 2> regression{};
      correlation = regcorrelxy(x, y, true, false, regression);
    }
    correlations.push_back(correlation);
    fileNames.push_back(names.prefix + NtoS(fileNumber) + ".txt");
    femaleTotal += result.femaleEncounters;
    maleTotal += result.maleEncounters;
    totalMatings += result.k;
    std::fill(x.begin(), x.end(), kMissing);
    std::fill(y.begin(), y.end(), kMissing);
  }

  // The end of the road: mean ages over all matings of the run (none: no age lines).
  const double matingsDone = static_cast<double>(totalMatings);
  const double meanFemaleAge = totalMatings > 0 ? femaleTotal / matingsDone : 0.0;
  const double meanMaleAge = totalMatings > 0 ? maleTotal / matingsDone : 0.0;
  const int meanSampleSize = static_cast<int>(sampleSizeSum / config.numfiles);
  writecorrelations(filePath + (traits.bimodal ? "bCorrel.txt" : "Correl.txt"), kProgramName,
                    name, encounterModel, mass, nfem, nmale, meanSampleSize, fileNames,
                    correlations, meanFemaleAge, meanMaleAge);
  if (config.writedistrib) {
    if (config.verbose) std::cout << "Writing phenotypic distribution\n";
    writephenotypedistrib(names.directory + "/phenotypes.txt", kProgramName, nfem, nmale,
                          traits.female, traits.male);
  }
}

}  // namespace pairlab
