// Preference functions of the continuous-trait road: the Gaussian family (FND, BD03), which
// turns the distance between the partners' traits into a preference and is tabulated for every
// female-male pair, and the logistic family, evaluated for each encounter.
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

// The entries of the pair table in ascending order (sortmatdistrib), as far as they are read.
// The rounds read only the largest ones (the current maximum preference steps down one entry at
// a time from the top), so they are selected from the table on demand, block by block, in the
// order of decreasing value (ties by increasing position), instead of sorting all the table.
class SortedPreferences {
 public:
  // sortmatdistrib[totpairs - 1 - rank] of the table: the entry of the given rank from the top
  // (rank 0 is the largest). Ranks beyond the table give its smallest entry.
  double fromTop(const std::vector<double>& table, std::int64_t rank);
  // Entries selected so far.
  std::int64_t selected() const { return static_cast<std::int64_t>(top_.size()); }
  // Position in the table of the first largest entry (after fromTop has been called once).
  std::int64_t firstLargest() const { return firstLargest_; }

 private:
  void selectNextBlock(const std::vector<double>& table, std::int64_t count);

  std::vector<double> top_;  // the selected entries, largest first
  double lastValue_ = 0.0;   // the last selected entry and its position
  std::int64_t lastPosition_ = -1;
  std::int64_t firstLargest_ = -1;
};

// The preference of every pair, female-major (entry f * males + m), its sorted copy and the
// largest preference M.
struct PairTable {
  std::vector<double> matdistrib;
  SortedPreferences sortmatdistrib;
  std::int64_t totpairs = 0;
  std::int64_t indxmaxpref = 0;
  double M = 0.0;

  // sortmatdistrib[totpairs - 1 - rank], never below the smallest entry.
  double sortedFromTop(std::int64_t rank) { return sortmatdistrib.fromTop(matdistrib, rank); }
};

// Bytes of the pair table (8 per pair); its sorted copy adds at most as much again, and only
// when the maximum steps down through all of it.
double pairTableBytes(std::int64_t totpairs);

// Builds the table (checking first that memory for it can be had); stops the run when an entry
// is not a number, since such a table has no maximum to scale the preferences by.
PairTable buildPairTable(const std::vector<double>& femaleTraits,
                         const std::vector<double>& maleTraits, const PairDistance& distance,
                         std::vector<double>& args);

}  // namespace pairlab
