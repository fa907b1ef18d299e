#include "analysis/table_analysis.hpp"

namespace pairlab {

namespace {

std::vector<double> frequencies(const std::vector<double>& numbers) {
  double total = 0.0;
  for (double v : numbers) total += v;
  std::vector<double> p(numbers.size());
  for (std::size_t t = 0; t < numbers.size(); ++t) p[t] = numbers[t] / total;
  return p;
}

// The positions of the types with individuals.
std::vector<std::size_t> keptTypes(const std::vector<double>& numbers,
                                   const std::vector<std::string>& labels, const char* sex,
                                   std::vector<std::string>& notes) {
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < numbers.size(); ++t) {
    if (numbers[t] > 0.0)
      kept.push_back(t);
    else
      notes.push_back(std::string(sex) + " type " + labels[t] +
                      " has a premating number of 0 and no matings: left out");
  }
  return kept;
}

}  // namespace

MatingTable withoutEmptyTypes(const MatingTable& table, std::vector<std::string>& notes) {
  const std::vector<std::size_t> females =
      keptTypes(table.femaleNumbers, table.femaleTypes, "female", notes);
  const std::vector<std::size_t> males =
      keptTypes(table.maleNumbers, table.maleTypes, "male", notes);
  if (females.size() == table.femaleTypes.size() && males.size() == table.maleTypes.size())
    return table;
  MatingTable kept = table;
  kept.femaleTypes.clear();
  kept.femaleNumbers.clear();
  kept.maleTypes.clear();
  kept.maleNumbers.clear();
  kept.matings.assign(females.size(), std::vector<double>(males.size(), 0.0));
  for (std::size_t i : females) {
    kept.femaleTypes.push_back(table.femaleTypes[i]);
    kept.femaleNumbers.push_back(table.femaleNumbers[i]);
  }
  for (std::size_t j : males) {
    kept.maleTypes.push_back(table.maleTypes[j]);
    kept.maleNumbers.push_back(table.maleNumbers[j]);
  }
  for (std::size_t a = 0; a < females.size(); ++a)
    for (std::size_t b = 0; b < males.size(); ++b)
      kept.matings[a][b] = table.matings[females[a]][males[b]];
  return kept;
}

TableAnalysis analyseTable(const MatingTable& input, const NullSettings& settings) {
  TableAnalysis a;
  a.table = withoutEmptyTypes(input, a.notes);
  const MatingTable& t = a.table;
  const double n = t.sampleSize;
  const int k1 = static_cast<int>(t.femaleTypes.size()), k2 = static_cast<int>(t.maleTypes.size());
  a.p1 = frequencies(t.femaleNumbers);
  a.p2 = frequencies(t.maleNumbers);

  MatingTables work;
  a.tests = testIndexValues(sampleIndexValues(t.matings, n, a.p1, a.p2, work), n, k1, k2);
  a.cells = cellIndices(t.matings, n, a.p1, a.p2);
  a.models = fitModels({t.matings, n, a.p1, a.p2, t.femaleTypes, t.maleTypes});
  compareModels(a.models, n);
  a.averagedPropensity = averagedPropensities(a.models, a.p1, a.p2);

  a.nulls = nullTests({t.matings, n, t.femaleNumbers, t.maleNumbers, a.p1, a.p2, t.femaleTypes,
                       t.maleTypes, t.wholeMatings, t.number, a.tests},
                      settings);
  if (!a.nulls.refused.empty())
    a.notes.push_back(
        std::string(t.wholeMatings ? "no Monte Carlo tests: " : "no simulated tests: ") +
        a.nulls.refused);
  return a;
}

}  // namespace pairlab
