// The tables pairlab-analyze reads: tab- or comma-separated, a header line, then rows. Some
// columns have a role in the reader; every other column groups the rows: the rows with the same
// values in all of them are one table, and the rows of a table follow one another. Bad input
// stops the run with a message naming the file, the line and the column.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pairlab {

// What a reader knows of its file's columns.
struct FileColumns {
  std::vector<std::string> roles;     // the columns it reads, by name
  std::vector<std::string> required;  // those it cannot do without
  std::string needed;                 // what a file needs, said when a required column is missing
  std::vector<std::string> ignored;   // columns that neither have a role nor group the rows
  std::vector<std::string> reserved;  // names a grouping column may not take
  bool grouping = true;               // false: every other column is ignored (one table)
};

// The columns of a file and what each one is.
struct FileLayout {
  std::string path;
  char separator = '\t';
  std::vector<std::string> header;
  std::vector<int> role;                // position of each of FileColumns::roles, -1 when absent
  std::vector<int> groupColumns;        // positions of the grouping columns, in file order
  std::vector<std::string> groupNames;  // their names
};

// What a reader does with the rows of a file.
struct GroupedRows {
  // A table starts: its number (from 1, in the order of the file), the line of its first row
  // and the values of its grouping columns.
  std::function<void(const FileLayout&, long long number, int line,
                     std::vector<std::string> groupValues)>
      start;
  std::function<void(const std::vector<std::string>& cells, int line)> row;
  std::function<void()> finish;  // after the last row of a table
};

// Reads path, calling the reader's functions for every table; stops with a message on bad input
// (a header without a required column, rows of a table apart from one another, a row with more
// or fewer cells than the header, no rows). With announce false the file is read without the
// "Reading file" line.
FileLayout readGroupedFile(const std::string& path, bool announce, const FileColumns& columns,
                           const GroupedRows& reader);

// Stops the run: "Bad input in <path>, line <line>, column <column>: <reason>" (no line when it
// is 0, no column when it is empty).
[[noreturn]] void badInput(const std::string& path, int line, const std::string& column,
                           const std::string& reason);

// The cells of one line of the file: fields split at the separator, a field in double quotes
// taking separators and doubled quotes as text, blanks around a field trimmed.
std::vector<std::string> splitFields(std::string_view line, char separator);

// A short name of a table for messages: "table 3 (file 12, run_id 7-...)".
std::string groupTitle(long long number, const std::vector<std::string>& groupNames,
                       const std::vector<std::string>& groupValues);

// Words joined by blanks.
std::string joinedWords(const std::vector<std::string>& words);

}  // namespace pairlab
