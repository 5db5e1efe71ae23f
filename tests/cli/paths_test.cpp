#include "cli/paths.h"

#include <gtest/gtest.h>

namespace sievetext {
namespace {

TEST(ParseCommandLineTest, ResolvesAgainstTheWorkingFolder) {
  const struct {
    std::vector<std::string> paths;
    std::string folder;
    std::string input;
    std::string output;
  } rows[] = {
      {{}, "/home/u", "", ""},
      {{"in.htm", "out.txt"}, "/home/u", "/home/u/in.htm", "/home/u/out.txt"},
      {{"/data/in.htm", "/data/out.txt"}, "/home/u", "/data/in.htm", "/data/out.txt"},
      {{"sub/in.htm", "../out.txt"}, "/home/u", "/home/u/sub/in.htm", "/home/u/../out.txt"},
      {{"in.htm", ""}, "/home/u", "/home/u/in.htm", ""},
      {{"", "out.txt"}, "/", "", "/out.txt"},
      // "-" is a standard stream, not a file in the working folder.
      {{"-", "-"}, "/home/u", "-", "-"},
      {{"-x", "./-"}, "/home/u", "/home/u/-x", "/home/u/./-"},
      // The shell already split and unquoted: a space belongs to the path.
      {{"My Files/in.htm", "out file.txt"}, "/w", "/w/My Files/in.htm", "/w/out file.txt"},
      // No working folder to be had: the system resolves them (or not).
      {{"in.htm", "out.txt"}, "", "in.htm", "out.txt"},
  };
  for (const auto& row : rows) {
    const JobRequest request = ParseCommandLine(row.paths, row.folder);
    EXPECT_EQ(request.input, row.input);
    EXPECT_EQ(request.output, row.output);
  }
  // The window's INPUT is always a file, even one named "-".
  EXPECT_EQ(ResolvePath("-", "/w", /*dashIsStream=*/false), "/w/-");
  EXPECT_EQ(WorkingFolder().front(), '/');
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

}  // namespace
}  // namespace sievetext
