#include "analysis/trait_statistics.hpp"

#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <limits>

#include "continuous/writers.hpp"

namespace pairlab {

namespace {

constexpr double kZ975 = 1.959963984540054;  // the 97.5 % quantile of the standard normal

struct Moments {
  double mean = 0.0, sd = 0.0;
};

// Mean and standard deviation of the first n values, divided by n - ddof.
template <class Value>
Moments moments(std::size_t n, Value value, int ddof) {
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) sum += value(i);
  const double mean = sum / static_cast<double>(n);
  double ss = 0.0;
  for (std::size_t i = 0; i < n; ++i) ss += (value(i) - mean) * (value(i) - mean);
  return {mean, std::sqrt(ss / static_cast<double>(static_cast<long long>(n) - ddof))};
}

Moments momentsOfAll(const std::vector<double>& v, int ddof) {
  return moments(
      v.size(), [&](std::size_t i) { return v[i]; }, ddof);
}

}  // namespace

PopulationMoments momentsOf(const Traits& population) {
  PopulationMoments m;
  const Moments f = momentsOfAll(population.female, 0), males = momentsOfAll(population.male, 0);
  m.femaleMean = f.mean;
  m.femaleSd = f.sd;
  m.maleMean = males.mean;
  m.maleSd = males.sd;
  const std::size_t nf = population.female.size();
  m.sd =
      moments(
          nf + population.male.size(),
          [&](std::size_t i) { return i < nf ? population.female[i] : population.male[i - nf]; }, 0)
          .sd;
  return m;
}

TraitStatistics traitStatistics(const std::vector<double>& x, const std::vector<double>& y, int n,
                                const PopulationMoments& population) {
  const auto count = static_cast<std::size_t>(n);
  const std::vector<double> xs(x.begin(), x.begin() + n), ys(y.begin(), y.begin() + n);
  std::array<double, 2> regression{};
  TraitStatistics s{};
  s[kCorrelation] = regcorrelxy(xs, ys, false, false, regression);
  const Moments d = moments(
      count, [&](std::size_t i) { return xs[i] - ys[i]; }, 1);
  s[kMeanDifference] = d.mean / population.sd;
  s[kSdDifference] = d.sd / population.sd;
  const Moments f = momentsOfAll(xs, 1), m = momentsOfAll(ys, 1);
  s[kFemaleShift] = (f.mean - population.femaleMean) / population.femaleSd;
  s[kFemaleSpread] = f.sd / population.femaleSd;
  s[kMaleShift] = (m.mean - population.maleMean) / population.maleSd;
  s[kMaleSpread] = m.sd / population.maleSd;
  return s;
}

CorrelationTests correlationTests(const std::vector<double>& x, const std::vector<double>& y) {
  CorrelationTests c;
  std::array<double, 2> regression{};
  c.r = regcorrelxy(x, y, false, false, regression);
  c.adjusted = regcorrelxy(x, y, true, false, regression);
  const double n = static_cast<double>(x.size());
  c.df = static_cast<int>(x.size()) - 2;
  if (std::fabs(c.r) >= 1.0) {
    c.lower = c.upper = c.r;
    c.J = std::numeric_limits<double>::quiet_NaN();
    c.t = std::copysign(std::numeric_limits<double>::infinity(), c.r);
    c.pT = 0.0;
    return c;
  }
  const double z = std::atanh(c.r), half = kZ975 / std::sqrt(n - 3.0);
  c.lower = std::tanh(z - half);
  c.upper = std::tanh(z + half);
  c.J = c.r * c.r / (1.0 - c.r * c.r);
  c.t = c.r * std::sqrt((n - 2.0) / (1.0 - c.r * c.r));
  const boost::math::students_t student(n - 2.0);
  c.pT = 2.0 * boost::math::cdf(boost::math::complement(student, std::fabs(c.t)));
  return c;
}

}  // namespace pairlab
