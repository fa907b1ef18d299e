// Discrete mating models: the model matrix of mating weights between female and male types,
// the ten numbered models, the user model file and the mean propensity.
#pragma once

#include <string>
#include <vector>

#include "support/run_config.hpp"
#include "support/run_output.hpp"

namespace pairlab {

using Matrix = std::vector<std::vector<double>>;  // rows: female types; columns: male types

inline constexpr const char* kUserModelFile = "PairlabUserModel.txt";

// The most female-by-male type pairs a run may hold in one table.
inline constexpr long long kMaxTypePairs = 1000000;

// Stops the run when k1 x k2 type pairs would not fit the table limit.
void checkTypeTableSize(long long k1, long long k2);

// Stops the run with "Wrong model number" (status: -uniform) when model lies outside 0..highest.
void checkModelNumber(int model, int highest, const RunConfig& config);

// Stops the run when the choice factor b does not suit the model. Where b becomes a weight
// (models 3, 4 and 6 to 9) it must be at least 0 (status 1, the message naming the option, its
// value and the model). Model 3 needs b >= 1 and model 4 b <= 1 (status: b truncated; the message
// goes to Pairlab.err only).
void checkChoiceFactor(int model, double b);

// The focal female and male types of a model, resolved from -1: for models 0 to 5 the last
// type, for the other models the first.
struct FocalTypes {
  int female = -1;
  int male = -1;
};
FocalTypes resolveFocalTypes(int model, int k1, int k2, int focalfem, int focalmale);

// Sets the pairs a model sets apart to value: every female type but the focal one (model 1),
// every male type but the focal one (model 2), like types (models 3 and 4).
void setModelPattern(Matrix& mm, int model, double value, const FocalTypes& focal);

// A built model and the numbers of types it has (the user model file may change them).
struct DiscreteModel {
  Matrix modelmatrix;
  int k1 = 0;
  int k2 = 0;
};

// Builds the matrix of a model number in 0..9 from the sexual-selection factor a and the choice
// factor b, after the checks of its factors and of the table size. Model 5 reads the user model
// file.
DiscreteModel setupDiscreteModel(int model, int k1, int k2, double a, double b,
                                 const FocalTypes& focal);

// Reports -femtypes and -maletypes as not applied when given and the user model file set other
// numbers of types (k1, k2).
void reportUserModelTypes(const RunConfig& config, int k1, int k2, RunOutput& output);

// Stops the run when a weight of the model is not a finite number (an infinite factor, or
// factors whose product overflows): such a weight cannot be compared with the others; and when
// every weight is 0 (a choice factor of 0 that forbids every pair): no pair could ever mate.
void checkModelWeights(const Matrix& modelmatrix, int model);

// Stops the run when the mean propensity is not a finite number.
void checkFiniteMeanPropensity(double M);

// Reads the user model file path + filename into modelmatrix. A header whose numbers of types
// differ from k1, k2 rebuilds the matrix with zeros and replaces k1 and k2.
void ReadUserModels(const std::string& path, const std::string& filename, Matrix& modelmatrix,
                    int& k1, int& k2);

// The mean mating propensity: the sum over type pairs of p1[f] * p2[m] * modelmatrix[f][m].
double meanPropensity(const std::vector<double>& p1, const std::vector<double>& p2,
                      const Matrix& modelmatrix);

}  // namespace pairlab
