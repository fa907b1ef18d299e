#include "support/format.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>

namespace pairlab {
namespace {

constexpr long long kTens[] = {1,      10,      100,      1000,      10000,
                               100000, 1000000, 10000000, 100000000, 1000000000};

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

// The fast road of appendFixed against std::to_chars, for every number of decimals it takes: the
// values the rounds tables print (fractions k/n), ties and their neighbours, and doubles of every
// size, with both signs.
TEST(Format, FixedFastRoadGivesTheTextOfToChars) {
  std::vector<double> values = {0.0,
                                5e-324,
                                2.2250738585072014e-308,
                                1e-300,
                                999999999.99999994,
                                999999999.5,
                                1e9,
                                4.5e15,
                                1e300,
                                INFINITY,
                                std::nan("")};
  for (int n = 1; n <= 1000; ++n)
    for (int k = 0; k <= n; k += (n <= 200 ? 1 : 7)) values.push_back(static_cast<double>(k) / n);
  // Ties in binary (k / 2^e) and the doubles nearest to the decimal ties j.5 / 10^d.
  for (int e = 1; e <= 14; ++e)
    for (int k = 1; k < 400; k += 2) values.push_back(std::ldexp(k, -e));
  for (int d = 0; d <= 9; ++d)
    for (int j = 0; j < 300; ++j) values.push_back((j + 0.5) / static_cast<double>(kTens[d]));
  std::mt19937_64 bits(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 40000; ++i) {
    values.push_back(std::ldexp(unit(bits), static_cast<int>(bits() % 80) - 45));
    values.push_back(std::round(unit(bits) * 2e6) / 2000.0);  // few digits, often ties
  }
  const std::size_t plain = values.size();
  for (std::size_t v = 0; v < plain; ++v) {
    values.push_back(std::nextafter(values[v], 0.0));
    values.push_back(std::nextafter(values[v], INFINITY));
  }
  for (std::size_t v = 0, all = values.size(); v < all; ++v) values.push_back(-values[v]);

  long long fast = 0;
  for (double v : values)
    for (int decimals = 0; decimals <= 9; ++decimals) {
      char text[400];
      const std::to_chars_result r =
          std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
      const std::string expected(text, r.ptr);
      if (decimals == 3) {
        char three[400];
        ASSERT_EQ(std::string(three, writeFixed3(three, v)), expected) << std::hexfloat << v;
      }
      std::string got;
      if (appendFixedExactly(got, v, decimals)) {
        ++fast;
        ASSERT_EQ(got, expected) << std::hexfloat << v << " to " << decimals << " decimals";
      } else {
        ASSERT_TRUE(got.empty());
        ASSERT_FALSE(std::fabs(v) < 1e9) << std::hexfloat << v;
      }
    }
  EXPECT_GT(fast, 7000000);
  std::string out;
  appendFixedExactly(out, -0.0, 3);
  appendFixedExactly(out, -0.0004, 3);
  EXPECT_EQ(out, "-0.000-0.000");
  EXPECT_FALSE(appendFixedExactly(out, 0.5, 10));
  EXPECT_FALSE(appendFixedExactly(out, 0.5, -1));
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
