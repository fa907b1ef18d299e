#include "discrete/models.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "support/diagnostics.hpp"
#include "support/text.hpp"
#include "support/user_file.hpp"

namespace pairlab {

void checkTypeTableSize(long long k1, long long k2) {
  if (k1 * k2 > kMaxTypePairs)
    stopRun("\nToo many types: " + NtoS(k1) + " female types by " + NtoS(k2) +
                " male types exceed the limit of " + NtoS(kMaxTypePairs) + " type pairs\n",
            1);
}

void checkModelNumber(int model, int highest, const RunConfig& config) {
  if (model < 0 || model > highest)
    stopRun("Wrong model number " + NtoS(model) + "\n", config.uniform);
}

void checkChoiceFactor(int model, double b) {
  const bool weighs = model == 3 || model == 4 || model >= 6;
  if (weighs && b < 0.0)
    stopRun("\nWrong -choicefactor " + NtoS(b) + " for model " + NtoS(model) +
                ": it becomes a mating weight, which must be at least 0 (0 forbids the pairs it "
                "weighs)\n",
            1);
  if (model == 3 && !(b >= 1.0)) stopRunQuiet("Wrong < 1 choice-factor for model 3", b);
  if (model == 4 && !(b <= 1.0)) stopRunQuiet("Wrong > 1 choice-factor for model 4", b);
}

FocalTypes resolveFocalTypes(int model, int k1, int k2, int focalfem, int focalmale) {
  const bool lastIsFocal = model >= 0 && model <= 5;
  return {focalfem >= 0 ? focalfem : (lastIsFocal ? k1 - 1 : 0),
          focalmale >= 0 ? focalmale : (lastIsFocal ? k2 - 1 : 0)};
}

void setModelPattern(Matrix& mm, int model, double value, const FocalTypes& focal) {
  const int k1 = static_cast<int>(mm.size());
  const int k2 = k1 > 0 ? static_cast<int>(mm[0].size()) : 0;
  switch (model) {
    case 1:  // sexual selection on females: every female type but the focal one
      for (int f = 0; f < k1; ++f)
        if (f != focal.female) mm[f].assign(k2, value);
      break;
    case 2:  // sexual selection on males: every male type but the focal one
      for (std::vector<double>& row : mm)
        for (int m = 0; m < k2; ++m)
          if (m != focal.male) row[m] = value;
      break;
    case 3:  // assortative mating: like types
    case 4:
      for (int t = 0; t < std::min(k1, k2); ++t) mm[t][t] = value;
      break;
    default:
      break;
  }
}

namespace {
// Models 6 to 9: a focal type (the first) with sexual selection a, choice b among the others;
// the focal row (6, 8) or column (7, 9) wins over the diagonal, and models 8 and 9 give the pair
// of focal types a x b.
void setFocalModel(Matrix& mm, int model, double a, double b, const FocalTypes& focal) {
  const int k1 = static_cast<int>(mm.size()), k2 = static_cast<int>(mm[0].size());
  for (int t = 1; t < std::min(k1, k2); ++t) mm[t][t] = b;
  const bool focalRow = model == 6 || model == 8;
  for (int other = 0; other < (focalRow ? k2 : k1); ++other)
    (focalRow ? mm[focal.female][other] : mm[other][focal.male]) = a;
  if (model == 8 || model == 9) mm[0][0] = a * b;
}
}  // namespace

DiscreteModel setupDiscreteModel(int model, int k1, int k2, double a, double b,
                                 const FocalTypes& focal) {
  checkChoiceFactor(model, b);
  checkTypeTableSize(k1, k2);
  DiscreteModel result{Matrix(k1, std::vector<double>(k2, 1.0)), k1, k2};
  if (model == 5)
    ReadUserModels("", kUserModelFile, result.modelmatrix, result.k1, result.k2);
  else if (model >= 6)
    setFocalModel(result.modelmatrix, model, a, b, focal);
  else
    setModelPattern(result.modelmatrix, model, model <= 2 ? a : b, focal);
  return result;
}

void reportUserModelTypes(const RunConfig& config, int k1, int k2, RunOutput& output) {
  const char* reason = "the user model file sets the numbers of types";
  if (k1 != config.femtypes && wasGiven(config, "-femtypes"))
    output.notApplied("-femtypes", reason);
  if (k2 != config.maletypes && wasGiven(config, "-maletypes"))
    output.notApplied("-maletypes", reason);
}

namespace {
// A number of types in the header of the user model file: a whole number written in full ("2"
// or "2.0"), saturated at the int range (the table size check stops such numbers).
int typeCount(const std::string& word, const std::string& where) {
  const std::optional<double> v = readReal(word);
  if (!v || !std::isfinite(*v) || *v != std::floor(*v))
    stopRun("\nWrong header in " + where + ": \"" + word + "\" is not a whole number; the " +
                "header gives the numbers of female and male types, such as 2 3\n",
            1);
  if (*v >= static_cast<double>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  return *v < 0.0 ? -1 : static_cast<int>(*v);
}

// The header of the user model file: the numbers of female and male types.
void readModelHeader(const std::vector<std::string>& words, const std::string& where,
                     Matrix& modelmatrix, int& k1, int& k2) {
  if (words.size() != 2)
    stopRun("\nWrong header in " + where + ": expected 2 numbers (female types, male types)" +
                " but found " + NtoS(words.size()) + "\n",
            1);
  const int fileK1 = typeCount(words[0], where);
  const int fileK2 = typeCount(words[1], where);
  if (fileK1 < 1 || fileK2 < 1)
    stopRun("\nWrong header in " + where +
                ": the numbers of female and male types must be at least 1\n",
            1);
  if (fileK1 != k1 || fileK2 != k2) {
    checkTypeTableSize(fileK1, fileK2);
    modelmatrix.assign(fileK1, std::vector<double>(fileK2, 0.0));
    k1 = fileK1;
    k2 = fileK2;
  }
}

// One row of weights: k2 positive, finite numbers.
void readModelRow(const std::vector<std::string>& words, const std::string& where, int k2,
                  std::vector<double>& row) {
  if (words.size() != static_cast<std::size_t>(k2))
    stopRun("\nWrong row in " + where + ": expected " + NtoS(k2) + " numbers (one per male " +
                "type) but found " + NtoS(words.size()) + "\n",
            1);
  for (int m = 0; m < k2; ++m) {
    const std::optional<double> read = readReal(words[m]);
    if (!read)
      stopRun("\nWrong value in " + where + ": \"" + words[m] + "\" is not a number; a weight " +
                  "is a positive number written with digits, such as 2.5 or 1e-3\n",
              1);
    const double v = *read;
    if (!(v > 0.0)) stopRunLog("Negative parameter " + NtoS(v) + " in user model" + "\n", v);
    if (std::isinf(v))
      stopRunLog("Infinite parameter " + NtoS(v) +
                     " in user model: propensities must be "
                     "finite\n",
                 1);
    row[m] = v;
  }
}
}  // namespace

void ReadUserModels(const std::string& path, const std::string& filename, Matrix& modelmatrix,
                    int& k1, int& k2) {
  bool headerRead = false;
  int row = 0;
  readUserFile(path + filename, Strip::Leading, [&](const DataLine& line) {
    const std::vector<std::string> words = get_words(line.text);
    const std::string where = "user model file " + filename + " line " + NtoS(line.number);
    if (!headerRead) {
      headerRead = true;
      readModelHeader(words, where, modelmatrix, k1, k2);
    } else {
      readModelRow(words, where, k2, modelmatrix[row++]);
    }
    return row < k1;
  });
  if (!headerRead)
    stopRun("\nThe user model file " + filename +
                " holds no header line: its first data line must give the numbers of female "
                "and male types\n",
            1);
  if (row == 0)
    stopRun("\nThe user model file " + filename +
                " holds no row of weights after its header: it needs one row per female type\n",
            1);
}

void checkModelWeights(const Matrix& modelmatrix, int model) {
  bool anyNonZero = false;
  for (std::size_t f = 0; f < modelmatrix.size(); ++f)
    for (std::size_t m = 0; m < modelmatrix[f].size(); ++m) {
      if (!std::isfinite(modelmatrix[f][m]))
        stopRun("\nModel " + NtoS(model) + " gives the pair of female type " + NtoS(f + 1) +
                    " and male type " + NtoS(m + 1) + " the weight " + NtoS(modelmatrix[f][m]) +
                    ": mating weights must be finite numbers (lower -incrfactor, -choicefactor "
                    "or -MRmax)\n",
                1);
      anyNonZero = anyNonZero || modelmatrix[f][m] != 0.0;
    }
  if (!anyNonZero)
    stopRun("\nModel " + NtoS(model) + " gives every pair of female and male types the weight 0: " +
                "no pair can mate (a -choicefactor of 0 forbids the pairs it weighs, here all of " +
                "them)\n",
            1);
}

void checkFiniteMeanPropensity(double M) {
  if (!std::isfinite(M))
    stopRun("\nThe mean mating propensity M of the population is " + NtoS(M) +
                ": mating weights must be finite numbers small enough to be summed\n",
            1);
}

double meanPropensity(const std::vector<double>& p1, const std::vector<double>& p2,
                      const Matrix& modelmatrix) {
  double M = 0.0;
  for (std::size_t f = 0; f < p1.size(); ++f)
    for (std::size_t m = 0; m < p2.size(); ++m) M += p1[f] * p2[m] * modelmatrix[f][m];
  return M;
}

}  // namespace pairlab
