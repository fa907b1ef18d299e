#include "support/banner.hpp"

#include <ctime>

namespace pairlab {

namespace {
const std::string kDashes48(48, '-');
const std::string kDashes69(69, '-');
const char* const kCreditLine = "Pairlab: stochastic simulation of mate choice";
const char* const kWebLine = "Documentation and citation: see README.md of the distribution";
}  // namespace

std::string asctimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  // "%a %b %e %H:%M:%S %Y" is asctime's layout: day of month padded with a blank to width 2.
  const std::size_t n = std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &local);
  return std::string(text, n);
}

void writeBanner(std::string& out, const std::string& marker, const std::string& program,
                 const std::string& lastLine) {
  const auto line = [&](const std::string& text) { out += marker + text + '\n'; };
  line(asctimeNow());
  out += '\n';
  line(kDashes48);
  line(program);
  line(kDashes69);
  line("");
  line(kCreditLine + std::string("\t\t\t"));
  line(kWebLine + std::string("\t\t\t\t"));
  line(kDashes69);
  out += '\n';
  line(lastLine);
}

}  // namespace pairlab
