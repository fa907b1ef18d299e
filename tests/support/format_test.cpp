#include "support/format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>

namespace pairlab {
namespace {

// The texts must be those of the standard streams, which the result files have always used.
TEST(Format, SameTextAsTheStandardStreams) {
  std::mt19937_64 bits(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> values = {0.0,          -0.0,
                                1.25,         0.05,
                                100.0,        1234567.0,
                                0.000012,     -99.0,
                                0.0005,       123456.5,
                                5e-324,       1e300,
                                83.3333333,   std::numeric_limits<double>::max(),
                                INFINITY,     -INFINITY,
                                std::nan(""), -std::nan("")};
  for (int i = 0; i < 20000; ++i) {
    values.push_back(std::ldexp(unit(bits), static_cast<int>(bits() % 120) - 60));
    std::uint64_t raw = bits();
    double any;
    std::memcpy(&any, &raw, sizeof any);
    values.push_back(any);
  }
  for (double v : values) {
    std::ostringstream general, fixed1, fixed3, fixed4;
    general << v;
    fixed1 << std::fixed << std::setprecision(1) << v;
    fixed3 << std::fixed << std::setprecision(3) << v;
    fixed4 << std::fixed << std::setprecision(4) << v;
    std::string g, f1, f3, f4;
    appendGeneral(g, v);
    appendFixed(f1, v, 1);
    appendFixed(f3, v, 3);
    appendFixed(f4, v, 4);
    ASSERT_EQ(g, general.str());
    ASSERT_EQ(f1, fixed1.str());
    ASSERT_EQ(f3, fixed3.str());
    ASSERT_EQ(f4, fixed4.str());
  }
}

TEST(Format, ShortestTextReadsBackToTheSameDouble) {
  for (double v : {0.1, 1.0 / 3.0, 83.33333333333333, 1e-310, -2.5, 1e22}) {
    EXPECT_EQ(std::strtod(shortestText(v).c_str(), nullptr), v);
  }
  EXPECT_EQ(shortestText(0.1), "0.1");
  EXPECT_EQ(shortestText(250.0), "250");
  EXPECT_EQ(shortestText(-INFINITY), "-inf");
  EXPECT_EQ(shortestText(-std::nan("")), "nan");
  std::string n;
  appendInteger(n, -9223372036854775807LL - 1);
  EXPECT_EQ(n, "-9223372036854775808");
}

}  // namespace
}  // namespace pairlab
