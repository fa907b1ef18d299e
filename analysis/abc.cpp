#include "analysis/abc.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "analysis/local_linear.hpp"
#include "analysis/null_tests.hpp"
#include "analysis/parallel.hpp"
#include "continuous/preferences.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

constexpr int kAbcStream = 2;  // the streams of a table: 0 the null test, 2 the simulations
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int K = kTraitStatisticCount;

}  // namespace

const std::vector<AbcParameter>& abcParameters() {
  static const std::vector<AbcParameter> parameters = {
      {"choice", "-choice", 0, [](RunConfig& c) -> double& { return c.choice; }},
      {"tolerance", "-tolerance", 0, [](RunConfig& c) -> double& { return c.tolerance; }},
      {"bias", "-bias", 0, [](RunConfig& c) -> double& { return c.bias; }},
      {"dmax", "-dmax", 0, [](RunConfig& c) -> double& { return c.dmax; }},
      {"impatience", "-impatient", 0, [](RunConfig& c) -> double& { return c.impatient; }},
      {"logistic_a", "-logistic_params", 0,
       [](RunConfig& c) -> double& { return c.logistic_params[0]; }},
      {"logistic_b", "-logistic_params", 1,
       [](RunConfig& c) -> double& { return c.logistic_params[1]; }},
      {"age_a", "-age_params", 0, [](RunConfig& c) -> double& { return c.age_params[0]; }},
      {"age_b", "-age_params", 1, [](RunConfig& c) -> double& { return c.age_params[1]; }},
      {"age_g", "-age_params", 2, [](RunConfig& c) -> double& { return c.age_params[2]; }}};
  return parameters;
}

const AbcParameter* findAbcParameter(std::string_view name) {
  for (const AbcParameter& p : abcParameters())
    if (name == p.name) return &p;
  return nullptr;
}

bool simulateStatistics(const RunConfig& config, const ModelNumber& model,
                        const SampleTarget& target, SampleWorkspace& workspace, Random& rng,
                        TraitStatistics& statistics) {
  const FileResult result = simulateSample(config, model, *target.population, workspace, rng);
  if (result.k < target.pairs) return false;
  statistics = traitStatistics(workspace.x, workspace.y, target.pairs, momentsOf(workspace.traits));
  return true;
}

std::uint64_t simulationSeed(std::uint64_t seed, long long table, long long simulation) {
  return streamSeed(streamSeed(seed, table, kAbcStream), simulation, 0);
}

double abcBytes(long long simulations, double accept) {
  const double s = static_cast<double>(simulations);
  // Statistics, distance and rank of every simulation, the copy of one statistic that its median
  // needs, and the accepted draws with their statistics and parameters.
  return (8.0 * K + 8.0 + 8.0 + 8.0) * s + std::ceil(accept * s) * (8.0 * K + 400.0);
}

namespace {

// Draws the model's parameters from their priors into config; values receives them.
void drawParameters(const AbcSettings& settings, const AbcModel& model, RunConfig& config,
                    Random& rng, std::vector<double>& values) {
  values.clear();
  for (int j : model.priors) {
    const Prior& prior = settings.priors[static_cast<std::size_t>(j)];
    const double v = prior.lower + (prior.upper - prior.lower) * rng.u();
    prior.parameter->field(config) = v;
    values.push_back(v);
  }
}

// The statistics of every simulation, row by row (NaN for a sample that ended early).
std::vector<double> simulateAll(const AbcSettings& settings, const SampleTarget& target,
                                long long table,
                                const std::function<void(long long done)>& progress) {
  const long long S = settings.simulations;
  const std::size_t models = settings.models.size();
  std::vector<double> statistics(static_cast<std::size_t>(S) * K, kNaN);
  const int threads = static_cast<int>(std::min<long long>(settings.threads, std::max(S, 1LL)));
  std::vector<SampleWorkspace> workspaces(static_cast<std::size_t>(threads));
  std::vector<std::vector<double>> values(static_cast<std::size_t>(threads));
  std::vector<std::vector<RunConfig>> configs(static_cast<std::size_t>(threads));
  for (std::vector<RunConfig>& c : configs)
    for (const AbcModel& m : settings.models) {
      c.push_back(m.config);
      c.back().matings = target.pairs;
    }
  forEachUnit(
      S, threads,
      [&](long long i, int thread) {
        const std::size_t m = static_cast<std::size_t>(i) % models;
        RunConfig& config = configs[static_cast<std::size_t>(thread)][m];
        Random rng(simulationSeed(settings.seed, table, i));
        drawParameters(settings, settings.models[m], config, rng,
                       values[static_cast<std::size_t>(thread)]);
        TraitStatistics s{};
        if (simulateStatistics(config, settings.models[m].model, target,
                               workspaces[static_cast<std::size_t>(thread)], rng, s))
          std::copy(s.begin(), s.end(), statistics.begin() + i * K);
      },
      progress);
  return statistics;
}

double median(std::vector<double>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  const double upper = *middle;
  if (values.size() % 2 == 1) return upper;
  return 0.5 * (upper + *std::max_element(values.begin(), middle));
}

// The median absolute deviation of each statistic over the complete simulations, and which
// statistics the distance uses: those that vary, and those of selection only when the
// population is given apart from the pairs.
void scaleStatistics(const std::vector<double>& statistics, bool selection, AbcResult& result) {
  const std::size_t S = statistics.size() / K;
  result.complete = 0;
  for (std::size_t i = 0; i < S; ++i) result.complete += std::isnan(statistics[i * K]) ? 0 : 1;
  std::vector<double> column;
  column.reserve(static_cast<std::size_t>(result.complete));
  for (int s = 0; s < K; ++s) {
    column.clear();
    for (std::size_t i = 0; i < S; ++i)
      if (!std::isnan(statistics[i * K])) column.push_back(statistics[i * K + s]);
    double scale = kNaN;
    if (!column.empty()) {
      const double centre = median(column);
      for (double& v : column) v = std::fabs(v - centre);
      scale = median(column);
    }
    result.scale[s] = scale;
    result.used[s] = (selection || !isSelectionStatistic(s)) && scale > 0.0 &&
                     std::isfinite(scale) && std::isfinite(result.observed[s]);
    if ((selection || !isSelectionStatistic(s)) && !result.used[s] && !column.empty())
      result.notes.push_back(std::string("the statistic ") + kTraitStatisticNames[s] +
                             " does not vary among the simulations: left out of the distance");
  }
}

double distanceOf(const double* row, const AbcResult& result) {
  double sum = 0.0;
  for (int s = 0; s < K; ++s)
    if (result.used[s]) {
      const double z = (row[s] - result.observed[s]) / result.scale[s];
      sum += z * z;
    }
  return std::sqrt(sum);
}

// The simulations nearest to the observed statistics (ties by number), nearest first.
std::vector<long long> nearest(const std::vector<double>& statistics, AbcResult& result,
                               std::vector<double>& distances) {
  const long long S = static_cast<long long>(statistics.size() / K);
  distances.assign(static_cast<std::size_t>(S), std::numeric_limits<double>::infinity());
  std::vector<long long> order;
  order.reserve(static_cast<std::size_t>(result.complete));
  for (long long i = 0; i < S; ++i) {
    const double* row = &statistics[static_cast<std::size_t>(i) * K];
    if (std::isnan(row[0])) continue;
    distances[static_cast<std::size_t>(i)] = distanceOf(row, result);
    order.push_back(i);
  }
  const auto closer = [&](long long a, long long b) {
    const double da = distances[static_cast<std::size_t>(a)];
    const double db = distances[static_cast<std::size_t>(b)];
    return da < db || (da == db && a < b);
  };
  const long long k = std::min<long long>(result.acceptedWanted, result.complete);
  std::nth_element(order.begin(), order.begin() + (k - 1), order.end(), closer);
  order.resize(static_cast<std::size_t>(k));
  std::sort(order.begin(), order.end(), closer);
  return order;
}

}  // namespace

namespace {

// The accepted simulations: their parameters drawn again from their streams, their distances,
// weights and statistics.
void acceptDraws(const AbcSettings& settings, long long table, const std::vector<long long>& order,
                 const std::vector<double>& distances, const std::vector<double>& statistics,
                 AbcResult& result) {
  const std::size_t models = settings.models.size();
  const double largest = distances[static_cast<std::size_t>(order.back())];
  std::vector<RunConfig> scratch;
  for (const AbcModel& m : settings.models) scratch.push_back(m.config);
  bool weighted = false;
  for (long long i : order) {
    AbcDraw d;
    d.simulation = i;
    d.model = static_cast<int>(static_cast<std::size_t>(i) % models);
    d.distance = distances[static_cast<std::size_t>(i)];
    d.weight = largest > 0.0 ? 1.0 - (d.distance / largest) * (d.distance / largest) : 1.0;
    weighted = weighted || d.weight > 0.0;
    Random rng(simulationSeed(settings.seed, table, i));
    drawParameters(settings, settings.models[static_cast<std::size_t>(d.model)],
                   scratch[static_cast<std::size_t>(d.model)], rng, d.values);
    d.adjusted = d.values;
    std::copy_n(statistics.begin() + i * K, K, d.statistics.begin());
    result.accepted.push_back(std::move(d));
  }
  if (!weighted)  // all at the largest distance: equal weights
    for (AbcDraw& d : result.accepted) d.weight = 1.0;
}

// A value of a prior's range on the whole line, and back: the adjusted values stay in the range.
double toLine(double v, const Prior& p) {
  const double margin = 1e-12 * (p.upper - p.lower);
  v = std::clamp(v, p.lower + margin, p.upper - margin);
  return std::log((v - p.lower) / (p.upper - v));
}
double fromLine(double t, const Prior& p) {
  return p.lower + (p.upper - p.lower) / (1.0 + std::exp(-t));
}

// The local-linear regression adjustment of one model's accepted parameters: a weighted least
// squares fit of each parameter (on the whole line) on the scaled statistics, and the parameter
// moved along it to the observed statistics. False when the fit is not determined.
bool adjustModel(const AbcSettings& settings, int model, AbcResult& result) {
  const std::vector<int>& priors = settings.models[static_cast<std::size_t>(model)].priors;
  std::vector<AbcDraw*> draws;
  for (AbcDraw& d : result.accepted)
    if (d.model == model) draws.push_back(&d);
  std::vector<std::vector<double>> x, y(priors.size()), beta;
  std::vector<double> w;
  for (const AbcDraw* d : draws) {
    std::vector<double> row;
    for (int s = 0; s < K; ++s)
      if (result.used[s]) row.push_back((d->statistics[s] - result.observed[s]) / result.scale[s]);
    x.push_back(std::move(row));
    w.push_back(d->weight);
    for (std::size_t j = 0; j < priors.size(); ++j)
      y[j].push_back(toLine(d->values[j], settings.priors[static_cast<std::size_t>(priors[j])]));
  }
  if (!weightedLeastSquares(x, w, y, beta)) return false;
  for (std::size_t i = 0; i < draws.size(); ++i)
    for (std::size_t j = 0; j < priors.size(); ++j) {
      double t = y[j][i];
      for (std::size_t q = 0; q < x[i].size(); ++q) t -= beta[j][q + 1] * x[i][q];
      draws[i]->adjusted[j] = fromLine(t, settings.priors[static_cast<std::size_t>(priors[j])]);
    }
  return true;
}

ParameterSummary summaryOf(const std::vector<double>& values, const std::vector<double>& w) {
  return {weightedMean(values, w), weightedQuantile(values, w, 0.5),
          weightedQuantile(values, w, 0.025), weightedQuantile(values, w, 0.975)};
}

// Whether the model is a Gaussian preference whose coefficient its priors draw.
bool drawsCoefficient(const AbcSettings& settings, const AbcModel& model) {
  if (!isGaussianFamily(model.model.model, model.config.gaussian)) return false;
  for (int j : model.priors) {
    const std::string option = settings.priors[static_cast<std::size_t>(j)].parameter->option;
    if (option == "-choice" || option == "-tolerance" || option == "-dmax") return true;
  }
  return false;
}

// The coefficient k of the preference exp(-k d^2) at the model's parameters.
double coefficientAt(const AbcSettings& settings, const AbcModel& model,
                     const std::vector<double>& values) {
  RunConfig config = model.config;
  for (std::size_t j = 0; j < model.priors.size(); ++j)
    settings.priors[static_cast<std::size_t>(model.priors[j])].parameter->field(config) = values[j];
  return -gaussianCoefficient(model.model.model, config.choice, config.tolerance, config.dmax);
}

void summariseCoefficient(const AbcSettings& settings, int m, const AbcResult& result,
                          ModelPosterior& post) {
  const AbcModel& model = settings.models[static_cast<std::size_t>(m)];
  post.coefficient = drawsCoefficient(settings, model);
  if (!post.coefficient) return;
  std::vector<double> drawn, adjusted, ones, weights;
  for (const AbcDraw& d : result.accepted) {
    if (d.model != m) continue;
    drawn.push_back(coefficientAt(settings, model, d.values));
    adjusted.push_back(coefficientAt(settings, model, d.adjusted));
    ones.push_back(1.0);
    weights.push_back(d.weight);
  }
  post.coefficientRejection = summaryOf(drawn, ones);
  post.coefficientRegression =
      post.adjusted ? summaryOf(adjusted, weights) : ParameterSummary{kNaN, kNaN, kNaN, kNaN};
}

// The posterior of each model: its probability, and the summaries of its parameters before and
// after the adjustment.
void summarise(const AbcSettings& settings, AbcResult& result) {
  const long long total = static_cast<long long>(result.accepted.size());
  for (int m = 0; m < static_cast<int>(settings.models.size()); ++m) {
    const AbcModel& model = settings.models[static_cast<std::size_t>(m)];
    ModelPosterior& post = result.models[static_cast<std::size_t>(m)];
    for (const AbcDraw& d : result.accepted) post.accepted += d.model == m ? 1 : 0;
    post.probability = total > 0 ? static_cast<double>(post.accepted) / total : kNaN;
    if (model.priors.empty()) continue;
    if (post.accepted > 0) {
      post.adjusted = adjustModel(settings, m, result);
      if (!post.adjusted)
        result.notes.push_back("model " + model.name + ": " + NtoS(post.accepted) +
                               " accepted draws do not determine the regression adjustment "
                               "(too few, or statistics that move together among them)");
    }
    for (std::size_t j = 0; j < model.priors.size(); ++j) {
      std::vector<double> values, adjusted, ones, weights;
      for (const AbcDraw& d : result.accepted) {
        if (d.model != m) continue;
        values.push_back(d.values[j]);
        adjusted.push_back(d.adjusted[j]);
        ones.push_back(1.0);
        weights.push_back(d.weight);
      }
      post.rejection.push_back(summaryOf(values, ones));
      post.regression.push_back(post.adjusted ? summaryOf(adjusted, weights)
                                              : ParameterSummary{kNaN, kNaN, kNaN, kNaN});
    }
    summariseCoefficient(settings, m, result, post);
  }
}

}  // namespace

AbcResult runAbc(const AbcSettings& settings, const SampleTarget& target,
                 const TraitStatistics& observed, bool selection, long long table,
                 const std::function<void(long long done)>& progress) {
  AbcResult result;
  const long long S = settings.simulations;
  const long long models = static_cast<long long>(settings.models.size());
  result.simulations = S;
  result.observed = observed;
  result.acceptedWanted =
      std::max(1LL, static_cast<long long>(std::llround(settings.accept * static_cast<double>(S))));
  result.models.resize(settings.models.size());
  for (long long m = 0; m < models; ++m)
    result.models[static_cast<std::size_t>(m)].simulations = S / models + (m < S % models ? 1 : 0);
  const std::vector<double> statistics = simulateAll(settings, target, table, progress);
  scaleStatistics(statistics, selection, result);
  if (result.complete < S)
    result.notes.push_back(NtoS(S - result.complete) + " of the " + NtoS(S) +
                           " simulations ended before their sample of " + NtoS(target.pairs) +
                           " pairs was complete: they are never accepted");
  if (result.complete == 0) {
    summarise(settings, result);
    return result;
  }
  if (result.complete < result.acceptedWanted)
    result.notes.push_back("fewer complete simulations than --accept asks to accept (" +
                           NtoS(result.acceptedWanted) + "): all " + NtoS(result.complete) +
                           " accepted");
  std::vector<double> distances;
  const std::vector<long long> order = nearest(statistics, result, distances);
  acceptDraws(settings, table, order, distances, statistics, result);
  summarise(settings, result);
  return result;
}

}  // namespace pairlab
