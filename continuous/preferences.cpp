#include "continuous/preferences.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/diagnostics.hpp"
#include "support/text.hpp"

namespace pairlab {

bool isGaussianFamily(int model, bool gaussian) { return (gaussian && model != 3) || model <= 2; }

PreferenceChoice choosePreferenceFamily(int model, const RunConfig& config) {
  if (isGaussianFamily(model, config.gaussian)) {
    if (model != 1 && model != 2)
      stopRun("Wrong model number " + NtoS(model) + "\n", config.uniform);
    return {PreferenceFamily::Gaussian, model};
  }
  return {PreferenceFamily::Logistic, 3};
}

double Gaussbasedpref(const std::vector<double>& args) {
  if (args.size() < 4)
    stopRunLog(
        "Gaussbasedpref: Bad argument number: " + NtoS(args.size()) + " in Gaussbasedpref" + "\n",
        static_cast<int>(args.size()));
  if (args[1] >= 0.0)  // a non-number passes
    stopRunLog("Gaussbasedpref: Bad argument: " + NtoS(args[1]) + " in args[1]" + "\n", args[1]);
  if (args[3] == 0.0) return 1.0;
  return std::exp(args[1] * args[2]);
}

namespace {
// e^z / (1 + e^z), as written: beyond the range of a double it is infinity over infinity.
double logistic(double z) {
  const double e = std::exp(z);
  return e / (1.0 + e);
}
}  // namespace

double Logitpref(const std::vector<double>& args) {
  if (args.size() < 6)
    stopRunLog("Logitpref: Bad argument number: " + NtoS(args.size()) + " in Logitpref" + "\n",
               static_cast<int>(args.size()));
  return logistic(args[0] + args[1] * args[2]) * logistic(args[3] + args[4] * args[5]);
}

double gaussianCoefficient(int model, double choice, double tolerance, double dmax) {
  if (model == 1) {
    const double q = choice / (tolerance * dmax);
    return -(q * q);
  }
  const double q = choice * choice / tolerance;
  return -0.5 * (q * q);
}

double PairDistance::operator()(double x, double y) const {
  double d;
  if (choice < 0.0)
    d = std::fabs(x - y) - dmax;
  else if (onechoosy)
    d = x - y - bias;
  else
    d = std::fabs(x - y) - std::fabs(bias);
  return d * d;
}

}  // namespace pairlab
