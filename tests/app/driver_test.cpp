// The driver, run in process: seeding, cross-option checks, population split, model decoding,
// dispatch and the mapping of every kind of stop to an exit status.
#include "app/driver.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "app/parse_args.hpp"
#include "app/usage.hpp"
#include "support/test_helpers.hpp"

namespace pairlab {
namespace {

using testing::InTempDir;
using testing::linesFrom;
using testing::readFile;
using testing::runInProcess;
namespace fs = std::filesystem;

class Driver : public InTempDir {};

// Lines of a data file from "#premating male numbers" on.
std::vector<std::string> numbersAndMatings(const fs::path& file) {
  std::vector<std::string> lines = linesFrom(file, 1);
  auto at = std::find(lines.begin(), lines.end(), "#premating male numbers");
  return std::vector<std::string>(at, lines.end());
}

TEST_F(Driver, PrintsTheFixedSeed) {
  const auto r = runInProcess({"-fixseed", "12345"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "\n\nSeed: 12345\n");
}

TEST_F(Driver, SeedsFromTheClockInMilliseconds) {
  using namespace std::chrono;
  const long long before =
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  const auto r = runInProcess({});
  const long long after =
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  ASSERT_EQ(r.output.substr(0, 8), "\n\nSeed: ");
  const long long seed = std::stoll(r.output.substr(8));
  EXPECT_GE(seed, before);
  EXPECT_LE(seed, after);
}

TEST_F(Driver, SplitsThePopulationBySexRatio) {
  ASSERT_EQ(runInProcess({"-N", "1000", "-osr", "3"}).status, 0);
  const auto lines =
      numbersAndMatings("Out_Pairlab_0_a1_U_sample100_N1000_MPF0.1/Pairlab_D_M0_a1_U1000_1.txt");
  EXPECT_EQ(lines[1], "375.0\t375.0\t");  // 750 males
  EXPECT_EQ(lines[3], "125.0\t125.0\t");  // 250 females
}

TEST_F(Driver, SmallPopulationsSwitchDriftOn) {
  ASSERT_EQ(runInProcess({"-N", "499", "-fixseed", "2"}).status, 0);
  const fs::path file =
      "Out_Pairlab_0_a1_driftU_sample100_N499_MPF0.1/Pairlab_D_M0_a1_driftU499_1.txt";
  ASSERT_TRUE(fs::exists(file));
  const auto lines = numbersAndMatings(file);
  const double males = std::stod(lines[1]) + std::stod(lines[1].substr(lines[1].find('\t')));
  const double females = std::stod(lines[3]) + std::stod(lines[3].substr(lines[3].find('\t')));
  EXPECT_EQ(males, 250.0);
  EXPECT_EQ(females, 249.0);
}

TEST_F(Driver, DefaultPopulationKeepsDriftAsGiven) {
  ASSERT_EQ(runInProcess({"-N", "500"}).status, 0);
  EXPECT_TRUE(fs::exists("Out_Pairlab_0_a1_U_sample100_N500_MPF0.1"));
}

TEST_F(Driver, ModelThreeTagCheckStopsBeforeTheSeed) {
  const auto r = runInProcess({"-model", "3", "-incrfactor", "2"});
  EXPECT_EQ(r.status, 1);
  const std::string message =
      "FROM VERSION 0.8 the tag -incrfactor is not valid for discrete model 3, -choicefactor "
      "should be used instead\n";
  EXPECT_EQ(r.output, message + "\n");
  EXPECT_EQ(readFile("Pairlab.err"), message + "\n");
  EXPECT_EQ(runInProcess({"-model", "3", "-incrfactor", "2", "-choicefactor", "2"}).status, 0);
}

TEST_F(Driver, ModelThreeTagCheckUsesTheUniformFlagAsStatus) {
  // -uniform 0 gives the status 0, which a stop never reports: it becomes 1.
  EXPECT_EQ(runInProcess({"-model", "3", "-incrfactor", "2", "-uniform", "0"}).status, 1);
}

TEST_F(Driver, UserFrequenciesConflictWithUniformOnTheDiscreteRoad) {
  const auto r = runInProcess({"-userfreqs", "1", "-fixseed", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output,
            "\n\nSeed: 1\nUser defined frequencies is incompatible with predefined uniform "
            "frequencies\n\n");
  EXPECT_FALSE(r.output.find("Could not open") != std::string::npos);
}

TEST_F(Driver, MassEncounterRoundSizeDefaultsToTheSmallerSex) {
  ASSERT_EQ(runInProcess({"-model", "-20", "-fixseed", "1"}).status, 0);
  EXPECT_TRUE(fs::exists(
      "Out_Pairlab_massEM_2_a1.25_U_sample100_N500_MPF0.1/Pairlab_D_massEM_M2_a1.25_U500_1.txt"));
}

TEST_F(Driver, MassEncounterRoundSizeAboveTheSmallerSexStops) {
  const auto r = runInProcess({"-model", "-20", "-MRmax", "300", "-fixseed", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("A mass-encounter model was defined so that the number of encounters "
                          "per mating round 300 cannot be higher than the number of individuals "
                          "of one sex 250\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists("Out_Pairlab_massEM300_2_a1.25_U_sample100_N500_MPF0.1"));
}

TEST_F(Driver, GivenRoundSizeBelowTheSmallerSexIsKeptAndNamed) {
  ASSERT_EQ(runInProcess({"-model", "-20", "-MRmax", "100", "-fixseed", "1"}).status, 0);
  EXPECT_TRUE(
      fs::exists("Out_Pairlab_massEM100_2_a1.25_U_sample100_N500_MPF0.1/"
                 "Pairlab_D_massEM_100_M2_a1.25_U500_1.txt"));
}

TEST_F(Driver, ModelNumberDecoding) {
  ASSERT_EQ(runInProcess({"-model", "-123321", "-fixseed", "1"}).status, 0);
  EXPECT_TRUE(fs::exists("Out_Pairlab_massEM_0_a1_U_sample100_N500_MPF0.1"));
  ASSERT_EQ(runInProcess({"-model", "-6", "-fixseed", "1"}).status, 0);
  EXPECT_TRUE(
      fs::exists("Out_Pairlab_iEM_6_ac1.25-1.25_U_sample100_N500_MPF0.1/"
                 "Pairlab_D_iEM_M6_ac1.25-1.25_U500_1.txt"));
  ASSERT_EQ(runInProcess({"-model", "6"}).status, 0);
  EXPECT_TRUE(fs::exists("Out_Pairlab_6_ac1.25-1.25_U_sample100_N500_MPF0.1"));
  ASSERT_EQ(runInProcess({"-model", "-34", "-choicefactor", "2", "-fixseed", "1"}).status, 0);
  EXPECT_TRUE(fs::exists("Out_Pairlab_massEM_3_a2_U_sample100_N500_MPF0.1"));
}

TEST_F(Driver, ModelNumbersBeyondNineAreRejected) {
  for (const char* model : {"10", "-100", "-2147483648"}) {
    const auto r = runInProcess({"-model", model, "-uniform", "1"});
    EXPECT_EQ(r.status, 1) << model;
    EXPECT_NE(r.output.find("Wrong model number "), std::string::npos) << model;
  }
  EXPECT_NE(runInProcess({"-model", "-2147483648"}).output.find("Wrong model number 214748364"),
            std::string::npos);
}

TEST_F(Driver, HelpAndVersionExitZeroWithoutRunning) {
  const auto help = runInProcess({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("-incrfactor a"), std::string::npos);
  EXPECT_NE(help.output.find("alias -selfactor"), std::string::npos);
  const auto version = runInProcess({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output.rfind("Pairlab ", 0), 0u);
  EXPECT_TRUE(testing::listFiles(dir).empty());
}

TEST_F(Driver, HelpTextNamesEveryOption) {
  const std::string help = runInProcess({"-h"}).output;
  for (const char* name : {"-continuous",   "-scaling",
                           "-format",       "-bimodal",
                           "-age_params",   "-writefiles",
                           "-writedistrib", "-impatient",
                           "-impatience",   "-gaussian",
                           "-onechoosy",    "-logistic_params",
                           "-model",        "-matings",
                           "-onematround",  "-MRmax",
                           "-numfiles",     "-shift",
                           "-N ",           "-drift",
                           "-femtypes",     "-maletypes",
                           "-osr",          "-uniform",
                           "-userfreqs",    "-userphenotypes",
                           "-incrfactor",   "-selfactor",
                           "-choicefactor", "-decrfactor",
                           "-mintrait",     "-dmax",
                           "-choice ",      "-tolerance",
                           "-bias",         "-SL",
                           "-sl",           "-MPF",
                           "-fixseed",      "-eJRpsi",
                           "-onlyresume",   "-verbose"})
    EXPECT_NE(help.find(name), std::string::npos) << name;
}

TEST_F(Driver, InvalidArgumentsPrintTheMessageAsItIs) {
  const auto r = runInProcess({"-N", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "wrong number of population size");
  EXPECT_TRUE(testing::listFiles(dir).empty());  // no diagnostics file, no directory
}

TEST_F(Driver, AMissingUserFileEndsWithStatusOne) {
  const auto r = runInProcess({"-userfreqs", "1", "-uniform", "0", "-fixseed", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("Could not open file: PairlabUserFreqs.txt\n"), std::string::npos);
}

}  // namespace
}  // namespace pairlab

namespace pairlab {
namespace {

// The option names a text mentions: "-name" at the start of an entry, and "alias -name".
std::set<std::string> optionsIn(const std::string& text, const std::regex& entry) {
  std::set<std::string> names;
  for (std::sregex_iterator it(text.begin(), text.end(), entry), end; it != end; ++it)
    for (std::size_t g = 1; g < it->size(); ++g)
      if ((*it)[g].matched) names.insert((*it)[g].str());
  return names;
}

// --help, the manual page and the parser know the same options.
TEST(Usage, HelpAndManualPageListEveryOption) {
  std::ostringstream help;
  printUsage(help);
  std::string man = testing::readFile(PAIRLAB_MAN_PAGE);
  man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
  man = std::regex_replace(man, std::regex(R"(\\f[BIR])"), "");
  const std::set<std::string> inHelp = optionsIn(
      help.str(),
      std::regex(R"((?:^|\n)  (-{1,2}[A-Za-z_]+)(?:, (-{1,2}[A-Za-z_]+))?|alias (-[A-Za-z_]+))"));
  const std::set<std::string> inMan = optionsIn(
      man,
      std::regex(
          R"(\n\.B[IR]? (-{1,2}[A-Za-z_]+)(?: ", " (-{1,2}[A-Za-z_]+))?|Alias (-[A-Za-z_]+))"));
  std::set<std::string> known = {"-h", "--help", "--version"};
  for (const std::string& name : optionNames()) known.insert(name);
  EXPECT_EQ(inHelp, known);
  EXPECT_EQ(inMan, known);
}

}  // namespace
}  // namespace pairlab
