// The command line of pairlab-analyze: GNU-style long options ("--null 999" or "--null=999") and
// the input file.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/null_tests.hpp"

namespace pairlab {

struct AnalyzeConfig {
  std::string input;
  std::string out;  // "" for the default, beside the input
  long long null = 9999;
  NullProcess process = NullProcess::Individual;
  double mrmax = 0.0;  // 0: the smaller sex
  bool seedGiven = false;
  std::int64_t seed = 0;
  long long show = 10;
  int progress = -1;  // -1: when standard error is a terminal
  bool showHelp = false, showVersion = false;
  std::vector<std::string> given;  // the options given, with their dashes, in order

  // Continuous traits (--continuous): pairs of traits, their population, the inference.
  bool continuous = false;
  std::string population;                // "" for none: the mated individuals stand for it
  long long abc = 0;                     // simulations of the inference; 0 for none
  std::vector<std::string> priors;       // NAME=LOW:HIGH as given
  double accept = 0.01;                  // the share of the simulations accepted
  std::vector<std::string> models;       // --models, in order; empty for the model of -model
  int threads = 0;                       // 0: every core
  std::vector<std::string> roadOptions;  // options of the continuous road with their values
};

// Parses the command line; bad options stop the run with a message (status 1).
AnalyzeConfig parseAnalyzeArgs(int argc, const char* const* argv);

// The output directory beside the input, named after it: data/field.tsv gives
// data/field_analysis.
std::string defaultOutputDirectory(const std::string& input);

void printAnalyzeUsage(std::ostream& out);

}  // namespace pairlab
