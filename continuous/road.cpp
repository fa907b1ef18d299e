#include "continuous/road.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "continuous/engine.hpp"
#include "continuous/names.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/phenotypes.hpp"
#include "continuous/preferences.hpp"
#include "continuous/sample.hpp"
#include "continuous/writers.hpp"
#include "support/banner.hpp"
#include "support/diagnostics.hpp"
#include "support/memory.hpp"
#include "support/numeric.hpp"
#include "support/output.hpp"
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
Traits createTraits(const RunConfig& config, const SettledRun& run, RunOutput& output,
                    Random& rng) {
  Traits traits;
  traits.female.assign(static_cast<std::size_t>(run.nfem), 0.0);
  traits.male.assign(static_cast<std::size_t>(run.nmale), 0.0);
  resetLimits(traits);
  const double p = config.bimodal[0], mu = config.bimodal[1], sigma = config.bimodal[2];
  const bool mixture = mu != 0.0;
  if (mixture && std::fabs(mu) <= sigma + 1.0)
    output.warn("\nWarning: note that the value of the mean (" + NtoS(mu) +
                ") and the standard deviation (" + NtoS(sigma) +
                ") may not be enough to produce a bimodal distribution" + "\n");
  if (config.userfreqs) {
    if (mixture)
      output.warn(
          "\nWarning: note that the bimodality is not applied because user-defined "
          "argument is true\n");
    ReadUserPhenotypes("", kUserPhenotypesFile, run.nfem, run.nmale, traits.female,
                       traits.femaleMin, traits.femaleMax, traits.male, traits.maleMin,
                       traits.maleMax);
  } else if (mixture) {
    drawMixtureTraits(traits, p, mu, sigma, rng);
  } else {
    drawNormalTraits(traits, rng);
  }
  return traits;
}

ContinuousNaming namingOf(const RunConfig& config, const SettledRun& run, const Preferences& p) {
  ContinuousNaming s;
  s.process = run.model.process;
  s.matings = config.matings;
  s.aging = run.aging;
  s.ageParams = config.age_params;
  s.gaussian = p.choice.family == PreferenceFamily::Gaussian;
  s.model = p.choice.model;
  s.choice = config.choice;
  s.tolerance = config.tolerance;
  s.dmax = config.dmax;
  s.bias = p.bias;
  s.logisticA = config.logistic_params[0];
  s.logisticB = config.logistic_params[1];
  s.impatience = config.impatient;
  return s;
}

// What the files leave for the correlation file.
struct RoadResults {
  std::vector<std::string> fileNames;  // prefix + number + ".txt", without the directory
  std::vector<double> correlations;    // -99 for files with fewer than 5 pairs
  double sampleSizeSum = 0.0;
  double femaleTotal = 0.0, maleTotal = 0.0;  // encounter totals
  std::int64_t totalMatings = 0;
  std::string name;  // the preference name of the last file, with its reports
};

// Everything a file needs besides the random engine.
struct FilePlan {
  const RunConfig& config;
  const SettledRun& run;
  const EngineSettings& settings;
  const EngineInputs& inputs;
  const OutputNames& names;
  std::string dataSuffix;  // "b.txt" for mixture traits
  std::string branchName;
};

constexpr const char* kFilesTable = "Pairlab_files.tsv";
const char* const kFilesHeader =
    "run_id\tfile\tsample_size\treport\tcorrelation\tfemale_encounters\tmale_encounters\n";
constexpr const char* kPairsTable = "Pairlab_pairs.tsv";
const char* const kPairsHeader = "run_id\tfile\tpair\tfemale_trait\tmale_trait\n";

// The reports of an early end on one line: "Unavailable females; Unavailable males".
std::string reportCell(const std::string& report) {
  std::string cell, line;
  std::istringstream lines(report);
  while (std::getline(lines, line))
    if (!line.empty()) cell += (cell.empty() ? "" : "; ") + line;
  return cell;
}

void appendFileRows(RunOutput& output, bool pairs, std::int64_t fileNumber,
                    const FileResult& result, double correlation, const std::vector<double>& x,
                    const std::vector<double>& y) {
  std::string row;
  TableRow r{row};
  r.text(output.runId()).integer(fileNumber).integer(result.k).text(reportCell(result.report));
  if (correlation == kMissing)
    r.missing();
  else
    r.number(correlation);
  r.number(result.femaleEncounters).number(result.maleEncounters).end();
  output.appendTable(kFilesTable, kFilesHeader, row);
  if (!pairs) return;
  std::string rows;
  std::int64_t pair = 0;
  for (std::size_t j = 0; j < x.size(); ++j)
    if (!isNoTrait(x[j]) && !isNoTrait(y[j]))
      TableRow{rows}
          .text(output.runId())
          .integer(fileNumber)
          .integer(++pair)
          .number(x[j])
          .number(y[j])
          .end();
  output.appendTable(kPairsTable, kPairsHeader, rows);
}

// Runs file `file` (from 1), writes its data file or progress line and keeps its correlation.
void runFile(const FilePlan& plan, int file, FileWorkspace& workspace, std::vector<double>& args,
             std::vector<double>& x, std::vector<double>& y, RoadResults& results,
             RunOutput& output, Random& rng) {
  const RunConfig& config = plan.config;
  const bool mass = plan.run.model.process == EncounterProcess::Mass;
  const bool encounterModel = plan.run.model.process != EncounterProcess::WithReplacement;
  const FileResult result =
      runContinuousFile(plan.settings, plan.inputs, workspace, args, x, y, rng);
  results.sampleSizeSum += result.k;
  const std::int64_t fileNumber = static_cast<std::int64_t>(file) + config.shift;
  results.name = result.report + plan.branchName;
  if (plan.run.writefiles)
    writecontinuousmodel(plan.names.filePath() + NtoS(fileNumber) + plan.dataSuffix, kProgramName,
                         results.name, encounterModel, mass, plan.run.nfem, plan.run.nmale, x, y,
                         result.k);
  else  // a progress line; not flushed, as a flush per file would cost a system call each
    std::cout << "\nFile " << file << " done\n";

  double correlation = kMissing;
  if (result.k < 5) {
    std::cout << "no enough matings in file " << file;
    if (!plan.run.aging && plan.settings.branch == Branch::NegativeAssortative)
      std::cout << ": " << result.k << " pairs";
    std::cout << std::endl;
  } else {
    std::array<double, 2> regression{};
    correlation = regcorrelxy(x, y, true, false, regression);
  }
  if (output.tidy() > 0)
    appendFileRows(output, plan.run.writefiles || output.tidy() == 2, fileNumber, result,
                   correlation, x, y);
  output.fileDone(fileNumber);
  results.correlations.push_back(correlation);
  results.fileNames.push_back(plan.names.prefix + NtoS(fileNumber) + ".txt");
  results.femaleTotal += result.femaleEncounters;
  results.maleTotal += result.maleEncounters;
  results.totalMatings += result.k;
  std::fill(x.begin(), x.end(), kNoTrait);
  std::fill(y.begin(), y.end(), kNoTrait);
}

// The end of the road: the correlation file (mean ages over all matings of the run; none: no
// age lines) and the phenotype distribution file.
void finishRoad(const RunConfig& config, const SettledRun& run, const OutputNames& names,
                const Traits& traits, const RoadResults& results) {
  const bool mass = run.model.process == EncounterProcess::Mass;
  const bool encounterModel = run.model.process != EncounterProcess::WithReplacement;
  const double matingsDone = static_cast<double>(results.totalMatings);
  const double meanFemaleAge = results.totalMatings > 0 ? results.femaleTotal / matingsDone : 0.0;
  const double meanMaleAge = results.totalMatings > 0 ? results.maleTotal / matingsDone : 0.0;
  const int meanSampleSize = static_cast<int>(results.sampleSizeSum / config.numfiles);
  writecorrelations(names.filePath() + (traits.bimodal ? "bCorrel.txt" : "Correl.txt"),
                    kProgramName, results.name, encounterModel, mass, run.nfem, run.nmale,
                    meanSampleSize, results.fileNames, results.correlations, meanFemaleAge,
                    meanMaleAge);
  if (config.writedistrib) {
    if (config.verbose) std::cout << "Writing phenotypic distribution\n";
    writephenotypedistrib(names.directory + "/phenotypes.txt", kProgramName, run.nfem, run.nmale,
                          traits.female, traits.male);
  }
}

}  // namespace

void runContinuousRoad(const RunConfig& config, const SettledRun& run, RunOutput& output,
                       Random& rng) {
  // Checks of the population, then the directory and the traits.
  const EncounterProcess process = run.model.process;
  checkCapacity(sampleCapacity(process, run.nfem, run.nmale), config.matings);
  requireMemory(populationBytes(run.nfem, run.nmale, config.matings),
                "the traits of the " + NtoS(static_cast<std::int64_t>(run.nfem) + run.nmale) +
                    " individuals and the work space of a file");
  output.openDirectory(continuousDirectory(process));
  output.phase("creating the traits");
  PopulationRandom population(run.populationSeed, rng);
  Traits traits = createTraits(config, run, output, population.get());
  checkFiniteTraits(traits, "as drawn");
  checkVariation(traits);

  // Preferences and names.
  output.phase("setting up the preferences");
  Preferences prefs = setUpPreferences(config, run.model.model, traits);
  OutputNames names = continuousNames(namingOf(config, run, prefs));
  names.directory = output.directory();
  const EngineSettings settings =
      engineSettings(config, run.model.process, run.aging, run.smallerSex(), prefs.branch);
  const EngineInputs inputs{&traits.female, &traits.male, prefs.order.get()};
  const FilePlan plan{config,
                      run,
                      settings,
                      inputs,
                      names,
                      traits.bimodal ? "b.txt" : ".txt",
                      preferenceName(prefs.branch, config.impatient)};

  // The files.
  std::vector<double> x(static_cast<std::size_t>(config.matings), kNoTrait);
  std::vector<double> y(static_cast<std::size_t>(config.matings), kNoTrait);
  RoadResults results;
  FileWorkspace workspace;
  RunFiles files{names.prefix,
                 plan.dataSuffix,
                 config.shift + 1LL,
                 static_cast<std::int64_t>(config.shift) + config.numfiles,
                 {names.prefix + (traits.bimodal ? "bCorrel.txt" : "Correl.txt")}};
  if (config.writedistrib) files.runFiles.push_back("phenotypes.txt");
  if (!output.startFiles(files, config.numfiles)) return;
  for (int file = 1; file <= config.numfiles; ++file)
    runFile(plan, file, workspace, prefs.args, x, y, results, output, rng);
  finishRoad(config, run, names, traits, results);
}

}  // namespace pairlab
