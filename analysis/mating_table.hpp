// Observed mating tables read from a tab- or comma-separated file with a header: the columns of
// the program's own Pairlab_matings.tsv, female_type, male_type, matings, female_premating and
// male_premating (matings may be left out: each row is then one mated pair). Every other column
// groups the rows: each group is one table. Bad input stops the run with a message naming the
// file, the line and the column.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/grouped_file.hpp"
#include "discrete/models.hpp"

namespace pairlab {

// The columns of the file and what each one is.
struct TableLayout {
  std::string path;
  char separator = '\t';
  std::vector<std::string> header;
  int femaleType = -1, maleType = -1, matings = -1, femalePremating = -1, malePremating = -1;
  std::vector<int> groupColumns;        // positions of the grouping columns, in file order
  std::vector<std::string> groupNames;  // their names
};

// One table: the matings of every female type by male type and the premating numbers.
struct MatingTable {
  long long number = 0;                             // from 1, in the order of the file
  int firstLine = 0;                                // line of its first row
  std::vector<std::string> groupValues;             // the values of the grouping columns
  std::vector<std::string> femaleTypes, maleTypes;  // labels, by first appearance
  std::vector<double> femaleNumbers, maleNumbers;   // premating numbers of each type
  Matrix matings;                                   // [female type][male type]
  double sampleSize = 0.0;                          // all matings
  bool wholeMatings = true;                         // every count a whole number
};

// Names the output tables use for their own columns: a grouping column may not take one.
const std::vector<std::string>& reservedColumnNames();

// Reads the tables of path in order, calling onTable with each complete table and the layout of
// the file's columns; stops with a message on bad input. With announce false the file is read
// without the "Reading file" line. Returns the layout.
TableLayout readMatingTables(
    const std::string& path, bool announce,
    const std::function<void(const MatingTable&, const TableLayout&)>& onTable);

// A count or premating number: the whole cell read as a finite number of at least 0. Returns the
// reason when it is not one ("" when it is).
std::string readCount(const std::string& cell, double& value);

// A short name of a table for messages: "table 3 (file 12, run_id 7-...)".
std::string tableName(const MatingTable& table, const TableLayout& layout);

}  // namespace pairlab
