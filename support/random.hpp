// The run's one source of randomness. The driver owns a Random and passes it down by
// reference; every draw of the program comes from it, so a run with a fixed seed is
// reproducible draw for draw. The engine itself is private: the program only draws.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>

namespace pairlab {

class Random {
 public:
  explicit Random(std::uint64_t seed) : randgen(seed) {}

  // One uniform draw on [0, 1): one engine output, 53 random bits.
  double u() { return uniform(randgen); }
  // One standard normal deviate (the distribution keeps its spare deviate between calls).
  double z() { return Z(randgen); }

  // A uniform choice among n positions: the integer part of a uniform draw times n.
  std::int64_t position(std::int64_t n) {
    return static_cast<std::int64_t>(u() * static_cast<double>(n));
  }

  // The standard shuffle algorithm driven by the engine.
  template <typename Iterator>
  void shuffle(Iterator first, Iterator last) {
    std::shuffle(first, last, randgen);
  }

  // Skips n engine outputs: the same as n uniform draws whose values are not needed.
  void discard(unsigned long long n) { randgen.discard(n); }

  // Same state: the same draws follow.
  friend bool operator==(const Random& a, const Random& b) {
    return a.randgen == b.randgen && a.uniform == b.uniform && a.Z == b.Z;
  }

 private:
  std::mt19937_64 randgen;                                   // standard 64-bit Mersenne Twister
  std::uniform_real_distribution<double> uniform{0.0, 1.0};  // one engine output per draw
  std::normal_distribution<double> Z{0.0, 1.0};              // keeps its spare deviate
};

// The engine of the population draw (type frequencies, traits): an engine of its own when the
// run gives the population a seed (-popseed), so that runs cut from one experiment share one
// population; otherwise the run's engine, as every draw.
class PopulationRandom {
 public:
  PopulationRandom(std::int64_t seed, Random& run)
      : own_(static_cast<std::uint64_t>(seed)), use_(seed != 0 ? own_ : run) {}
  PopulationRandom(const PopulationRandom&) = delete;
  PopulationRandom& operator=(const PopulationRandom&) = delete;
  Random& get() { return use_; }

 private:
  Random own_;
  Random& use_;
};

}  // namespace pairlab
