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

int stopStatus(std::uint64_t value) { return static_cast<int>(static_cast<std::uint32_t>(value)); }

int processExitStatus(int status) { return (status & 0xFF) == 0 ? 1 : status; }

bool writeDiagnostic(const std::string& filename, const std::string& text, bool append) {
  std::ofstream out(filename, append ? std::ios::app : std::ios::trunc);
  if (!out) return false;
  out << text << '\n';
  out.flush();
  return static_cast<bool>(out);
}

void reportUnwritableDiagnostic(const std::string& text) { std::cerr << text << std::endl; }

void rejectInput(const std::string& text) { throw Stop{text, 1, true, false, "", true}; }

void stopUnreadable(const std::string& path) {
  throw Stop{"Could not open file: " + path, 1, true, true, "", true};
}

void internalError(const char* function, const char* condition, const std::string& values) {
  throw Stop{std::string("\nInternal error in ") + function + ": the condition " + condition +
                 " does not hold (" + values +
                 "). This is a fault of the program, not of its input: please report it.\n",
             1,
             true,
             true,
             kErrorFile,
             true};
}

int reportStop(const Stop& stop) {
  if (stop.console) {
    std::cout << stop.message;
    if (stop.lineFeed) std::cout << '\n';
    std::cout << std::flush;
  }
  // A diagnostics file that cannot be written must not swallow the message.
  if (!stop.file.empty() && !writeDiagnostic(stop.file, stop.message, stop.append))
    reportUnwritableDiagnostic(stop.message);
  return processExitStatus(stop.status);
}

void warnRun(const std::string& text, const char* filename) {
  std::cout << text << std::endl;
  if (!writeDiagnostic(filename, text, true)) reportUnwritableDiagnostic(text);
}

}  // namespace pairlab
