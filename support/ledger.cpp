#include "support/ledger.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "support/diagnostics.hpp"
#include "support/output.hpp"
#include "support/run_output.hpp"
#include "support/text.hpp"

namespace pairlab {

namespace {

// The columns before the options, and those after them.
const char* const kLedgerColumns[] = {"run_id",          "start_time", "end_time",
                                      "version",         "seed",       "status",
                                      "files_completed", "message",    "command_line"};
const char* const kLedgerEndColumns[] = {"not_applied", "notes", "outputs"};

// Options that do not make one run's results differ from another's: the seeds, and what a run
// reports or where (pairlab-analyze's out and show among them), and how many threads it runs on.
const char* const kNotSettings[] = {"fixseed",   "popseed", "verbose", "progress", "tidy",
                                    "checkonly", "outdir",  "out",     "show",     "threads"};

// The files of a run recorded by a version of the program that did not record them.
constexpr const char* kUnknownFiles = "unknown";

using Cells = std::vector<std::string>;

Cells splitCells(const std::string& line) {
  Cells cells;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    cells.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return cells;
    start = tab + 1;
  }
}

std::string joinCells(const Cells& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) line += (i > 0 ? "\t" : "") + cells[i];
  return line + '\n';
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

Cells headerOf(const LedgerEntry& e) {
  Cells cells(std::begin(kLedgerColumns), std::end(kLedgerColumns));
  cells.insert(cells.end(), e.optionNames.begin(), e.optionNames.end());
  cells.insert(cells.end(), std::begin(kLedgerEndColumns), std::end(kLedgerEndColumns));
  return cells;
}

Cells rowOf(const LedgerEntry& e, const LedgerEnd& end) {
  Cells cells = {e.runId,
                 e.startTime,
                 end.endTime,
                 e.version,
                 e.seed,
                 end.status,
                 NtoS(end.filesCompleted),
                 tableCell(end.message),
                 tableCell(e.commandLine)};
  for (const std::string& v : e.optionValues) cells.push_back(tableCell(v));
  cells.push_back(tableCell(joined(e.notApplied, " ")));
  cells.push_back(tableCell(joined(e.notes, "; ")));
  cells.push_back(tableCell(e.outputs));
  return cells;
}

// The ledger as read: its header and rows (none when there is no ledger).
struct Ledger {
  Cells header;
  std::vector<Cells> rows;
  // The cell of a row under a column's name ("" when the ledger has no such column).
  std::string cell(const Cells& row, const std::string& column) const {
    const auto at = std::find(header.begin(), header.end(), column);
    const auto i = static_cast<std::size_t>(at - header.begin());
    return at != header.end() && i < row.size() ? row[i] : std::string();
  }
  bool hasColumn(const std::string& column) const {
    return std::find(header.begin(), header.end(), column) != header.end();
  }
};

Ledger readLedger(const std::string& path) {
  Ledger ledger;
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return ledger;
  ledger.header = splitCells(line);
  while (std::getline(in, line))
    if (!line.empty()) ledger.rows.push_back(splitCells(line));
  return ledger;
}

bool isSetting(const std::string& column) {
  return std::find(std::begin(kNotSettings), std::end(kNotSettings), column) ==
         std::end(kNotSettings);
}

// "-N: 200 then, 1000 now" for every option of the entry whose settled value differs from the
// earlier row's; options the earlier ledger has no column for are not compared.
std::vector<std::string> differences(const Ledger& ledger, const Cells& row,
                                     const LedgerEntry& entry) {
  std::vector<std::string> found;
  for (std::size_t i = 0; i < entry.optionNames.size(); ++i) {
    const std::string& name = entry.optionNames[i];
    if (!isSetting(name) || !ledger.hasColumn(name)) continue;
    const std::string then = ledger.cell(row, name), now = tableCell(entry.optionValues[i]);
    if (then == now) continue;
    std::string option = entry.optionDashes + name;
    const std::size_t underscore = name.rfind('_');
    if (underscore != std::string::npos && name.find_first_not_of("0123456789", underscore + 1) ==
                                               std::string::npos)  // bimodal_2: a value of -bimodal
      option = entry.optionDashes + name.substr(0, underscore) + " (value " +
               name.substr(underscore + 1) + ")";
    found.push_back(option + ": " + then + " then, " + now + " now");
  }
  return found;
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// The first of the files that is already in the directory ("" when none).
std::string firstExisting(const std::string& directory, const RunFiles& files) {
  for (const std::string& name : files.runFiles)
    if (exists(directory + "/" + name)) return name;
  for (std::int64_t n = files.first; n <= files.last; ++n) {
    const std::string name = files.prefix + NtoS(n) + files.suffix;
    if (exists(directory + "/" + name)) return name;
  }
  return "";
}

[[noreturn]] void stopOverwrite(const std::string& directory, const std::string& file,
                                const Ledger& ledger, const Cells& row,
                                const std::vector<std::string>& differing,
                                const LedgerEntry& entry) {
  std::string text = "\nThe file " + directory + "/" + file + " was written by the run " +
                     ledger.cell(row, "run_id") + " (" + ledger.cell(row, "command_line") +
                     "), whose settings differ from this run's:";
  for (const std::string& d : differing) text += "\n  " + d;
  text += "\nA run replaces only the files of an earlier run of the same settings. To keep both, " +
          entry.elsewhere + "\n";
  stopRun(text, 1);
}

}  // namespace

void putLedgerRow(const std::string& path, const LedgerEntry& entry, const LedgerEnd& end) {
  Ledger ledger = readLedger(path);
  const Cells header = headerOf(entry);
  std::string text = joinCells(header);
  const std::string prefix = entry.runId + '\t';
  bool replaced = false;
  for (const Cells& row : ledger.rows) {
    Cells cells;
    if (ledger.header == header) {
      cells = row;
    } else {  // another version's columns: every cell under its column's name
      for (const std::string& column : header) cells.push_back(ledger.cell(row, column));
      // A version without the column did not say which files its runs wrote.
      if (!ledger.hasColumn("outputs")) cells[header.size() - 1] = kUnknownFiles;
    }
    if (!replaced && !row.empty() && row[0] == entry.runId) {
      cells = rowOf(entry, end);
      replaced = true;
    }
    text += joinCells(cells);
  }
  if (!replaced) text += joinCells(rowOf(entry, end));
  ResultFile file(path);
  file.text() = std::move(text);
  file.commit();
}

std::string describeFiles(const RunFiles& files) {
  std::vector<std::string> items;
  if (files.first <= files.last)
    items.push_back(files.prefix + "{" + NtoS(files.first) + ".." + NtoS(files.last) + "}" +
                    files.suffix);
  items.insert(items.end(), files.runFiles.begin(), files.runFiles.end());
  return joined(items, " ");
}

RunFiles parseFiles(const std::string& text) {
  RunFiles files;
  for (const std::string& item : get_words(text)) {
    const std::size_t open = item.find('{'), dots = item.find("..", open),
                      close = item.find('}', dots);
    const std::optional<std::int64_t> first =
        open != std::string::npos && dots != std::string::npos && close != std::string::npos
            ? readWhole(item.substr(open + 1, dots - open - 1), 0, INT64_MAX)
            : std::nullopt;
    const std::optional<std::int64_t> last =
        first ? readWhole(item.substr(dots + 2, close - dots - 2), 0, INT64_MAX) : std::nullopt;
    if (!last) {
      files.runFiles.push_back(item);
      continue;
    }
    files.prefix = item.substr(0, open);
    files.suffix = item.substr(close + 1);
    files.first = *first;
    files.last = *last;
  }
  return files;
}

std::string sharedFile(const RunFiles& a, const RunFiles& b,
                       const std::function<bool(const std::string&)>& counts) {
  // Does `files` write the file called name?
  const auto writes = [](const RunFiles& files, const std::string& name) {
    if (std::find(files.runFiles.begin(), files.runFiles.end(), name) != files.runFiles.end())
      return true;
    const std::size_t p = files.prefix.size(), s = files.suffix.size();
    if (files.first > files.last || name.size() <= p + s || name.compare(0, p, files.prefix) != 0 ||
        name.compare(name.size() - s, s, files.suffix) != 0)
      return false;
    const std::string digits = name.substr(p, name.size() - p - s);
    const std::optional<std::int64_t> n = readWhole(digits, 0, INT64_MAX);
    return n && NtoS(*n) == digits && *n >= files.first && *n <= files.last;
  };
  for (const std::string& name : a.runFiles)
    if (writes(b, name) && counts(name)) return name;
  if (a.first > a.last) return "";
  if (a.prefix == b.prefix && a.suffix == b.suffix) {
    for (std::int64_t n = std::max(a.first, b.first); n <= std::min(a.last, b.last); ++n) {
      const std::string name = a.prefix + NtoS(n) + a.suffix;
      if (counts(name)) return name;
    }
    return "";
  }
  for (const std::string& name : b.runFiles)  // a replicate file of a is a run file of b
    if (writes(a, name) && counts(name)) return name;
  return "";
}

void checkNoOverwrite(const std::string& directory, const LedgerEntry& entry,
                      const RunFiles& files) {
  const Ledger ledger = readLedger(directory + "/" + kLedgerFile);
  const Cells* undescribed = nullptr;  // a row of an earlier version, without its files
  std::vector<std::string> undescribedDifferences;
  for (const Cells& row : ledger.rows) {
    if (row.empty() || row[0] == entry.runId) continue;
    const std::vector<std::string> differing = differences(ledger, row, entry);
    if (differing.empty()) continue;  // a rerun replaces its files
    const std::string outputs =
        ledger.hasColumn("outputs") ? ledger.cell(row, "outputs") : kUnknownFiles;
    if (outputs == kUnknownFiles) {
      undescribed = &row;
      undescribedDifferences = differing;
      continue;
    }
    const std::string shared = sharedFile(files, parseFiles(outputs), [&](const std::string& name) {
      return exists(directory + "/" + name);
    });
    if (!shared.empty()) stopOverwrite(directory, shared, ledger, row, differing, entry);
  }
  if (undescribed == nullptr) return;
  const std::string existing = firstExisting(directory, files);
  if (!existing.empty())
    stopOverwrite(directory, existing, ledger, *undescribed, undescribedDifferences, entry);
}

}  // namespace pairlab
