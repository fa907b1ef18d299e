// The header block that opens every result file.
#pragma once

#include <string>

namespace pairlab {

inline constexpr const char* kProgramName = "Pairlab";

// The local time in the 24-character layout of the C library's asctime
// ("Sun Dec  6 18:09:30 2026"), without a line feed.
std::string asctimeNow();

// Appends the banner, every line prefixed with marker ("##" in the discrete files, nothing in the
// others):
//   <marker><local time>        then an empty line
//   <marker>48 dashes / <marker><program> / <marker>69 dashes / <marker>
//   <marker><credit line>\t\t\t / <marker><web-address line>\t\t\t\t / <marker>69 dashes
//   an empty line
//   <marker><lastLine>
void writeBanner(std::string& out, const std::string& marker, const std::string& program,
                 const std::string& lastLine);

}  // namespace pairlab
