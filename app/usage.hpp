// The usage text of --help.
#pragma once

#include <iosfwd>

namespace pairlab {

// Every option with its aliases, default and meaning, by road.
void printUsage(std::ostream& out);

}  // namespace pairlab
