#include "support/progress.hpp"

#include <unistd.h>

#include <cstdio>

#include "support/format.hpp"

namespace pairlab {

namespace {
constexpr auto kFirstShow = std::chrono::seconds(1);        // quick runs show nothing
constexpr auto kInterval = std::chrono::milliseconds(250);  // at most four updates a second

void appendDuration(std::string& out, double seconds) {
  const auto whole = static_cast<std::int64_t>(seconds + 0.5);
  if (whole >= 3600) {
    appendInteger(out, whole / 3600);
    out += " h ";
    appendInteger(out, whole % 3600 / 60);
    out += " min";
  } else if (whole >= 60) {
    appendInteger(out, whole / 60);
    out += " min ";
    appendInteger(out, whole % 60);
    out += " s";
  } else {
    appendInteger(out, whole);
    out += " s";
  }
}
}  // namespace

Progress::Progress(Mode mode)
    : enabled_(mode == Mode::On || (mode == Mode::Automatic && ::isatty(STDERR_FILENO) == 1)),
      immediate_(mode == Mode::On),
      start_(Clock::now()),
      last_(start_) {}

bool Progress::due() {
  if (!enabled_) return false;
  const Clock::time_point now = Clock::now();
  if (!immediate_ && now - start_ < kFirstShow) return false;
  if (shown_ && now - last_ < kInterval) return false;
  last_ = now;
  return true;
}

void Progress::show(const std::string& text) {
  const std::string line = "\r" + text + "\033[K";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

void Progress::phase(const std::string& what) {
  phase_ = what;
  if (due()) show("Pairlab: " + what + "...");
}

void Progress::files(std::int64_t done, std::int64_t total) {
  if (!due()) return;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  std::string text = "Pairlab: ";
  appendInteger(text, done);
  text += " of ";
  appendInteger(text, total);
  text += " files";
  if (done > 0 && elapsed > 0.0) {
    const double rate = static_cast<double>(done) / elapsed;
    text += ", ";
    appendFixed(text, rate, rate < 10.0 ? 1 : 0);
    text += " files/s, ";
    appendDuration(text, static_cast<double>(total - done) / rate);
    text += " left";
  }
  show(text);
}

void Progress::clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace pairlab
