// Number-to-text, C-library style text-to-number conversions and word splitting.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pairlab {

// A number as the names and messages of the program show it: the default formatting of the
// standard streams (six significant digits as "%g" for doubles, plain decimal for integers).
template <typename T>
requires std::is_arithmetic_v<T> std::string NtoS(T number) {
  // Whole numbers other than characters and bool: the same text without a stream.
  if constexpr (std::is_integral_v<T> && sizeof(T) > 1 && !std::is_same_v<T, wchar_t> &&
                !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t>) {
    char text[24];
    return std::string(text, std::to_chars(text, text + sizeof text, number).ptr);
  } else {
    std::ostringstream text;
    text << number;
    return text.str();
  }
}

// Conversions with the semantics of atoi / atof / atoll: leading blanks, an optional sign and
// as many characters as form a number; anything else gives 0. Unlike the C functions, values
// beyond the range of the type saturate instead of being undefined.
int toInt(const char* word);
double toReal(const char* word);
std::int64_t toInt64(const char* word);

// Numbers read completely: the whole text (blanks around it allowed) must form the number, or
// there is none. A real is read as strtod reads it (so "1e-3", "+3", "007", "0x1p-3", "inf" and
// "nan" are numbers; a check of the value decides what it accepts); a whole number is decimal
// digits with an optional sign, within [low, high].
std::optional<double> readReal(std::string_view text);
std::optional<std::int64_t> readWhole(std::string_view text, std::int64_t low, std::int64_t high);

// What is wrong with a text that is not a number (whole: a whole number within [low, high] was
// expected) and how to write it, for a message: "is not a number: use a decimal point: 0.5",
// "is not a whole number: write it in digits: 10000", "is out of range: ...".
std::string notANumber(std::string_view text, bool whole, std::int64_t low, std::int64_t high);

// The words of a line of a user file: separators are tab, line feed, carriage return, space,
// comma and semicolon; runs of separators never produce empty words.
std::vector<std::string> get_words(std::string_view line);

// The line without its leading space, form feed, line feed, carriage return, tab and vertical tab.
std::string_view stripLeadingSpace(std::string_view line);

// The line without leading and trailing white space (as isspace classifies it).
std::string_view stripSpace(std::string_view line);

// User files skip lines that are empty after stripping and lines containing '#' anywhere.
bool isDataLine(std::string_view stripped);

}  // namespace pairlab
