// One sample of mated pairs of the continuous road from given traits: the preferences set up
// from the options (the Gaussian family rescales the traits first), the engine's settings, and
// the engine run once, in process and without files. The road sets up its files this way; an
// inference by simulation runs one sample for every draw of the parameters.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "continuous/engine.hpp"
#include "continuous/pair_order.hpp"
#include "continuous/phenotypes.hpp"
#include "continuous/preferences.hpp"
#include "support/random.hpp"
#include "support/run_config.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

// The preferences of a run: the family and branch, the (rescaled) bias, the argument vector
// and, for the assortative branches, the order of the pair preferences.
struct Preferences {
  PreferenceChoice choice;
  Branch branch = Branch::RandomMating;
  double bias = 0.0;
  std::vector<double> args;
  std::unique_ptr<PairOrder> order;
};

// The preferences of config under the decoded model (a model the families do not know stops the
// run). The Gaussian family rescales the traits (with the bias) before the preferences are
// ordered; the traits must outlive the order.
Preferences setUpPreferences(const RunConfig& config, int model, Traits& traits,
                             const PairOrderOptions& options = {});

// The engine's settings for samples of config.matings pairs; mass-encounter rounds take
// roundSize encounters (the smaller sex).
EngineSettings engineSettings(const RunConfig& config, EncounterProcess process, bool aging,
                              int roundSize, Branch branch);

// The most pairs a sample can hold: under encounters every individual mates once (the smaller
// sex), with replacement any pair may mate again (every pair of a female and a male).
std::int64_t sampleCapacity(EncounterProcess process, int nfem, int nmale);

// What one sample works in, kept from sample to sample.
struct SampleWorkspace {
  Traits traits;  // the population's traits as the sample used them (rescaled or not)
  FileWorkspace file;
  Preferences preferences;
  std::vector<double> x, y;  // the traits of the female and the male of each pair
};

// Simulates one sample of config.matings pairs from the population's traits under the settings
// of config, the model and the encounter process decoded, with aging as -age_params says: what a
// file of the road does, without its files. The pairs are in workspace.x and workspace.y (as the
// preferences saw the traits: rescaled by the Gaussian family; kNoTrait beyond the pairs made).
// The order of the preferences keeps no table and checks no memory: the caller checks
// sampleBytes once.
FileResult simulateSample(const RunConfig& config, const ModelNumber& model,
                          const Traits& population, SampleWorkspace& workspace, Random& rng);

// Bytes of a sample's work space at most.
double sampleBytes(int nfem, int nmale, int matings);

}  // namespace pairlab
