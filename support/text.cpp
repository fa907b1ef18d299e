#include "support/text.hpp"

#include <cerrno>
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

std::optional<double> wholeReal(const std::string& word) {
  if (word.empty() || isLeadingSpace(word[0])) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  if (end != word.c_str() + word.size()) return std::nullopt;
  return value;
}

bool isDataLine(std::string_view stripped) {
  return !stripped.empty() && stripped.find('#') == std::string_view::npos;
}

}  // namespace pairlab
