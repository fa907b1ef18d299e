// Discrete mating models: the model matrix of mating weights between female and male types,
// the ten numbered models, the user model file and the names the models give to output files.
#pragma once

#include <string>
#include <vector>

namespace pairlab {

using Matrix = std::vector<std::vector<double>>;  // rows: female types; columns: male types

inline constexpr const char* kUserModelFile = "PairlabUserModel.txt";

// The most female-by-male type pairs a run may hold in one table.
inline constexpr long long kMaxTypePairs = 1000000;

// Stops the run when k1 x k2 type pairs would not fit the table limit.
void checkTypeTableSize(long long k1, long long k2);

// Resolves the focal types before a matrix is filled: for models 0 to 5 a focal type below 0
// becomes the last type, for the other models the first.
void resolveFocalTypes(int model, int k1, int k2, int& focalfem, int& focalmale);

// The head of a model's file-prefix tag: "M" + model + "_a" (models 0..5) or "_ac".
std::string modelPrefixHead(int model);

struct DiscreteModel {
  Matrix modelmatrix;
  std::string prefixPart;    // appended to the file prefix after the head
  std::string directoryTag;  // appended to the output directory name
};

// Builds the model of a decoded model number (checked to lie in 0..9, with the status
// uniformStatus on failure) from the sexual-selection factor a and the choice factor b.
// Model 5 reads the user model file and may change k1 and k2.
DiscreteModel setupDiscreteModel(int model, int& k1, int& k2, double a, double b, int focalfem,
                                 int focalmale, bool uniformStatus);

// Reads the user model file path + filename into modelmatrix. A header whose numbers of types
// differ from k1, k2 rebuilds the matrix with zeros and replaces k1 and k2.
void ReadUserModels(const std::string& path, const std::string& filename, Matrix& modelmatrix,
                    int& k1, int& k2);

// The mean mating propensity: the sum over type pairs of p1[f] * p2[m] * modelmatrix[f][m].
double meanPropensity(const std::vector<double>& p1, const std::vector<double>& p2,
                      const Matrix& modelmatrix);

}  // namespace pairlab
