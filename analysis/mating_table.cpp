#include "analysis/mating_table.hpp"

#include <charconv>
#include <cmath>
#include <memory>
#include <unordered_map>

#include "support/diagnostics.hpp"
#include "support/format.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

constexpr const char* kFemaleType = "female_type";
constexpr const char* kMaleType = "male_type";
constexpr const char* kMatings = "matings";
constexpr const char* kFemalePremating = "female_premating";
constexpr const char* kMalePremating = "male_premating";

// Where bad input was found.
struct Place {
  const std::string& path;
  int line;
};

[[noreturn]] void badInput(const Place& at, const std::string& column, const std::string& reason) {
  pairlab::badInput(at.path, at.line, column, reason);
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The columns with a role, in the order of FileLayout::role.
const std::vector<std::string> kRoles = {kFemaleType, kMaleType, kMatings, kFemalePremating,
                                         kMalePremating};

TableLayout tableLayoutOf(const FileLayout& file) {
  TableLayout layout;
  layout.path = file.path;
  layout.separator = file.separator;
  layout.header = file.header;
  layout.femaleType = file.role[0];
  layout.maleType = file.role[1];
  layout.matings = file.role[2];
  layout.femalePremating = file.role[3];
  layout.malePremating = file.role[4];
  layout.groupColumns = file.groupColumns;
  layout.groupNames = file.groupNames;
  return layout;
}

// One row of a table.
struct Cell {
  int female = 0, male = 0;
  double count = 0.0;
  int line = 0;
};

// The table being read: its rows so far, its types and their numbers.
class TableBuilder {
 public:
  explicit TableBuilder(const TableLayout& layout) : layout_(layout) {}

  void start(std::vector<std::string> groupValues, int line, long long number) {
    table_ = MatingTable{};
    table_.number = number;
    table_.firstLine = line;
    table_.groupValues = std::move(groupValues);
    femaleIndex_.clear();
    maleIndex_.clear();
    cells_.clear();
  }

  void addRow(const std::vector<std::string>& cells, int line) {
    const Place at{layout_.path, line};
    Cell cell;
    cell.line = line;
    cell.female = typeOf(cells, layout_.femaleType, layout_.femalePremating, at, femaleIndex_,
                         table_.femaleTypes, table_.femaleNumbers, "female");
    cell.male = typeOf(cells, layout_.maleType, layout_.malePremating, at, maleIndex_,
                       table_.maleTypes, table_.maleNumbers, "male");
    cell.count = 1.0;
    if (layout_.matings >= 0) cell.count = number(cells, layout_.matings, at);
    cells_.push_back(cell);
  }

  // The table once its last row is read, after the checks that need all of it.
  const MatingTable& finish() {
    const std::size_t k1 = table_.femaleTypes.size(), k2 = table_.maleTypes.size();
    const Place first{layout_.path, table_.firstLine};
    if (static_cast<double>(k1) * static_cast<double>(k2) > static_cast<double>(kMaxTypePairs))
      badInput(first, "",
               "the table has " + NtoS(k1) + " female by " + NtoS(k2) +
                   " male types, beyond the limit of " + NtoS(kMaxTypePairs) + " type pairs");
    table_.matings.assign(k1, std::vector<double>(k2, 0.0));
    std::vector<int> lineOf(k1 * k2, 0);
    for (const Cell& c : cells_) {
      int& seenOn = lineOf[static_cast<std::size_t>(c.female) * k2 + c.male];
      if (seenOn != 0 && layout_.matings >= 0)
        badInput({layout_.path, c.line}, "",
                 "the pair of female type " + table_.femaleTypes[c.female] + " and male type " +
                     table_.maleTypes[c.male] + " is already on line " + NtoS(seenOn) +
                     " of this table: give each pair of types once");
      if (seenOn == 0) seenOn = c.line;
      table_.matings[c.female][c.male] += c.count;
      table_.sampleSize += c.count;
      if (c.count != std::floor(c.count)) table_.wholeMatings = false;
    }
    if (!(table_.sampleSize > 0.0))
      badInput(first, layout_.matings >= 0 ? kMatings : "",
               "the table that starts here holds no matings");
    for (const Cell& c : cells_) {
      if (!(c.count > 0.0)) continue;
      if (table_.femaleNumbers[c.female] == 0.0)
        badInput({layout_.path, c.line}, kFemalePremating,
                 "female type " + table_.femaleTypes[c.female] +
                     " mated but has a premating number of 0");
      if (table_.maleNumbers[c.male] == 0.0)
        badInput(
            {layout_.path, c.line}, kMalePremating,
            "male type " + table_.maleTypes[c.male] + " mated but has a premating number of 0");
    }
    return table_;
  }

 private:
  double number(const std::vector<std::string>& cells, int column, const Place& at) const {
    double value = 0.0;
    const std::string reason = readCount(cells[column], value);
    if (!reason.empty()) badInput(at, layout_.header[column], reason);
    return value;
  }

  // The type of a row (added when new) after the check of its premating number.
  int typeOf(const std::vector<std::string>& cells, int typeColumn, int numberColumn,
             const Place& at, std::unordered_map<std::string, int>& index,
             std::vector<std::string>& labels, std::vector<double>& numbers, const char* sex) {
    const std::string& label = cells[typeColumn];
    if (label.empty()) badInput(at, layout_.header[typeColumn], "the type is empty");
    const double value = number(cells, numberColumn, at);
    const auto [it, added] = index.try_emplace(label, static_cast<int>(labels.size()));
    if (added) {
      labels.push_back(label);
      numbers.push_back(value);
    } else if (numbers[it->second] != value) {
      badInput(at, layout_.header[numberColumn],
               shortestText(value) + " for " + sex + " type " + label + ", which an earlier row " +
                   "of this table gives " + shortestText(numbers[it->second]) +
                   ": the premating number of a type must be the same on all its rows");
    }
    return it->second;
  }

  const TableLayout& layout_;
  MatingTable table_;
  std::unordered_map<std::string, int> femaleIndex_, maleIndex_;
  std::vector<Cell> cells_;
};

}  // namespace

const std::vector<std::string>& reservedColumnNames() {
  static const std::vector<std::string> names = {
      "table",        "sample_size", "index",    "value",    "df",        "statistic",
      "p_chisq",      "p_null",      "se_null",  "p_perm",   "se_perm",   "null_replicates",
      "permutations", "note",        "observed", "expected", "PTI",       "PSI",
      "PSS",          "propensity",  "model",    "K",        "loglik",    "AICc",
      "BIC",          "delta_AICc",  "weight",   "rank",     "parameter", "estimate",
      "se",           "test",        "bin",      "lower",    "upper"};
  return names;
}

std::string readCount(const std::string& cell, double& value) {
  if (cell.empty()) return "the cell is empty";
  const char* end = cell.data() + cell.size();
  const auto [ptr, error] = std::from_chars(cell.data(), end, value);
  if (error != std::errc() || ptr != end) return quoted(cell) + " is not a number";
  if (!std::isfinite(value)) return quoted(cell) + " is not a finite number";
  if (value < 0.0) return quoted(cell) + " is negative";
  if (value == 0.0) value = 0.0;  // no negative zero
  return "";
}

std::string tableName(const MatingTable& table, const TableLayout& layout) {
  return groupTitle(table.number, layout.groupNames, table.groupValues);
}

TableLayout readMatingTables(
    const std::string& path, bool announce,
    const std::function<void(const MatingTable&, const TableLayout&)>& onTable) {
  const FileColumns columns{
      kRoles,
      {kFemaleType, kMaleType, kFemalePremating, kMalePremating},
      "female_type male_type female_premating male_premating, and matings unless every row is "
      "one mated pair",
      {},
      reservedColumnNames()};
  TableLayout layout;
  std::unique_ptr<TableBuilder> builder;
  GroupedRows reader;
  reader.start = [&](const FileLayout& file, long long number, int line,
                     std::vector<std::string> groupValues) {
    if (!builder) {
      layout = tableLayoutOf(file);
      builder = std::make_unique<TableBuilder>(layout);
    }
    builder->start(std::move(groupValues), line, number);
  };
  reader.row = [&](const std::vector<std::string>& cells, int line) {
    builder->addRow(cells, line);
  };
  reader.finish = [&] { onTable(builder->finish(), layout); };
  readGroupedFile(path, announce, columns, reader);
  return layout;
}

}  // namespace pairlab
