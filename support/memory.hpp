// How much memory the run may still take. Large tables are checked against it before they are
// allocated: on a system that overcommits memory an allocation can succeed and the process be
// killed later, when the pages are first touched, which a sweep would see as a crash.
#pragma once

#include <string>

namespace pairlab {

// Bytes the system can give this process now: the smallest of the available physical memory,
// the address-space and data-size limits of the process and the limit of its control group.
double availableMemoryBytes();

// A byte count as text for messages: "2.5 GiB (2684354560 bytes)".
std::string memoryText(double bytes);

// Stops the run (status 1) when `bytes` exceed what the system can give; the message says what
// the memory is for ("Not enough memory for " + what + ...).
void requireMemory(double bytes, const std::string& what);

}  // namespace pairlab
