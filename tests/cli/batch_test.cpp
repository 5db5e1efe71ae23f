#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/plan.h"
#include "cli/run_jobs.h"
#include "settings/option_transfer.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/temp_folder.h"

namespace sievetext {
namespace {

namespace fs = std::filesystem;

class RecordingSink final : public MessageSink {
 public:
  void line(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

TEST(BatchNamesTest, OutputNamesAndMessageLines) {
  EXPECT_EQ(OutputNameFor("a.html"), "a.txt");
  EXPECT_EQ(OutputNameFor("dir/page.HTM"), "page.txt");
  EXPECT_EQ(OutputNameFor("notes"), "notes.txt");
  EXPECT_EQ(OutputNameFor("archive.tar.gz"), "archive.tar.txt");
  EXPECT_EQ(OutputNameFor("dir.d/notes"), "notes.txt");
  EXPECT_EQ(OutputNameFor(".profile"), ".profile.txt");
  EXPECT_EQ(OutputNameFor("site/"), "site.txt");

  EXPECT_EQ(MessageLine("", "You have not selected the input file."),
            "sievetext: You have not selected the input file.");
  EXPECT_EQ(MessageLine("a.html", "Input file is missing"),
            "sievetext: a.html: Input file is missing");
  EXPECT_EQ(MessageLine("bad\nname\x1b", "x"), "sievetext: bad?name?: x");
}

// A real folder tree for the planner, which walks the file system itself.
class PlanTest : public ::testing::Test {
 protected:
  void touch(const fs::path& relative) {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative) << "x";
  }
  Plan plan(std::vector<std::string> arguments) {
    std::vector<std::string> all{"-d", "out"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const Arguments args = ParseArguments(all);
    EXPECT_EQ(args.action, Arguments::Action::Convert) << args.problem;
    return PlanOutputFolder(args, root.string());
  }
  static std::vector<std::string> Pairs(const Plan& plan) {
    std::vector<std::string> pairs;
    for (const PlannedJob& job : plan.jobs) pairs.push_back(job.inputName + " > " + job.outputName);
    return pairs;
  }
  testing::TempFolder temp{"sievetext-plan"};
  fs::path root = temp.path();
};

TEST_F(PlanTest, WalksFoldersForPagesSkippingHiddenNamesAndFolderLinks) {
  touch("site/index.html");
  touch("site/b.HTM");
  touch("site/notes.txt");
  touch("site/.hidden.html");
  touch("site/.git/x.html");
  touch("site/sub/deep/c.htm");
  touch("site/sub/a.html");
  fs::create_directory_symlink("..", root / "site/sub/loop");  // a loop, never followed
  fs::create_symlink("../index.html", root / "site/sub/linked.html");
  fs::create_directory(root / "site/folder.html");
  ASSERT_EQ(::mkfifo((root / "site/fifo.html").c_str(), 0600), 0);

  const Plan walked = plan({"-r", "site"});
  EXPECT_EQ(walked.status, 0);
  EXPECT_TRUE(walked.messages.empty());
  EXPECT_EQ(Pairs(walked), (std::vector<std::string>{
                               "site/b.HTM > out/b.txt",
                               "site/index.html > out/index.txt",
                               "site/sub/a.html > out/sub/a.txt",
                               "site/sub/deep/c.htm > out/sub/deep/c.txt",
                               "site/sub/linked.html > out/sub/linked.txt",
                           }));
  EXPECT_EQ(walked.jobs[0].input, (root / "site/b.HTM").string());
  EXPECT_EQ(walked.jobs[0].output, (root / "out/b.txt").string());

  // Without -r a folder is an error for that input alone.
  const Plan flat = plan({"site", "site/index.html", "missing.html"});
  EXPECT_EQ(flat.status, 1);
  EXPECT_EQ(flat.messages, std::vector<std::string>{
                               "sievetext: site: Input file is missing (a folder; -r converts "
                               "the pages below it)"});
  EXPECT_EQ(Pairs(flat), (std::vector<std::string>{"site/index.html > out/index.txt",
                                                   "missing.html > out/missing.txt"}));
}

TEST_F(PlanTest, TwoInputsForOneOutputPlanNothing) {
  touch("a.html");
  touch("b/a.htm");
  touch("c.html");
  const Plan clash = plan({"a.html", "c.html", "b/a.htm"});
  EXPECT_EQ(clash.status, 1);
  EXPECT_TRUE(clash.jobs.empty());
  EXPECT_EQ(clash.messages, std::vector<std::string>{
                                "sievetext: out/a.txt: both a.html and b/a.htm would be written "
                                "to it; nothing converted"});

  // The same file by two names is one output too; so is an output another
  // job reads.
  fs::create_directory(root / "out");
  touch("out/c.txt");
  const Plan same = plan({"c.html", "./c.html", "out/c.txt"});
  EXPECT_EQ(same.status, 1);
  EXPECT_TRUE(same.jobs.empty());
  EXPECT_EQ(same.messages, std::vector<std::string>{
                               "sievetext: out/c.txt: c.html, ./c.html and out/c.txt would all "
                               "be written to it; nothing converted"});
  touch("real.htm");
  fs::create_symlink("out/real.txt", root / "link.html");
  touch("out/real.txt");
  const Plan read = plan({"link.html", "real.htm"});
  EXPECT_TRUE(read.jobs.empty());
  EXPECT_EQ(read.messages, std::vector<std::string>{
                               "sievetext: out/real.txt: would be written from real.htm while it "
                               "is the input link.html; nothing converted"});

  // An input converted over itself is fine, as with INPUT OUTPUT.
  EXPECT_EQ(plan({"out/c.txt"}).status, 0);
}

TEST(RunJobsTest, EveryJobRunsAndMessagesKeepJobOrderWhateverTheThreads) {
  for (unsigned threads : {1u, 2u, 7u}) {
    MemoryFileSystem files;
    std::vector<PlannedJob> jobs;
    for (int i = 0; i < 40; ++i) {
      const std::string n = std::to_string(i);
      if (i % 10 == 3) {
        files.files["/in/" + n + ".html"] = "";  // stops: empty
      } else if (i % 10 != 7) {
        files.files["/in/" + n + ".html"] = "<b>" + n + "</b>\nx";
      }  // else missing
      jobs.push_back({"/in/" + n + ".html", "/out/" + n + ".txt", n + ".html", "o/" + n + ".txt"});
    }
    OptionModel options;
    options.setValue(OptionKey::RemoveAllTags, 1);
    RunSettings settings{ReadOptions(options), files, {}};
    settings.threads = threads;
    settings.lfLineBreaks = true;
    ProcessState state;
    state.oRemover = std::make_unique<cSievetext>();
    RecordingSink sink;
    EXPECT_EQ(RunJobs(state, jobs, settings, sink), 1) << threads;
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
      const std::string n = std::to_string(i);
      if (i % 10 == 3) expected.push_back("sievetext: " + n + ".html: Input file is empty!");
      if (i % 10 == 7) expected.push_back("sievetext: " + n + ".html: Input file is missing");
      if (i % 10 != 3 && i % 10 != 7) {
        EXPECT_EQ(files.files["/out/" + n + ".txt"], n + "\nx");
      }
    }
    EXPECT_EQ(sink.lines, expected) << threads;
    EXPECT_NE(state.oRemover, nullptr) << "the caller's engine stays";
  }
}

TEST(RunJobsTest, RuntimeFailuresNameTheFileTheyConcern) {
  MemoryFileSystem files;
  files.files["/in/a.html"] = "a";
  OptionModel options;
  RunSettings settings{ReadOptions(options), files, {}};
  ProcessState state;
  state.oRemover = std::make_unique<cSievetext>();
  RecordingSink sink;
  files.replaceError = EACCES;
  EXPECT_EQ(RunJobs(state, {{"/in/a.html", "/out/a.txt", "a.html", "-"}}, settings, sink), 2);
  files.replaceError = 0;
  files.readError = EIO;
  EXPECT_EQ(RunJobs(state, {{"/in/a.html", "/out/a.txt", "a.html", "a.txt"}}, settings, sink), 2);
  EXPECT_EQ(RunJobs(state, {{"", "/out/a.txt", "", "a.txt"}}, settings, sink), 1);
  EXPECT_EQ(sink.lines, (std::vector<std::string>{
                            "sievetext: standard output: RemoveHTML: Error 13: Permission denied",
                            "sievetext: a.html: RemoveHTML: Error 5: Input/output error",
                            "sievetext: You have not selected the input file.",
                        }));
}

}  // namespace
}  // namespace sievetext
