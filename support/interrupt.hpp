// What the run leaves when it is interrupted by SIGINT or SIGTERM: the handler removes the
// temporary file of the result file being written, appends a line to Pairlab.err saying which
// file numbers were completed, and ends the process with status 128 + the signal number.
//
// The handler can only read state that lives outside any object, so this registry is the
// program's one piece of global mutable state; it is written only through these functions.
#pragma once

#include <cstdint>

namespace pairlab {

// Installs the handler for SIGINT and SIGTERM.
void installInterruptHandlers();

// The temporary file being written (removed if the run is interrupted), or none.
void registerTemporaryFile(const char* path);
void unregisterTemporaryFile();

// A file (or replicate) of the run is complete: the report names the range of file numbers.
void noteFileCompleted(std::int64_t number);

// Forgets everything (for tests).
void resetInterruptRegistry();

}  // namespace pairlab
