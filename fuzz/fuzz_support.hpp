// Shared pieces of the fuzz targets: a private working directory, the user file written from
// the input, and the one way to report a finding.
//
// A stop of the program (pairlab::Stop) is a normal outcome of bad input. A finding is anything
// else: a crash or sanitizer report, another exception escaping, a hang (libFuzzer -timeout),
// or a result that breaks an invariant checked by the target (reported through fuzzFinding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pairlab::fuzz {

// Once per process: moves into a fresh temporary directory (the readers read from the working
// directory and write their diagnostics there) and sends standard output to /dev/null.
void enterPrivateDirectory();

// The input as text.
std::string_view asText(const std::uint8_t* data, std::size_t size);

// Splits off the first line (the target's own settings); the rest is the file.
std::string_view takeFirstLine(std::string_view& text);

// Writes content to filename in the working directory, replacing any earlier one.
void writeUserFile(const char* filename, std::string_view content);

// Removes the diagnostics files a call may have appended to, so they do not grow run after run.
void removeDiagnostics();

// Reports a broken invariant on standard error and aborts (libFuzzer records the input).
[[noreturn]] void fuzzFinding(const std::string& what);

}  // namespace pairlab::fuzz
