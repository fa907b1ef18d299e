// The run ledger "Pairlab_runs.tsv" of an output directory: one row per run, with its settled
// options and the files it writes; and the rule that keeps a run from replacing the files of an
// earlier run of other settings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pairlab {

inline constexpr const char* kLedgerFile = "Pairlab_runs.tsv";

// The run's row of the ledger, as the driver describes it and the run completes it.
struct LedgerEntry {
  std::string runId;
  std::string startTime;  // ISO 8601, UTC
  std::string version;
  std::string seed;
  std::string commandLine;
  std::vector<std::string> optionNames;   // one column per option, in this order
  std::vector<std::string> optionValues;  // their settled values
  // Options given on the command line that have no effect on the run as settled (with their
  // dash), and notes of what the run changed in its input (a frequency moved into range).
  std::vector<std::string> notApplied;
  std::vector<std::string> notes;
  std::string outputs;  // the files the run writes (describeFiles)
};

// What the ledger adds when the run ends.
struct LedgerEnd {
  std::string endTime;  // empty while the run goes on
  std::string status;
  std::int64_t filesCompleted = 0;
  std::string message;
};

// Writes the run's row (the line that starts with its id) into the ledger at path: replaced
// when it is there, appended otherwise. A ledger written with other columns (by another version)
// is rewritten with the columns of this one, every cell kept under its column's name.
void putLedgerRow(const std::string& path, const LedgerEntry& entry, const LedgerEnd& end);

// The files a run writes into its directory: replicate files prefix + number + suffix for the
// numbers first..last (none when last < first), and files of the whole run.
struct RunFiles {
  std::string prefix;
  std::string suffix = ".txt";
  std::int64_t first = 1, last = 0;
  std::vector<std::string> runFiles;
};

// As the ledger's "outputs" column shows them: "P_{1..20}.txt P_Correl.txt"; and back.
std::string describeFiles(const RunFiles& files);
RunFiles parseFiles(const std::string& text);

// A file both would write for which `counts` holds ("" when none): the first in the order of a's
// files.
std::string sharedFile(
    const RunFiles& a, const RunFiles& b,
    const std::function<bool(const std::string&)>& counts = [](const std::string&) {
      return true;
    });

// Stops the run when a file it will write is in `directory`, written by an earlier run of its
// ledger with other settings (options other than the seeds and the reporting options):
// a run replaces only the files of a run of the same settings. The message names the file, the
// earlier run and the options that differ, and how to keep both.
void checkNoOverwrite(const std::string& directory, const LedgerEntry& entry,
                      const RunFiles& files);

}  // namespace pairlab
