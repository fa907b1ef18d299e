// Reading a user file: the one place that opens it (or reports that it cannot), announces the
// read on standard output and hands over its data lines. Each reader keeps its own rules on top.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace pairlab {

// How much white space a reader strips from a line before looking at it.
enum class Strip { Leading, Both };

struct DataLine {
  int number = 0;         // line number in the file, from 1
  std::string_view text;  // the stripped line
};

// Opens path, or stops the run with "Could not open file: " + path (a directory included);
// writes "\nReading file " + path on standard output (unless announce is false: a file read a
// second time); then calls onLine for every data line
// (stripped as asked; empty lines and lines containing '#' are skipped; a UTF-8 byte-order mark
// at the start of the file is skipped) until the file ends or onLine returns false.
void readUserFile(const std::string& path, Strip strip,
                  const std::function<bool(const DataLine&)>& onLine, bool announce = true);

}  // namespace pairlab
