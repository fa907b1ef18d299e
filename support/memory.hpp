// How much memory the run may still take. Large tables are checked against it before they are
// allocated: on a system that overcommits memory an allocation can succeed and the process be
// killed later, when the pages are first touched, which a sweep would see as a crash.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pairlab {

// Bytes the system can give this process now: the smallest of the available physical memory,
// the address-space and data-size limits of the process and the limit of its control group.
double availableMemoryBytes();

// A byte count as text for messages: "2.5 GiB (2684354560 bytes)".
std::string memoryText(double bytes);

// Stops the run (status 1) when `bytes` exceed what the system can give; the message says what
// the memory is for ("Not enough memory for " + what + ...).
void requireMemory(double bytes, const std::string& what);

// Asks the system to back the range with huge pages: a large array read at random positions then
// costs far fewer misses of the address translation, and one filled from end to end far fewer
// page faults. Changes nothing else.
void adviseHugePages(const void* data, std::size_t bytes);

// n copies of value in storage advised to huge pages before it is first touched.
template <typename T>
std::vector<T> largeVector(std::size_t n, const T& value) {
  std::vector<T> v;
  v.reserve(n);
  adviseHugePages(v.data(), n * sizeof(T));
  v.assign(n, value);
  return v;
}

}  // namespace pairlab
