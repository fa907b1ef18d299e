// Command-line parsing into RunConfig.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/run_config.hpp"

namespace pairlab {

// Reads the options from argv[1..argc-1] into config, which already holds the defaults.
// A bad value or an unknown word stops the run (rejectInput) with the message to print.
// Every value must be read completely as a number of the option's kind, and an option must be
// followed by its values. Values are stored before they are checked, so a failing check leaves
// the bad value behind.
void ParseArgs(int argc, const char* const* argv, RunConfig& config);

// How many values follow the option (its main name or an alias, with the dash); -1 for a word
// that is not an option.
int optionValueCount(std::string_view name);

// The main name of an option (its alias turned into it); "" for a word that is not an option.
std::string mainOptionName(std::string_view name);

// Every option name the parser knows, aliases included, in the order of its table.
std::vector<std::string> optionNames();

}  // namespace pairlab
