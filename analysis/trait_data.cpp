#include "analysis/trait_data.hpp"

#include <cmath>
#include <optional>

#include "continuous/sample.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

constexpr const char* kFemaleTrait = "female_trait";
constexpr const char* kMaleTrait = "male_trait";

// A trait: the whole cell read as a finite number, as the user phenotype file reads one.
double traitOf(const std::vector<std::string>& cells, int column, const FileLayout& layout,
               int line) {
  const std::string& cell = cells[static_cast<std::size_t>(column)];
  const std::string& name = layout.header[static_cast<std::size_t>(column)];
  if (cell.empty()) badInput(layout.path, line, name, "the cell is empty");
  const std::optional<double> value = readReal(cell);
  if (!value) badInput(layout.path, line, name, "\"" + cell + "\" is not a number");
  if (!std::isfinite(*value))
    badInput(layout.path, line, name, "\"" + cell + "\" is not a finite number");
  return *value;
}

// "female" or "F" (any case) gives true, "male" or "M" false.
std::optional<bool> femaleOf(const std::string& cell) {
  std::string word;
  for (char c : cell) word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (word == "female" || word == "f") return true;
  if (word == "male" || word == "m") return false;
  return std::nullopt;
}

double variance(const std::vector<double>& v) {
  double mean = 0.0;
  for (double x : v) mean += x;
  mean /= static_cast<double>(v.size());
  double ss = 0.0;
  for (double x : v) ss += (x - mean) * (x - mean);
  return ss / static_cast<double>(v.size());
}

// Traits whose squares summed over a table (or the population) stay within the doubles, so that
// their correlation, means and spreads are numbers.
bool summable(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0.0;
  for (const std::vector<double>* v : {&a, &b})
    for (double x : *v) sum += x * x;
  return std::isfinite(sum * 4.0);
}

constexpr const char* kTooLarge =
    "the traits are too large: their sums of squares go beyond the doubles (measure them in "
    "larger units)";

}  // namespace

const std::vector<std::string>& traitReservedColumns() {
  static const std::vector<std::string> names = {"table",
                                                 "sample_size",
                                                 "population_females",
                                                 "population_males",
                                                 "statistic",
                                                 "value",
                                                 "lower",
                                                 "upper",
                                                 "t",
                                                 "df",
                                                 "p_t",
                                                 "p_null",
                                                 "se_null",
                                                 "null_replicates",
                                                 "note",
                                                 "model",
                                                 "simulation",
                                                 "distance",
                                                 "weight",
                                                 "parameter",
                                                 "adjusted",
                                                 "method",
                                                 "accepted",
                                                 "mean",
                                                 "median",
                                                 "source",
                                                 "sex",
                                                 "trait",
                                                 "in_distance",
                                                 "prior_lower",
                                                 "prior_upper"};
  return names;
}

FileLayout readTraitTables(
    const std::string& path, bool announce,
    const std::function<void(const TraitTable&, const FileLayout&)>& onTable) {
  const FileColumns columns{{kFemaleTrait, kMaleTrait},
                            {kFemaleTrait, kMaleTrait},
                            "female_trait male_trait, one row per mated pair",
                            {"pair"},
                            traitReservedColumns()};
  TraitTable table;
  const FileLayout* layout = nullptr;
  GroupedRows reader;
  reader.start = [&](const FileLayout& file, long long number, int line,
                     std::vector<std::string> groupValues) {
    layout = &file;
    table = TraitTable{number, line, std::move(groupValues), {}, {}};
  };
  reader.row = [&](const std::vector<std::string>& cells, int line) {
    table.female.push_back(traitOf(cells, layout->role[0], *layout, line));
    table.male.push_back(traitOf(cells, layout->role[1], *layout, line));
  };
  reader.finish = [&] {
    if (table.female.size() < static_cast<std::size_t>(kLeastPairs))
      badInput(path, table.firstLine, "",
               "the table that starts here holds " + NtoS(table.female.size()) +
                   (table.female.size() == 1 ? " pair" : " pairs") + ": at least " +
                   NtoS(kLeastPairs) + " are needed for a correlation");
    if (!summable(table.female, table.male)) badInput(path, table.firstLine, "", kTooLarge);
    onTable(table, *layout);
  };
  return readGroupedFile(path, announce, columns, reader);
}

Traits readPopulation(const std::string& path) {
  const FileColumns columns{
      {"sex", "trait"}, {"sex", "trait"}, "sex (female or male) and trait", {}, {}, false};
  Traits traits;
  resetLimits(traits);
  const FileLayout* layout = nullptr;
  GroupedRows reader;
  reader.start = [&](const FileLayout& file, long long, int, std::vector<std::string>) {
    layout = &file;
  };
  reader.row = [&](const std::vector<std::string>& cells, int line) {
    const std::string& sex = cells[static_cast<std::size_t>(layout->role[0])];
    const std::optional<bool> female = femaleOf(sex);
    if (!female)
      badInput(path, line, "sex", "\"" + sex + "\" is neither female nor male (or F, M)");
    const double value = traitOf(cells, layout->role[1], *layout, line);
    if (*female) {
      traits.female.push_back(value);
      updateLimits(value, traits.femaleMin, traits.femaleMax);
    } else {
      traits.male.push_back(value);
      updateLimits(value, traits.maleMin, traits.maleMax);
    }
  };
  reader.finish = [] {};
  readGroupedFile(path, true, columns, reader);
  if (!summable(traits.female, traits.male)) badInput(path, 0, "trait", kTooLarge);
  for (const auto& [values, sex] : {std::pair{&traits.female, "female"}, {&traits.male, "male"}}) {
    if (values->empty()) badInput(path, 0, "sex", std::string("the population has no ") + sex);
    if (!(variance(*values) > 0.0))
      badInput(path, 0, "trait",
               std::string("the traits of the ") + sex +
                   "s do not vary: selection on them cannot be measured");
  }
  return traits;
}

void checkPairsVary(const TraitTable& table, const FileLayout& layout) {
  for (const auto& [values, sex] : {std::pair{&table.female, "female"}, {&table.male, "male"}})
    if (!(variance(*values) > 0.0))
      badInput(layout.path, table.firstLine, std::string(sex) + "_trait",
               groupTitle(table.number, layout.groupNames, table.groupValues) + ": the " + sex +
                   " traits do not vary, and without --population its mated individuals stand "
                   "for the population, which must vary");
}

Traits populationOfPairs(const TraitTable& table) {
  Traits traits;
  resetLimits(traits);
  traits.female = table.female;
  traits.male = table.male;
  for (double t : traits.female) updateLimits(t, traits.femaleMin, traits.femaleMax);
  for (double t : traits.male) updateLimits(t, traits.maleMin, traits.maleMax);
  return traits;
}

void checkPopulationSize(const TraitTable& table, const FileLayout& layout,
                         const Traits& population, const std::string& populationName,
                         EncounterProcess process) {
  const int nfem = static_cast<int>(population.female.size());
  const int nmale = static_cast<int>(population.male.size());
  const auto pairs = static_cast<std::int64_t>(table.female.size());
  if (pairs <= sampleCapacity(process, nfem, nmale)) return;
  const bool replacement = process == EncounterProcess::WithReplacement;
  badInput(layout.path, table.firstLine, "",
           groupTitle(table.number, layout.groupNames, table.groupValues) + " holds " +
               NtoS(pairs) + " pairs, more than the population (" + populationName + ": " +
               NtoS(nfem) + " females, " + NtoS(nmale) + " males) can give " +
               (replacement ? "even with replacement"
                            : "when every individual mates once (encounters without "
                              "replacement)"));
}

}  // namespace pairlab
