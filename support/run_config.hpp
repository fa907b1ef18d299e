// The run parameters: one field per command-line option, named after the option.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pairlab {

inline constexpr int DefaultPopSize = 500;

struct RunConfig {
  bool continuous = false;  // continuous-trait road instead of the discrete-type road
  bool scaling = true;      // rescale continuous phenotypes (forced off on the discrete road)
  int format = 0;           // format number of the discrete data files, 0..16
  std::array<double, 3> bimodal{0.5, 0.0, 1.0};     // mixture proportion, mean, sd
  std::array<double, 3> age_params{0.0, 2.0, 0.0};  // aging scale, shape, log-age threshold
  bool writefiles = false;                          // per-file continuous data files
  bool writedistrib = false;                        // phenotype distribution file
  double impatient = 0.0;                           // impatience factor
  bool gaussian = true;                             // Gaussian preference family
  bool onechoosy = false;                           // only one sex chooses
  std::array<double, 2> logistic_params{0.0, 1.0};
  int model = 0;            // signed model number; its sign and digits select the encounters
  int matings = 100;        // sample size per file
  bool onematround = true;  // discrete road: data files (1) or sampling-round experiments (0)
  double MRmax = -1.0;      // encounters per mass-encounter round; negative means not given
  int numfiles = 1;
  int shift = 0;           // offset added to every file number
  int N = DefaultPopSize;  // females plus males
  bool drift = false;
  int femtypes = 2;
  int maletypes = 2;
  double osr = 1.0;            // males per female
  bool uniform = true;         // uniform type frequencies
  bool userfreqs = false;      // user frequency file (discrete) / user phenotype file (continuous)
  double incrfactor = 1.25;    // sexual-selection factor a
  double choicefactor = 1.25;  // choice (assortative) factor b
  double mintrait = 0.0;
  double dmax = 1.0;
  double choice = 0.0;
  double tolerance = 0.08;
  double bias = 0.0;
  double SL = 0.05;          // significance level
  double MPF = 0.1;          // minimum type frequency
  std::int64_t fixseed = 0;  // 0: seed from the clock
  bool eJRpsi = false;
  bool onlyresume = false;
  bool verbose = false;
  int tidy = 0;            // tidy tables: 0 none, 1 the tables, 2 also the continuous pairs
  int progress = -1;       // progress line on standard error: -1 when it is a terminal, 0 off, 1 on
  bool checkonly = false;  // check the run's set-up, print its output directory, write nothing
  std::int64_t popseed = 0;  // seed of the population draw; 0: the run's own engine draws it
  std::string outdir;        // folder of the output directory ("": the working directory)

  // The options given on the command line (main names, with their dash), in their order.
  std::vector<std::string> given;

  // Focal female and male types of the discrete models; -1 means "resolved by the model": no
  // option sets them, and the roads resolve them into their own state.
  int focalfem = -1;
  int focalmale = -1;

  // -writefiles was given on the command line (with -tidy it then also applies to the
  // per-replicate files of the discrete roads).
  bool writefilesGiven = false;

  // Requests that end the run before it starts (not run parameters).
  bool showHelp = false;
  bool showVersion = false;
};

// Whether the option (its main name, with the dash) was given on the command line.
inline bool wasGiven(const RunConfig& config, std::string_view option) {
  for (const std::string& name : config.given)
    if (name == option) return true;
  return false;
}

}  // namespace pairlab
