// Runs the built program as a user would: a copy of it in a folder of its own,
// started from another folder (the working folder, which relative paths are
// taken from), settings in a temporary XDG_CONFIG_HOME, no display.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/first_run_settings.h"
#include "tests/support/program_launcher.h"
#include "tests/support/temp_folder.h"

namespace sievetext {
namespace {

namespace fs = std::filesystem;

using testing::kFirstRunSettings;
using testing::Launch;
using testing::Outcome;
using testing::ReadFile;
using testing::WriteFile;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prog = root / "prog";
    work = root / "work";
    fs::create_directories(prog);
    fs::create_directories(work);
    fs::create_directories(root / "home");
    fs::copy_file(SIEVETEXT_PROGRAM, prog / "sievetext");
    ini = root / "cfg" / "WexaSievetext.ini";
  }

  // Runs the program from the folder `work` with these arguments, its
  // standard streams and limits as `launch` gives them.
  Outcome run(const std::vector<std::string>& arguments, Launch launch = {}) {
    launch.program = (prog / "sievetext").string();
    launch.arguments = arguments;
    launch.workingFolder = work;
    launch.environment = {{"XDG_CONFIG_HOME", (root / "cfg").string()},
                          {"HOME", (root / "home").string()},
                          {"DISPLAY", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt}};
    return testing::Run(launch);
  }

  std::size_t entriesIn(const fs::path& folder) const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
    return n;
  }

  testing::TempFolder temp{"sievetext-cli"};
  fs::path root = temp.path();
  fs::path prog, work, ini;
};

TEST_F(CliTest, RelativePathsAreTakenFromTheWorkingFolder) {
  WriteFile(work / "in.html", "<p>Hello</p>");
  WriteFile(prog / "in.html", "the program's own file");
  WriteFile(prog / "readme.txt", "the program's read-me");
  WriteFile(work / "readme.txt", "<b>mine</b>");
  fs::create_directory(work / "sub");
  WriteFile(work / "sub" / "in.html", "<b>Sub</b>");

  const Outcome first = run({"in.html", "out.txt"});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(ReadFile(work / "out.txt"), "Hello");
  EXPECT_FALSE(fs::exists(prog / "out.txt")) << "nothing written beside the program";
  EXPECT_EQ(first.out + first.err, "") << "success says nothing";

  EXPECT_EQ(run({"sub/in.html", (root / "abs.txt").string()}).status, 0);
  EXPECT_EQ(ReadFile(root / "abs.txt"), "Sub");
  EXPECT_EQ(run({"readme.txt", "../r.txt"}).status, 0);
  EXPECT_EQ(ReadFile(root / "r.txt"), "mine") << "the user's readme.txt, not the program's";
  EXPECT_EQ(run({(prog / "in.html").string(), "./p.txt"}).status, 0);
  EXPECT_EQ(ReadFile(work / "p.txt"), "the program's own file");
  EXPECT_EQ(entriesIn(prog), 3u);
}

TEST_F(CliTest, ChecksStopWithOneMessageAndStatusOne) {
  WriteFile(work / "in.html", "text");
  WriteFile(work / ".hidden.html", "text");
  WriteFile(work / "empty.html", "");
  WriteFile(work / "kept.txt", "old");
  fs::create_directory(work / "folder.html");
  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } rows[] = {
      {{"in.html", ""}, "You have not selected the output file."},
      {{"", "kept.txt"}, "You have not selected the input file."},
      {{"none.html", "kept.txt"}, "none.html: Input file is missing"},
      {{"folder.html", "kept.txt"}, "folder.html: Input file is missing"},
      {{"/dev/zero", "kept.txt"}, "/dev/zero: Input file is missing"},
      {{".hidden.html", "kept.txt"}, ".hidden.html: Input file is missing"},
      {{"empty.html", "kept.txt"}, "empty.html: Input file is empty!"},
      {{"\"in.html\"", "kept.txt"}, "\"in.html\": Input file is missing"},
  };
  for (const auto& row : rows) {
    const Outcome result = run(row.arguments);
    EXPECT_EQ(result.status, 1) << row.message;
    EXPECT_EQ(result.err, "sievetext: " + row.message + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(ReadFile(work / "kept.txt"), "old") << row.message;
    // --quiet: the same status, nothing said.
    std::vector<std::string> quiet = row.arguments;
    quiet.insert(quiet.begin(), "--quiet");
    const Outcome silent = run(quiet);
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(silent.out + silent.err, "") << row.message;
  }
  EXPECT_EQ(entriesIn(work), 5u) << "nothing created";
}

TEST_F(CliTest, UsageErrorsSayHowAndExitOne) {
  WriteFile(work / "in.html", "x");
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"in.html", "a.txt", "b.txt"},
           {"-q"},
           {"--bogus", "in.html", "out.txt"},
           {"-j", "0", "in.html", "out.txt"},
           {"in.html", "out.txt", "--with=nothing"},
           {"-r", "in.html", "out.txt"},
           {"in.html", "out.txt", "-d"},
       }) {
    const Outcome result = run(arguments);
    EXPECT_EQ(result.status, 1) << arguments[0];
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("sievetext: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("\nUsage: sievetext [OPTION]... INPUT [OUTPUT]"), std::string::npos);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2);
  }
  EXPECT_EQ(entriesIn(work), 1u);
  EXPECT_FALSE(fs::exists(ini)) << "a run that never started saves nothing";

  // "--" ends the options: "-x" is a file.
  WriteFile(work / "-x", "<i>dash</i>");
  EXPECT_EQ(run({"--", "-x", "-y"}).status, 0);
  EXPECT_EQ(ReadFile(work / "-y"), "dash");
  EXPECT_EQ(run({"-x", "out.txt"}).status, 1);
}

TEST_F(CliTest, ReplacesTheOutputWholeWithoutAsking) {
  WriteFile(work / "in.html", "<i>new</i>");
  WriteFile(work / "out.txt", std::string(10000, 'o'));
  WriteFile(work / ".hidden.txt", "old");
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "new");
  EXPECT_EQ(run({"in.html", ".hidden.txt"}).status, 0);
  EXPECT_EQ(ReadFile(work / ".hidden.txt"), "new");

  // Output equal to input would lose the page: refused, nothing written.
  const Outcome same = run({"in.html", "in.html"});
  EXPECT_EQ(same.status, 1);
  EXPECT_EQ(same.err, "sievetext: in.html: Output file is the input file\n");
  EXPECT_EQ(ReadFile(work / "in.html"), "<i>new</i>");

  // A result with no text at all still replaces the output: a 0-byte file.
  WriteFile(work / "tags.html", "<html><body><br></body></html>");
  EXPECT_EQ(run({"tags.html", "out.txt"}).status, 0);
  EXPECT_TRUE(fs::exists(work / "out.txt"));
  EXPECT_EQ(fs::file_size(work / "out.txt"), 0u);
  EXPECT_EQ(entriesIn(work), 4u) << "no temporary file left";
}

TEST_F(CliTest, ReadsLegacyAndUnicodeEncodingsAndWritesUtf8) {
  const struct {
    const char* name;
    std::string in;
    std::string out;
  } rows[] = {
      {"utf-8", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
      {"utf-8 mark", "\xEF\xBB\xBFna\xC3\xAFve", "na\xC3\xAFve"},
      {"windows-1252", "caf\xE9 \x80 \x93q\x94",
       "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D"},
      {"mixed", "\xE9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
      {"utf-16le", std::string("\xFF\xFE<\0b\0>\0\xE9\0\x3D\xD8\x00\xDE", 14),
       "\xC3\xA9\xF0\x9F\x98\x80"},
      {"utf-16be", std::string("\xFE\xFF\0h\0i", 6), "hi"},
      {"utf-16 odd byte", std::string("\xFF\xFEh\0i", 5), "h\xEF\xBF\xBD"},
      {"utf-16 lone surrogate",
       std::string("\xFF\xFE"
                   "a\0\x00\xD8"
                   "b\0",
                   8),
       "a\xEF\xBF\xBD"
       "b"},
  };
  for (const auto& row : rows) {
    WriteFile(work / "in.html", row.in);
    EXPECT_EQ(run({"in.html", "out.txt"}).status, 0) << row.name;
    EXPECT_EQ(ReadFile(work / "out.txt"), row.out) << row.name;
  }
}

TEST_F(CliTest, FollowsTheCharsetAPageDeclares) {
  const struct {
    const char* name;
    std::string in;
    std::string out;
  } rows[] = {
      {"koi8-r",
       "<html><head><meta charset=\"koi8-r\"></head><body><p>\xF0\xD2\xC9\xD7\xC5\xD4, "
       "\xCD\xC9\xD2!</p></body></html>",
       "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80!"},  // Привет,
                                                                                        // мир!
      {"iso-8859-2 in http-equiv",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-2\">"
       "<p>Za\xBF\xF3\xB3\xE6 g\xEA\xB6l\xB1</p>",
       "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85"},  // Zażółć gęślą
      {"latin1 holding utf-8 keeps the default reading",
       "<meta charset=latin1><p>caf\xC3\xA9 \x93q\x94</p>",
       "caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D"},
  };
  for (const auto& row : rows) {
    WriteFile(work / "in.html", row.in);
    EXPECT_EQ(run({"in.html", "out.txt"}).status, 0) << row.name;
    EXPECT_EQ(ReadFile(work / "out.txt"), row.out) << row.name;
  }

  // A long Shift_JIS page, read in pieces that cut its characters, from a
  // file and from a pipe.
  std::string page = "<meta charset=shift_jis>";
  std::string text;
  while (page.size() < (3 << 20)) {
    page += "\x93\xFA\x96\x7B\x8C\xEA <br>";  // 日本語
    text += "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E ";
  }
  text.pop_back();
  WriteFile(work / "sjis.html", page);
  ASSERT_EQ(run({"sjis.html", "sjis.txt"}).status, 0);
  EXPECT_TRUE(ReadFile(work / "sjis.txt") == text);
  Launch piped;
  piped.input = page;
  const Outcome fromPipe = run({"-", "-"}, piped);
  EXPECT_EQ(fromPipe.status, 0) << fromPipe.err;
  EXPECT_TRUE(fromPipe.out == text);
}

TEST_F(CliTest, FailedWritesLeaveTheOldOutputSayWhyAndExitTwo) {
  WriteFile(work / "in.html", std::string(4096, 'x'));
  WriteFile(work / "out.txt", "old");

  Launch limited;
  limited.fileSizeLimit = 1024;
  const Outcome tooBig = run({"in.html", "out.txt"}, limited);
  EXPECT_EQ(tooBig.status, 2);
  EXPECT_EQ(tooBig.err, "sievetext: out.txt: RemoveHTML: Error 27: File too large\n");
  EXPECT_EQ(ReadFile(work / "out.txt"), "old");

  fs::create_directory(work / "dir");
  WriteFile(work / "dir" / "inside", "kept");
  const Outcome folder = run({"in.html", "dir"});
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "sievetext: dir: RemoveHTML: Error 21: Is a directory\n");
  EXPECT_EQ(ReadFile(work / "dir" / "inside"), "kept");
  EXPECT_EQ(entriesIn(work / "dir"), 1u);

  const Outcome noFolder = run({"in.html", "no-such-folder/out.txt"});
  EXPECT_EQ(noFolder.status, 2);
  EXPECT_EQ(noFolder.err,
            "sievetext: no-such-folder/out.txt: RemoveHTML: Error 2: No such file or directory\n");
  EXPECT_EQ(run({"-q", "in.html", "no-such-folder/out.txt"}).err, "");

  if (::geteuid() != 0) {  // root writes into read-only folders
    fs::create_directory(work / "ro");
    WriteFile(work / "ro" / "out.txt", "old");
    fs::permissions(work / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(run({"in.html", "ro/out.txt"}).status, 2);
    fs::permissions(work / "ro", fs::perms::owner_all);
    EXPECT_EQ(ReadFile(work / "ro" / "out.txt"), "old");
    EXPECT_EQ(entriesIn(work / "ro"), 1u);
  }
  EXPECT_EQ(entriesIn(work), ::geteuid() != 0 ? 4u : 3u) << "no temporary file left";
}

TEST_F(CliTest, PipesBothWays) {
  const std::string page = "<p>one</p>\n<p>two &amp; three</p>";
  WriteFile(work / "page.html", page);
  ASSERT_EQ(run({"page.html", "file.txt"}).status, 0);
  const std::string expected = ReadFile(work / "file.txt");

  Launch piped;
  piped.input = page;
  const Outcome both = run({"-", "-"}, piped);
  EXPECT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(both.out, expected);
  EXPECT_EQ(both.err, "");

  Launch redirected;
  redirected.inputFile = (work / "page.html").string();
  EXPECT_EQ(run({"-", "from-file.txt"}, redirected).status, 0);
  EXPECT_EQ(ReadFile(work / "from-file.txt"), expected);
  EXPECT_EQ(run({"page.html", "-"}).out, expected);
  EXPECT_FALSE(fs::exists(work / "-")) << "no file named -";
  EXPECT_FALSE(fs::exists(prog / "-"));

  Launch nothing;
  nothing.input = "";
  const Outcome empty = run({"-", "-"}, nothing);
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.err, "sievetext: standard input: Input file is empty!\n");

  // A full device is a failure, said and counted.
  Launch full;
  full.outputFile = "/dev/full";
  const Outcome noRoom = run({"page.html", "-"}, full);
  EXPECT_EQ(noRoom.status, 2);
  EXPECT_EQ(noRoom.err,
            "sievetext: standard output: RemoveHTML: Error 28: No space left on device\n");

  // A reader that has seen enough ends the program quietly, as it ends cat.
  std::string big;
  while (big.size() < 4 << 20) big += "<p>a line of text</p>\n";
  Launch early;
  early.input = big;
  early.closeOutputAfter = 1;
  const Outcome closed = run({"--without=RemoveAllCRLF", "-", "-"}, early);
  EXPECT_EQ(closed.status, 128 + SIGPIPE);
  EXPECT_EQ(closed.err, "");
}

TEST_F(CliTest, LfLineBreaksAndPerRunOptionsAreNeverSaved) {
  WriteFile(work / "in.html", "<b>a</b>\n|b\n\nc");
  fs::create_directories(ini.parent_path());
  WriteFile(ini, kFirstRunSettings);
  const Outcome lf = run(
      {"--without=all", "--with=removealltags", "--with=REMOVEPIPE", "--lf", "in.html", "out.txt"});
  EXPECT_EQ(lf.status, 0) << lf.err;
  EXPECT_EQ(ReadFile(work / "out.txt"), "a\n b\n\nc");
  EXPECT_EQ(ReadFile(ini), kFirstRunSettings) << "per-run options never reach the settings file";

  EXPECT_EQ(run({"--without", "RemoveAllCRLF", "in.html", "crlf.txt"}).status, 0);
  EXPECT_EQ(ReadFile(work / "crlf.txt"), "a\r\n b\r\nc");
  EXPECT_EQ(ReadFile(ini), kFirstRunSettings);
}

TEST_F(CliTest, ManyInputsIntoAFolderWithMixedOutcomes) {
  WriteFile(work / "a.html", "<b>A</b>");
  WriteFile(work / "b.htm", "<b>B</b>");
  WriteFile(work / "empty.html", "");
  WriteFile(work / "notes", "plain");
  const Outcome mixed =
      run({"-d", "out/deep", "a.html", "missing.html", "empty.html", "b.htm", "notes", "-j", "2"});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.err,
            "sievetext: missing.html: Input file is missing\n"
            "sievetext: empty.html: Input file is empty!\n");
  EXPECT_EQ(ReadFile(work / "out/deep/a.txt"), "A");
  EXPECT_EQ(ReadFile(work / "out/deep/b.txt"), "B");
  EXPECT_EQ(ReadFile(work / "out/deep/notes.txt"), "plain");
  EXPECT_EQ(entriesIn(work / "out/deep"), 3u);

  // A run-time failure outranks a check: status 2, every input still tried.
  fs::create_directory(work / "out/deep/c.txt");
  WriteFile(work / "c.html", "C");
  const Outcome failed = run({"--output-dir=out/deep", "missing.html", "c.html", "a.html"});
  EXPECT_EQ(failed.status, 2);
  EXPECT_EQ(failed.err,
            "sievetext: missing.html: Input file is missing\n"
            "sievetext: out/deep/c.txt: RemoveHTML: Error 21: Is a directory\n");

  // A folder that cannot be made fails each input that needed it.
  WriteFile(work / "file", "");
  const Outcome blocked = run({"-d", "file/sub", "a.html"});
  EXPECT_EQ(blocked.status, 2);
  EXPECT_EQ(blocked.err, "sievetext: file/sub/a.txt: RemoveHTML: Error 20: Not a directory\n");
}

TEST_F(CliTest, TwoInputsForOneOutputWriteNothing) {
  fs::create_directory(work / "x");
  WriteFile(work / "a.html", "1");
  WriteFile(work / "x/a.HTM", "2");
  WriteFile(work / "b.html", "3");
  const Outcome clash = run({"-d", "out", "a.html", "b.html", "x/a.HTM"});
  EXPECT_EQ(clash.status, 1);
  EXPECT_EQ(clash.err,
            "sievetext: out/a.txt: both a.html and x/a.HTM would be written to it; nothing "
            "converted\n");
  EXPECT_FALSE(fs::exists(work / "out")) << "nothing written, no folder made";
}

TEST_F(CliTest, RecursiveWalkSkipsHiddenNamesAndNeverLoops) {
  WriteFile(work / "a.html", "top");
  fs::create_directories(work / "site/sub/.cache");
  fs::create_directories(work / "site/.git");
  WriteFile(work / "site/index.html", "<p>index</p>");
  WriteFile(work / "site/sub/page.HTM", "<p>page</p>");
  WriteFile(work / "site/sub/.draft.html", "hidden");
  WriteFile(work / "site/sub/.cache/c.html", "hidden");
  WriteFile(work / "site/.git/g.html", "hidden");
  WriteFile(work / "site/style.css", "p{}");
  fs::create_directory_symlink("..", work / "site/sub/up");
  fs::create_directory_symlink(work / "site", work / "site/self");

  const Outcome walked = run({"-r", "-d", "txt", "site"});
  EXPECT_EQ(walked.status, 0) << walked.err;
  EXPECT_EQ(walked.err, "");
  EXPECT_EQ(ReadFile(work / "txt/index.txt"), "index");
  EXPECT_EQ(ReadFile(work / "txt/sub/page.txt"), "page");
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(work / "txt")) {
    if (entry.is_regular_file()) written.push_back(fs::relative(entry.path(), work / "txt"));
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"index.txt", "sub/page.txt"}));

  const Outcome flat = run({"-d", "txt", "site", "a.html"});
  EXPECT_EQ(flat.status, 1);
  EXPECT_EQ(flat.err,
            "sievetext: site: Input file is missing (a folder; -r converts the pages below it)\n");
  EXPECT_EQ(ReadFile(work / "txt/a.txt"), "top");
}

TEST_F(CliTest, TheBytesWrittenNeverDependOnTheNumberOfJobs) {
  fs::create_directory(work / "in");
  std::vector<std::string> arguments;
  for (int i = 0; i < 60; ++i) {
    std::string page;
    for (int k = 0; k <= i * 37 % 200; ++k)
      page += "<p>" + std::to_string(i * k) + " &amp; x</p>\n";
    WriteFile(work / "in" / (std::to_string(i) + ".html"), page);
  }
  std::vector<std::string> outputs;
  for (const char* jobs : {"1", "2", "5"}) {
    const std::string folder = std::string("out") + jobs;
    ASSERT_EQ(run({"-r", "-j", jobs, "-d", folder, "in"}).status, 0);
    std::string all;
    for (int i = 0; i < 60; ++i)
      all += ReadFile(work / folder / (std::to_string(i) + ".txt")) + "|";
    outputs.push_back(all);
  }
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_EQ(outputs[0], outputs[2]);
}

TEST_F(CliTest, FirstRunStoresElevenTrueKeysAndConvertsWithAllOptions) {
  WriteFile(work / "in.html", "<script>x()</script>a&amp;b  |  {f}  c");
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  EXPECT_EQ(ReadFile(ini), kFirstRunSettings);
  EXPECT_EQ(ReadFile(work / "out.txt"), "a&b c");

  // A run that stops at a check saves the options all the same.
  fs::remove(ini);
  EXPECT_EQ(run({"none.html", "out.txt"}).status, 1);
  EXPECT_EQ(ReadFile(ini), kFirstRunSettings);
}

TEST_F(CliTest, StoredFormsAreReadAndWrittenBackAsTrueOrFalse) {
  const struct {
    const char* stored;
    const char* saved;
  } rows[] = {
      {"True", "True"}, {"true", "True"},   {"TRUE", "True"},   {"1", "True"},
      {"-1", "True"},   {"False", "False"}, {"false", "False"}, {"FALSE", "False"},
      {"0", "False"},   {"", "False"},      {"yes", "False"},
  };
  WriteFile(work / "in.html", "<b>bold</b>");
  fs::create_directories(ini.parent_path());
  for (const auto& row : rows) {
    // All options on but RemoveAllTags, which holds the form under test.
    std::string stored = kFirstRunSettings;
    const std::string key = "RemoveAllTags=True\n";
    stored.replace(stored.find(key), key.size(), std::string("RemoveAllTags=") + row.stored + "\n");
    WriteFile(ini, stored);
    EXPECT_EQ(run({"in.html", "out.txt"}).status, 0) << row.stored;
    std::string expected = kFirstRunSettings;
    expected.replace(expected.find(key), key.size(),
                     std::string("RemoveAllTags=") + row.saved + "\n");
    EXPECT_EQ(ReadFile(ini), expected) << row.stored;
    EXPECT_EQ(ReadFile(work / "out.txt"), std::string(row.saved) == "True" ? "bold" : "<b>bold</b>")
        << row.stored;
  }
}

TEST_F(CliTest, SettingsFileKeepsOtherEntriesAndSurvivesBeingUnreadable) {
  WriteFile(work / "in.html", "<b>x</b>");
  fs::create_directories(ini.parent_path());
  const std::string mine =
      "; edited by hand\n[Window]\nGeometry=1,2\n\n[General]\nRemoveTabs=0\nMine=keep me\n";
  WriteFile(ini, mine);
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  const std::string text = ReadFile(ini);
  EXPECT_EQ(text.rfind("; edited by hand\n[Window]\nGeometry=1,2\n\n[General]\nRemoveTabs=False\n"
                       "Mine=keep me\nGenerateSpecialChars=True\n",
                       0),
            0u)
      << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '='), 13);
  EXPECT_EQ(text.find("%General"), std::string::npos);

  // A settings "file" that cannot be read: every option on, nothing broken.
  fs::remove(ini);
  fs::create_directory(ini);
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "x");
  EXPECT_TRUE(fs::is_directory(ini));

  // A malformed file reads as empty and is left for its owner to mend.
  fs::remove(ini);
  WriteFile(ini, "[General]\nRemoveAllTags=False\nnot a setting\n");
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "x");
  EXPECT_EQ(ReadFile(ini), "[General]\nRemoveAllTags=False\nnot a setting\n");
}

TEST_F(CliTest, HelpVersionAndMissingWindow) {
  for (const char* flag : {"--help", "-h"}) {
    const Outcome help = run({flag});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: sievetext [OPTION]... INPUT [OUTPUT]\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find(ini.string()), std::string::npos) << "names the settings file";
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(help.err, "");
  }
  const Outcome version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Wexa Sievetext 1.0.20\n");

  // Help wins over anything else on the line, and writes nothing.
  EXPECT_EQ(run({"--help", "out.txt"}).status, 0);
  EXPECT_EQ(entriesIn(work), 0u);

  // Help or version that could not be written is a failure.
  Launch full;
  full.outputFile = "/dev/full";
  for (const char* flag : {"--help", "--version"}) {
    const Outcome lost = run({flag}, full);
    EXPECT_EQ(lost.status, 2) << flag;
    EXPECT_EQ(lost.err, "sievetext: standard output: cannot write: No space left on device\n");
  }

  // The window needs its module; this folder has none, as when only the
  // command-line package is installed.
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{}, {"--window"}, {"--window", "page.html"}}) {
    fs::remove(ini);
    const Outcome window = run(arguments);
    EXPECT_EQ(window.status, 2);
    EXPECT_EQ(window.err.rfind("sievetext: the window is not installed", 0), 0u) << window.err;
    EXPECT_NE(window.err.find("package sievetext-gui"), std::string::npos) << window.err;
    EXPECT_FALSE(fs::exists(ini)) << "nothing saved when the window never ran";
  }

  // A module that is there but cannot be loaded is a different fault.
  WriteFile(prog / "libsievetext_gui.so", "not a library");
  const Outcome broken = run({"--window", "page.html"});
  EXPECT_EQ(broken.status, 2);
  EXPECT_EQ(broken.err.rfind("sievetext: cannot start the window: ", 0), 0u) << broken.err;
  EXPECT_FALSE(fs::exists(ini));
}

}  // namespace
}  // namespace sievetext
