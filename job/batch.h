#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "job/arguments.h"
#include "job/file_system.h"
#include "job/options.h"
#include "job/process_state.h"
#include "job/standard_streams.h"

namespace sievetext {

// One input and the output it is converted to.
struct PlannedJob {
  std::string input;  // as the job opens it: absolute, or "-"
  std::string output;
  std::string inputName;  // as the user wrote it, for messages
  std::string outputName;
};

// Where one line of the command line's messages goes.
class MessageSink {
 public:
  MessageSink() = default;
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;
  virtual ~MessageSink() = default;
  // `text` is one line without its line break.
  virtual void line(const std::string& text) = 0;
};

// Messages on standard error, one write(2) per line so that lines never mix.
// Remembers a failed write: the run then ends with status 2.
class StandardErrorSink final : public MessageSink {
 public:
  StandardErrorSink(bool quiet, bool closed) : quiet_(quiet), closed_(closed) {}
  void line(const std::string& text) override;
  bool failed() const { return failed_; }

 private:
  std::mutex mutex_;
  bool quiet_;
  bool closed_;
  bool failed_ = false;
};

// "sievetext: " followed by the parts that are not empty, joined by ": ".
// Control characters in names become "?" so that a message stays one line.
std::string MessageLine(std::string_view file, std::string_view text);

// The output file name of -d for an input: its name without its last
// extension, and ".txt" ("a.html" -> "a.txt", "notes" -> "notes.txt").
std::string OutputNameFor(std::string_view inputPath);

// The jobs of -d FOLDER INPUT...: each INPUT to FOLDER/NAME.txt; with -r a
// folder INPUT is walked for .html and .htm files (any letter case), which go
// to the same subfolder of FOLDER. Names starting with "." are skipped and
// symbolic links to folders are not followed. Two inputs for one output, or
// an output that another job reads, are reported here, and then no job is
// planned at all, so that nothing is written.
struct Plan {
  std::vector<PlannedJob> jobs;
  std::vector<std::string> messages;
  int status = 0;  // 1 when a check failed, 2 when a folder could not be read
};
Plan PlanOutputFolder(const Arguments& args, const std::string& workingFolder);

// How the jobs run.
struct RunSettings {
  OptionBoxes& options;  // read only, by every thread at once
  FileSystem& files;
  ClosedStreams closed;
  bool lfLineBreaks = false;
  bool makeFolders = false;  // create an output's missing folders just before writing it
  unsigned threads = 1;
};

// Runs every job, `settings.threads` at a time (the calling thread is one of
// them and uses `state`'s engine; the others get engines of their own). One
// failure never stops the others. Messages are one line each, printed in the
// order of the jobs whatever the number of threads. Returns the worst exit
// status: 0 all written, 1 some stopped at a check, 2 some failed.
[[nodiscard]] int RunJobs(ProcessState& state, const std::vector<PlannedJob>& jobs,
                          const RunSettings& settings, MessageSink& messages);

// The number of online processors, at least 1.
unsigned OnlineCores();

}  // namespace sievetext
