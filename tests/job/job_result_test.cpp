#include "job/job_result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>

#include "job/error_reporter.h"
#include "job/remove_html.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/recording_prompter.h"

namespace sievetext {
namespace {

using testing::RecordingPrompter;

// One job as the command line and the library run it: paths and options in,
// a result out, nothing said.
class RunJobTest : public ::testing::Test {
 protected:
  RunJobTest() {
    options.fill(true);
    files.files = {{"/in/page.html", "a <b>c</b>"}, {"/in/empty.html", ""}};
    files.folders = {"/in", "/out"};
  }

  JobResult run(const std::string& input, const std::string& output) {
    JobContext ctx{engine, options, files, prompter};
    return RunJob({input, output}, ctx);
  }

  cSievetext engine;
  OptionValues options{};
  MemoryFileSystem files;
  RecordingPrompter prompter;
};

TEST_F(RunJobTest, EachCheckNamesItselfAndTheFileItConcerns) {
  const struct {
    const char* name;
    std::string input;
    std::string output;
    JobCheck check;
    JobFile file;
    std::string path;
    int systemError;
  } rows[] = {
      // (the same file under two names needs a real file system: the end-to-end tests)
      {"no input", "", "/out/a.txt", JobCheck::NoInput, JobFile::None, "", 0},
      {"no output", "/in/page.html", "", JobCheck::NoOutput, JobFile::None, "", 0},
      {"missing", "/in/none.html", "/out/a.txt", JobCheck::InputMissing, JobFile::Input,
       "/in/none.html", ENOENT},
      {"empty", "/in/empty.html", "/out/a.txt", JobCheck::InputEmpty, JobFile::Input,
       "/in/empty.html", 0},
  };
  for (const auto& row : rows) {
    const JobResult result = run(row.input, row.output);
    EXPECT_EQ(result.outcome, JobOutcome::Stopped) << row.name;
    EXPECT_EQ(result.check, row.check) << row.name;
    EXPECT_EQ(result.failure, JobFailure::None) << row.name;
    EXPECT_EQ(result.file, row.file) << row.name;
    EXPECT_EQ(result.path, row.path) << row.name;
    EXPECT_EQ(result.systemError, row.systemError) << row.name;
    EXPECT_EQ(JobMessage(result), CheckMessage(row.check)) << row.name;
    EXPECT_EQ(ExitStatus(result.outcome), 1) << row.name;
  }
  EXPECT_TRUE(prompter.said.empty()) << "RunJob says nothing";
  EXPECT_EQ(files.replaceCalls, 0);

  // A declined overwrite is a check without words.
  files.files["/out/a.txt"] = "old";
  prompter.answers = {false};
  const JobResult declined = run("/in/page.html", "/out/a.txt");
  EXPECT_EQ(declined.check, JobCheck::OverwriteDeclined);
  EXPECT_EQ(declined.file, JobFile::Output);
  EXPECT_EQ(JobMessage(declined), "");
  EXPECT_EQ(files.files["/out/a.txt"], "old");
}

TEST_F(RunJobTest, FailuresCarryTheirKindFileNumberAndTheWordsMadeOfThem) {
  files.readError = EIO;
  JobResult result = run("/in/page.html", "/out/a.txt");
  EXPECT_EQ(result.outcome, JobOutcome::Failed);
  EXPECT_EQ(result.failure, JobFailure::File);
  EXPECT_EQ(result.file, JobFile::Input);
  EXPECT_EQ(result.path, "/in/page.html");
  EXPECT_EQ(result.systemError, EIO);
  EXPECT_EQ(JobMessage(result), "RemoveHTML: Error 5: Input/output error");
  EXPECT_EQ(ExitStatus(result.outcome), 2);

  files.readError = 0;
  files.replaceError = ENOSPC;
  result = run("/in/page.html", "/out/a.txt");
  EXPECT_EQ(result.failure, JobFailure::File);
  EXPECT_EQ(result.file, JobFile::Output);
  EXPECT_EQ(result.path, "/out/a.txt");
  EXPECT_EQ(result.systemError, ENOSPC);
  EXPECT_EQ(result.errorNumber, ENOSPC);
  files.replaceError = 0;

  // The engine's own failures keep its operation's name and number; running
  // out of memory inside it is the job's out-of-memory failure.
  bool thrown = false;
  engine.yield = [&thrown] {
    if (thrown) return;
    thrown = true;
    throw ConversionError(42, "stopped by the host");
  };
  result = run("/in/page.html", "/out/a.txt");
  ASSERT_TRUE(thrown);
  EXPECT_EQ(result.failure, JobFailure::Engine);
  EXPECT_EQ(result.file, JobFile::Input);
  EXPECT_EQ(result.errorNumber, 42);
  EXPECT_NE(result.procedure, "RemoveHTML");
  EXPECT_EQ(JobMessage(result), result.procedure + ": Error 42: stopped by the host");

  thrown = false;
  engine.yield = [&thrown] {
    if (thrown) return;
    thrown = true;
    throw std::bad_alloc();
  };
  result = run("/in/page.html", "/out/a.txt");
  EXPECT_EQ(result.failure, JobFailure::OutOfMemory);
  EXPECT_EQ(result.errorNumber, kErrorOutOfMemory);
  EXPECT_EQ(files.files.count("/out/a.txt"), 0u);
  EXPECT_TRUE(prompter.said.empty());
}

TEST_F(RunJobTest, RemoveHTMLSaysWhatTheResultSays) {
  JobContext ctx{engine, options, files, prompter};
  EXPECT_EQ(RemoveHTML({"/in/page.html", "/out/a.txt"}, ctx).outcome, JobOutcome::Written);
  files.readError = EIO;
  EXPECT_EQ(RemoveHTML({"/in/page.html", "/out/b.txt"}, ctx).failure, JobFailure::File);
  EXPECT_EQ(prompter.said,
            (std::vector<std::string>{"Done", "RemoveHTML: Error 5: Input/output error"}));
}

TEST(FormatErrorTest, BuildsTheMessageExactly) {
  EXPECT_EQ(FormatError("ExtractText", 7, "Out of memory"), "ExtractText: Error 7: Out of memory");
  EXPECT_EQ(FormatError("RemoveHTML", -2147483647L - 1, "x"), "RemoveHTML: Error -2147483648: x");
  EXPECT_EQ(FormatError("CutHTML", 0, ""), "CutHTML: Error 0: ");
  EXPECT_EQ(FormatError("", 13, "Permission denied"), ": Error 13: Permission denied");
  EXPECT_EQ(ErrnoText(13), "Permission denied");
}

}  // namespace
}  // namespace sievetext
