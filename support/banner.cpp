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

void writeBanner(std::ostream& out, const std::string& marker, const std::string& program,
                 const std::string& lastLine) {
  out << marker << asctimeNow() << "\n\n";
  out << marker << kDashes48 << '\n'
      << marker << program << '\n'
      << marker << kDashes69 << '\n'
      << marker << '\n'
      << marker << kCreditLine << "\t\t\t\n"
      << marker << kWebLine << "\t\t\t\t\n"
      << marker << kDashes69 << "\n\n"
      << marker << lastLine << '\n';
}

}  // namespace pairlab
