#include "support/format.hpp"

#include <charconv>
#include <cmath>

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

void appendFixed(std::string& out, double value, int decimals) {
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
