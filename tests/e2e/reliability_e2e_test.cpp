// No silent failure: inputs that used to hang, or exit 0 with NaN or empty results, stop with a
// message; result files are whole or absent; one run at a time in an output directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

namespace fs = std::filesystem;
using namespace testing;

class Reliability : public ::testing::Test {
 protected:
  void SetUp() override { work = makeTempDir(); }
  void TearDown() override { fs::remove_all(work); }
  RunResult run(const std::vector<std::string>& args) { return runBinary(args, work); }
  fs::path work;
};

// Each case must stop with status 1 and its message, and leave no result file.
TEST_F(Reliability, UnusableInputsStopWithAMessage) {
  struct Case {
    std::vector<std::string> args;
    const char* file;     // user file written first (nullptr: none)
    const char* content;  // its content (nullptr: a directory of that name)
    const char* message;
  };
  const char* freqs = "PairlabUserFreqs.txt";
  const char* model = "PairlabUserModel.txt";
  const std::vector<std::string> userFreqs = {"-model", "-1", "-uniform", "0", "-userfreqs", "1"};
  const Case cases[] = {
      {{"-model", "-8", "-incrfactor", "1e200", "-choicefactor", "1e200"},
       nullptr,
       nullptr,
       "Model 8 gives the pair of female type 1 and male type 1 the weight inf"},
      {{"-onematround", "0", "-model", "4", "-choicefactor", "0", "-femtypes", "1", "-maletypes",
        "1"},
       nullptr,
       nullptr,
       "Model 4 gives every pair of female and male types the weight 0: no pair can mate"},
      {{"-model", "4", "-choicefactor", "-0.5"},
       nullptr,
       nullptr,
       "Wrong -choicefactor -0.5 for model 4: it becomes a mating weight"},
      {{"-onematround", "0", "-model", "4", "-choicefactor", "-0.5"},
       nullptr,
       nullptr,
       "Wrong -choicefactor -0.5 for model 4: it becomes a mating weight"},
      {{"-model", "-60", "-choicefactor", "-1e-9"},
       nullptr,
       nullptr,
       "Wrong -choicefactor -1e-09 for model 6: it becomes a mating weight"},
      {{"-model", "-1", "-uniform", "0", "-userfreqs", "1", "-femtypes", "3", "-MPF", "0.4"},
       freqs,
       "0.3 0.3 0.4\n0.5 0.5\n",
       "-MPF 0.4 cannot be met by the 3 female frequencies of PairlabUserFreqs.txt"},
      {{"-continuous", "1", "-model", "1", "-choice", "0.5", "-mintrait", "1e308"},
       nullptr,
       nullptr,
       "cannot be rescaled into [mintrait, mintrait + Dmax] = [1e+308, 1e+308]"},
      {{"-continuous", "1", "-model", "3", "-bimodal", "0.5", "1e308", "1e308", "-fixseed", "1"},
       nullptr,
       nullptr,
       "Error: the trait of female 128 is inf as drawn"},
      {userFreqs, freqs, "", "holds no line of female frequencies"},
      {userFreqs, freqs, "# only a comment\n", "holds no line of female frequencies"},
      {userFreqs, freqs, "0.5 0.5\n", "holds no line of male frequencies"},
      {userFreqs, freqs, nullptr, "Could not open file: PairlabUserFreqs.txt"},
      {userFreqs, freqs, "0.5 nan\n0.5 0.5\n",
       "Wrong value in user file PairlabUserFreqs.txt line 1: nan is not a finite frequency"},
      {{"-model", "-5"}, model, "", "The user model file PairlabUserModel.txt holds no header"},
      {{"-model", "-5"}, model, nullptr, "Could not open file: PairlabUserModel.txt"},
      {{"-model", "-5"}, model, "2 2\n", "holds no row of weights after its header"},
  };
  for (const Case& c : cases) {
    fs::remove_all(work);
    fs::create_directory(work);
    if (c.file != nullptr && c.content != nullptr) writeFile(work / c.file, c.content);
    if (c.file != nullptr && c.content == nullptr) fs::create_directory(work / c.file);
    const RunResult r = run(c.args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    for (const std::string& f : listFiles(work))
      EXPECT_TRUE(f.rfind("Out_", 0) != 0) << c.message << ": left " << f;
  }
}

// Every word of a user file must be a number, read in full: a word that is not stops the run
// naming the file, the line, the word and what the value must look like, on every road.
TEST_F(Reliability, EveryWordOfAUserFileIsANumberReadInFull) {
  struct Case {
    std::vector<std::string> args;
    const char* file;
    const char* content;
    const char* message;  // nullptr: the run completes
  };
  const char* freqs = "PairlabUserFreqs.txt";
  const char* model = "PairlabUserModel.txt";
  const char* traits = "PairlabUserPhenotypes.txt";
  const std::vector<std::string> userFreqs = {"-model", "-1", "-uniform", "0", "-userfreqs", "1"};
  const std::vector<std::string> rounds = {"-onematround", "0", "-uniform", "0", "-userfreqs", "1"};
  const std::vector<std::string> userTraits = {
      "-continuous", "1", "-model",   "1", "-choice",         "0.5",
      "-N",          "6", "-matings", "5", "-userphenotypes", "1"};
  const Case cases[] = {
      {userFreqs, freqs, "30% 70%\n0.5 0.5\n",
       "Wrong value in user file PairlabUserFreqs.txt line 1: \"30%\" is not a number; a "
       "frequency is a number from 0 to 1"},
      {userFreqs, freqs, "abc 0.9\n0.5 0.5\n", "line 1: \"abc\" is not a number"},
      {rounds, freqs, "# f\n0.3 0.7\n0.5 0.5x\n", "line 3: \"0.5x\" is not a number"},
      {{"-femtypes", "1", "-uniform", "0", "-userfreqs", "1"},
       freqs,
       "one\n0.5 0.5\n",
       "line 1: \"one\" is not a number"},
      {userFreqs, freqs, "0.3 .7\n5e-1 0.5\n", nullptr},
      {{"-model", "-5"},
       model,
       "2 2\n1 2.5x\n1 1\n",
       "Wrong value in user model file PairlabUserModel.txt line 2: \"2.5x\" is not a number; a "
       "weight is a positive number"},
      {{"-onematround", "0", "-model", "5"},
       model,
       "2x 2\n1 1\n1 1\n",
       "Wrong header in user model file PairlabUserModel.txt line 1: \"2x\" is not a whole "
       "number"},
      {{"-model", "-5"}, model, "2 2.5\n1 1\n1 1\n", "\"2.5\" is not a whole number"},
      {{"-model", "-5"}, model, "2.0 2\n1 2.5\n0.5 1\n", nullptr},
      {userTraits, traits, "1\n2\n3cm\n4\n5\n6\n",
       "Wrong value in user phenotypes file PairlabUserPhenotypes.txt line 3: \"3cm\" is not a "
       "number; a trait is a number"},
  };
  for (const Case& c : cases) {
    fs::remove_all(work);
    fs::create_directory(work);
    writeFile(work / c.file, c.content);
    const RunResult r = run(c.args);
    if (c.message == nullptr) {
      EXPECT_EQ(r.status, 0) << c.content << r.output;
      continue;
    }
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    for (const std::string& f : listFiles(work))
      EXPECT_TRUE(f.rfind("Out_", 0) != 0) << c.message << ": left " << f;
  }
}

// A user frequency moved into [MPF, 1 - MPF] is still moved, and said so: a line on standard
// error and the same note in the run's ledger row, on both roads that read the file.
TEST_F(Reliability, MovedUserFrequenciesAreNotedOnStandardErrorAndInTheLedger) {
  const std::string note =
      "Note: user file PairlabUserFreqs.txt line 1, female type 1: the frequency 0.05 is used as "
      "0.1 (frequencies are kept within [MPF, 1 - MPF] = [0.1, 0.9])";
  const std::string second =
      "Note: user file PairlabUserFreqs.txt line 2, male type 2: the frequency 1.5 is used as 0.9 "
      "(frequencies are kept within [MPF, 1 - MPF] = [0.1, 0.9])";
  struct Case {
    std::vector<std::string> args;
    const char* content;
    std::vector<std::string> notes;
  };
  const Case cases[] = {
      {{"-uniform", "0", "-userfreqs", "1"}, "0.05 0.9\n0.5 0.5\n", {note}},
      {{"-onematround", "0", "-uniform", "0", "-userfreqs", "1"},
       "0.05 0.9\n-0.5 1.5\n",
       {note,
        "Note: user file PairlabUserFreqs.txt line 2, male type 1: the frequency -0.5 is "
        "used as 0.1 (frequencies are kept within [MPF, 1 - MPF] = [0.1, 0.9])",
        second}},
      {{"-uniform", "0", "-userfreqs", "1"}, "0.1 0.9\n0.5 0.5\n", {}},
  };
  for (const Case& c : cases) {
    fs::remove_all(work);
    fs::create_directory(work);
    writeFile(work / "PairlabUserFreqs.txt", c.content);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-fixseed", "1"});
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 0) << r.output;
    std::string lines, joined;
    for (const std::string& n : c.notes) {
      lines += n + "\n";
      joined += (joined.empty() ? "" : "; ") + n;
    }
    EXPECT_EQ(r.errors, lines);
    const std::vector<std::string> ledger =
        splitLines(readFile(outputDirectory(work) / "Pairlab_runs.tsv"));
    ASSERT_EQ(ledger.size(), 2u);
    const auto cells = [](const std::string& line) {
      std::vector<std::string> out(1);
      for (char ch : line)
        if (ch == '\t')
          out.emplace_back();
        else
          out.back().push_back(ch);
      return out;
    };
    const std::vector<std::string> header = cells(ledger[0]), row = cells(ledger[1]);
    const auto notes = std::find(header.begin(), header.end(), "notes") - header.begin();
    ASSERT_LT(notes, static_cast<std::ptrdiff_t>(row.size()));
    EXPECT_EQ(row[notes], joined);
  }
}

TEST_F(Reliability, AByteOrderMarkIsSkipped) {
  writeFile(work / "PairlabUserFreqs.txt",
            "\xEF\xBB\xBF"
            "0.3 0.7\n0.5 0.5\n");
  const RunResult r = run({"-uniform", "0", "-userfreqs", "1", "-numfiles", "2", "-fixseed", "1"});
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string data = readFile(outputDirectory(work) / "Pairlab_D_M0_a1_User500_1.txt");
  EXPECT_NE(data.find("#premating female numbers\n75.0\t175.0\t"), std::string::npos);
}

TEST_F(Reliability, AFullStandardOutputIsAFailure) {
  const std::string command = "cd '" + work.string() + "' && '" PAIRLAB_BINARY "' >/dev/full";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

// A second run into a directory that a run holds stops at once; SIGTERM leaves complete files
// only, says which were completed and leaves the ledger row without an end.
TEST_F(Reliability, OneRunPerDirectoryAndInterruptionsLeaveWholeFiles) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(work.c_str()) != 0) _exit(127);
    freopen("/dev/null", "w", stdout);
    execl(PAIRLAB_BINARY, PAIRLAB_BINARY, "-model", "-1", "-numfiles", "100000000", "-tidy", "1",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  const fs::path directory = work / "Out_Pairlab_iEM_1_a1.25_U_sample100_N500_MPF0.1";
  for (int i = 0; i < 200 && !fs::exists(directory / "Pairlab_D_iEM_M1_a1.25_U500_20.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const RunResult second = run({"-model", "-1", "-numfiles", "2"});
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.output.find("is in use by another run"), std::string::npos);

  kill(pid, SIGTERM);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  EXPECT_EQ(WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, 128 + SIGTERM);
  for (const std::string& f : listFiles(work)) EXPECT_EQ(f.find(".tmp"), std::string::npos) << f;
  EXPECT_NE(readFile(work / "Pairlab.err").find("Interrupted by SIGTERM: files 1 to "),
            std::string::npos);
  const std::vector<std::string> ledger = splitLines(readFile(directory / "Pairlab_runs.tsv"));
  ASSERT_EQ(ledger.size(), 2u);  // the refused run has no row
  EXPECT_NE(ledger[1].find("Z\t\t1.0.0\t"), std::string::npos) << ledger[1];  // no end time
}

}  // namespace
}  // namespace pairlab
