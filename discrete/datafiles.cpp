#include "discrete/datafiles.hpp"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "discrete/frequencies.hpp"
#include "discrete/names.hpp"
#include "support/banner.hpp"
#include "support/diagnostics.hpp"
#include "support/format.hpp"
#include "support/memory.hpp"
#include "support/output.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

// Mating between female type f and male type m happens when modelmatrix[f][m] / M >= u.
bool mates(const Matrix& modelmatrix, int f, int m, double M, Random& rng) {
  return modelmatrix[f][m] / M >= rng.u();
}

void stopUnlessPositive(double M) {
  checkFiniteMeanPropensity(M);
  if (!(M > 0.0))
    stopRun("\nNo mating can happen: the mean mating propensity M of the population is " + NtoS(M) +
                " (condition M>0)\n",
            1);
}

}  // namespace

void expectedMatings(const DiscretePopulation& pop, const Matrix& modelmatrix, double M, int target,
                     Matrix& matings) {
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
  ResultFile file(filename);
  std::string& out = file.text();
  writeBanner(out, "##", programname, note);
  out += "# format number\n";
  appendInteger(out, format);
  out += "\n# num of types\n";
  if (format == 0 || format == 2 || format == 15) {
    appendInteger(out, static_cast<std::int64_t>(femalenumbers.size()));
    if (format != 0) {
      out += '\t';
      appendInteger(out, static_cast<std::int64_t>(malenumbers.size()));
    }
    out += '\n';
  }
  // Numbers in fixed notation with one decimal, each followed by a tab.
  const auto numbers = [&out](const std::vector<double>& values) {
    for (double v : values) {
      appendFixed(out, v, 1);
      out += '\t';
    }
  };
  out += "#premating male numbers\n";
  numbers(malenumbers);
  out += "\n#premating female numbers\n";
  numbers(femalenumbers);
  out += "\n# matings by rows (females)\n";
  for (const std::vector<double>& row : matings) {
    numbers(row);
    out += '\n';
  }
  file.commit();
}

namespace {

// How the composition of the population is made (uniform, random or user frequencies).
struct PopulationRule {
  bool user;
  bool uniform;
  double mpf;
  int k1, k2, nfem, nmale;
  std::vector<double> userFemaleFreqs;  // as read from the user frequency file
  std::vector<double> userMaleFreqs;
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

// The rule of the run; the user frequency file is read whenever -userfreqs is on, and every
// frequency it moved into [MPF, 1 - MPF] is noted.
PopulationRule populationRule(const RunConfig& config, const SettledRun& run,
                              const DiscreteModel& model, RunOutput& output) {
  PopulationRule rule{config.userfreqs,
                      config.uniform,
                      config.MPF,
                      model.k1,
                      model.k2,
                      run.nfem,
                      run.nmale,
                      std::vector<double>(model.k1, 0.0),
                      std::vector<double>(model.k2, 0.0)};
  if (config.userfreqs)
    reportUserFreqs(kUserFreqsFile,
                    ReadUserFreqs("", kUserFreqsFile, model.k1, model.k2, rule.userFemaleFreqs,
                                  rule.userMaleFreqs, config.MPF),
                    config.MPF, output);
  return rule;
}

// How many matings the population can supply in one file.
std::int64_t capacityOf(EncounterProcess process, const SettledRun& run) {
  if (process == EncounterProcess::WithReplacement)
    return static_cast<std::int64_t>(run.nfem) * run.nmale;
  return run.smallerSex();
}

// Without drift the process with replacement gives the same file every time: one is written.
int filesToWrite(const RunConfig& config, const SettledRun& run, EncounterProcess process,
                 RunOutput& output) {
  if (run.drift || process != EncounterProcess::WithReplacement || config.numfiles <= 1)
    return config.numfiles;
  if (wasGiven(config, "-numfiles"))
    output.notApplied("-numfiles", "without drift the process with replacement writes one file");
  output.warn(config.uniform || config.userfreqs
                  ? "The number of files has been changed to 1 because there is no drift, the "
                    "process is with replacement and the frequencies are uniform\n"
                  : "The number of files has been changed to 1 because there is no drift and the "
                    "process is with replacement.\n");
  return 1;
}

DataFileNaming namingOf(const RunConfig& config, const SettledRun& run) {
  DataFileNaming s;
  s.process = run.model.process;
  s.roundSize = run.MRmax;
  s.smallerSex = run.smallerSex();
  s.model = run.model.model;
  s.a = config.incrfactor;
  s.b = config.choicefactor;
  s.drift = run.drift;
  s.uniform = config.uniform;
  s.userfreqs = config.userfreqs;
  s.matings = config.matings;
  s.N = config.N;
  s.MPF = config.MPF;
  return s;
}

// Everything the file loop needs, settled before the first file.
struct DataFilePlan {
  const RunConfig& config;
  const SettledRun& run;
  const DiscreteModel& model;
  const PopulationRule& rule;
  int format;
  int numfiles;
  std::string filePath;  // directory + "/" + prefix
  bool dataFiles;        // the per-file text files (with -tidy, -writefiles 0 leaves them out)
};

// The matings of one file under the run's encounter process; false for an incomplete file.
bool fillMatings(const DataFilePlan& plan, const DiscretePopulation& pop, double M,
                 long long fileNumber, Matrix& matings, Random& rng) {
  const Matrix& mm = plan.model.modelmatrix;
  const int target = plan.config.matings;
  switch (plan.run.model.process) {
    case EncounterProcess::WithReplacement:
      expectedMatings(pop, mm, M, target, matings);
      break;
    case EncounterProcess::Individual:
      individualEncounters(pop, mm, M, target, matings, rng);
      break;
    case EncounterProcess::Mass: {
      const MassOutcome outcome =
          massEncounters(pop, mm, M, target, static_cast<int>(plan.run.MRmax), matings, rng);
      if (!outcome.complete && plan.config.verbose)
        std::cout << "File " << fileNumber << " incomplete" << std::endl
                  << outcome.lastPropensity << '\t' << outcome.M << std::endl;
      return outcome.complete;
    }
  }
  return true;
}

constexpr const char* kMatingsTable = "Pairlab_matings.tsv";
const char* const kMatingsHeader =
    "run_id\tfile\tfemale_type\tmale_type\tfemale_premating\tmale_premating\tmatings\t"
    "complete\n";

// The file's rows of the matings table: one per pair of types (numbered from 1).
void appendMatingsRows(RunOutput& output, long long fileNumber, const DiscretePopulation& pop,
                       const Matrix& matings, bool complete) {
  std::string rows;
  for (std::size_t f = 0; f < matings.size(); ++f)
    for (std::size_t m = 0; m < matings[f].size(); ++m)
      TableRow{rows}
          .text(output.runId())
          .integer(fileNumber)
          .integer(static_cast<std::int64_t>(f) + 1)
          .integer(static_cast<std::int64_t>(m) + 1)
          .number(pop.femaleNumbers[f])
          .number(pop.maleNumbers[m])
          .number(matings[f][m])
          .integer(complete ? 1 : 0)
          .end();
  output.appendTable(kMatingsTable, kMatingsHeader, rows);
}

void writeDataFile(const DataFilePlan& plan, long long fileNumber, const DiscretePopulation& pop,
                   const Matrix& matings) {
  const std::string fileName = plan.filePath + NtoS(fileNumber) + ".txt";
  if (plan.format == 15)  // proportions of each sex
    writediscretemodel(fileName, kProgramName, "", plan.format,
                       frequenciesOf(pop.femaleNumbers, pop.nfem),
                       frequenciesOf(pop.maleNumbers, pop.nmale), matings);
  else
    writediscretemodel(fileName, kProgramName, "", plan.format, pop.femaleNumbers, pop.maleNumbers,
                       matings);
}

void writeFiles(const DataFilePlan& plan, DiscretePopulation pop, RunOutput& output, Random& rng) {
  const RunConfig& config = plan.config;
  Matrix matings(plan.model.k1, std::vector<double>(plan.model.k2, 0.0));
  for (int i = 0; i < plan.numfiles; ++i) {
    if (plan.run.drift) pop = composePopulation(plan.rule, true, rng);
    const double M = meanPropensity(pop.p1, pop.p2, plan.model.modelmatrix);
    stopUnlessPositive(M);
    const long long fileNumber = static_cast<long long>(i) + config.shift + 1;
    const bool complete = fillMatings(plan, pop, M, fileNumber, matings, rng);
    if (plan.dataFiles) writeDataFile(plan, fileNumber, pop, matings);
    if (output.tidy() > 0) appendMatingsRows(output, fileNumber, pop, matings, complete);
    output.fileDone(fileNumber);
    if (plan.run.model.process != EncounterProcess::WithReplacement)
      for (std::vector<double>& row : matings) row.assign(plan.model.k2, 0.0);
  }
}

}  // namespace

void runDataFileMode(const RunConfig& config, const SettledRun& run, RunOutput& output,
                     Random& rng) {
  // Checks of the population and of the model (model 5 reads the user model file).
  const int decoded = run.model.model;
  const FocalTypes focal = resolveFocalTypes(decoded, config.femtypes, config.maletypes,
                                             config.focalfem, config.focalmale);
  checkCapacity(capacityOf(run.model.process, run), config.matings);
  checkModelNumber(decoded, 9, config);
  const DiscreteModel model = setupDiscreteModel(decoded, config.femtypes, config.maletypes,
                                                 config.incrfactor, config.choicefactor, focal);
  checkModelWeights(model.modelmatrix, decoded);
  reportUserModelTypes(config, model.k1, model.k2, output);
  if (run.model.process == EncounterProcess::Mass)  // the types drawn for a round
    requireMemory(2.0 * sizeof(int) * run.MRmax,
                  "the mass-encounter rounds of " + NtoS(run.MRmax) + " females and males");

  // Names, then the population: fixed here for every file, or redrawn per file with drift.
  OutputNames names = dataFileNames(namingOf(config, run));
  names.directory = output.openDirectory(names.directory);
  const PopulationRule rule = populationRule(config, run, model, output);
  DiscretePopulation fixed;
  PopulationRandom population(run.populationSeed, rng);
  if (!run.drift) fixed = composePopulation(rule, false, population.get());

  const int format = model.k1 != model.k2 && config.format == 0 ? 2 : config.format;
  // With -tidy, an explicit -writefiles 0 leaves out the per-file text files.
  const bool dataFiles = !(output.tidy() > 0 && config.writefilesGiven && !run.writefiles);
  const int numfiles = filesToWrite(config, run, run.model.process, output);
  const DataFilePlan plan{config, run, model, rule, format, numfiles, names.filePath(), dataFiles};
  const RunFiles files{names.prefix,
                       ".txt",
                       config.shift + 1LL,
                       static_cast<std::int64_t>(config.shift) + numfiles,
                       {}};
  if (!output.startFiles(files, numfiles)) return;
  writeFiles(plan, std::move(fixed), output, rng);
}

}  // namespace pairlab
