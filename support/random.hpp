// The run's one source of randomness. The driver owns a Random and passes it down by
// reference; every draw of the program comes from it, so a run with a fixed seed is
// reproducible draw for draw.
#pragma once

#include <cstdint>
#include <random>

namespace pairlab {

struct Random {
  explicit Random(std::uint64_t seed) : randgen(seed) {}

  std::mt19937_64 randgen;                             // standard 64-bit Mersenne Twister
  std::uniform_real_distribution<double> uniform{0.0, 1.0};  // one engine output per draw
  std::normal_distribution<double> Z{0.0, 1.0};              // keeps its spare deviate

  double u() { return uniform(randgen); }
  double z() { return Z(randgen); }

  // A uniform choice among n positions: the integer part of a uniform draw times n.
  std::int64_t position(std::int64_t n) {
    return static_cast<std::int64_t>(u() * static_cast<double>(n));
  }
};

}  // namespace pairlab
