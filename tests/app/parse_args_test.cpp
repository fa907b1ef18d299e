#include "app/parse_args.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/diagnostics.hpp"

namespace pairlab {
namespace {

RunConfig parse(std::vector<std::string> words) {
  std::vector<const char*> argv{"pairlab"};
  for (const std::string& w : words) argv.push_back(w.c_str());
  RunConfig config;
  ParseArgs(static_cast<int>(argv.size()), argv.data(), config);
  return config;
}

std::string parseError(std::vector<std::string> words) {
  try {
    parse(std::move(words));
  } catch (const Stop& error) {
    return error.message;
  }
  return "(accepted)";
}

TEST(ParseArgs, NoArgumentsKeepTheDefaults) {
  const RunConfig c = parse({});
  EXPECT_FALSE(c.continuous);
  EXPECT_TRUE(c.scaling);
  EXPECT_EQ(c.model, 0);
  EXPECT_EQ(c.N, 500);
  EXPECT_EQ(c.matings, 100);
  EXPECT_EQ(c.numfiles, 1);
  EXPECT_EQ(c.femtypes, 2);
  EXPECT_EQ(c.maletypes, 2);
  EXPECT_DOUBLE_EQ(c.osr, 1.0);
  EXPECT_TRUE(c.uniform);
  EXPECT_TRUE(c.onematround);
  EXPECT_DOUBLE_EQ(c.MRmax, -1.0);
  EXPECT_DOUBLE_EQ(c.incrfactor, 1.25);
  EXPECT_DOUBLE_EQ(c.choicefactor, 1.25);
  EXPECT_DOUBLE_EQ(c.SL, 0.05);
  EXPECT_DOUBLE_EQ(c.MPF, 0.1);
  EXPECT_DOUBLE_EQ(c.tolerance, 0.08);
  EXPECT_EQ(c.bimodal, (std::array<double, 3>{0.5, 0.0, 1.0}));
  EXPECT_EQ(c.age_params, (std::array<double, 3>{0.0, 2.0, 0.0}));
  EXPECT_EQ(c.logistic_params, (std::array<double, 2>{0.0, 1.0}));
  EXPECT_EQ(c.fixseed, 0);
  EXPECT_EQ(c.focalfem, -1);
  EXPECT_EQ(c.focalmale, -1);
}

TEST(ParseArgs, EveryOptionAndAliasFillsItsField) {
  const RunConfig c = parse({"-continuous",
                             "2",
                             "-scaling",
                             "0",
                             "-format",
                             "16",
                             "-bimodal",
                             "0.3",
                             "2",
                             "1",
                             "-age_params",
                             "1",
                             "3",
                             "0.5",
                             "-writefiles",
                             "1",
                             "-writedistrib",
                             "1",
                             "-impatience",
                             "0.1",
                             "-gaussian",
                             "0",
                             "-onechoosy",
                             "1",
                             "-logistic_params",
                             "-1",
                             "2",
                             "-model",
                             "-20",
                             "-matings",
                             "5",
                             "-onematround",
                             "0",
                             "-MRmax",
                             "7",
                             "-numfiles",
                             "3",
                             "-shift",
                             "10",
                             "-N",
                             "1000",
                             "-drift",
                             "1",
                             "-femtypes",
                             "3",
                             "-maletypes",
                             "4",
                             "-osr",
                             "3",
                             "-uniform",
                             "0",
                             "-userphenotypes",
                             "1",
                             "-selfactor",
                             "2",
                             "-decrfactor",
                             "0.5",
                             "-mintrait",
                             "1",
                             "-dmax",
                             "2",
                             "-choice",
                             "-1",
                             "-tolerance",
                             "0.2",
                             "-bias",
                             "-0.2",
                             "-sl",
                             "1",
                             "-mpf",
                             "0.2",
                             "-fixseed",
                             "-12345678901",
                             "-eJRpsi",
                             "1",
                             "-onlyresume",
                             "1",
                             "-verbose",
                             "1"});
  EXPECT_TRUE(c.continuous);
  EXPECT_FALSE(c.scaling);
  EXPECT_EQ(c.format, 16);
  EXPECT_EQ(c.bimodal, (std::array<double, 3>{0.3, 2.0, 1.0}));
  EXPECT_EQ(c.age_params, (std::array<double, 3>{1.0, 3.0, 0.5}));
  EXPECT_TRUE(c.writefiles);
  EXPECT_TRUE(c.writedistrib);
  EXPECT_DOUBLE_EQ(c.impatient, 0.1);
  EXPECT_FALSE(c.gaussian);
  EXPECT_TRUE(c.onechoosy);
  EXPECT_EQ(c.logistic_params, (std::array<double, 2>{-1.0, 2.0}));
  EXPECT_EQ(c.model, -20);
  EXPECT_EQ(c.matings, 5);
  EXPECT_FALSE(c.onematround);
  EXPECT_DOUBLE_EQ(c.MRmax, 7.0);
  EXPECT_EQ(c.numfiles, 3);
  EXPECT_EQ(c.shift, 10);
  EXPECT_EQ(c.N, 1000);
  EXPECT_TRUE(c.drift);
  EXPECT_EQ(c.femtypes, 3);
  EXPECT_EQ(c.maletypes, 4);
  EXPECT_DOUBLE_EQ(c.osr, 3.0);
  EXPECT_FALSE(c.uniform);
  EXPECT_TRUE(c.userfreqs);
  EXPECT_DOUBLE_EQ(c.incrfactor, 2.0);
  EXPECT_DOUBLE_EQ(c.choicefactor, 0.5);
  EXPECT_DOUBLE_EQ(c.mintrait, 1.0);
  EXPECT_DOUBLE_EQ(c.dmax, 2.0);
  EXPECT_DOUBLE_EQ(c.choice, -1.0);
  EXPECT_DOUBLE_EQ(c.tolerance, 0.2);
  EXPECT_DOUBLE_EQ(c.bias, -0.2);
  EXPECT_DOUBLE_EQ(c.SL, 1.0);
  EXPECT_DOUBLE_EQ(c.MPF, 0.2);
  EXPECT_EQ(c.fixseed, -12345678901LL);
  EXPECT_TRUE(c.eJRpsi);
  EXPECT_TRUE(c.onlyresume);
  EXPECT_TRUE(c.verbose);
}

TEST(ParseArgs, MainNamesOfAliasedOptions) {
  const RunConfig c = parse({"-impatient", "0.3", "-userfreqs", "1", "-incrfactor", "1.5",
                             "-choicefactor", "3", "-SL", "0.01", "-MPF", "0.05"});
  EXPECT_DOUBLE_EQ(c.impatient, 0.3);
  EXPECT_TRUE(c.userfreqs);
  EXPECT_DOUBLE_EQ(c.incrfactor, 1.5);
  EXPECT_DOUBLE_EQ(c.choicefactor, 3.0);
  EXPECT_DOUBLE_EQ(c.SL, 0.01);
  EXPECT_DOUBLE_EQ(c.MPF, 0.05);
}

struct Rejected {
  std::vector<std::string> words;
  const char* message;
};

TEST(ParseArgs, EachCheckRejectsWithItsMessage) {
  const Rejected cases[] = {
      {{"-matings", "4"}, "wrong sample size"},
      {{"-format", "17"}, "wrong format"},
      {{"-format", "-1"}, "wrong format"},
      {{"-bimodal", "1", "0", "1"}, "wrong mixture argument"},
      {{"-bimodal", "0", "0", "1"}, "wrong mixture argument"},
      {{"-incrfactor", "0.5"}, "wrong sexual selection factor argument"},
      {{"-choice", "1.5"}, "wrong choice argument"},
      {{"-SL", "0"}, "wrong significance level (SL) argument"},
      {{"-SL", "1.01"}, "wrong significance level (SL) argument"},
      {{"-MPF", "0"}, "wrong MPF argument"},
      {{"-MRmax", "0.5"}, "wrong number of encounters per round"},
      {{"-numfiles", "0"}, "wrong number of files to generate"},
      {{"-shift", "-1"}, "wrong shift at the arguments"},
      {{"-N", "1"}, "wrong number of population size"},
      {{"-femtypes", "0"}, "wrong number of female types to generate"},
      {{"-maletypes", "0"}, "wrong number of male types to generate"},
      {{"-osr", "0"}, "wrong sex ratio"},
      {{"-osr", "inf"}, "wrong sex ratio"},
      {{"-mintrait", "-0.1"}, "wrong minimum trait argument"},
      {{"-dmax", "0"}, "wrong Dmax argument"},
      {{"-tolerance", "0"}, "wrong tolerance argument"},
  };
  for (const Rejected& c : cases) EXPECT_EQ(parseError(c.words), c.message) << c.words[0];
}

TEST(ParseArgs, NaNAndInfinitiesFailEveryRealOption) {
  const Rejected cases[] = {
      {{"-incrfactor", "nan"}, "wrong sexual selection factor argument"},
      {{"-selfactor", "inf"}, "wrong sexual selection factor argument"},
      {{"-incrfactor", "-inf"}, "wrong sexual selection factor argument"},
      {{"-choicefactor", "inf"}, "wrong choice factor argument"},
      {{"-decrfactor", "nan"}, "wrong choice factor argument"},
      {{"-dmax", "inf"}, "wrong Dmax argument"},
      {{"-mintrait", "inf"}, "wrong minimum trait argument"},
      {{"-tolerance", "inf"}, "wrong tolerance argument"},
      {{"-MRmax", "inf"}, "wrong number of encounters per round"},
      {{"-bimodal", "0.5", "nan", "1"}, "wrong mixture argument"},
      {{"-bimodal", "0.5", "1", "-inf"}, "wrong mixture argument"},
      {{"-logistic_params", "nan", "1"}, "wrong logistic argument"},
      {{"-logistic_params", "0", "inf"}, "wrong logistic argument"},
      {{"-impatience", "nan"}, "wrong impatience argument"},
      {{"-impatient", "-inf"}, "wrong impatience argument"},
      {{"-age_params", "1", "nan", "0"}, "wrong aging argument"},
      {{"-bias", "inf"}, "wrong bias argument"},
      {{"-tidy", "3"}, "wrong tidy argument"},
      {{"-osr", "nan"}, "wrong sex ratio"},
      {{"-MPF", "nan"}, "wrong MPF argument"},
      {{"-SL", "nan"}, "wrong significance level (SL) argument"},
      {{"-MRmax", "nan"}, "wrong number of encounters per round"},
      {{"-bimodal", "nan", "0", "1"}, "wrong mixture argument"},
      {{"-mintrait", "nan"}, "wrong minimum trait argument"},
      {{"-dmax", "nan"}, "wrong Dmax argument"},
      {{"-choice", "nan"}, "wrong choice argument"},
      {{"-tolerance", "nan"}, "wrong tolerance argument"},
  };
  for (const Rejected& c : cases) EXPECT_EQ(parseError(c.words), c.message) << c.words[0];
}

TEST(ParseArgs, BoundaryValuesAreAccepted) {
  EXPECT_EQ(parse({"-matings", "5"}).matings, 5);
  EXPECT_EQ(parse({"-format", "16"}).format, 16);
  EXPECT_EQ(parse({"-format", "0"}).format, 0);
  EXPECT_DOUBLE_EQ(parse({"-bimodal", "0.3", "2", "1"}).bimodal[0], 0.3);
  EXPECT_DOUBLE_EQ(parse({"-choice", "-1"}).choice, -1.0);
  EXPECT_DOUBLE_EQ(parse({"-choice", "1"}).choice, 1.0);
  EXPECT_DOUBLE_EQ(parse({"-SL", "1"}).SL, 1.0);
  EXPECT_DOUBLE_EQ(parse({"-MRmax", "1"}).MRmax, 1.0);
  EXPECT_EQ(parse({"-N", "2"}).N, 2);
}

// A factor of 0 or less is refused like any other factor below 1: no earlier value is kept.
TEST(ParseArgs, IncrfactorBelowOneIsRefusedZeroAndNegativesIncluded) {
  const Rejected cases[] = {
      {{"-incrfactor", "0"}, "wrong sexual selection factor argument"},
      {{"-incrfactor", "-0"}, "wrong sexual selection factor argument"},
      {{"-selfactor", "-1.5"}, "wrong sexual selection factor argument"},
      {{"-incrfactor", "3", "-incrfactor", "-1"}, "wrong sexual selection factor argument"},
  };
  for (const Rejected& c : cases) EXPECT_EQ(parseError(c.words), c.message) << c.words[1];
  EXPECT_DOUBLE_EQ(parse({"-incrfactor", "1"}).incrfactor, 1.0);
  EXPECT_DOUBLE_EQ(parse({"-selfactor", "2"}).incrfactor, 2.0);
}

// The options whose values are whole numbers (integers, flags, the seed); all others are reals.
const std::set<std::string> kWholeOptions = {
    "-continuous", "-scaling",    "-format",    "-writefiles",     "-writedistrib",
    "-gaussian",   "-onechoosy",  "-model",     "-matings",        "-onematround",
    "-numfiles",   "-shift",      "-N",         "-drift",          "-femtypes",
    "-maletypes",  "-uniform",    "-userfreqs", "-userphenotypes", "-fixseed",
    "-eJRpsi",     "-onlyresume", "-verbose",   "-tidy",           "-progress",
    "-checkonly",  "-popseed"};
const std::set<std::string> kRealOptions = {
    "-bimodal",    "-age_params", "-impatient",  "-impatience", "-logistic_params",
    "-MRmax",      "-osr",        "-incrfactor", "-selfactor",  "-choicefactor",
    "-decrfactor", "-mintrait",   "-dmax",       "-choice",     "-tolerance",
    "-bias",       "-SL",         "-sl",         "-MPF",        "-mpf"};

// Every value is read completely as a number of its option's kind, or the run stops naming the
// option, the text and how to write it; so does an option whose value is missing.
TEST(ParseArgs, EveryValueIsReadCompletelyOrRejected) {
  struct Bad {
    const char* text;
    bool wholeOnly;     // rejected by whole-number options only
    const char* whole;  // the end of the message of a whole-number option
    const char* real;   // the end of the message of a real option
  };
  const Bad cases[] = {
      {"0,5", false, "is not a whole number: write a whole number in digits, such as 100",
       "is not a number: use a decimal point: 0.5"},
      {"1e4", true, "is not a whole number: write it in digits: 10000", ""},
      {"2.0", true, "is not a whole number: write it in digits: 2", ""},
      {"12abc", false, "is not a whole number: write a whole number in digits, such as 100",
       "is not a number: write a number such as 0.5, -2 or 1e-3"},
      {"0.5.1", false, "is not a whole number: write a whole number in digits, such as 100",
       "is not a number: write a number such as 0.5, -2 or 1e-3"},
      {"", false, "is not a whole number: the value is empty",
       "is not a number: the value is empty"},
  };
  for (const std::string& option : optionNames()) {
    if (option == "-outdir") continue;  // a folder name
    const bool whole = kWholeOptions.count(option) > 0;
    ASSERT_TRUE(whole || kRealOptions.count(option) > 0) << option << " needs its row here";
    for (const Bad& c : cases) {
      if (c.wholeOnly && !whole) continue;
      const std::string expected = "\n ERROR: the value \"" + std::string(c.text) + "\" of " +
                                   option + " " + (whole ? c.whole : c.real) + "\n";
      EXPECT_EQ(parseError({option, c.text, c.text, c.text}), expected);
    }
    const std::string missing = parseError({"-N", "600", option});
    EXPECT_TRUE(missing.find("needs a value, but it is the last word") != std::string::npos ||
                missing.find("values (") != std::string::npos)
        << option << ": " << missing;
  }
  EXPECT_EQ(parseError({"-N", "99999999999"}),
            "\n ERROR: the value \"99999999999\" of -N is out of range: it must lie between "
            "-2147483648 and 2147483647\n");
  EXPECT_EQ(parseError({"-bimodal", "0.3", "-N", "500"}),
            "\n ERROR: the value \"-N\" of -bimodal is not a number: write a number such as 0.5, "
            "-2 or 1e-3\n");
  EXPECT_EQ(parseError({"-verbose"}),
            "\n ERROR: -verbose needs a value, but it is the last word of the command line\n");
}

// Values that are numbers of their option's kind in full keep the values they always had.
TEST(ParseArgs, ValuesReadInFullKeepTheirValues) {
  const RunConfig c = parse({"-choice", "1e-3", "-numfiles", "+3", "-N", "0500", "-osr", "1.0",
                             "-matings", " 12 ", "-tolerance", "0x1p-3", "-fixseed", "-12345678901",
                             "-model", "-34", "-continuous", "2"});
  EXPECT_EQ(c.choice, 0.001);
  EXPECT_EQ(c.numfiles, 3);
  EXPECT_EQ(c.N, 500);
  EXPECT_EQ(c.osr, 1.0);
  EXPECT_EQ(c.matings, 12);
  EXPECT_EQ(c.tolerance, 0.125);
  EXPECT_EQ(c.fixseed, -12345678901LL);
  EXPECT_EQ(c.model, -34);
  EXPECT_TRUE(c.continuous);
}

TEST(ParseArgs, AFailedCheckLeavesTheBadValueStored) {
  std::vector<const char*> argv{"pairlab", "-N", "7", "-matings", "3"};
  RunConfig config;
  EXPECT_THROW(ParseArgs(5, argv.data(), config), Stop);
  EXPECT_EQ(config.N, 7);
  EXPECT_EQ(config.matings, 3);
}

TEST(ParseArgs, ALaterOccurrenceOverridesAnEarlierOne) {
  EXPECT_EQ(parse({"-N", "600", "-N", "800"}).N, 800);
}

TEST(ParseArgs, UnknownWordsAreRejected) {
  EXPECT_EQ(parseError({"-foo", "3"}), "\n ERROR: -foo is not a valid command line parameter\n");
  EXPECT_EQ(parseError({"-n", "3"}), "\n ERROR: -n is not a valid command line parameter\n");
  EXPECT_EQ(parseError({"-N", "600", "700"}),
            "\n ERROR: 700 is not a valid command line parameter\n");
}

TEST(ParseArgs, MultiValuedOptionsNeverReadPastTheEnd) {
  EXPECT_EQ(parseError({"-bimodal", "0.3", "2"}),
            "\n ERROR: -bimodal takes 3 values (proportion, mean and standard deviation) but "
            "only 2 follow\n");
  EXPECT_EQ(parseError({"-age_params", "1"}),
            "\n ERROR: -age_params takes 3 values (scale a, shape b and log-age threshold g) but "
            "only 1 follows\n");
  EXPECT_EQ(parseError({"-logistic_params", "1"}),
            "\n ERROR: -logistic_params takes 2 values (intercept a and slope b) but only 1 "
            "follows\n");
}

TEST(ParseArgs, HelpAndVersionStopParsing) {
  EXPECT_TRUE(parse({"--help"}).showHelp);
  EXPECT_TRUE(parse({"-N", "600", "-h", "-foo"}).showHelp);
  EXPECT_TRUE(parse({"--version"}).showVersion);
  EXPECT_EQ(parseError({"-foo", "--help"}),
            "\n ERROR: -foo is not a valid command line parameter\n");
}

}  // namespace
}  // namespace pairlab
