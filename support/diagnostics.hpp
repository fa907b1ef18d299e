// Diagnostics: the one way a run reports problems and stops.
//
// A check that ends the run writes its message (usually to standard output and to one of the
// diagnostics files below) and throws RunStop; the entry point catches it around the whole run
// and turns it into the exit status. Nothing else ends the process.
#pragma once

#include <cstdint>
#include <string>

namespace pairlab {

// Diagnostics files, in the current working directory (never in the output directory).
inline constexpr const char* kErrorFile = "Pairlab.err";          // errors that stop the run
inline constexpr const char* kWarningFile = "Pairlab.warning";    // warnings; the run goes on
inline constexpr const char* kErrorLogFile = "Pairlab_ERROR.log"; // numerical errors; truncated

// A check stopped the run with this status (already converted from the caller's value).
struct RunStop {
  int status;
};

// A user input file could not be opened; the message is "Could not open file: " + path.
struct UnreadableFile {
  std::string message;
};

// Conversion of the value a caller hands to errormsg into an exit status: a flag gives 0 or 1,
// a double is truncated toward zero (NaN gives 1, values beyond the int range saturate), an
// unsigned 64-bit value keeps its low 32 bits.
int stopStatus(bool value);
int stopStatus(int value);
int stopStatus(double value);
int stopStatus(std::uint64_t value);

// The status the process really exits with: a stop never reports success, so a status whose
// low 8 bits are 0 (0 itself, 256, ...) becomes 1. Other statuses are kept as they are.
int processExitStatus(int status);

// Appends (or, without append, truncates and writes) text and a line feed to filename.
// A file that cannot be opened loses the text silently.
void writeDiagnostic(const std::string& filename, const std::string& text, bool append);

// Writes text to filename; with stop set, ends the run with the status derived from value.
template <typename T>
void errormsg(T value, const std::string& filename, const std::string& text, bool append,
              bool stop) {
  writeDiagnostic(filename, text, append);
  if (stop) throw RunStop{stopStatus(value)};
}

// The usual stop: text on standard output followed by a line feed, appended to Pairlab.err.
[[noreturn]] void stopRunImpl(const std::string& text, int status, const char* file, bool append,
                              bool toConsole);

template <typename T>
[[noreturn]] void stopRun(const std::string& text, T value) {
  stopRunImpl(text, stopStatus(value), kErrorFile, true, true);
}

// A stop written only to Pairlab.err (nothing on standard output).
template <typename T>
[[noreturn]] void stopRunQuiet(const std::string& text, T value) {
  stopRunImpl(text, stopStatus(value), kErrorFile, true, false);
}

// A stop of the numerical routines: standard output, and Pairlab_ERROR.log truncated first.
template <typename T>
[[noreturn]] void stopRunLog(const std::string& text, T value) {
  stopRunImpl(text, stopStatus(value), kErrorLogFile, false, true);
}

// A warning: text on standard output followed by a line feed, appended to filename.
void warnRun(const std::string& text, const char* filename = kWarningFile);

}  // namespace pairlab
