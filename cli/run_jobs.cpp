#include "cli/run_jobs.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "job/remove_html.h"
#include "platform/diagnostics.h"
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
// missing output folders created on the way, LF line breaks on request.
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
    const ByteSource source = settings_.lfLineBreaks ? WithLfLineBreaks(next) : next;
    if (!settings_.makeFolders || path == kStandardStreamPath)
      return streams_.replace(path, source);
    // The folders are made only when the output cannot be started without
    // them: most outputs of a batch share a folder that is already there.
    bool started = false;
    const int error = streams_.replace(path, [&source, &started] {
      started = true;
      return source();
    });
    if (error == 0 || started) return error;
    if (const int made = MakeFolders(FolderOf(path))) return made;
    return streams_.replace(path, source);
  }

 private:
  StandardStreamFileSystem streams_;
  const RunSettings& settings_;
};

// Every question is answered yes: the output is replaced without asking.
class YesPrompter final : public Prompter {
 public:
  void say(const std::string&) override {}
  bool confirm(const std::string&) override { return true; }
};

struct Finished {
  int status = 0;
  std::vector<std::string> lines;
};

Finished RunOne(cSievetext& engine, bool layout, const PlannedJob& job,
                const RunSettings& settings) {
  JobFiles files(settings.files, settings);
  // The job's checks ask about its two files several times over.
  const LookupMemo memo;
  YesPrompter prompter;
  JobContext ctx{engine, settings.options, files, prompter};
  const JobResult result = RunJob({job.input, job.output, layout}, ctx);
  Finished finished{ExitStatus(result.outcome), {}};
  if (result.outcome != JobOutcome::Written) finished.lines.push_back(JobLine(result, job));
  return finished;
}

}  // namespace

std::string JobLine(const JobResult& result, const PlannedJob& job) {
  std::string file;
  if (result.file == JobFile::Input) file = Shown(job.inputName, false);
  if (result.file == JobFile::Output) file = Shown(job.outputName, true);
  return MessageLine(file, JobMessage(result));
}

unsigned OnlineCores() {
  const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
  return cores > 0 ? static_cast<unsigned>(cores) : 1;
}

int RunJobs(ProcessState& state, const std::vector<PlannedJob>& jobs, const RunSettings& settings,
            MessageSink& messages) {
  std::vector<Finished> results(jobs.size());
  std::vector<char> finished(jobs.size(), 0);
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::size_t printed = 0;
  int status = 0;

  const auto work = [&](ProcessState& engineState) {
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
      Finished result = RunOne(*engineState.oRemover, engineState.layout, jobs[i], settings);
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
