#include "app/parse_args.hpp"

#include <gtest/gtest.h>

#include <cmath>
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
      {{"-N", "abc"}, "wrong number of population size"},
      {{"-femtypes", "0"}, "wrong number of female types to generate"},
      {{"-maletypes", "0"}, "wrong number of male types to generate"},
      {{"-osr", "abc"}, "wrong sex ratio"},
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

// A whole number that is only partly read is kept as read, with a warning naming the option,
// the text and the value.
TEST(ParseArgs, PartlyReadWholeNumbersWarn) {
  struct Case {
    std::vector<std::string> words;
    std::string warning;  // "" for none
  };
  const Case cases[] = {
      {{"-numfiles", "1e4"},
       "Warning: the value \"1e4\" of -numfiles is not entirely a whole number: it was read as "
       "1\n"},
      {{"-fixseed", "abc"},
       "Warning: the value \"abc\" of -fixseed is not entirely a whole number: it was read as "
       "0\n"},
      {{"-N", "99999999999"},
       "Warning: the value \"99999999999\" of -N is beyond the range of whole numbers: it was "
       "read as 2147483647\n"},
      {{"-verbose", ""},
       "Warning: the value \"\" of -verbose is not entirely a whole number: it was read as 0\n"},
      {{"-numfiles", " 12 "}, ""},
      {{"-fixseed", "-12345678901"}, ""},
      {{"-osr", "2x"}, ""},  // reals are read as the C library reads them, silently
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"pairlab"};
    for (const std::string& w : c.words) argv.push_back(w.c_str());
    RunConfig config;
    const std::vector<std::string> warnings =
        ParseArgs(static_cast<int>(argv.size()), argv.data(), config);
    EXPECT_EQ(warnings.empty() ? "" : warnings.front(), c.warning) << c.words[0];
  }
}

TEST(ParseArgs, AFailedCheckLeavesTheBadValueStored) {
  std::vector<const char*> argv{"pairlab", "-N", "7", "-matings", "3"};
  RunConfig config;
  EXPECT_THROW(ParseArgs(5, argv.data(), config), Stop);
  EXPECT_EQ(config.N, 7);
  EXPECT_EQ(config.matings, 3);
}

TEST(ParseArgs, NonNumericValuesConvertToZero) {
  EXPECT_DOUBLE_EQ(parse({"-bias", "abc"}).bias, 0.0);
  EXPECT_EQ(parse({"-model", "x"}).model, 0);
  EXPECT_EQ(parse({"-model", "-34abc"}).model, -34);
  EXPECT_FALSE(parse({"-verbose", "yes"}).verbose);
  EXPECT_TRUE(parse({"-continuous", "2"}).continuous);
  EXPECT_FALSE(parse({"-continuous", "0"}).continuous);
}

TEST(ParseArgs, ALaterOccurrenceOverridesAnEarlierOne) {
  EXPECT_EQ(parse({"-N", "600", "-N", "800"}).N, 800);
}

TEST(ParseArgs, AnOptionAsTheLastWordEndsParsingSilently) {
  const RunConfig c = parse({"-N", "600", "-verbose"});
  EXPECT_EQ(c.N, 600);
  EXPECT_FALSE(c.verbose);
  EXPECT_EQ(parse({"-bimodal"}).bimodal[0], 0.5);
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

TEST(ParseArgs, ValuesAreTakenByPositionEvenWhenTheyLookLikeOptions) {
  const RunConfig c = parse({"-bimodal", "0.3", "-N", "500"});
  EXPECT_EQ(c.bimodal, (std::array<double, 3>{0.3, 0.0, 500.0}));
  EXPECT_EQ(c.N, 500);
}

TEST(ParseArgs, HelpAndVersionStopParsing) {
  EXPECT_TRUE(parse({"--help"}).showHelp);
  EXPECT_TRUE(parse({"-N", "600", "-h", "-foo"}).showHelp);
  EXPECT_TRUE(parse({"--version"}).showVersion);
  EXPECT_EQ(parseError({"-foo", "--help"}),
            "\n ERROR: -foo is not a valid command line parameter\n");
}

TEST(ParseArgs, HugeIntegersSaturate) {
  EXPECT_EQ(parse({"-N", "99999999999"}).N, 2147483647);
  EXPECT_EQ(parse({"-model", "-99999999999"}).model, -2147483647 - 1);
}

}  // namespace
}  // namespace pairlab
