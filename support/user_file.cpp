#include "support/user_file.hpp"

#include <fstream>
#include <iostream>

#include "support/diagnostics.hpp"
#include "support/text.hpp"

namespace pairlab {

void readUserFile(const std::string& path, Strip strip,
                  const std::function<bool(const DataLine&)>& onLine) {
  std::ifstream in(path);
  if (!in) stopUnreadable(path);
  std::cout << "\nReading file " << path << std::endl;

  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string_view stripped =
        strip == Strip::Both ? stripSpace(line) : stripLeadingSpace(line);
    if (!isDataLine(stripped)) continue;
    if (!onLine(DataLine{number, stripped})) return;
  }
}

}  // namespace pairlab
