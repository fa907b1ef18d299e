#include "app/analyze_driver.hpp"

#include <chrono>
#include <iostream>
#include <optional>

#include "analysis/report.hpp"
#include "analysis/results.hpp"
#include "analysis/table_analysis.hpp"
#include "analysis/trait_results.hpp"
#include "app/analyze_args.hpp"
#include "app/analyze_continuous.hpp"
#include "app/program.hpp"
#include "app/run_record.hpp"
#include "support/format.hpp"
#include "support/interrupt.hpp"
#include "support/memory.hpp"
#include "support/run_output.hpp"

namespace pairlab {

namespace {

// The ledger row of the analysis: one column per option with the value it used.
LedgerEntry describeAnalysis(const AnalyzeConfig& c, const std::string& out, std::int64_t seed,
                             int argc, const char* const* argv, std::int64_t start) {
  LedgerEntry e;
  e.runId = runIdOf(seed, start);
  e.startTime = isoTimeNow();
  e.version = PAIRLAB_VERSION;
  e.seed = std::to_string(seed);
  e.commandLine = commandLineText(argc, argv);
  e.optionDashes = "--";
  e.elsewhere = "give this run another directory with --out DIR";
  const bool mass = c.process == NullProcess::Mass;
  e.optionNames = {"input", "out", "null", "process", "mrmax", "show", "progress"};
  e.optionValues = {c.input,
                    out,
                    std::to_string(c.null),
                    processName(c.process),
                    mass && c.mrmax > 0.0 ? shortestText(c.mrmax) : std::string("NA"),
                    std::to_string(c.show),
                    c.progress < 0 ? std::string("NA") : std::to_string(c.progress)};
  describeContinuous(c, e.optionNames, e.optionValues);
  return e;
}

// The options given that the analysis as settled does not use, named on standard error and in
// the ledger.
std::vector<NotApplied> optionsWithoutEffect(const AnalyzeConfig& c) {
  std::vector<NotApplied> found;
  for (const std::string& option : c.given) {
    if ((option == "--process" || option == "--seed" || option == "--mrmax") && c.null == 0)
      found.push_back({option, "nothing is simulated with --null 0"});
    else if (option == "--mrmax" && c.process != NullProcess::Mass)
      found.push_back({option,
                       "only mass encounters pair a round of females and males "
                       "(--process mass)"});
  }
  return found;
}

Progress::Mode progressMode(int progress) {
  if (progress < 0) return Progress::Mode::Automatic;
  return progress != 0 ? Progress::Mode::On : Progress::Mode::Off;
}

// The options of continuous traits stop an analysis of mating tables.
void rejectContinuousOptions(const AnalyzeConfig& c) {
  std::string option;
  for (const std::string& o : c.given)
    if (o == "--population" || o == "--abc" || o == "--prior" || o == "--accept" ||
        o == "--models" || o == "--threads")
      option = o;
  if (option.empty() && !c.roadOptions.empty()) option = c.roadOptions.front();
  if (!option.empty())
    rejectInput("pairlab-analyze: " + option +
                " is an option of the analysis of continuous traits: give --continuous (see "
                "pairlab-analyze --help)\n");
}

// The output directory of the analysis, opened with the ledger row, the options without effect
// and the files; false for a run that ends there.
bool openAnalysis(const AnalyzeConfig& config, std::int64_t seed, int argc, const char* const* argv,
                  std::int64_t start, std::optional<RunOutput>& output,
                  const std::vector<NotApplied>& notApplied, const RunFiles& files,
                  long long tables, std::string& directory) {
  std::cout << "\nSeed: " << seed << std::endl;
  directory = config.out.empty() ? defaultOutputDirectory(config.input) : config.out;
  const std::size_t slash = directory.find_last_of('/');
  const bool nested = slash != std::string::npos && slash > 0;
  output.emplace(describeAnalysis(config, directory, seed, argc, argv, start), 0,
                 progressMode(config.progress), false, nested ? directory.substr(0, slash) : "");
  for (const NotApplied& o : notApplied) output->notApplied(o.option, o.reason);
  output->openDirectory(nested ? directory.substr(slash + 1) : directory);
  return output->startFiles(files, tables);
}

int analyseContinuous(const AnalyzeConfig& config, int argc, const char* const* argv,
                      std::optional<RunOutput>& output, std::int64_t start) {
  const ContinuousSetup setup = continuousSetup(config);
  const ContinuousInput input = readContinuousInput(config, setup);
  const std::int64_t seed = config.seedGiven ? config.seed : start / 1000000;
  RunFiles files;
  files.runFiles = TraitResults::files(setup.abc.has_value());
  std::string directory;
  if (!openAnalysis(config, seed, argc, argv, start, output, setup.notApplied, files, input.tables,
                    directory))
    return 0;
  analyseContinuousTables(config, setup, input, static_cast<std::uint64_t>(seed), directory,
                          *output);
  return 0;
}

int analyse(int argc, const char* const* argv, std::optional<RunOutput>& output) {
  const std::int64_t start = clockNanoseconds();
  const AnalyzeConfig config = parseAnalyzeArgs(argc, argv);
  if (config.showHelp) {
    printAnalyzeUsage(std::cout);
    return 0;
  }
  if (config.showVersion) {
    std::cout << "pairlab-analyze (Pairlab) " << PAIRLAB_VERSION << std::endl;
    return 0;
  }
  if (config.continuous) return analyseContinuous(config, argc, argv, output, start);
  rejectContinuousOptions(config);

  // The simulated values of a table's indices are kept until its p-values and bins are made.
  requireMemory(8.0 * (kIndexCount + 1) * static_cast<double>(config.null),
                "the simulated values of " + std::to_string(config.null) +
                    " replicates of every index; lower --null");
  // Every table is read and checked before anything is written.
  long long tables = 0;
  const TableLayout layout = readMatingTables(
      config.input, true, [&](const MatingTable&, const TableLayout&) { ++tables; });

  const std::int64_t seed = config.seedGiven ? config.seed : start / 1000000;
  RunFiles files;
  files.runFiles = {"tests.tsv", "cells.tsv", "models.tsv", "estimates.tsv"};
  if (config.null > 0) files.runFiles.push_back("null.tsv");
  std::string directory;
  if (!openAnalysis(config, seed, argc, argv, start, output, optionsWithoutEffect(config), files,
                    tables, directory))
    return 0;

  const NullSettings settings{config.null, config.process, config.mrmax,
                              static_cast<std::uint64_t>(seed)};
  AnalysisTables results(directory, layout, settings.replicates > 0);
  RunTally tally;
  readMatingTables(config.input, false, [&](const MatingTable& table, const TableLayout&) {
    const TableAnalysis analysis = analyseTable(table, settings);
    results.add(analysis);
    tally.add(analysis);
    if (table.number <= config.show) {
      output->clearProgress();
      std::cout << tableSummary(analysis, layout, settings) << std::flush;
    }
    output->fileDone(table.number, false);  // its rows are kept until every table is done
  });
  results.commit();
  output->clearProgress();
  std::cout << runSummary(tally, directory, config.show) << std::flush;
  return 0;
}

}  // namespace

int runAnalyze(int argc, const char* const* argv) {
  installInterruptHandlers();
  std::optional<RunOutput> output;
  return runGuarded(output, [&] { return analyse(argc, argv, output); });
}

}  // namespace pairlab
