// The command line of pairlab-analyze: what each spelling gives (its errors are run through the
// binary in tests/analysis), and the default output directory.
#include "app/analyze_args.hpp"

#include <gtest/gtest.h>

namespace pairlab {
namespace {

AnalyzeConfig parse(std::vector<const char*> words) {
  words.insert(words.begin(), "pairlab-analyze");
  return parseAnalyzeArgs(static_cast<int>(words.size()), words.data());
}

TEST(AnalyzeArgs, OptionsTakeTheirValuesInEitherSpelling) {
  const AnalyzeConfig defaults = parse({"t.tsv"});
  EXPECT_EQ(defaults.null, 9999);
  EXPECT_EQ(defaults.process, NullProcess::Individual);
  EXPECT_EQ(defaults.mrmax, 0.0);
  EXPECT_FALSE(defaults.seedGiven);
  EXPECT_EQ(defaults.show, 10);

  const AnalyzeConfig c = parse({"--null=99", "--process", "mass", "--mrmax=20", "--seed", "-5",
                                 "--show", "0", "--out", "res", "--", "-odd name.tsv"});
  EXPECT_EQ(c.input, "-odd name.tsv");
  EXPECT_EQ(c.null, 99);
  EXPECT_EQ(c.process, NullProcess::Mass);
  EXPECT_EQ(c.mrmax, 20.0);
  EXPECT_TRUE(c.seedGiven);
  EXPECT_EQ(c.seed, -5);
  EXPECT_EQ(c.show, 0);
  EXPECT_EQ(c.out, "res");
  EXPECT_EQ(c.given, (std::vector<std::string>{"--null", "--process", "--mrmax", "--seed", "--show",
                                               "--out"}));
  EXPECT_TRUE(parse({"--help"}).showHelp);
  EXPECT_EQ(parse({"t.tsv", "--process", "replacement"}).process, NullProcess::Replacement);
}

TEST(AnalyzeArgs, ContinuousOptionsAndTheRoadsOptionsWithTheirValues) {
  const AnalyzeConfig d = parse({"t.tsv", "--continuous"});
  EXPECT_TRUE(d.continuous);
  EXPECT_EQ(d.abc, 0);
  EXPECT_EQ(d.accept, 0.01);
  EXPECT_EQ(d.threads, 0);
  const AnalyzeConfig c = parse({"--continuous",
                                 "-model",
                                 "-10",
                                 "--abc=500",
                                 "--prior",
                                 "choice=0:1",
                                 "-age_params",
                                 "1",
                                 "2",
                                 "0",
                                 "--prior=tolerance=0.1:0.2",
                                 "--accept",
                                 "0.05",
                                 "--models",
                                 "FND, random",
                                 "--threads",
                                 "2",
                                 "--population",
                                 "p.tsv",
                                 "t.tsv",
                                 "-choice",
                                 "-1"});
  EXPECT_EQ(c.input, "t.tsv");
  EXPECT_EQ(c.abc, 500);
  EXPECT_EQ(c.priors, (std::vector<std::string>{"choice=0:1", "tolerance=0.1:0.2"}));
  EXPECT_EQ(c.accept, 0.05);
  EXPECT_EQ(c.models, (std::vector<std::string>{"FND", "random"}));
  EXPECT_EQ(c.threads, 2);
  EXPECT_EQ(c.population, "p.tsv");
  EXPECT_EQ(c.roadOptions, (std::vector<std::string>{"-model", "-10", "-age_params", "1", "2", "0",
                                                     "-choice", "-1"}));
}

TEST(AnalyzeArgs, TheDefaultOutputDirectoryIsBesideTheInputNamedAfterIt) {
  EXPECT_EQ(defaultOutputDirectory("field.tsv"), "field_analysis");
  EXPECT_EQ(defaultOutputDirectory("data/2025/field.csv"), "data/2025/field_analysis");
  EXPECT_EQ(defaultOutputDirectory("Out_x/Pairlab_matings.tsv"), "Out_x/Pairlab_matings_analysis");
  EXPECT_EQ(defaultOutputDirectory("../table"), "../table_analysis");
  EXPECT_EQ(defaultOutputDirectory("dir.v2/.hidden"), "dir.v2/.hidden_analysis");
}

}  // namespace
}  // namespace pairlab
