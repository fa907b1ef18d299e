// Numbers as text, appended to a buffer without a stream. The texts are exactly those of the
// standard streams (std::to_chars follows the same printf rules), only faster.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pairlab {

// As `stream << value` with the default settings: six significant digits, "%g".
void appendGeneral(std::string& out, double value);
// As `stream << std::fixed << std::setprecision(decimals) << value`: "%.<decimals>f".
void appendFixed(std::string& out, double value, int decimals);
// The fast road of appendFixed: the same text for |value| < 10^9 and at most nine decimals;
// returns false, appending nothing, for any other value.
bool appendFixedExactly(std::string& out, double value, int decimals);

// Room enough for any double in fixed notation with at most nine decimals.
constexpr int kFixedRoom = 400;
// The text of appendFixed written at `first`, which has room for kFixedRoom characters; returns
// the end of the text. writeFixed3 is the same with three decimals, the common case made faster.
char* writeFixed(char* first, double value, int decimals);
char* writeFixed3(char* first, double value);

// Many numbers and separators composed in a buffer of its own and appended to `out` in large
// pieces: the fast way to write a table. flush() must come before `out` is read or the writer
// goes.
class TextComposer {
 public:
  explicit TextComposer(std::string& out) : out_(out) {}
  TextComposer(const TextComposer&) = delete;
  TextComposer& operator=(const TextComposer&) = delete;

  TextComposer& fixed3(double value) {
    room(kFixedRoom);
    at_ = writeFixed3(at_, value);
    return *this;
  }
  TextComposer& integer(std::int64_t value);
  TextComposer& put(char c) {
    room(1);
    *at_++ = c;
    return *this;
  }
  TextComposer& flush() {
    out_.append(buffer_, at_);
    at_ = buffer_;
    return *this;
  }

 private:
  void room(std::ptrdiff_t n) {
    if (buffer_ + sizeof buffer_ - at_ < n) flush();
  }
  std::string& out_;
  char buffer_[4096];
  char* at_ = buffer_;
};

// Plain decimal, with a minus sign when negative.
void appendInteger(std::string& out, std::int64_t value);
// The shortest text that reads back to the same double; "inf", "-inf", and "nan" for every NaN.
void appendShortest(std::string& out, double value);

// The same, as a new text.
std::string shortestText(double value);

}  // namespace pairlab
