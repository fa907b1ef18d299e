#include "discrete/models.hpp"

#include <cmath>
#include <fstream>
#include <iostream>

#include "support/diagnostics.hpp"
#include "support/text.hpp"

namespace pairlab {

void checkTypeTableSize(long long k1, long long k2) {
  if (k1 * k2 > kMaxTypePairs)
    stopRun("\nToo many types: " + NtoS(k1) + " female types by " + NtoS(k2) +
                " male types exceed the limit of " + NtoS(kMaxTypePairs) + " type pairs\n",
            1);
}

void resolveFocalTypes(int model, int k1, int k2, int& focalfem, int& focalmale) {
  const bool lastIsFocal = model >= 0 && model <= 5;
  if (focalfem < 0) focalfem = lastIsFocal ? k1 - 1 : 0;
  if (focalmale < 0) focalmale = lastIsFocal ? k2 - 1 : 0;
}

std::string modelPrefixHead(int model) {
  return "M" + NtoS(model) + (model >= 0 && model <= 5 ? "_a" : "_ac");
}

DiscreteModel setupDiscreteModel(int model, int& k1, int& k2, double a, double b, int focalfem,
                                 int focalmale, bool uniformStatus) {
  if (model < 0 || model > 9) stopRun("Wrong model number " + NtoS(model) + "\n", uniformStatus);
  if (model == 3 && !(b >= 1.0)) stopRunQuiet("Wrong < 1 choice-factor for model 3", b);
  if (model == 4 && !(b <= 1.0)) stopRunQuiet("Wrong > 1 choice-factor for model 4", b);
  checkTypeTableSize(k1, k2);

  DiscreteModel result;
  Matrix& mm = result.modelmatrix;
  mm.assign(k1, std::vector<double>(k2, 1.0));
  const int diagonal = std::min(k1, k2);
  double value = 1.0;  // the number that names models 0 to 4
  switch (model) {
    case 0:
      break;
    case 1:  // sexual selection on females: every female type but the focal one weighs a
      for (int f = 0; f < k1; ++f)
        if (f != focalfem) mm[f].assign(k2, a);
      value = a;
      break;
    case 2:  // sexual selection on males: every male type but the focal one weighs a
      for (int f = 0; f < k1; ++f)
        for (int m = 0; m < k2; ++m)
          if (m != focalmale) mm[f][m] = a;
      value = a;
      break;
    case 3:  // positive assortative mating
    case 4:  // negative assortative mating (b <= 1 on the diagonal)
      for (int t = 0; t < diagonal; ++t) mm[t][t] = b;
      value = b;
      break;
    case 5:
      ReadUserModels("", kUserModelFile, mm, k1, k2);
      break;
    default: {  // 6 to 9: a focal type with sexual selection a, choice b among the others
      for (int t = 1; t < diagonal; ++t) mm[t][t] = b;
      const bool focalRow = model == 6 || model == 8;
      for (int other = 0; other < (focalRow ? k2 : k1); ++other) {
        double& entry = focalRow ? mm[focalfem][other] : mm[other][focalmale];
        entry = a;
      }
      if (model == 8 || model == 9) mm[0][0] = a * b;
      break;
    }
  }

  const std::string m = NtoS(model);
  if (model == 0) {
    result.prefixPart = "1_";
    result.directoryTag = "_0_a1";
  } else if (model <= 4) {
    result.prefixPart = NtoS(value) + "_";
    result.directoryTag = "_" + m + "_a" + NtoS(value);
  } else if (model == 5) {
    result.prefixPart = "User_";
    result.directoryTag = "_5_aUser";
  } else {
    result.prefixPart = NtoS(a) + "-" + NtoS(b) + "_";
    result.directoryTag = "_" + m + "_ac" + NtoS(a) + "-" + NtoS(b);
  }
  return result;
}

void ReadUserModels(const std::string& path, const std::string& filename, Matrix& modelmatrix,
                    int& k1, int& k2) {
  const std::string fullPath = path + filename;
  std::ifstream in(fullPath);
  if (!in) throw UnreadableFile{"Could not open file: " + fullPath};
  std::cout << "\nReading file " << fullPath << std::endl;

  std::string line;
  int lineNumber = 0;
  bool headerRead = false;
  int row = 0;
  while (row < k1 && std::getline(in, line)) {
    ++lineNumber;
    const std::string_view stripped = stripLeadingSpace(line);
    if (!isDataLine(stripped)) continue;
    const std::vector<std::string> words = get_words(stripped);
    const std::string where = "user model file " + filename + " line " + NtoS(lineNumber);
    if (!headerRead) {
      headerRead = true;
      if (words.size() != 2)
        stopRun("\nWrong header in " + where + ": expected 2 numbers (female types, male types)" +
                    " but found " + NtoS(words.size()) + "\n",
                1);
      const int fileK1 = toInt(words[0].c_str());
      const int fileK2 = toInt(words[1].c_str());
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
      continue;
    }
    if (words.size() != static_cast<std::size_t>(k2))
      stopRun("\nWrong row in " + where + ": expected " + NtoS(k2) + " numbers (one per male " +
                  "type) but found " + NtoS(words.size()) + "\n",
              1);
    for (int m = 0; m < k2; ++m) {
      const double v = toReal(words[m].c_str());
      if (!(v > 0.0)) stopRunLog("Negative parameter " + NtoS(v) + " in user model" + "\n", v);
      if (std::isinf(v))
        stopRunLog("Infinite parameter " + NtoS(v) + " in user model: propensities must be "
                   "finite\n",
                   1);
      modelmatrix[row][m] = v;
    }
    ++row;
  }
}

double meanPropensity(const std::vector<double>& p1, const std::vector<double>& p2,
                      const Matrix& modelmatrix) {
  double M = 0.0;
  for (std::size_t f = 0; f < p1.size(); ++f)
    for (std::size_t m = 0; m < p2.size(); ++m) M += p1[f] * p2[m] * modelmatrix[f][m];
  return M;
}

}  // namespace pairlab
