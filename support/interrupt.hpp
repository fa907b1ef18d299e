// What the run leaves when it is interrupted by SIGINT or SIGTERM: the handler removes the
// temporary files of the result files being written, appends a line to Pairlab.err saying which
// file numbers were completed, and ends the process with status 128 + the signal number.
//
// The handler can only read state that lives outside any object, so this registry is the
// program's one piece of global mutable state; it is written only through these functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pairlab {

// Installs the handler for SIGINT and SIGTERM.
void installInterruptHandlers();

// The temporary files being written, removed if the run is interrupted: up to kTemporarySlots at
// once. Registering returns the slot that unregistering frees.
inline constexpr std::size_t kTemporarySlots = 16;
int registerTemporaryFile(const char* path);
void unregisterTemporaryFile(int slot);

// A file (or replicate) of the run is complete: the report names the range of file numbers.
void noteFileCompleted(std::int64_t number);

// Forgets everything (for tests).
void resetInterruptRegistry();

}  // namespace pairlab
