// What a run leaves in its output directory besides its result files, and what it reports while
// it goes: the directory itself (created once and locked), the run's row in the ledger
// "Pairlab_runs.tsv", the tidy tables, the files completed and the progress line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/diagnostics.hpp"
#include "support/ledger.hpp"
#include "support/progress.hpp"

namespace pairlab {

class RunOutput {
 public:
  RunOutput() = default;
  // checkOnly: the run checks its set-up and writes nothing (see startFiles); parent: the folder
  // the output directory goes into ("" for the working directory), created when missing.
  RunOutput(LedgerEntry entry, int tidy, Progress::Mode progress, bool checkOnly = false,
            std::string parent = "");
  RunOutput(const RunOutput&) = delete;
  RunOutput& operator=(const RunOutput&) = delete;
  ~RunOutput();  // releases the directory's lock

  // Creates (or reuses) the output directory `name` inside the parent folder, takes its lock and
  // appends the run's ledger row; returns the directory's path, which the run's files go into.
  // A check creates nothing.
  const std::string& openDirectory(const std::string& name);
  const std::string& directory() const { return directory_; }

  // Before the first file: the files the run will write, and how many replicates. Stops the run
  // when one of them belongs to an earlier run of other settings (checkNoOverwrite) and records
  // them in the ledger row. Returns false for a check, which ends here: it prints the output
  // directory and writes nothing.
  [[nodiscard]] bool startFiles(const RunFiles& files, std::int64_t count);
  bool checkOnly() const { return checkOnly_; }

  // A warning that lets the run go on: on standard output, and appended to the diagnostics file
  // (Pairlab.warning unless said) unless the run is a check.
  void warn(const std::string& text, const char* file = kWarningFile);

  const std::string& runId() const { return entry_.runId; }

  // -tidy: 0 none, 1 the tables, 2 also the pairs of the continuous road.
  int tidy() const { return tidy_; }
  // Appends a replicate's rows to the table `name` of the output directory.
  void appendTable(const char* name, const std::string& header, const std::string& rows);

  // Each file (replicate) done.
  // A unit whose results are not written yet (they wait for the end of the run) is left out of
  // the report of an interruption.
  void fileDone(std::int64_t number, bool written = true);
  std::int64_t filesCompleted() const { return completed_; }
  // An option given on the command line that has no effect on the run as settled: one line on
  // standard error ("Not applied: -MRmax: why"), and the ledger row's "not_applied" column.
  void notApplied(const std::string& option, const std::string& reason);

  // A note on what the run changed in its input: one line on standard error, and the ledger
  // row's "notes" column.
  void note(const std::string& text);

  // A phase of a long set-up, for the progress line.
  void phase(const std::string& what) { progress_.phase(what); }
  void clearProgress() { progress_.clear(); }

  // The end of the run: completes the ledger row (when the directory was opened) with the end
  // time, exit status, files completed and stop message.
  void finish(int status, const std::string& message);

 private:
  void writeLedgerRow(const LedgerEnd& end);

  LedgerEntry entry_;
  int tidy_ = 0;
  Progress progress_;
  bool checkOnly_ = false;
  std::string parent_;
  std::string directory_;
  bool opened_ = false;
  int lock_ = -1;
  std::int64_t planned_ = 0;
  std::int64_t completed_ = 0;
};

// The current time in ISO 8601, UTC, with milliseconds ("2026-12-08T10:11:12.345Z").
std::string isoTimeNow();

// The cells of one row of a tidy table, each followed by a tab but the last by a line feed.
struct TableRow {
  std::string& out;
  TableRow& text(const std::string& v);
  TableRow& number(double v);  // shortest text that reads back to the same double
  TableRow& integer(std::int64_t v);
  TableRow& missing();  // "NA"
  void end();
};

// A value as a cell of a tab-separated table: tabs and line breaks become blanks, and the text
// is trimmed.
std::string tableCell(const std::string& text);

}  // namespace pairlab
