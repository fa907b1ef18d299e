// Numbers as text, appended to a buffer without a stream. The texts are exactly those of the
// standard streams (std::to_chars follows the same printf rules), only faster.
#pragma once

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
// Plain decimal, with a minus sign when negative.
void appendInteger(std::string& out, std::int64_t value);
// The shortest text that reads back to the same double; "inf", "-inf", and "nan" for every NaN.
void appendShortest(std::string& out, double value);

// The same, as a new text.
std::string shortestText(double value);

}  // namespace pairlab
