#include "support/memory.hpp"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/diagnostics.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

constexpr double kUnknown = HUGE_VAL;

// MemAvailable of /proc/meminfo (kB), or the free physical pages when it cannot be read.
double availablePhysicalMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  double kilobytes = 0.0;
  std::string unit;
  while (meminfo >> key >> kilobytes >> unit)
    if (key == "MemAvailable:") return kilobytes * 1024.0;
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) return static_cast<double>(pages) * pageSize;
  return kUnknown;
}

// Virtual memory already taken by the process, from /proc/self/statm (pages).
double processSize() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0.0;
  if (!(statm >> pages)) return 0.0;
  return pages * static_cast<double>(sysconf(_SC_PAGESIZE));
}

double limitRoom(int resource) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnknown;
  return std::max(0.0, static_cast<double>(limit.rlim_cur) - processSize());
}

// Room left under the memory limit of the control group (cgroup v2), when it has one.
double controlGroupRoom() {
  std::ifstream maxFile("/sys/fs/cgroup/memory.max");
  std::string max;
  if (!(maxFile >> max) || max == "max") return kUnknown;
  std::ifstream currentFile("/sys/fs/cgroup/memory.current");
  double current = 0.0;
  currentFile >> current;
  return std::max(0.0, std::strtod(max.c_str(), nullptr) - current);
}

}  // namespace

double availableMemoryBytes() {
  return std::min({availablePhysicalMemory(), limitRoom(RLIMIT_AS), limitRoom(RLIMIT_DATA),
                   controlGroupRoom()});
}

std::string memoryText(double bytes) {
  std::ostringstream text;
  text << bytes / (1024.0 * 1024.0 * 1024.0) << " GiB (";
  text.precision(0);
  text << std::fixed << bytes << " bytes)";
  return text.str();
}

void requireMemory(double bytes, const std::string& what) {
  const double available = availableMemoryBytes();
  if (bytes > available)
    stopRun("\nNot enough memory for " + what + ": " + memoryText(bytes) +
                " needed, but the system can give this run only " + memoryText(available) + "\n",
            1);
}

void adviseHugePages(const void* data, std::size_t bytes) {
  // The whole 2 MiB pages inside the range (the system decides whether it has them to give).
  constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t from = (start + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t to = (start + bytes) & ~(kHuge - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

}  // namespace pairlab
