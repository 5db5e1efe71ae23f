#include "cli/arguments.h"

#include <gtest/gtest.h>

namespace sievetext {
namespace {

using Action = Arguments::Action;

TEST(ParseArgumentsTest, FormsThatConvert) {
  Arguments args = ParseArguments({"-q", "in.html", "--lf", "out.txt", "-j", "3"});
  EXPECT_EQ(args.action, Action::Convert) << args.problem;
  EXPECT_TRUE(args.quiet);
  EXPECT_TRUE(args.lfLineBreaks);
  EXPECT_EQ(args.jobs, 3u);
  EXPECT_EQ(args.paths, (std::vector<std::string>{"in.html", "out.txt"}));
  EXPECT_FALSE(args.layout);
  EXPECT_TRUE(ParseArguments({"--layout", "a", "b"}).layout);
  EXPECT_EQ(ParseArguments({"--window", "--layout"}).problem,
            "--window takes no conversion options");

  args =
      ParseArguments({"-rd", "out", "a", "--output-dir=txt", "b", "--jobs=99999999999999999999"});
  EXPECT_EQ(args.action, Action::Convert) << args.problem;
  EXPECT_TRUE(args.recursive);
  EXPECT_EQ(args.outputFolder, "txt") << "the last -d wins";
  EXPECT_EQ(args.jobs, kMaxJobs);
  EXPECT_EQ(args.paths, (std::vector<std::string>{"a", "b"}));

  // "-" is a path; after "--" so is anything starting with "-".
  args = ParseArguments({"-", "--", "-x", "--help"});
  EXPECT_EQ(args.action, Action::Usage) << "three paths";
  args = ParseArguments({"--", "-x", "-"});
  EXPECT_EQ(args.action, Action::Convert) << args.problem;
  EXPECT_EQ(args.paths, (std::vector<std::string>{"-x", "-"}));

  args = ParseArguments({"--without=all", "--with", "RemoveTabs", "a", "b"});
  ASSERT_EQ(args.edits.size(), 2u);
  EXPECT_FALSE(args.edits[0].on);
  EXPECT_EQ(args.edits[0].options.size(), 11u);
  EXPECT_TRUE(args.edits[1].on);
  EXPECT_EQ(args.edits[1].options[0].key, OptionKey::RemoveTabs);
}

TEST(ParseArgumentsTest, WindowHelpAndVersion) {
  EXPECT_EQ(ParseArguments({}).action, Action::Window);
  Arguments args = ParseArguments({"--window", "page.html"});
  EXPECT_EQ(args.action, Action::Window);
  EXPECT_EQ(args.paths, std::vector<std::string>{"page.html"});
  EXPECT_EQ(ParseArguments({"--window"}).action, Action::Window);
  EXPECT_EQ(ParseArguments({"a", "--help", "b", "c"}).action, Action::Help);
  EXPECT_EQ(ParseArguments({"-h"}).action, Action::Help);
  EXPECT_EQ(ParseArguments({"--version"}).action, Action::Version);
  EXPECT_EQ(ParseArguments({"--vers"}).action, Action::Version) << "a unique abbreviation";
}

TEST(ParseArgumentsTest, UsageProblemsNameWhatIsWrong) {
  const struct {
    std::vector<std::string> arguments;
    const char* problem;
  } rows[] = {
      {{"-q"}, "missing INPUT"},
      {{"a", "b", "c"}, "too many paths (use -d FOLDER for many inputs)"},
      {{"-x", "a", "b"}, "unknown option '-x'"},
      {{"--nope", "a", "b"}, "unknown or ambiguous option '--nope'"},
      {{"--wi=1", "a", "b"}, "unknown or ambiguous option '--wi=1'"},
      {{"a", "b", "-j"}, "option '-j' needs a value"},
      {{"a", "b", "--output-dir"}, "option '--output-dir' needs a value"},
      {{"-j", "0", "a", "b"}, "the job count must be a whole number from 1: '0'"},
      {{"-j", "2x", "a", "b"}, "the job count must be a whole number from 1: '2x'"},
      {{"-j", "-1", "a", "b"}, "the job count must be a whole number from 1: '-1'"},
      {{"-r", "a", "b"}, "-r works with -d FOLDER"},
      {{"-d", "out"}, "-d needs at least one INPUT"},
      {{"-d", "", "a"}, "the FOLDER of -d is empty"},
      {{"-d", "out", "a", "-"}, "standard input (-) needs the form INPUT OUTPUT"},
      {{"--window", "a", "b"}, "--window takes at most one INPUT"},
      {{"--window", "--lf", "a"}, "--window takes no conversion options"},
  };
  for (const auto& row : rows) {
    const Arguments args = ParseArguments(row.arguments);
    EXPECT_EQ(args.action, Action::Usage) << row.problem;
    EXPECT_EQ(args.problem, row.problem);
  }
  const Arguments unknown = ParseArguments({"--with=Tabs", "a", "b"});
  EXPECT_EQ(unknown.problem.rfind("unknown option name 'Tabs' (one of GenerateSpecialChars, ", 0),
            0u);
  EXPECT_EQ(UsageText("x").rfind("sievetext: x\nUsage: sievetext [OPTION]... INPUT [OUTPUT]", 0),
            0u);
}

TEST(ParseArgumentsTest, OneInputAloneIsWrittenToStandardOutput) {
  const Arguments args = ParseArguments({"--lf", "page.html"});
  EXPECT_EQ(args.action, Action::Convert);
  EXPECT_EQ(args.paths, (std::vector<std::string>{"page.html", "-"}));
}

TEST(ParseArgumentsTest, UsageLinesShowControlCharactersAsQuestionMarks) {
  const Arguments args = ParseArguments({"--with=\x1b]0;owned\x07\x9b", "a", "b"});
  ASSERT_EQ(args.action, Action::Usage);
  EXPECT_EQ(
      UsageText(args.problem).rfind("sievetext: unknown option name '?]0;owned?\x9b' (one of ", 0),
      0u);
  EXPECT_EQ(UsageText("a\nb\rc\x7f").substr(0, 18), "sievetext: a?b?c?\n");
}

TEST(ParseArgumentsTest, HelpNamesEveryOptionAndTheSettingsFile) {
  const std::string help = HelpText("/home/u/.config/WexaSievetext.ini");
  for (const char* option :
       {"-d, --output-dir=FOLDER", "-r, --recursive", "-j, --jobs=N", "--with=NAME",
        "--without=NAME", "--lf", "--layout", "LAYOUT:", "-q, --quiet", "--window", "-h, --help",
        "--version", "Exit status", "/home/u/.config/WexaSievetext.ini\n"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  for (const OptionInfo& option : kOptions) EXPECT_NE(help.find(option.name), std::string::npos);
  std::size_t start = 0;
  for (std::size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
    EXPECT_TRUE(end == start || help[end - 1] != ' ') << help.substr(start, end - start);
  }
}

}  // namespace
}  // namespace sievetext
