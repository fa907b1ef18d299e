// Trait values of a continuous-trait run: standard normal, a two-component normal mixture, or
// the user phenotype file; the check that they vary, and their rescaling into a fixed interval.
#pragma once

#include <string>
#include <vector>

#include "support/random.hpp"

namespace pairlab {

inline constexpr const char* kUserPhenotypesFile = "PairlabUserPhenotypes.txt";

// The traits of the population, with the running limits of each sex.
struct Traits {
  std::vector<double> female;  // one value per female, in female order
  std::vector<double> male;    // one value per male, in male order
  double femaleMin = 0.0;
  double femaleMax = 0.0;
  double maleMin = 0.0;
  double maleMax = 0.0;
  bool bimodal = false;  // drawn from the two-component mixture

  // max(female maximum, male maximum) - min(female minimum, male minimum).
  double range() const;
  // min(female minimum, male minimum).
  double minimum() const;
};

// The running limits start beyond any value: the minima at qbig, the maxima at the lowest
// finite double (so that a population of negative traits gets its true maximum).
void resetLimits(Traits& traits);

// Lowers min and raises max when value lies beyond them (a non-number changes neither).
void updateLimits(double value, double& min, double& max);

// Reads dir + filename: every data line (stripped of surrounding white space; empty lines and
// lines containing '#' are skipped) holds one value; the first `females` values go to the
// females, the next `males` to the males. The file must hold exactly females + males values.
// The limits are updated in place as values are stored.
void ReadUserPhenotypes(const std::string& dir, const std::string& filename, int females, int males,
                        std::vector<double>& femaleTraits, double& femaleMin, double& femaleMax,
                        std::vector<double>& maleTraits, double& maleMin, double& maleMax);

// Standard normal traits for every female, then every male.
void drawNormalTraits(Traits& traits, Random& rng);

// The mixture: in each sex the first individuals (a share p, rounded up in count) are standard
// normal, the rest N(mu, sigma); females first, then males.
void drawMixtureTraits(Traits& traits, double p, double mu, double sigma, Random& rng);

// Stops the run when a trait is not a finite number (origin says when: "as drawn", ...).
void checkFiniteTraits(const Traits& traits, const char* origin);

// Stops the run when the traits do not vary (the range is not above qlow, or not a number).
void checkVariation(const Traits& traits);

// Moves every trait t to (t - lo) / range * dmax + mintrait, females then males, so that the
// traits fill [mintrait, mintrait + dmax] with both ends reached exactly; stops the run when they
// cannot (a range beyond the doubles, an interval too narrow to hold two values). Returns the bias
// rescaled the same way (dmax * bias / range). The limits are not recomputed.
double scaleTraits(Traits& traits, double dmax, double mintrait, double bias);

}  // namespace pairlab
