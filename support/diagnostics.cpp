#include "support/diagnostics.hpp"

#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>

namespace pairlab {

int stopStatus(bool value) { return value ? 1 : 0; }

int stopStatus(int value) { return value; }

int stopStatus(double value) {
  if (std::isnan(value)) return 1;
  const double t = std::trunc(value);
  if (t >= static_cast<double>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  if (t <= static_cast<double>(std::numeric_limits<int>::min()))
    return std::numeric_limits<int>::min();
  return static_cast<int>(t);
}

int stopStatus(std::uint64_t value) {
  return static_cast<int>(static_cast<std::uint32_t>(value));
}

int processExitStatus(int status) { return (status & 0xFF) == 0 ? 1 : status; }

void writeDiagnostic(const std::string& filename, const std::string& text, bool append) {
  std::ofstream out(filename, append ? std::ios::app : std::ios::trunc);
  if (!out) return;
  out << text << '\n';
  out.flush();
}

void stopRunImpl(const std::string& text, int status, const char* file, bool append,
                 bool toConsole) {
  if (toConsole) std::cout << text << std::endl;
  errormsg(status, file, text, append, true);
  throw RunStop{status};  // not reached: errormsg with stop set always throws
}

void warnRun(const std::string& text, const char* filename) {
  std::cout << text << std::endl;
  errormsg(0, filename, text, true, false);
}

}  // namespace pairlab
