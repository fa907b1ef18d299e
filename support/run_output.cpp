#include "support/run_output.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

#include "support/diagnostics.hpp"
#include "support/format.hpp"
#include "support/interrupt.hpp"
#include "support/output.hpp"

namespace pairlab {

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

RunOutput::RunOutput(LedgerEntry entry, int tidy, Progress::Mode progress, bool checkOnly,
                     std::string parent)
    : entry_(std::move(entry)),
      tidy_(tidy),
      progress_(progress),
      checkOnly_(checkOnly),
      parent_(std::move(parent)) {}

RunOutput::~RunOutput() {
  if (lock_ >= 0) ::close(lock_);
}

const std::string& RunOutput::openDirectory(const std::string& name) {
  directory_ = parent_.empty() ? name : parent_ + "/" + name;
  if (checkOnly_) return directory_;
  if (!parent_.empty()) createParentFolders(parent_);
  createOutputDirectory(directory_);
  if (lock_ >= 0) ::close(lock_);
  lock_ = lockOutputDirectory(directory_);
  if (entry_.runId.empty()) return directory_;  // a run without a ledger description (tests)
  opened_ = true;
  writeLedgerRow({});
  return directory_;
}

bool RunOutput::startFiles(const RunFiles& files, std::int64_t count) {
  planned_ = count;
  checkNoOverwrite(directory_, entry_, files);
  if (checkOnly_) {
    std::cout << "\nOutput directory: " << directory_ << std::endl;
    return false;
  }
  entry_.outputs = describeFiles(files);
  if (opened_) writeLedgerRow({});
  return true;
}

void RunOutput::warn(const std::string& text, const char* file) {
  progress_.clear();
  if (checkOnly_)
    std::cout << text << std::endl;
  else
    warnRun(text, file);
}

void RunOutput::writeLedgerRow(const LedgerEnd& end) {
  putLedgerRow(directory_ + "/" + kLedgerFile, entry_, end);
}

void RunOutput::appendTable(const char* name, const std::string& header, const std::string& rows) {
  appendTableRows(directory_ + "/" + name, header, rows);
}

void RunOutput::notApplied(const std::string& option, const std::string& reason) {
  for (const std::string& listed : entry_.notApplied)
    if (listed == option) return;
  progress_.clear();
  std::cerr << "Not applied: " << option << ": " << reason << '\n';
  entry_.notApplied.push_back(option);
}

void RunOutput::note(const std::string& text) {
  progress_.clear();
  std::cerr << text << '\n';
  entry_.notes.push_back(text);
}

void RunOutput::fileDone(std::int64_t number, bool written) {
  ++completed_;
  if (written) noteFileCompleted(number);
  progress_.files(completed_, planned_);
}

void RunOutput::finish(int status, const std::string& message) {
  progress_.clear();
  if (!opened_) return;
  opened_ = false;
  writeLedgerRow({isoTimeNow(), std::to_string(status), completed_, message});
}

}  // namespace pairlab
