#include "cli/program.h"

#include <gtest/gtest.h>

#include "tests/support/memory_file_system.h"
#include "tests/support/memory_settings_store.h"

namespace sievetext {
namespace {

using testing::MemorySettingsStore;

class RecordingSink final : public MessageSink {
 public:
  void line(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

struct RunResult {
  int status;
  std::vector<std::string> lines;
};

class RunCommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.files = {{"/home/u/page.html", "<b>text</b>\tx"},
                   {"/home/u/empty.html", ""},
                   {"/home/u/old.txt", "old"}};
    files.folders = {"/home/u"};
    store.values["RemoveTabs"] = "0";
  }
  RunResult run(const std::vector<std::string>& arguments) {
    const Arguments args = ParseArguments(arguments);
    EXPECT_EQ(args.action, Arguments::Action::Convert) << args.problem;
    RecordingSink sink;
    CommandLineHost host{store, files, sink, "/home/u", {}};
    ProcessState state;
    state.sAppPath = "/opt/sievetext/";
    const int status = RunCommandLine(state, args, host);
    EXPECT_EQ(state.oRemover, nullptr) << "released at the end";
    return {status, sink.lines};
  }
  MemoryFileSystem files;
  MemorySettingsStore store;
};

TEST_F(RunCommandLineTest, PathsFromTheWorkingFolderAndOneMessagePerFailure) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    const char* message;
  } rows[] = {
      {{"page.html", "page.txt"}, 0, nullptr},
      {{"/home/u/page.html", "sub/../old.txt"}, 0, nullptr},
      {{"page.html", ""}, 1, "sievetext: You have not selected the output file."},
      {{"", "page.txt"}, 1, "sievetext: You have not selected the input file."},
      {{"none.html", "page.txt"}, 1, "sievetext: none.html: Input file is missing"},
      {{"empty.html", "page.txt"}, 1, "sievetext: empty.html: Input file is empty!"},
      {{"page.html", "/home/u"}, 2, "sievetext: /home/u: RemoveHTML: Error 21: Is a directory"},
  };
  for (const auto& row : rows) {
    const RunResult result = run(row.arguments);
    EXPECT_EQ(result.status, row.status) << row.arguments[0];
    EXPECT_EQ(result.lines,
              row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{});
    // The options are saved back however the job ended.
    EXPECT_EQ(store.values.size(), kOptions.size());
    EXPECT_EQ(store.values["RemoveTabs"], "False");
  }
  EXPECT_EQ(files.files["/home/u/page.txt"], "text\tx");
  EXPECT_EQ(files.files["/home/u/sub/../old.txt"], "text\tx");
  EXPECT_EQ(files.files["/home/u/old.txt"], "old");
  EXPECT_EQ(files.files.count("/opt/sievetext/page.txt"), 0u);
}

TEST_F(RunCommandLineTest, PerRunOptionsConvertButAreNeverSaved) {
  files.files["/home/u/page.html"] = "<b>a</b>\t|\nb";
  store.values["RemoveAllCRLF"] = "False";
  EXPECT_EQ(run({"--with=removetabs", "--without=RemoveAllTags", "--without=all",
                 "--with=RemoveAllTags", "--lf", "page.html", "out.txt"})
                .status,
            0);
  EXPECT_EQ(files.files["/home/u/out.txt"], "a\t|\nb") << "only RemoveAllTags on, LF breaks";
  EXPECT_EQ(store.values["RemoveTabs"], "False");
  EXPECT_EQ(store.values["RemovePipe"], "True");
  EXPECT_EQ(run({"page.html", "out.txt"}).status, 0);
  EXPECT_EQ(files.files["/home/u/out.txt"], "a\t \r\nb") << "saved options, CR LF";
}

// The window's reading-mode box is the window's: the command line lays out
// only with --layout, and leaves the saved box as it was.
TEST_F(RunCommandLineTest, TheWindowsSavedReadingModeIsNotTheCommandLines) {
  files.files["/home/u/page.html"] = "<p>one</p><p>two</p>";
  store.values["RemoveAllCRLF"] = "False";
  store.values["Layout"] = "True";
  EXPECT_EQ(run({"page.html", "out.txt"}).status, 0);
  EXPECT_EQ(files.files["/home/u/out.txt"], "onetwo");
  EXPECT_EQ(run({"--layout", "page.html", "out.txt"}).status, 0);
  EXPECT_EQ(files.files["/home/u/out.txt"], "one\r\ntwo");
  EXPECT_EQ(store.values["Layout"], "True");
  store.values["Layout"] = "False";
  EXPECT_EQ(run({"--layout", "page.html", "out.txt"}).status, 0);
  EXPECT_EQ(store.values["Layout"], "False");
}

}  // namespace
}  // namespace sievetext
