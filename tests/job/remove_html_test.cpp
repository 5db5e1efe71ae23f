#include "job/remove_html.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "job/engine_hooks.h"
#include "job/error_reporter.h"
#include "job/process_state.h"
#include "settings/option_transfer.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompter.h"

namespace sievetext {
namespace {

using testing::MemorySettingsStore;
using testing::RecordingPrompter;
using Messages = std::vector<std::string>;

// One job over the paths and engine of `state`, as the window runs it.
JobOutcome RunAsTheWindowDoes(ProcessState& state, OptionBoxes& boxes, FileSystem& files,
                              Prompter& prompter) {
  const OptionValues options = ReadOptions(boxes);
  JobContext ctx{*state.oRemover, options, files, prompter};
  return RemoveHTML({state.sInputFile, state.sOutputFile, state.layout}, ctx).outcome;
}

class RemoveHTMLTest : public ::testing::Test {
 protected:
  RemoveHTMLTest() {
    state.oRemover = std::make_unique<cSievetext>();
    state.sInputFile = "/in/page.html";
    state.sOutputFile = "/out/page.txt";
    files.files["/in/page.html"] = "plain words";
    for (const OptionInfo& option : kOptions) boxes.setValue(option.key, 1);
  }

  JobOutcome run() { return RunAsTheWindowDoes(state, boxes, files, prompter); }

  // True when the engine gives its host a chance to run during a conversion.
  ProcessState state;
  OptionModel boxes;
  MemoryFileSystem files;
  RecordingPrompter prompter;
};

TEST_F(RemoveHTMLTest, ChecksStopWithTheirMessageAndWriteNothing) {
  const struct {
    const char* name;
    std::string input;
    std::string output;
    const char* message;
  } rows[] = {
      {"both paths empty", "", "", kNoInputMessage},
      {"input path empty", "", "/out/page.txt", kNoInputMessage},
      {"output path empty", "/in/page.html", "", kNoOutputMessage},
      {"input missing", "/in/none.html", "/out/page.txt", kInputMissingMessage},
      {"input is a folder", "/in", "/out/page.txt", kInputMissingMessage},
      {"input is a FIFO", "/in/fifo", "/out/page.txt", kInputMissingMessage},
      {"input is hidden", "/in/.hidden.html", "/out/page.txt", kInputMissingMessage},
      {"input path ends in a slash", "/in/", "/out/page.txt", kInputMissingMessage},
      {"input is empty", "/in/empty.html", "/out/page.txt", kInputEmptyMessage},
  };
  for (const auto& row : rows) {
    RecordingPrompter rowPrompter;
    MemoryFileSystem rowFiles;
    rowFiles.files = {{"/in/page.html", "x"}, {"/in/.hidden.html", "x"}, {"/in/empty.html", ""}};
    rowFiles.folders = {"/in"};
    rowFiles.others = {"/in/fifo"};
    state.sInputFile = row.input;
    state.sOutputFile = row.output;
    EXPECT_EQ(RunAsTheWindowDoes(state, boxes, rowFiles, rowPrompter), JobOutcome::Stopped)
        << row.name;
    EXPECT_EQ(rowPrompter.said, Messages{row.message}) << row.name;
    EXPECT_TRUE(rowPrompter.asked.empty()) << row.name;
    EXPECT_EQ(rowFiles.replaceCalls, 0) << row.name;
  }
}

// Every message the job shows, written out as the user reads it: a changed
// constant must fail here, not pass through the code and the test alike.
TEST_F(RemoveHTMLTest, MessagesWordForWord) {
  const struct {
    const char* name;
    std::string input;
    std::string output;
    bool outputExists;
    Messages said;
    Messages asked;
  } rows[] = {
      {"no input", "", "/out/page.txt", false, {"You have not selected the input file."}, {}},
      {"no output", "/in/page.html", "", false, {"You have not selected the output file."}, {}},
      {"input missing", "/in/none.html", "/out/page.txt", false, {"Input file is missing"}, {}},
      {"input empty", "/in/empty.html", "/out/page.txt", false, {"Input file is empty!"}, {}},
      {"written", "/in/page.html", "/out/page.txt", false, {"Done"}, {}},
      {"replaced",
       "/in/page.html",
       "/out/page.txt",
       true,
       {"Done"},
       {"Output file already exists, overwrite?"}},
  };
  for (const auto& row : rows) {
    RecordingPrompter rowPrompter;
    MemoryFileSystem rowFiles;
    rowFiles.files = {{"/in/page.html", "x"}, {"/in/empty.html", ""}};
    if (row.outputExists) rowFiles.files["/out/page.txt"] = "old";
    state.sInputFile = row.input;
    state.sOutputFile = row.output;
    static_cast<void>(
        RunAsTheWindowDoes(state, boxes, rowFiles, rowPrompter));  // what it says is the point here
    EXPECT_EQ(rowPrompter.said, row.said) << row.name;
    EXPECT_EQ(rowPrompter.asked, row.asked) << row.name;
  }
}

TEST_F(RemoveHTMLTest, WritesTheConvertedTextAndSaysDone) {
  EXPECT_EQ(run(), JobOutcome::Written);
  EXPECT_EQ(files.files["/out/page.txt"], "plain words");
  EXPECT_EQ(prompter.said, Messages{kDoneMessage});
  EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(RemoveHTMLTest, DecodesInputAndEncodesOutput) {
  files.files["/in/page.html"] = "caf\xE9 \x93q\x94";  // Windows-1252
  EXPECT_EQ(run(), JobOutcome::Written);
  EXPECT_EQ(files.files["/out/page.txt"], "caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D");
}

TEST_F(RemoveHTMLTest, ExistingOutputIsReplacedOnlyWhenConfirmed) {
  for (const char* output : {"/out/page.txt", "/out/.hidden"}) {
    for (const bool ok : {false, true}) {
      RecordingPrompter rowPrompter;
      rowPrompter.answers = {ok};
      files.files[output] = "old text that is longer than the new one";
      state.sOutputFile = output;
      EXPECT_EQ(RunAsTheWindowDoes(state, boxes, files, rowPrompter),
                ok ? JobOutcome::Written : JobOutcome::Stopped);
      EXPECT_EQ(rowPrompter.asked, Messages{kOverwriteQuestion});
      EXPECT_EQ(rowPrompter.said, ok ? Messages{kDoneMessage} : Messages{});
      EXPECT_EQ(files.files[output],
                ok ? "plain words" : "old text that is longer than the new one");
    }
  }
}

TEST_F(RemoveHTMLTest, EmptyInputLeavesAConfirmedOutputAlone) {
  files.files["/in/page.html"] = "";
  files.files["/out/page.txt"] = "old";
  EXPECT_EQ(run(), JobOutcome::Stopped);
  EXPECT_EQ(prompter.asked, Messages{kOverwriteQuestion});
  EXPECT_EQ(prompter.said, Messages{kInputEmptyMessage});
  EXPECT_EQ(files.files["/out/page.txt"], "old");
}

TEST_F(RemoveHTMLTest, OutputEqualToInputReplacesTheInput) {
  state.sOutputFile = state.sInputFile;
  EXPECT_EQ(run(), JobOutcome::Written);
  EXPECT_EQ(prompter.asked, Messages{kOverwriteQuestion});
  EXPECT_EQ(files.files["/in/page.html"], "plain words");
}

TEST_F(RemoveHTMLTest, FileErrorsAreReportedAndNeverClaimSuccess) {
  const struct {
    const char* name;
    int readError;
    int replaceError;
    bool outputIsFolder;
    const char* message;
  } rows[] = {
      {"read fails", 5, 0, false, "RemoveHTML: Error 5: Input/output error"},
      {"write fails", 0, 13, false, "RemoveHTML: Error 13: Permission denied"},
      {"disk full", 0, 28, false, "RemoveHTML: Error 28: No space left on device"},
      {"output is a folder", 0, 0, true, "RemoveHTML: Error 21: Is a directory"},
  };
  for (const auto& row : rows) {
    MemoryFileSystem rowFiles;
    rowFiles.files = {{"/in/page.html", "x"}, {"/out/page.txt", "old"}};
    rowFiles.readError = row.readError;
    rowFiles.replaceError = row.replaceError;
    state.sOutputFile = row.outputIsFolder ? "/out" : "/out/page.txt";
    if (row.outputIsFolder) rowFiles.folders = {"/out"};
    RecordingPrompter rowPrompter;
    EXPECT_EQ(RunAsTheWindowDoes(state, boxes, rowFiles, rowPrompter), JobOutcome::Failed)
        << row.name;
    EXPECT_EQ(rowPrompter.said, Messages{row.message}) << row.name;
    EXPECT_EQ(rowFiles.files["/out/page.txt"], "old") << row.name;
  }
}

// A file system whose input is larger than any memory, or that runs out of
// memory while reading.
class ExhaustedFileSystem final : public FileSystem {
 public:
  explicit ExhaustedFileSystem(std::uint64_t size) : size_(size) {}
  FileKind kind(const std::string&) override { return FileKind::Regular; }
  int size(const std::string&, std::uint64_t& bytes) override {
    bytes = size_;
    return 0;
  }
  int read(const std::string&, const ByteSink&) override { throw std::bad_alloc(); }
  int replace(const std::string&, const ByteSource&) override {
    ADD_FAILURE() << "nothing may be written";
    return 0;
  }

 private:
  std::uint64_t size_;
};

TEST_F(RemoveHTMLTest, RunningOutOfMemoryIsAReportedError) {
  std::vector<std::uint64_t> sizes{10};  // the read itself runs out
#if !defined(__SANITIZE_ADDRESS__)
  // Sizes no memory can hold. (AddressSanitizer ends the process on such a
  // request instead of throwing.)
  sizes.push_back(std::uint64_t{1} << 61);
  sizes.push_back(std::uint64_t{1} << 63);
#endif
  for (const std::uint64_t size : sizes) {
    ExhaustedFileSystem exhausted(size);
    RecordingPrompter rowPrompter;
    EXPECT_EQ(RunAsTheWindowDoes(state, boxes, exhausted, rowPrompter), JobOutcome::Failed) << size;
    EXPECT_EQ(rowPrompter.said, Messages{"RemoveHTML: Error 7: Out of memory"}) << size;
  }
}

TEST_F(RemoveHTMLTest, EngineFailureStopsTheJobBeforeAnyWrite) {
  files.files["/out/page.txt"] = "old";
  ConversionReporter* const hostReporter = nullptr;
  state.oRemover->reporter = hostReporter;
  // The host stops the first step; the engine reports it once and goes on.
  bool thrown = false;
  state.oRemover->yield = [&thrown] {
    if (thrown) return;
    thrown = true;
    throw ConversionError(42, "stopped by the host");
  };
  files.files["/in/page.html"] = "a <b>c</b>";
  EXPECT_EQ(run(), JobOutcome::Failed);
  // A conversion yields to its host; without that there is nothing to stop.
  EXPECT_TRUE(thrown);
  ASSERT_EQ(prompter.said.size(), 1u) << ::testing::PrintToString(prompter.said);
  EXPECT_NE(prompter.said[0].find(": Error 42: stopped by the host"), std::string::npos)
      << prompter.said[0];
  EXPECT_EQ(files.files["/out/page.txt"], "old");
  EXPECT_EQ(files.replaceCalls, 0);
  EXPECT_EQ(state.oRemover->reporter, hostReporter);
}

TEST_F(RemoveHTMLTest, WritesTheOutputChosenWhenTheJobStarted) {
  files.files["/in/page.html"] = "a <b>c</b>";
  bool yielded = false;
  state.oRemover->yield = [this, &yielded] {
    yielded = true;
    state.sOutputFile = "/out/other.txt";
  };
  EXPECT_EQ(run(), JobOutcome::Written);
  EXPECT_TRUE(yielded);
  EXPECT_EQ(files.files.count("/out/page.txt"), 1u);
  EXPECT_EQ(files.files.count("/out/other.txt"), 0u);
}

struct NamedReporter final : ConversionReporter {
  void report(std::string_view, long, std::string_view) override {}
};

TEST(EngineHooksTest, SetBothForTheirLifetimeAndPutBackWhatWasThere) {
  cSievetext engine;
  NamedReporter host, job;
  std::string calls;
  engine.reporter = &host;
  engine.yield = [&calls] { calls += "host "; };
  try {
    EngineHooks outer(
        engine, [&calls] { calls += "outer "; }, &job);
    engine.yield();
    EXPECT_EQ(engine.reporter, &job);
    {
      // Left out: the outer ones stay.
      EngineHooks inner(engine, {}, nullptr);
      engine.yield();
      EXPECT_EQ(engine.reporter, &job);
      EngineHooks innermost(
          engine, [&calls] { calls += "inner "; }, &host);
      engine.yield();
      EXPECT_EQ(engine.reporter, &host);
    }
    engine.yield();
    EXPECT_EQ(engine.reporter, &job);
    throw std::runtime_error("window closed");
  } catch (const std::runtime_error&) {
  }
  engine.yield();
  EXPECT_EQ(engine.reporter, &host);
  EXPECT_EQ(calls, "outer outer inner outer host ");
}

}  // namespace
}  // namespace sievetext
