// Preference functions of the continuous-trait road: the Gaussian family (FND, BD03), which
// turns the distance between the partners' traits into a preference (continuous/pair_order.hpp
// computes it for the pairs and orders it), and the logistic family, evaluated for each
// encounter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/run_config.hpp"

namespace pairlab {

enum class PreferenceFamily { Gaussian, Logistic };

struct PreferenceChoice {
  PreferenceFamily family = PreferenceFamily::Gaussian;
  int model = 1;  // Gaussian: 1 FND or 2 BD03; logistic: 3
};

// The Gaussian family is used when -gaussian is on (a decoded model 3 turns it off) or the model
// is at most 2; it knows models 1 and 2 only (any other stops the run, status -uniform).
// Otherwise the logistic family is used and the model becomes 3.
PreferenceChoice choosePreferenceFamily(int model, const RunConfig& config);
// Whether the family is the Gaussian one, without the check of the model number.
bool isGaussianFamily(int model, bool gaussian);

// args: [0] unused, [1] the (negative) Gaussian coefficient, [2] the squared distance of the
// pair, [3] the choice value c. Returns 1 when c is 0, otherwise exp(args[1] * args[2]).
double Gaussbasedpref(const std::vector<double>& args);

// args: {a, b, male trait, a, b, female trait}. Returns L(a + b y) * L(a + b x) with
// L(z) = e^z / (1 + e^z).
double Logitpref(const std::vector<double>& args);

// The Gaussian coefficient: FND -(c / (s Dmax))^2, BD03 -c^4 / (2 s^2).
double gaussianCoefficient(int model, double choice, double tolerance, double dmax);

// The squared distance that the Gaussian preference of a female x for a male y is built on.
// c > 0 (positive assortative): (x - y - bias)^2 when only one sex chooses, otherwise
// (|x - y| - |bias|)^2; c < 0 (negative assortative): (|x - y| - dmax)^2.
struct PairDistance {
  double choice;
  double bias;
  double dmax;
  bool onechoosy;
  double operator()(double x, double y) const;
};

}  // namespace pairlab
