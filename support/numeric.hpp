// Program-wide numeric constants.
#pragma once

#include <cmath>
#include <limits>

namespace pairlab {

// The smallest positive (subnormal) double, 4.9406564584124654e-324.
inline constexpr double qzero = std::numeric_limits<double>::denorm_min();
// The largest double below the largest finite double, 1.7976931348623155e308.
inline const double qbig = std::nextafter(std::numeric_limits<double>::max(), 0.0);
// The largest double below the smallest normal double, 2.225073858507201e-308.
inline const double qlow = std::nextafter(std::numeric_limits<double>::min(), 0.0);

// Marks an empty or unreached entry of the run-wide result vectors; statistics skip it.
inline constexpr double kMissing = -99.0;

// Marks an entry of a buffer of traits that holds no value (the pairs of a continuous file
// beyond its sample): NaN, which no trait can be (traits are checked to be finite). Test it with
// isNoTrait, never with ==.
inline constexpr double kNoTrait = std::numeric_limits<double>::quiet_NaN();
inline bool isNoTrait(double v) { return std::isnan(v); }

}  // namespace pairlab
