#include "app/analyze_continuous.hpp"

#include <algorithm>
#include <iostream>

#include "analysis/parallel.hpp"
#include "analysis/trait_report.hpp"
#include "analysis/trait_results.hpp"
#include "app/option_effects.hpp"
#include "app/parse_args.hpp"
#include "continuous/preferences.hpp"
#include "support/format.hpp"
#include "support/memory.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

[[noreturn]] void reject(const std::string& message) {
  rejectInput("pairlab-analyze: " + message + " (see pairlab-analyze --help)\n");
}

bool given(const AnalyzeConfig& c, const char* option) {
  return std::find(c.given.begin(), c.given.end(), option) != c.given.end();
}

// The options of the continuous road that an analysis takes: the model and its encounters, the
// preferences and aging. The data give the population and the sample.
constexpr const char* kRoadOptions[] = {
    "-model",    "-choice",          "-tolerance", "-dmax",
    "-bias",     "-onechoosy",       "-mintrait",  "-scaling",
    "-gaussian", "-logistic_params", "-impatient", "-age_params"};

RunConfig roadConfig(const AnalyzeConfig& config) {
  RunConfig road;
  std::vector<const char*> argv{"pairlab"};
  for (const std::string& word : config.roadOptions) argv.push_back(word.c_str());
  ParseArgs(static_cast<int>(argv.size()), argv.data(), road);
  for (const std::string& option : road.given)
    if (std::find(std::begin(kRoadOptions), std::end(kRoadOptions), option) ==
        std::end(kRoadOptions)) {
      std::string taken;
      for (const char* o : kRoadOptions) taken += (taken.empty() ? "" : " ") + std::string(o);
      reject(option +
             " is not an option of the analysis: the data give the population and the "
             "sample (the options of the continuous road it takes: " +
             taken + ")");
    }
  road.continuous = true;
  return road;
}

EncounterProcess encounterProcess(NullProcess p) {
  return p == NullProcess::Replacement ? EncounterProcess::WithReplacement
         : p == NullProcess::Mass      ? EncounterProcess::Mass
                                       : EncounterProcess::Individual;
}
NullProcess nullProcess(EncounterProcess p) {
  return p == EncounterProcess::WithReplacement ? NullProcess::Replacement
         : p == EncounterProcess::Mass          ? NullProcess::Mass
                                                : NullProcess::Individual;
}

// The process of the simulations: that of -model when given, otherwise --process.
EncounterProcess settleProcess(const AnalyzeConfig& c, const RunConfig& road) {
  if (!wasGiven(road, "-model")) return encounterProcess(c.process);
  if (!c.models.empty())
    reject(
        "give the model with -model or the models with --models, not both (the process of "
        "--models: --process)");
  const ModelNumber m = decodeModelNumber(road.model, ModelNumbering::Continuous);
  if (given(c, "--process") && encounterProcess(c.process) != m.process)
    reject("-model " + NtoS(road.model) + " names " + processName(nullProcess(m.process)) +
           " encounters, --process " + processName(c.process) + ": give one of them");
  return m.process;
}

std::string lowerCase(std::string text) {
  for (char& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return text;
}

// A model of --models under the process.
AbcModel namedModel(const std::string& name, const RunConfig& road, EncounterProcess process) {
  AbcModel m;
  m.config = road;
  m.model.process = process;
  const std::string key = lowerCase(name);
  if (key == "fnd" || key == "random") {
    m.name = key == "fnd" ? "FND" : "random";
    m.model.model = 1;
    if (key == "random") m.config.choice = 0.0;
  } else if (key == "bd03") {
    m.name = "BD03";
    m.model.model = 2;
  } else if (key == "logistic") {
    m.name = "logistic";
    m.model.model = 3;
  } else {
    reject("--models: no model \"" + name + "\" (the models: FND, BD03, logistic, random)");
  }
  choosePreferenceFamily(m.model.model, m.config);
  return m;
}

// The model of -model.
AbcModel optionModel(const RunConfig& road) {
  AbcModel m;
  m.config = road;
  m.model = decodeModelNumber(road.model, ModelNumbering::Continuous);
  if (isGaussianFamily(m.model.model, road.gaussian) && m.model.model != 1 && m.model.model != 2)
    reject("-model " + NtoS(road.model) + " names model " + NtoS(m.model.model) +
           ": the continuous road knows 1 (FND), 2 (BD03) and 3 (logistic; also any other with "
           "-gaussian 0)");
  const PreferenceChoice choice = choosePreferenceFamily(m.model.model, road);
  m.name = choice.family == PreferenceFamily::Logistic ? "logistic"
           : choice.model == 1                         ? "FND"
                                                       : "BD03";
  return m;
}

std::vector<AbcModel> abcModels(const AnalyzeConfig& c, const RunConfig& road,
                                EncounterProcess process) {
  std::vector<AbcModel> models;
  if (c.models.empty()) {
    if (!wasGiven(road, "-model"))
      reject(
          "--abc needs the model to fit: -model M as pairlab takes it (-model -1: FND under "
          "individual encounters) or --models FND,random,...");
    models.push_back(optionModel(road));
    return models;
  }
  for (const std::string& name : c.models) {
    models.push_back(namedModel(name, road, process));
    for (std::size_t k = 0; k + 1 < models.size(); ++k)
      if (models[k].name == models.back().name) reject("--models names " + name + " twice");
  }
  return models;
}

const AbcParameter& parameterOf(const char* option, int value) {
  for (const AbcParameter& p : abcParameters())
    if (std::string(p.option) == option && p.value == value) return p;
  PAIRLAB_CHECK(false, std::string(option) + " value " + NtoS(value));
}

// One end of a prior, checked as the option checks its value (the other values of the option as
// the command line gives them).
double priorEnd(const AbcParameter& p, const std::string& text, const RunConfig& road,
                const std::string& prior, const char* end) {
  RunConfig values = road;
  std::vector<std::string> words = {"pairlab", p.option};
  for (int v = 0; v < optionValueCount(p.option); ++v)
    words.push_back(v == p.value ? text : shortestText(parameterOf(p.option, v).field(values)));
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  RunConfig scratch;
  try {
    ParseArgs(static_cast<int>(argv.size()), argv.data(), scratch);
  } catch (const Stop& stop) {
    reject("--prior " + prior + ": the " + end + " end " + text + " is not a value of " + p.option +
           " (" + std::string(stripSpace(stop.message)) + ")");
  }
  return p.field(scratch);
}

Prior parsePrior(const std::string& text, const RunConfig& road) {
  const std::size_t equals = text.find('=');
  const std::size_t colon = text.find(':', equals == std::string::npos ? 0 : equals);
  if (equals == std::string::npos || colon == std::string::npos)
    reject("--prior takes NAME=LOW:HIGH (for example choice=0:1), not \"" + text + "\"");
  const std::string name = text.substr(0, equals);
  const AbcParameter* p = findAbcParameter(name);
  if (p == nullptr) {
    std::string names;
    for (const AbcParameter& q : abcParameters())
      names += (names.empty() ? "" : ", ") + std::string(q.name);
    reject("--prior " + text + ": no parameter " + name + " (the parameters: " + names + ")");
  }
  if (optionValueCount(p->option) == 1 && wasGiven(road, p->option))
    reject("--prior " + text + ": " + p->option +
           " is given a value too: give the value or the "
           "prior");
  const std::string low = text.substr(equals + 1, colon - equals - 1),
                    high = text.substr(colon + 1);
  Prior prior{p, priorEnd(*p, low, road, text, "lower"), priorEnd(*p, high, road, text, "upper")};
  if (!(prior.lower < prior.upper))
    reject("--prior " + text + ": the range is empty (" + low + " is not below " + high + ")");
  return prior;
}

// Why the model does not use the parameter ("" when it does): the program's own rule of the
// options without effect, random mating, and a Gaussian preference of choice 0.
std::string unusedBecause(const AbcModel& model, const AbcParameter& p, bool choicePrior) {
  if (std::string(p.option) == "-age_params") return "";  // aging acts on every model
  if (model.name == "random") return "random mating has no preference: every encounter mates";
  RunConfig config = model.config;
  config.given = {p.option};
  SettledRun run;
  run.model = model.model;
  const std::vector<NotApplied> unused = optionsWithoutEffect(config, run);
  if (!unused.empty()) return unused.front().reason;
  if (isGaussianFamily(model.model.model, config.gaussian) && config.choice == 0.0 &&
      !choicePrior && std::string(p.option) != "-choice")
    return "-choice is 0, random mating (give -choice or a prior on choice)";
  return "";
}

// The priors of each model: a prior that the only model does not use, or that none of the
// models uses, is bad input.
void attachPriors(const std::vector<std::string>& texts, const std::vector<Prior>& priors,
                  std::vector<AbcModel>& models) {
  bool choicePrior = false;
  for (const Prior& p : priors)
    choicePrior = choicePrior || std::string(p.parameter->name) == "choice";
  for (std::size_t j = 0; j < priors.size(); ++j) {
    std::string reason;
    bool used = false;
    for (AbcModel& m : models) {
      const std::string why = unusedBecause(m, *priors[j].parameter, choicePrior);
      if (why.empty()) {
        m.priors.push_back(static_cast<int>(j));
        used = true;
      } else if (reason.empty()) {
        reason = m.name + " does not use it: " + why;
      }
    }
    if (!used)
      reject("--prior " + texts[j] + ": " +
             (models.size() == 1 ? reason : "no model uses it (" + reason + ")"));
  }
}

AbcSettings abcSettings(const AnalyzeConfig& c, const RunConfig& road, EncounterProcess process) {
  AbcSettings abc;
  abc.simulations = c.abc;
  abc.accept = c.accept;
  abc.threads = threadCount(c.threads);
  abc.models = abcModels(c, road, process);
  for (const std::string& text : c.priors) {
    abc.priors.push_back(parsePrior(text, road));
    for (std::size_t k = 0; k + 1 < abc.priors.size(); ++k)
      if (abc.priors[k].parameter == abc.priors.back().parameter)
        reject("--prior " + text + ": the parameter has a prior already");
  }
  attachPriors(c.priors, abc.priors, abc.models);
  if (abc.models.size() == 1 && abc.priors.empty())
    reject(
        "--abc needs a prior (--prior NAME=LOW:HIGH) for the model to infer, or several "
        "models to compare (--models)");
  return abc;
}

// The options of the road given that no simulation uses.
void unusedRoadOptions(ContinuousSetup& setup) {
  for (const std::string& option : setup.road.given) {
    if (option == "-model") continue;
    if (!setup.abc) {
      if (option != "-age_params")
        setup.notApplied.push_back(
            {option, "only the inference by simulation (--abc S) simulates the preferences"});
      continue;
    }
    std::string reason;
    for (const AbcModel& m : setup.abc->models) {
      RunConfig config = m.config;
      config.given = {option};
      SettledRun run;
      run.model = m.model;
      const std::vector<NotApplied> unused = optionsWithoutEffect(config, run);
      if (unused.empty()) {
        reason.clear();
        break;
      }
      if (reason.empty()) reason = unused.front().reason;
    }
    if (!reason.empty()) setup.notApplied.push_back({option, reason});
  }
}

}  // namespace

const char* processWords(EncounterProcess process) {
  switch (process) {
    case EncounterProcess::WithReplacement:
      return "replacement";
    case EncounterProcess::Mass:
      return "mass";
    case EncounterProcess::Individual:
      break;
  }
  return "individual";
}

ContinuousSetup continuousSetup(const AnalyzeConfig& config) {
  ContinuousSetup setup;
  setup.road = roadConfig(config);
  setup.process = settleProcess(config, setup.road);
  setup.nullConfig = setup.road;
  setup.nullConfig.choice = 0.0;  // random mating
  setup.nullConfig.gaussian = true;
  if (config.abc > 0) setup.abc = abcSettings(config, setup.road, setup.process);
  const auto notApplied = [&](const char* option, const std::string& why) {
    if (given(config, option)) setup.notApplied.push_back({option, why});
  };
  notApplied("--mrmax", "mass encounters of continuous traits pair the smaller sex a round");
  unusedRoadOptions(setup);
  if (wasGiven(setup.road, "-model")) notApplied("--process", "-model names the process");
  for (const char* option : {"--prior", "--accept", "--models", "--threads"})
    if (config.abc == 0) notApplied(option, "only the inference by simulation (--abc S) uses it");
  if (config.abc == 0 && config.null == 0) notApplied("--seed", "nothing is simulated");
  return setup;
}

void describeContinuous(const AnalyzeConfig& config, std::vector<std::string>& names,
                        std::vector<std::string>& values) {
  const auto joined = [](const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
    return text.empty() ? std::string("NA") : text;
  };
  const bool abc = config.continuous && config.abc > 0;
  names.insert(names.end(), {"continuous", "population", "abc", "accept", "priors", "models",
                             "threads", "road_options"});
  values.push_back(config.continuous ? "1" : "0");
  values.push_back(config.population.empty() ? "NA" : config.population);
  values.push_back(std::to_string(config.abc));
  values.push_back(abc ? shortestText(config.accept) : "NA");
  values.push_back(abc ? joined(config.priors, " ") : "NA");
  values.push_back(abc ? joined(config.models, ",") : "NA");
  values.push_back(abc ? std::to_string(threadCount(config.threads)) : "NA");
  values.push_back(joined(config.roadOptions, " "));
}

ContinuousInput readContinuousInput(const AnalyzeConfig& config, const ContinuousSetup& setup) {
  ContinuousInput in;
  if (!config.population.empty()) in.population = readPopulation(config.population);
  std::size_t largestTable = 0;
  in.layout = readTraitTables(config.input, true, [&](const TraitTable& t, const FileLayout& l) {
    ++in.tables;
    largestTable = std::max(largestTable, t.female.size());
    if (in.population)
      checkPopulationSize(t, l, *in.population, config.population, setup.process);
    else
      checkPairsVary(t, l);
  });
  // The simulations of one table at a time, and a sample's work space per thread.
  const int n = static_cast<int>(largestTable);
  const int nfem = in.population ? static_cast<int>(in.population->female.size()) : n;
  const int nmale = in.population ? static_cast<int>(in.population->male.size()) : n;
  const double threads = setup.abc ? setup.abc->threads : 1.0;
  const double bytes = (setup.abc ? abcBytes(setup.abc->simulations, setup.abc->accept) : 0.0) +
                       threads * sampleBytes(nfem, nmale, n) +
                       24.0 * static_cast<double>(config.null);
  requireMemory(bytes, "the simulations of a table; lower --abc or --null");
  return in;
}

void analyseContinuousTables(const AnalyzeConfig& config, const ContinuousSetup& setup,
                             const ContinuousInput& input, std::uint64_t seed,
                             const std::string& directory, RunOutput& output) {
  std::optional<AbcSettings> abc = setup.abc;
  if (abc) abc->seed = seed;
  const AbcSettings* abcPointer = abc ? &*abc : nullptr;
  TraitAnalysisSettings settings;
  settings.nullReplicates = config.null;
  settings.nullConfig = setup.nullConfig;
  settings.nullModel = {1, setup.process};
  settings.seed = seed;
  settings.abc = abcPointer;
  TraitResults results(directory, input.layout, abcPointer);
  TraitTally tally;
  const Traits* population = input.population ? &*input.population : nullptr;
  readTraitTables(config.input, false, [&](const TraitTable& table, const FileLayout& layout) {
    const std::string what = "table " + NtoS(table.number) + ": ";
    const TraitAnalysis analysis =
        analyseTraitTable(table, population, settings, [&](long long done) {
          output.phase(what + NtoS(done) + " of " + NtoS(config.abc) + " simulations");
        });
    results.add(analysis);
    tally.add(analysis, abcPointer);
    if (table.number <= config.show) {
      output.clearProgress();
      std::cout << traitTableSummary(analysis, layout, processWords(setup.process), abcPointer)
                << std::flush;
    }
    output.fileDone(table.number, false);  // its rows are kept until every table is done
  });
  results.commit();
  output.clearProgress();
  std::cout << traitRunSummary(tally, directory, config.show) << std::flush;
}

}  // namespace pairlab
