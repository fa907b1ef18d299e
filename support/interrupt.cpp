#include "support/interrupt.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <string>

#include "support/diagnostics.hpp"

namespace pairlab {

namespace {

// The temporary files being written, several at once (a program may write several result files
// side by side). A slot's path is written while the slot is inactive and published by marking it
// active, so the handler never sees a half-written path.
constexpr std::size_t kPathCapacity = 4096;
char temporaryPaths[kTemporarySlots][kPathCapacity];
volatile std::sig_atomic_t slotActive[kTemporarySlots] = {};
std::atomic<std::int64_t> firstCompleted{-1};
std::atomic<std::int64_t> lastCompleted{-1};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

// Async-signal-safe text building.
struct Line {
  char text[512];
  std::size_t size = 0;
  void add(const char* s) {
    while (*s != '\0' && size < sizeof text) text[size++] = *s++;
  }
  void add(std::int64_t n) {
    char digits[24];
    int k = 0;
    const bool negative = n < 0;
    std::uint64_t v = negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    do digits[k++] = static_cast<char>('0' + v % 10);
    while ((v /= 10) != 0);
    if (negative) add("-");
    while (k > 0 && size < sizeof text) text[size++] = digits[--k];
  }
};

void writeAll(int fd, const Line& line) {
  std::size_t done = 0;
  while (done < line.size) {
    const ssize_t n = ::write(fd, line.text + done, line.size - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

extern "C" void onInterrupt(int signal) {
  for (std::size_t slot = 0; slot < kTemporarySlots; ++slot)
    if (slotActive[slot] != 0) ::unlink(temporaryPaths[slot]);
  Line line;
  line.add("\nInterrupted by ");
  line.add(signal == SIGINT ? "SIGINT" : "SIGTERM");
  line.add(": ");
  const std::int64_t first = firstCompleted.load(), last = lastCompleted.load();
  if (last < 0) {
    line.add("no file was completed");
  } else {
    line.add(first == last ? "file " : "files ");
    line.add(first);
    if (first != last) {
      line.add(" to ");
      line.add(last);
    }
    line.add(first == last ? " was completed" : " were completed");
  }
  line.add("; the run did not finish\n\n");
  const int fd = ::open(kErrorFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0) {
    writeAll(fd, line);
    ::close(fd);
  }
  writeAll(STDERR_FILENO, line);
  ::_exit(128 + signal);
}

}  // namespace

void installInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

int registerTemporaryFile(const char* path) {
  int slot = 0;
  while (slot < static_cast<int>(kTemporarySlots) && slotActive[slot] != 0) ++slot;
  PAIRLAB_CHECK(slot < static_cast<int>(kTemporarySlots),
                "more than " + std::to_string(kTemporarySlots) + " temporary files at once");
  std::strncpy(temporaryPaths[slot], path, kPathCapacity - 1);
  temporaryPaths[slot][kPathCapacity - 1] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slotActive[slot] = 1;
  return slot;
}

void unregisterTemporaryFile(int slot) {
  if (slot >= 0 && slot < static_cast<int>(kTemporarySlots)) slotActive[slot] = 0;
}

void noteFileCompleted(std::int64_t number) {
  if (firstCompleted.load() < 0) firstCompleted.store(number);
  lastCompleted.store(number);
}

void resetInterruptRegistry() {
  for (std::size_t slot = 0; slot < kTemporarySlots; ++slot) slotActive[slot] = 0;
  firstCompleted.store(-1);
  lastCompleted.store(-1);
}

}  // namespace pairlab
