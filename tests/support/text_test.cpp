#include "support/text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace pairlab {
namespace {

using Words = std::vector<std::string>;

TEST(NtoS, WritesDoublesLikePercentG) {
  EXPECT_EQ(NtoS(100.0), "100");
  EXPECT_EQ(NtoS(0.05), "0.05");
  EXPECT_EQ(NtoS(0.1), "0.1");
  EXPECT_EQ(NtoS(1.25), "1.25");
  EXPECT_EQ(NtoS(1.0), "1");
  EXPECT_EQ(NtoS(0.000012), "1.2e-05");
  EXPECT_EQ(NtoS(1234567.0), "1.23457e+06");
  EXPECT_EQ(NtoS(-0.5), "-0.5");
}

TEST(NtoS, WritesIntegersInPlainDecimal) {
  EXPECT_EQ(NtoS(-1), "-1");
  EXPECT_EQ(NtoS(62500), "62500");
  EXPECT_EQ(NtoS(123456789012LL), "123456789012");
  // The same text as the stream gives, at the limits of every width; characters and bool keep
  // the stream's text.
  const auto streamed = [](auto v) {
    std::ostringstream s;
    s << v;
    return s.str();
  };
  for (long long v :
       {std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max(), 0LL, -7LL})
    EXPECT_EQ(NtoS(v), streamed(v));
  EXPECT_EQ(NtoS(std::numeric_limits<unsigned long>::max()),
            streamed(std::numeric_limits<unsigned long>::max()));
  EXPECT_EQ(NtoS(static_cast<short>(-32768)), "-32768");
  EXPECT_EQ(NtoS(true), "1");
  EXPECT_EQ(NtoS('A'), "A");
}

TEST(GetWords, SplitsOnBlanksTabsCommasAndSemicolons) {
  EXPECT_EQ(get_words("  0.2\t0.3  0.5 "), (Words{"0.2", "0.3", "0.5"}));
  EXPECT_EQ(get_words("0.2,0.3;0.5"), (Words{"0.2", "0.3", "0.5"}));
  EXPECT_EQ(get_words("0.5,0.5"), (Words{"0.5", "0.5"}));
  EXPECT_EQ(get_words("1 2\r"), (Words{"1", "2"}));
}

TEST(GetWords, NeverProducesEmptyWords) {
  EXPECT_TRUE(get_words("").empty());
  EXPECT_TRUE(get_words(",;,,;").empty());
  EXPECT_TRUE(get_words(" \t\r\n").empty());
}

TEST(GetWords, FormFeedAndVerticalTabBelongToWords) {
  EXPECT_EQ(get_words("a\fb c\vd"), (Words{"a\fb", "c\vd"}));
}

TEST(Conversions, FollowTheCLibraryRules) {
  EXPECT_EQ(toInt("  12abc"), 12);
  EXPECT_EQ(toInt("abc"), 0);
  EXPECT_EQ(toInt("-7"), -7);
  EXPECT_EQ(toInt("+3"), 3);
  EXPECT_EQ(toInt("1e3"), 1);
  EXPECT_DOUBLE_EQ(toReal("1e3"), 1000.0);
  EXPECT_DOUBLE_EQ(toReal(" 0.25xyz"), 0.25);
  EXPECT_EQ(toReal("abc"), 0.0);
  EXPECT_TRUE(std::isnan(toReal("nan")));
  EXPECT_EQ(toInt64("-9000000000"), -9000000000LL);
}

TEST(Conversions, SaturateInsteadOfOverflowing) {
  EXPECT_EQ(toInt("99999999999"), std::numeric_limits<int>::max());
  EXPECT_EQ(toInt("-99999999999"), std::numeric_limits<int>::min());
  EXPECT_EQ(toInt64("999999999999999999999"), std::numeric_limits<std::int64_t>::max());
}

TEST(UserFileLines, LeadingSpaceIsStrippedAndCommentsSkipped) {
  EXPECT_EQ(stripLeadingSpace(" \t\f\v\r 0.3 0.7 "), "0.3 0.7 ");
  EXPECT_EQ(stripSpace("  2.5 \r"), "2.5");
  EXPECT_FALSE(isDataLine(""));
  EXPECT_FALSE(isDataLine("3.2 # a remark"));
  EXPECT_TRUE(isDataLine("3.2"));
}

}  // namespace
}  // namespace pairlab
