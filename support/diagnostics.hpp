// Diagnostics: the one way a run reports problems and stops.
//
// A check that ends the run throws a Stop: the message, the exit status (computed where the
// stop is raised, from the value the check chose) and where the message goes. The driver
// catches it around the whole run, writes the message and turns the status into the exit
// status of the process. Nothing else ends the process.
//
// Faults of the program itself (an invariant that no input can break) are reported through
// PAIRLAB_CHECK as an "internal error", never as a fault of the input.
#pragma once

#include <cstdint>
#include <string>

namespace pairlab {

// Diagnostics files, in the current working directory (never in the output directory).
inline constexpr const char* kErrorFile = "Pairlab.err";           // errors that stop the run
inline constexpr const char* kWarningFile = "Pairlab.warning";     // warnings; the run goes on
inline constexpr const char* kErrorLogFile = "Pairlab_ERROR.log";  // numerical errors; truncated

// A stop of the run.
struct Stop {
  std::string message;
  int status = 1;        // the status the check chose (see processExitStatus)
  bool console = true;   // the message is written to standard output,
  bool lineFeed = true;  // followed by a line feed
  std::string file;      // diagnostics file that records the message ("" for none)
  bool append = true;    // appended to it, or written after truncating it
};

// Conversion of the value a check hands to a stop into a status: a flag gives 0 or 1, a double
// is truncated toward zero (NaN gives 1, values beyond the int range saturate), an unsigned
// 64-bit value keeps its low 32 bits.
int stopStatus(bool value);
int stopStatus(int value);
int stopStatus(double value);
int stopStatus(std::uint64_t value);

// The status the process really exits with: a stop never reports success, so a status whose
// low 8 bits are 0 (0 itself, 256, ...) becomes 1. Other statuses are kept as they are.
int processExitStatus(int status);

// Appends (or, without append, truncates and writes) text and a line feed to filename.
// Returns false when the file could not be written.
bool writeDiagnostic(const std::string& filename, const std::string& text, bool append);

// A message whose diagnostics file could not be written goes to standard error instead.
void reportUnwritableDiagnostic(const std::string& text);

// Writes text to filename; with stop set, ends the run with the status derived from value
// (the message goes to the file only).
template <typename T>
void errormsg(T value, const std::string& filename, const std::string& text, bool append,
              bool stop) {
  if (stop) throw Stop{text, stopStatus(value), false, true, filename, append};
  if (!writeDiagnostic(filename, text, append)) reportUnwritableDiagnostic(text);
}

// The usual stop: text on standard output followed by a line feed, appended to Pairlab.err.
template <typename T>
[[noreturn]] void stopRun(const std::string& text, T value) {
  throw Stop{text, stopStatus(value), true, true, kErrorFile, true};
}

// A stop recorded only in Pairlab.err (nothing on standard output).
template <typename T>
[[noreturn]] void stopRunQuiet(const std::string& text, T value) {
  throw Stop{text, stopStatus(value), false, true, kErrorFile, true};
}

// A stop of the numerical routines: standard output, and Pairlab_ERROR.log truncated first.
template <typename T>
[[noreturn]] void stopRunLog(const std::string& text, T value) {
  throw Stop{text, stopStatus(value), true, true, kErrorLogFile, false};
}

// Rejected input (a bad option value, an unknown word, a sample regcorrelxy cannot use): the
// text on standard output as it stands, no diagnostics file, status 1.
[[noreturn]] void rejectInput(const std::string& text);

// A user input file that cannot be opened: "Could not open file: " + path and a line feed on
// standard output, status 1.
[[noreturn]] void stopUnreadable(const std::string& path);

// A fault of the program: "internal error" with the function, the condition and the values,
// on standard output and in Pairlab.err, status 1.
[[noreturn]] void internalError(const char* function, const char* condition,
                                const std::string& values);

#define PAIRLAB_CHECK(condition, values)                                      \
  do {                                                                        \
    if (!(condition)) ::pairlab::internalError(__func__, #condition, values); \
  } while (false)

// Writes the message of a stop where it belongs and returns the exit status of the process.
int reportStop(const Stop& stop);

// A warning: text on standard output followed by a line feed, appended to filename.
void warnRun(const std::string& text, const char* filename = kWarningFile);

}  // namespace pairlab
