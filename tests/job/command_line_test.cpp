#include "command_line.h"

#include <gtest/gtest.h>

#include "error_reporter.h"
#include "test_support.h"

namespace sievetext {
namespace {

TEST(ParseCommandLineTest, SplitsAndResolvesAgainstTheProgramFolder) {
  const struct {
    std::vector<std::string> arguments;
    std::string input;
    std::string output;
  } rows[] = {
      {{}, "", ""},
      {{"in.htm", "out.txt"}, "/opt/st/in.htm", "/opt/st/out.txt"},
      {{"/data/in.htm", "/data/out.txt"}, "/data/in.htm", "/data/out.txt"},
      {{"sub/in.htm", "/abs/out.txt"}, "/opt/st/sub/in.htm", "/abs/out.txt"},
      {{"in.htm"}, "/opt/st/in.htm", ""},
      {{"in.htm", ""}, "/opt/st/in.htm", ""},
      {{"", "out.txt"}, "", "/opt/st/out.txt"},
      {{"in.htm", "out.txt", "third", "fourth"}, "/opt/st/in.htm", "/opt/st/out.txt"},
      // The shell already split and unquoted: a space belongs to the path.
      {{"/My Files/in.htm", "out file.txt"}, "/My Files/in.htm", "/opt/st/out file.txt"},
      // Windows forms mean nothing special here.
      {{"C:\\in.htm", "\\\\server\\share"}, "/opt/st/C:\\in.htm", "/opt/st/\\\\server\\share"},
      {{"./in.htm", "../out.txt"}, "/opt/st/./in.htm", "/opt/st/../out.txt"},
  };
  for (const auto& row : rows) {
    ProcessState state;
    state.sAppPath = "/opt/st/";
    ParseCommandLine(state, row.arguments);
    EXPECT_EQ(state.sInputFile, row.input);
    EXPECT_EQ(state.sOutputFile, row.output);
  }
}

TEST(ParseCommandLineTest, OnlyALeadingSlashMakesAPathAbsolute) {
  EXPECT_TRUE(IsAbsolutePath("/"));
  EXPECT_TRUE(IsAbsolutePath("/a/b"));
  EXPECT_FALSE(IsAbsolutePath(""));
  EXPECT_FALSE(IsAbsolutePath("a/b"));
  EXPECT_FALSE(IsAbsolutePath("~/a"));
  EXPECT_FALSE(IsAbsolutePath(" /a"));
}

TEST(ProgramFolderTest, IsTheRunningProgramsFolderWithATrailingSlash) {
  const std::string folder = ProgramFolder(nullptr);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), '/');
}

TEST(ReportErrorTest, BuildsTheMessageExactly) {
  EXPECT_EQ(FormatError("ExtractText", 7, "Out of memory"), "ExtractText: Error 7: Out of memory");
  EXPECT_EQ(FormatError("RemoveHTML", -2147483647L - 1, "x"), "RemoveHTML: Error -2147483648: x");
  EXPECT_EQ(FormatError("CutHTML", 0, ""), "CutHTML: Error 0: ");
  EXPECT_EQ(FormatError("", 13, "Permission denied"), ": Error 13: Permission denied");
  EXPECT_EQ(ErrnoText(13), "Permission denied");

  testing::RecordingPrompter prompter;
  ReportError(prompter, "ConsolidateChar", 6, "Too long");
  EXPECT_EQ(prompter.said, std::vector<std::string>{"ConsolidateChar: Error 6: Too long"});
  EXPECT_TRUE(prompter.asked.empty());
}

}  // namespace
}  // namespace sievetext
