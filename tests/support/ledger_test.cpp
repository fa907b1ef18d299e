#include "support/ledger.hpp"

#include <gtest/gtest.h>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

RunFiles replicates(std::string prefix, std::int64_t first, std::int64_t last,
                    std::vector<std::string> runFiles = {}) {
  return RunFiles{std::move(prefix), ".txt", first, last, std::move(runFiles)};
}

TEST(Ledger, FilesTwoRunsShare) {
  struct Case {
    RunFiles a, b;
    const char* shared;
  };
  const Case cases[] = {
      {replicates("P_", 1, 5), replicates("P_", 4, 9), "P_4.txt"},
      {replicates("P_", 1, 5), replicates("P_", 6, 9), ""},
      {replicates("P_", 1, 5), replicates("Q_", 1, 5), ""},
      {replicates("P_", 3, 4, {"P_Correl.txt"}), replicates("P_", 7, 9, {"P_Correl.txt"}),
       "P_Correl.txt"},
      // A file of the whole run of one that is a replicate file of the other.
      {replicates("P_", 1, 20), replicates("Q_", 1, 2, {"P_12.txt"}), "P_12.txt"},
      {replicates("Q_", 1, 2, {"P_12.txt"}), replicates("P_", 1, 20), "P_12.txt"},
      {replicates("Q_", 1, 2, {"P_012.txt"}), replicates("P_", 1, 20), ""},
      {replicates("P_", 1, 0, {"phenotypes.txt"}), replicates("R_", 1, 1, {"phenotypes.txt"}),
       "phenotypes.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sharedFile(c.a, c.b), c.shared) << describeFiles(c.a) << " / " << describeFiles(c.b);
    // The ledger's text of the files reads back to the same files.
    const RunFiles back = parseFiles(describeFiles(c.b));
    EXPECT_EQ(describeFiles(back), describeFiles(c.b));
    EXPECT_EQ(sharedFile(c.a, back), c.shared);
  }
  EXPECT_EQ(describeFiles(replicates("P_", 3, 4, {"P_.txt"})), "P_{3..4}.txt P_.txt");
  // Only the shared files that count: those still in the directory.
  EXPECT_EQ(sharedFile(replicates("P_", 1, 5), replicates("P_", 1, 5),
                       [](const std::string& name) { return name != "P_1.txt"; }),
            "P_2.txt");
}

// A ledger written with other columns (an earlier version) is rewritten with this version's,
// every cell under its column's name; its rows did not record their files.
class LedgerFile : public testing::InTempDir {};

TEST_F(LedgerFile, ALedgerOfAnotherVersionKeepsItsCells) {
  testing::writeFile("Pairlab_runs.tsv",
                     "run_id\tstart_time\tend_time\tversion\tseed\tstatus\tfiles_completed\t"
                     "message\tcommand_line\tN\tmodel\n"
                     "old\tt0\tt1\t1.0.0\t5\t0\t2\t\tpairlab -N 600\t600\t0\n");
  LedgerEntry entry;
  entry.runId = "new";
  entry.startTime = "t2";
  entry.version = "1.1.0";
  entry.seed = "6";
  entry.commandLine = "pairlab";
  entry.optionNames = {"model", "N", "popseed"};
  entry.optionValues = {"-1", "500", "0"};
  putLedgerRow("Pairlab_runs.tsv", entry, {});
  EXPECT_EQ(testing::readFile("Pairlab_runs.tsv"),
            "run_id\tstart_time\tend_time\tversion\tseed\tstatus\tfiles_completed\tmessage\t"
            "command_line\tmodel\tN\tpopseed\tnot_applied\tnotes\toutputs\n"
            "old\tt0\tt1\t1.0.0\t5\t0\t2\t\tpairlab -N 600\t0\t600\t\t\t\tunknown\n"
            "new\tt2\t\t1.1.0\t6\t\t0\t\tpairlab\t-1\t500\t0\t\t\t\n");
  // A file in the directory that such a run may have written stops a run of other settings.
  testing::writeFile("P_2.txt", "");
  EXPECT_THROW(checkNoOverwrite(".", entry, replicates("P_", 1, 3)), Stop);
  EXPECT_NO_THROW(checkNoOverwrite(".", entry, replicates("P_", 3, 4)));
}

}  // namespace
}  // namespace pairlab
