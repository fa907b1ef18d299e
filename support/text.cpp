#include "support/text.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace pairlab {

int toInt(const char* word) {
  const long long v = std::strtoll(word, nullptr, 10);  // saturates at the long long range
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

double toReal(const char* word) { return std::strtod(word, nullptr); }

std::int64_t toInt64(const char* word) { return std::strtoll(word, nullptr, 10); }

namespace {

// The text without the blanks around it, as a string strtod and strtoll can end on.
std::string trimmedCopy(std::string_view text) {
  const std::string_view inner = stripSpace(text);
  return std::string(inner);
}

}  // namespace

std::optional<double> readReal(std::string_view text) {
  const std::string word = trimmedCopy(text);
  if (word.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  if (end != word.c_str() + word.size()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> readWhole(std::string_view text, std::int64_t low, std::int64_t high) {
  const std::string word = trimmedCopy(text);
  if (word.empty() || word.find_first_not_of("+-0123456789") != std::string::npos)
    return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(word.c_str(), &end, 10);
  if (end != word.c_str() + word.size() || errno == ERANGE || value < low || value > high)
    return std::nullopt;
  return value;
}

std::string notANumber(std::string_view text, bool whole, std::int64_t low, std::int64_t high) {
  const std::string word = trimmedCopy(text);
  const std::string kind = whole ? "is not a whole number: " : "is not a number: ";
  if (word.empty()) return kind + "the value is empty";
  std::string dotted = word;
  for (char& c : dotted)
    if (c == ',') c = '.';
  const std::optional<double> real = readReal(dotted);
  if (dotted != word && real && !whole) return kind + "use a decimal point: " + dotted;
  const std::string range =
      "is out of range: it must lie between " + NtoS(low) + " and " + NtoS(high);
  if (whole && real && std::isfinite(*real) && *real == std::floor(*real)) {
    if (*real >= static_cast<double>(low) && *real <= static_cast<double>(high))
      return kind + "write it in digits: " + NtoS(static_cast<std::int64_t>(*real));
    return range;
  }
  if (whole && readWhole(word, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max()))
    return range;
  if (whole) return kind + "write a whole number in digits, such as 100";
  return kind + "write a number such as 0.5, -2 or 1e-3";
}

namespace {
bool isWordSeparator(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == ',' || c == ';';
}
bool isLeadingSpace(char c) {
  return c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\v';
}
}  // namespace

std::vector<std::string> get_words(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (isWordSeparator(c)) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string_view stripLeadingSpace(std::string_view line) {
  std::size_t start = 0;
  while (start < line.size() && isLeadingSpace(line[start])) ++start;
  return line.substr(start);
}

std::string_view stripSpace(std::string_view line) {
  line = stripLeadingSpace(line);  // the same six characters isspace accepts in the C locale
  std::size_t end = line.size();
  while (end > 0 && isLeadingSpace(line[end - 1])) --end;
  return line.substr(0, end);
}

bool isDataLine(std::string_view stripped) {
  return !stripped.empty() && stripped.find('#') == std::string_view::npos;
}

}  // namespace pairlab
