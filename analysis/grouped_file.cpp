#include "analysis/grouped_file.hpp"

#include <algorithm>
#include <unordered_set>

#include "support/diagnostics.hpp"
#include "support/text.hpp"
#include "support/user_file.hpp"

namespace pairlab {

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The columns of the header line.
FileLayout layoutOf(const std::string& path, std::string_view line, int lineNumber,
                    const FileColumns& columns) {
  FileLayout layout;
  layout.path = path;
  layout.separator = line.find('\t') != std::string_view::npos  ? '\t'
                     : line.find(',') != std::string_view::npos ? ','
                                                                : '\t';
  layout.header = splitFields(line, layout.separator);
  layout.role.assign(columns.roles.size(), -1);
  std::unordered_set<std::string> seen;
  for (int c = 0; c < static_cast<int>(layout.header.size()); ++c) {
    const std::string& name = layout.header[c];
    if (name.empty())
      badInput(path, lineNumber, "", "column " + NtoS(c + 1) + " of the header has no name");
    if (!seen.insert(name).second)
      badInput(path, lineNumber, name, "the header names this column twice");
    const auto role = std::find(columns.roles.begin(), columns.roles.end(), name);
    if (role != columns.roles.end()) {
      layout.role[static_cast<std::size_t>(role - columns.roles.begin())] = c;
      continue;
    }
    if (!columns.grouping || listed(columns.ignored, name)) continue;
    if (listed(columns.reserved, name))
      badInput(path, lineNumber, name,
               "a grouping column may not take the name of a column of the results; rename it");
    layout.groupColumns.push_back(c);
    layout.groupNames.push_back(name);
  }
  for (const std::string& required : columns.required)
    if (seen.count(required) == 0)
      badInput(path, lineNumber, "",
               "the header has no column " + required + " (the columns are: " +
                   joinedWords(layout.header) + "; needed: " + columns.needed + ")");
  return layout;
}

}  // namespace

void badInput(const std::string& path, int line, const std::string& column,
              const std::string& reason) {
  std::string where = path;
  if (line > 0) where += ", line " + NtoS(line);
  if (!column.empty()) where += ", column " + column;
  rejectInput("\nBad input in " + where + ": " + reason + "\n");
}

std::string joinedWords(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

std::vector<std::string> splitFields(std::string_view line, char separator) {
  std::vector<std::string> fields;
  std::size_t at = 0;
  while (true) {
    std::string field;
    while (at < line.size() && line[at] == ' ') ++at;
    if (at < line.size() && line[at] == '"') {  // quoted: separators and "" are text
      for (++at; at < line.size(); ++at) {
        if (line[at] != '"') {
          field += line[at];
        } else if (at + 1 < line.size() && line[at + 1] == '"') {
          field += '"';
          ++at;
        } else {
          ++at;
          break;
        }
      }
    }
    while (at < line.size() && line[at] != separator) field += line[at++];
    fields.push_back(std::string(stripSpace(field)));
    if (at >= line.size()) break;
    ++at;  // the separator
  }
  return fields;
}

std::string groupTitle(long long number, const std::vector<std::string>& groupNames,
                       const std::vector<std::string>& groupValues) {
  std::string name = "table " + NtoS(number);
  std::string groups;
  for (std::size_t g = 0; g < groupNames.size(); ++g)
    groups += (g == 0 ? "" : ", ") + groupNames[g] + " " + groupValues[g];
  return groups.empty() ? name : name + " (" + groups + ")";
}

FileLayout readGroupedFile(const std::string& path, bool announce, const FileColumns& columns,
                           const GroupedRows& reader) {
  FileLayout layout;
  bool headerRead = false, started = false;
  long long tables = 0;
  std::string current;                       // the key of the table being read
  std::unordered_set<std::string> finished;  // keys of the tables read
  readUserFile(
      path, Strip::Both,
      [&](const DataLine& line) {
        if (!headerRead) {
          layout = layoutOf(path, line.text, line.number, columns);
          headerRead = true;
          return true;
        }
        const std::vector<std::string> cells = splitFields(line.text, layout.separator);
        if (cells.size() != layout.header.size())
          badInput(path, line.number, "",
                   NtoS(cells.size()) + " cells where the header has " +
                       NtoS(layout.header.size()) +
                       " (an empty first or last cell of a tab-separated line is not read: "
                       "write NA)");
        std::vector<std::string> groupValues;
        std::string key;
        for (int c : layout.groupColumns) {
          groupValues.push_back(cells[c]);
          key += cells[c];
          key += '\x1f';
        }
        if (!started || key != current) {
          if (started) {
            reader.finish();
            finished.insert(current);
          }
          if (finished.count(key) != 0)
            badInput(path, line.number, "",
                     "this row belongs to a table whose rows came earlier, apart from it: the "
                     "rows of a table must follow one another (sort the file by " +
                         joinedWords(layout.groupNames) + ")");
          current = key;
          started = true;
          reader.start(layout, ++tables, line.number, std::move(groupValues));
        }
        reader.row(cells, line.number);
        return true;
      },
      announce);
  if (!headerRead) badInput(path, 0, "", "the file holds no header line");
  if (!started) badInput(path, 0, "", "the file holds no rows after its header");
  reader.finish();
  return layout;
}

}  // namespace pairlab
