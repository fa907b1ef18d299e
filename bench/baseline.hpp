// The unit of every benchmark: the cost of one uniform draw, measured in the same process, so
// that figures are ratios that do not depend on the machine's speed. Linking baseline.cpp also
// registers BM_UniformDraw, the draw as Google Benchmark times it.
#pragma once

namespace pairlab {

// Nanoseconds of one uniform draw: the fastest of five timings of 20 million draws, in the
// thread's processor time (measured once, on the first call).
double uniformDrawNanoseconds();

// The processor time of the calling thread, in seconds.
double threadSeconds();

}  // namespace pairlab
