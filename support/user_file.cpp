#include "support/user_file.hpp"

#include <sys/stat.h>

#include <fstream>
#include <iostream>

#include "support/diagnostics.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {
// The UTF-8 byte-order mark some editors put at the start of a text file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
}  // namespace

void readUserFile(const std::string& path, Strip strip,
                  const std::function<bool(const DataLine&)>& onLine, bool announce) {
  // A directory opens like a file but reads as nothing: it cannot be read as one.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) stopUnreadable(path);
  std::ifstream in(path);
  if (!in) stopUnreadable(path);
  if (announce) std::cout << "\nReading file " << path << std::endl;

  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (number == 1 && line.starts_with(kByteOrderMark)) line.erase(0, kByteOrderMark.size());
    const std::string_view stripped =
        strip == Strip::Both ? stripSpace(line) : stripLeadingSpace(line);
    if (!isDataLine(stripped)) continue;
    if (!onLine(DataLine{number, stripped})) return;
  }
}

}  // namespace pairlab
