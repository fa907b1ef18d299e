// A one-line progress display on standard error for runs that take more than about a second:
// files done of the total, rate and time left, or the phase of a long set-up. Never on standard
// output or in a file; erased at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace pairlab {

class Progress {
 public:
  enum class Mode { Automatic, Off, On };  // Automatic: only when standard error is a terminal

  explicit Progress(Mode mode = Mode::Off);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // A phase of the set-up ("drawing the traits").
  void phase(const std::string& what);
  // Files (replicates) done of the total.
  void files(std::int64_t done, std::int64_t total);
  // Erases the line.
  void clear();

 private:
  using Clock = std::chrono::steady_clock;
  bool due();
  void show(const std::string& text);

  bool enabled_ = false;
  bool immediate_ = false;  // forced on: no wait for the first second
  Clock::time_point start_;
  Clock::time_point last_;
  std::string phase_;
  bool shown_ = false;
};

}  // namespace pairlab
