#include "support/format.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace pairlab {

namespace {

// kFixedRoom is long enough for any number the program writes.
template <typename Convert>
void appendWith(std::string& out, Convert convert) {
  char text[kFixedRoom];
  const std::to_chars_result r = convert(text, text + kFixedRoom);
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

// Writes rounded / 10^D with D decimals at `at` (a minus sign in front when negative); returns
// the end of the text.
template <int D>
char* writeScaled(char* at, bool negative, std::uint64_t rounded) {
  constexpr std::uint64_t unit = kPowersOfTen[D];
  std::uint64_t whole = rounded / unit;
  if (negative) *at++ = '-';
  int digits = 1;
  for (std::uint64_t w = whole; w >= 10; w /= 10) ++digits;
  char* end = at + digits;
  for (char* p = end; p != at; whole /= 10) *--p = static_cast<char>('0' + whole % 10);
  if constexpr (D > 0) {
    end[0] = '.';
    writeDecimals<D>(end + 1, rounded % unit, std::make_index_sequence<D>());
    end += D + 1;
  }
  return end;
}

using WriteScaled = char* (*)(char*, bool, std::uint64_t);
constexpr WriteScaled kWriteScaled[] = {
    writeScaled<0>, writeScaled<1>, writeScaled<2>, writeScaled<3>, writeScaled<4>,
    writeScaled<5>, writeScaled<6>, writeScaled<7>, writeScaled<8>, writeScaled<9>};

// A finite double as |value| = significand / 2^shift, with its sign.
struct Binary {
  bool negative;
  std::uint64_t significand;
  int shift;  // > 0 for |value| < 2^52
};
Binary decompose(double value) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  Binary b{(bits >> 63) != 0, bits & ((std::uint64_t{1} << 52) - 1), 1074};
  if (biased != 0) {
    b.significand |= std::uint64_t{1} << 52;
    b.shift = 1075 - biased;
  }
  return b;
}

// product / 2^shift rounded to an integer as the decimal expansion of a double is rounded: to
// nearest, ties to even. Unsigned is 64 or 128 bits wide, with product < 2^(width - 1).
template <typename Unsigned>
std::uint64_t roundShifted(Unsigned product, int shift) {
  if (shift >= static_cast<int>(sizeof(Unsigned) * 8)) return 0;  // below half a unit
  const Unsigned one = static_cast<Unsigned>(1) << shift;
  const Unsigned rest = product & (one - 1);
  const Unsigned half = one >> 1;
  auto rounded = static_cast<std::uint64_t>(product >> shift);
  if (rest > half || (rest == half && (rounded & 1) != 0)) ++rounded;
  return rounded;
}

// The fast road of the fixed notation: the text at `at` and its end, or nullptr (nothing
// written) unless |value| < 10^9 with at most nine decimals.
char* writeFixedExactly(char* at, double value, int decimals) {
  // Only |value| < 10^9 with at most nine decimals: the rounded value times 10^decimals then
  // stays below 2^63 and the exact product of the significand and 10^decimals below 2^83.
  if (decimals < 0 || decimals > 9 || !(std::fabs(value) < 1e9)) return nullptr;
  const Binary b = decompose(value);
  const Wide product = static_cast<Wide>(b.significand) * kPowersOfTen[decimals];
  return kWriteScaled[decimals](at, b.negative, roundShifted(product, b.shift));
}

}  // namespace

bool appendFixedExactly(std::string& out, double value, int decimals) {
  char text[32];
  char* end = writeFixedExactly(text, value, decimals);
  if (end == nullptr) return false;
  out.append(text, end);
  return true;
}

char* writeFixed(char* first, double value, int decimals) {
  if (char* end = writeFixedExactly(first, value, decimals)) return end;
  return std::to_chars(first, first + kFixedRoom, value, std::chars_format::fixed, decimals).ptr;
}

namespace {

// "000" to "999", three characters each.
constexpr std::array<char, 3000> kThreeDigits = [] {
  std::array<char, 3000> digits{};
  for (int n = 0; n < 1000; ++n) {
    digits[3 * n] = static_cast<char>('0' + n / 100);
    digits[3 * n + 1] = static_cast<char>('0' + n / 10 % 10);
    digits[3 * n + 2] = static_cast<char>('0' + n % 10);
  }
  return digits;
}();

}  // namespace

char* writeFixed3(char* first, double value) {
  // The fast road above in 64-bit arithmetic: the significand times 1000 stays below 2^63.
  if (!(std::fabs(value) < 1e9)) return writeFixed(first, value, 3);
  const Binary b = decompose(value);
  const std::uint64_t rounded = roundShifted(b.significand * 1000, b.shift);
  if (b.negative) *first++ = '-';
  const std::uint64_t whole = rounded / 1000;
  if (whole < 10)
    *first++ = static_cast<char>('0' + whole);
  else
    first = std::to_chars(first, first + 10, whole).ptr;
  *first = '.';
  std::memcpy(first + 1, &kThreeDigits[3 * (rounded % 1000)], 3);
  return first + 4;
}

void appendFixed(std::string& out, double value, int decimals) {
  char text[kFixedRoom];
  out.append(text, writeFixed(text, value, decimals));
}

TextComposer& TextComposer::integer(std::int64_t value) {
  constexpr int kDigits = 20;  // "-9223372036854775808"
  room(kDigits);
  at_ = std::to_chars(at_, at_ + kDigits, value).ptr;
  return *this;
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
