#include "cli/run_jobs.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "job/remove_html.h"
#include "text/line_breaks.h"

namespace sievetext {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// What a name in a message looks like: standard streams get words.
std::string Shown(const std::string& name, bool output) {
  if (name == kStandardStreamPath) return output ? "standard output" : "standard input";
  return name;
}

// The job's files as the command line wants them: standard streams for "-",
// missing output folders created on the way, LF line breaks on request; and
// it notes when the job has got as far as writing, so that a failure can be
// put down to the right file.
class JobFiles final : public FileSystem {
 public:
  JobFiles(FileSystem& files, const RunSettings& settings)
      : streams_(files, settings.closed), settings_(settings) {}

  FileKind kind(const std::string& path) override { return streams_.kind(path); }
  int size(const std::string& path, std::uint64_t& bytes) override {
    return streams_.size(path, bytes);
  }
  int read(const std::string& path, const ByteSink& use) override {
    return streams_.read(path, use);
  }
  bool identify(const std::string& path, bool asOutput, FileIdentity& id) override {
    return streams_.identify(path, asOutput, id);
  }
  int replace(const std::string& path, const ByteSource& next) override {
    writing_ = true;
    if (settings_.makeFolders && path != kStandardStreamPath) {
      if (const int error = MakeFolders(FolderOf(path))) return error;
    }
    return streams_.replace(path, settings_.lfLineBreaks ? WithLfLineBreaks(next) : next);
  }

  bool writing() const { return writing_; }

 private:
  StandardStreamFileSystem streams_;
  const RunSettings& settings_;
  bool writing_ = false;
};

// Turns the job's messages into message lines: "Done" is not said, every
// question is answered yes (the output is replaced without asking), and each
// message names the file it concerns.
class JobPrompter final : public Prompter {
 public:
  JobPrompter(const PlannedJob& job, const JobFiles& files) : job_(job), files_(files) {}

  void say(const std::string& message) override {
    if (message == kDoneMessage) return;
    std::string file;
    if (message == kInputMissingMessage || message == kInputEmptyMessage) {
      file = Shown(job_.inputName, false);
    } else if (message == kSameFileMessage) {
      file = Shown(job_.outputName, true);
    } else if (message != kNoInputMessage && message != kNoOutputMessage) {
      // A runtime error: while writing it concerns the output, before that
      // (reading, converting) the input.
      file = files_.writing() ? Shown(job_.outputName, true) : Shown(job_.inputName, false);
    }
    lines.push_back(MessageLine(file, message));
  }
  bool confirm(const std::string&) override { return true; }

  std::vector<std::string> lines;

 private:
  const PlannedJob& job_;
  const JobFiles& files_;
};

struct JobResult {
  int status = 0;
  std::vector<std::string> lines;
};

JobResult RunOne(ProcessState& state, const PlannedJob& job, const RunSettings& settings) {
  state.sInputFile = job.input;
  state.sOutputFile = job.output;
  JobFiles files(settings.files, settings);
  JobPrompter prompter(job, files);
  JobContext ctx{state, settings.options, files, prompter};
  const JobOutcome outcome = RemoveHTML(ctx);
  return {ExitStatus(outcome), std::move(prompter.lines)};
}

}  // namespace

unsigned OnlineCores() {
  const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
  return cores > 0 ? static_cast<unsigned>(cores) : 1;
}

int RunJobs(ProcessState& state, const std::vector<PlannedJob>& jobs, const RunSettings& settings,
            MessageSink& messages) {
  std::vector<JobResult> results(jobs.size());
  std::vector<char> finished(jobs.size(), 0);
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::size_t printed = 0;
  int status = 0;

  const auto work = [&](ProcessState& engineState) {
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
      JobResult result = RunOne(engineState, jobs[i], settings);
      std::lock_guard<std::mutex> lock(mutex);
      results[i] = std::move(result);
      finished[i] = 1;
      // Print in job order: whatever has become complete from the front.
      for (; printed < jobs.size() && finished[printed]; ++printed) {
        for (const std::string& line : results[printed].lines) messages.line(line);
        status = std::max(status, results[printed].status);
        results[printed] = {};
      }
    }
  };

  const std::size_t threads = std::min<std::size_t>(std::max(settings.threads, 1u), jobs.size());
  std::vector<std::unique_ptr<ProcessState>> states;
  std::vector<std::thread> helpers;
  for (std::size_t t = 1; t < threads; ++t) {
    auto helperState = std::make_unique<ProcessState>();
    helperState->sAppPath = state.sAppPath;
    helperState->layout = state.layout;
    helperState->oRemover = std::make_unique<cSievetext>();
    try {
      helpers.emplace_back(work, std::ref(*helperState));
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones running share the rest
    }
    states.push_back(std::move(helperState));
  }
  work(state);
  for (std::thread& helper : helpers) helper.join();
  return status;
}

}  // namespace sievetext
