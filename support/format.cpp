#include "support/format.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <utility>

namespace pairlab {

namespace {

// Long enough for any double in fixed notation with the decimals the program asks for.
constexpr int kMaxText = 400;

template <typename Convert>
void appendWith(std::string& out, Convert convert) {
  char text[kMaxText];
  const std::to_chars_result r = convert(text, text + kMaxText);
  out.append(text, r.ptr);
}

}  // namespace

void appendGeneral(std::string& out, double value) {
  appendWith(out, [value](char* first, char* last) {
    return std::to_chars(first, last, value, std::chars_format::general, 6);
  });
}

namespace {

// 128-bit integers are a GCC and Clang extension (hence __extension__, for -Wpedantic).
__extension__ typedef unsigned __int128 Wide;

constexpr std::uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};

// The D digits of fraction < 10^D, each from its own quotient by a constant (no chain of
// divisions).
template <int D, std::size_t... K>
void writeDecimals(char* at, std::uint64_t fraction, std::index_sequence<K...>) {
  ((at[K] = static_cast<char>('0' + fraction / kPowersOfTen[D - 1 - K] % 10)), ...);
}

// Appends rounded / 10^D with D decimals (a minus sign in front when negative).
template <int D>
void appendScaled(std::string& out, bool negative, std::uint64_t rounded) {
  constexpr std::uint64_t unit = kPowersOfTen[D];
  std::uint64_t whole = rounded / unit;
  char text[32];
  char* const end = text + sizeof text;
  char* first = end;
  if constexpr (D > 0) {
    first -= D + 1;
    first[0] = '.';
    writeDecimals<D>(first + 1, rounded % unit, std::make_index_sequence<D>());
  }
  do {
    *--first = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (negative) *--first = '-';
  out.append(first, end);
}

using AppendScaled = void (*)(std::string&, bool, std::uint64_t);
constexpr AppendScaled kAppendScaled[] = {
    appendScaled<0>, appendScaled<1>, appendScaled<2>, appendScaled<3>, appendScaled<4>,
    appendScaled<5>, appendScaled<6>, appendScaled<7>, appendScaled<8>, appendScaled<9>};

}  // namespace

bool appendFixedExactly(std::string& out, double value, int decimals) {
  // Only |value| < 10^9 with at most nine decimals: the rounded value times 10^decimals then
  // stays below 2^63 and the exact product of the significand and 10^decimals below 2^83.
  if (decimals < 0 || decimals > 9 || !(std::fabs(value) < 1e9)) return false;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t significand = bits & ((std::uint64_t{1} << 52) - 1);
  int shift = 1074;  // |value| = significand / 2^shift, and shift > 0 below 2^52
  if (biased != 0) {
    significand |= std::uint64_t{1} << 52;
    shift = 1075 - biased;
  }
  // |value| * 10^decimals rounded to an integer, exactly as the decimal expansion of the double
  // is rounded: to nearest, ties to even.
  const Wide scaled = static_cast<Wide>(significand) * kPowersOfTen[decimals];
  std::uint64_t rounded = 0;
  if (shift < 84) {  // otherwise scaled < 2^83 <= half a unit: rounds to 0
    const Wide one = static_cast<Wide>(1) << shift;
    const Wide rest = scaled & (one - 1);
    const Wide half = one >> 1;
    rounded = static_cast<std::uint64_t>(scaled >> shift);
    if (rest > half || (rest == half && (rounded & 1) != 0)) ++rounded;
  }

  kAppendScaled[decimals](out, negative, rounded);
  return true;
}

void appendFixed(std::string& out, double value, int decimals) {
  if (appendFixedExactly(out, value, decimals)) return;
  appendWith(out, [value, decimals](char* first, char* last) {
    return std::to_chars(first, last, value, std::chars_format::fixed, decimals);
  });
}

void appendInteger(std::string& out, std::int64_t value) {
  appendWith(out, [value](char* first, char* last) { return std::to_chars(first, last, value); });
}

void appendShortest(std::string& out, double value) {
  if (std::isnan(value)) {  // whatever its sign
    out += "nan";
    return;
  }
  appendWith(out, [value](char* first, char* last) { return std::to_chars(first, last, value); });
}

std::string shortestText(double value) {
  std::string text;
  appendShortest(text, value);
  return text;
}

}  // namespace pairlab
