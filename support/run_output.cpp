#include "support/run_output.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

#include "support/format.hpp"
#include "support/interrupt.hpp"
#include "support/output.hpp"

namespace pairlab {

namespace {

// The fixed columns of the ledger, before the options.
const char* const kLedgerColumns[] = {"run_id",          "start_time", "end_time",
                                      "version",         "seed",       "status",
                                      "files_completed", "message",    "command_line"};

std::string join(const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += '\t';
    line += cells[i];
  }
  return line + '\n';
}

// The columns after the options.
const char* const kLedgerEndColumns[] = {"not_applied", "notes"};

std::string joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

std::string ledgerHeader(const LedgerEntry& e) {
  std::vector<std::string> cells(std::begin(kLedgerColumns), std::end(kLedgerColumns));
  cells.insert(cells.end(), e.optionNames.begin(), e.optionNames.end());
  cells.insert(cells.end(), std::begin(kLedgerEndColumns), std::end(kLedgerEndColumns));
  return join(cells);
}

std::string ledgerRow(const LedgerEntry& e, const std::string& endTime, const std::string& status,
                      std::int64_t files, const std::string& message) {
  std::vector<std::string> cells = {e.runId,
                                    e.startTime,
                                    endTime,
                                    e.version,
                                    e.seed,
                                    status,
                                    std::to_string(files),
                                    tableCell(message),
                                    tableCell(e.commandLine)};
  for (const std::string& v : e.optionValues) cells.push_back(tableCell(v));
  cells.push_back(tableCell(joined(e.notApplied, " ")));
  cells.push_back(tableCell(joined(e.notes, "; ")));
  return join(cells);
}

// Replaces the row of the run (the line that starts with its id) and writes the ledger whole.
void replaceLedgerRow(const std::string& path, const std::string& runId, const std::string& row) {
  std::ifstream in(path);
  std::string line, text;
  bool replaced = false;
  while (std::getline(in, line)) {
    if (!replaced && line.compare(0, runId.size() + 1, runId + '\t') == 0) {
      text += row;
      replaced = true;
    } else {
      text += line + '\n';
    }
  }
  if (!replaced) text += row;
  ResultFile file(path);
  file.text() = std::move(text);
  file.commit();
}

}  // namespace

std::string isoTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char tail[8];
  std::snprintf(tail, sizeof tail, ".%03dZ", static_cast<int>(millis));
  return std::string(text, n) + tail;
}

std::string tableCell(const std::string& text) {
  std::string cell;
  for (char c : text) cell += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
  const std::size_t first = cell.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  const std::size_t last = cell.find_last_not_of(' ');
  std::string trimmed = cell.substr(first, last - first + 1);
  std::string single;  // runs of blanks become one
  for (char c : trimmed)
    if (!(c == ' ' && !single.empty() && single.back() == ' ')) single += c;
  return single;
}

TableRow& TableRow::text(const std::string& v) {
  out += tableCell(v);
  out += '\t';
  return *this;
}

TableRow& TableRow::number(double v) {
  appendShortest(out, v);
  out += '\t';
  return *this;
}

TableRow& TableRow::integer(std::int64_t v) {
  appendInteger(out, v);
  out += '\t';
  return *this;
}

TableRow& TableRow::missing() {
  out += "NA\t";
  return *this;
}

void TableRow::end() { out.back() = '\n'; }

RunOutput::RunOutput(LedgerEntry entry, int tidy, Progress::Mode progress)
    : entry_(std::move(entry)), tidy_(tidy), progress_(progress) {}

RunOutput::~RunOutput() {
  if (lock_ >= 0) ::close(lock_);
}

void RunOutput::openDirectory(const std::string& name) {
  createOutputDirectory(name);
  if (lock_ >= 0) ::close(lock_);
  lock_ = lockOutputDirectory(name);
  directory_ = name;
  if (entry_.runId.empty()) return;  // a run without a ledger description (tests)
  opened_ = true;
  appendTableRows(directory_ + "/" + kLedgerFile, ledgerHeader(entry_),
                  ledgerRow(entry_, "", "", 0, ""));
}

void RunOutput::appendTable(const char* name, const std::string& header, const std::string& rows) {
  appendTableRows(directory_ + "/" + name, header, rows);
}

void RunOutput::note(const std::string& text) {
  progress_.clear();
  std::cerr << text << '\n';
  entry_.notes.push_back(text);
}

void RunOutput::planFiles(std::int64_t count) { planned_ = count; }

void RunOutput::fileDone(std::int64_t number) {
  ++completed_;
  noteFileCompleted(number);
  progress_.files(completed_, planned_);
}

void RunOutput::finish(int status, const std::string& message) {
  progress_.clear();
  if (!opened_) return;
  opened_ = false;
  replaceLedgerRow(directory_ + "/" + kLedgerFile, entry_.runId,
                   ledgerRow(entry_, isoTimeNow(), std::to_string(status), completed_, message));
}

}  // namespace pairlab
