#include "job/batch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "job/command_line.h"
#include "job/error_reporter.h"
#include "job/line_breaks.h"
#include "job/remove_html.h"

namespace sievetext {
namespace {

std::string Join(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path.push_back('/');
  return path.append(name);
}

// The last component of a path, trailing slashes ignored.
std::string_view LastName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsHtmlName(std::string_view name) {
  const auto endsWith = [name](std::string_view suffix) {
    if (name.size() <= suffix.size()) return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
      return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
    });
  };
  return endsWith(".html") || endsWith(".htm");
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

// Keys under which two paths that name one file compare equal: symbolic
// links and "." / ".." resolved as far as the path exists. Folders are
// resolved once each, as the thousands of pages of a batch share a few.
class FileKeys {
 public:
  std::string of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return resolve(path);
    const std::string name = path.substr(slash + 1);
    struct stat st {};
    // A link (or a name the folder part cannot be trusted with) is resolved whole.
    if (name.empty() || name == "." || name == ".." ||
        (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))) {
      return resolve(path);
    }
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    auto found = folders_.find(folder);
    if (found == folders_.end()) found = folders_.emplace(folder, resolve(folder)).first;
    std::string key = found->second;
    if (key.empty() || key.back() != '/') key.push_back('/');
    return key + name;
  }

 private:
  static std::string resolve(const std::string& path) {
    std::error_code error;
    const std::filesystem::path key = std::filesystem::weakly_canonical(path, error);
    return error ? std::filesystem::path(path).lexically_normal().string() : key.string();
  }
  std::map<std::string, std::string> folders_;
};

class Planner {
 public:
  Planner(const Arguments& args, const std::string& workingFolder)
      : args_(args),
        folder_(ResolvePath(*args.outputFolder, workingFolder)),
        folderName_(*args.outputFolder),
        workingFolder_(workingFolder) {}

  Plan run() {
    for (const std::string& given : args_.paths) addInput(given);
    checkCollisions();
    return std::move(plan_);
  }

 private:
  void addJob(const std::string& input, const std::string& inputName, std::string_view relative,
              std::string_view name) {
    const std::string outputName = OutputNameFor(name);
    plan_.jobs.push_back({input, Join(Join(folder_, relative), outputName), inputName,
                          Join(Join(folderName_, relative), outputName)});
  }

  void addInput(const std::string& given) {
    const std::string input = ResolvePath(given, workingFolder_);
    int folder = -1;
    if (given.empty() || OpenFolder(input, folder) != 0) {
      // A file, or nothing at all: the job's own checks speak for it.
      addJob(input, given, "", LastName(given));
      return;
    }
    if (!args_.recursive) {
      ::close(folder);
      plan_.messages.push_back(
          MessageLine(given, "Input file is missing (a folder; -r converts the pages below it)"));
      plan_.status = std::max(plan_.status, 1);
      return;
    }
    walk(folder, input, given, "");
  }

  // Adds the pages below the folder open as `folderFd` (which this takes
  // over) in name order; `relative` is its place below the folder given,
  // ending in "/" unless empty. Each subfolder is opened relative to its
  // parent, so the depth of the tree is not limited by the length of a path.
  // A page or folder that cannot be reached is one message.
  void walk(int folderFd, const std::string& folder, const std::string& folderName,
            const std::string& relative) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(folderFd), &::closedir);
    if (dir == nullptr) {
      const int error = errno;
      ::close(folderFd);
      failFolder(folderName, error);
      return;
    }
    std::vector<std::pair<std::string, unsigned char>> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
      if (entry->d_name[0] != '.') names.emplace_back(entry->d_name, entry->d_type);
    }
    if (errno != 0) {
      failFolder(folderName, errno);
      return;
    }
    std::sort(names.begin(), names.end());
    const int at = ::dirfd(dir.get());
    for (const auto& [name, type] : names) {
      const std::string path = Join(folder, name);
      const std::string shown = Join(folderName, name);
      struct stat st {};
      if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // Listed but out of reach (a folder that may be read but not
        // entered): a page or a folder there is lost unless said.
        if (errno != ENOENT && (type == DT_DIR || type == DT_UNKNOWN)) {
          failFolder(shown, errno);
        } else if (errno != ENOENT && IsHtmlName(name)) {
          failPage(shown, errno);
        }
        continue;  // gone meanwhile, or not a page
      }
      if (S_ISDIR(st.st_mode)) {
        const int sub = ::openat(at, name.c_str(),
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (sub < 0) {
          failFolder(shown, errno);
          continue;
        }
        walk(sub, path, shown, relative + name + "/");
        continue;
      }
      if (!IsHtmlName(name)) continue;
      // A link counts by what it points to, but a link to a folder is not
      // followed: that is how loops are made.
      if (S_ISLNK(st.st_mode) && ::fstatat(at, name.c_str(), &st, 0) != 0) {
        if (errno != ENOENT) failPage(shown, errno);
        continue;
      }
      if (S_ISREG(st.st_mode)) addJob(path, shown, relative, name);
    }
  }

  void failPage(const std::string& pageName, int error) {
    plan_.messages.push_back(MessageLine(pageName, ErrnoText(error)));
    plan_.status = 2;
  }

  void failFolder(const std::string& folderName, int error) {
    plan_.messages.push_back(
        MessageLine(folderName, "cannot read the folder: " + ErrnoText(error)));
    plan_.status = 2;
  }

  void checkCollisions() {
    // Every output with the jobs that would write it, in the order first seen.
    std::map<std::string, std::vector<std::size_t>> writers;
    std::vector<std::string> order;
    std::map<std::string, std::size_t> readers;
    FileKeys keys;
    for (std::size_t i = 0; i < plan_.jobs.size(); ++i) {
      const PlannedJob& job = plan_.jobs[i];
      if (job.inputName.empty()) continue;  // stops at its first check
      readers.emplace(keys.of(job.input), i);
      const std::string key = keys.of(job.output);
      auto& jobs = writers[key];
      if (jobs.empty()) order.push_back(key);
      jobs.push_back(i);
    }
    bool collided = false;
    for (const std::string& key : order) {
      const std::vector<std::size_t>& jobs = writers[key];
      const std::string& output = plan_.jobs[jobs.front()].outputName;
      const auto reader = readers.find(key);
      if (jobs.size() > 1) {
        std::string names;
        for (std::size_t k = 0; k < jobs.size(); ++k) {
          if (k > 0) names += k + 1 == jobs.size() ? " and " : ", ";
          names += plan_.jobs[jobs[k]].inputName;
        }
        plan_.messages.push_back(MessageLine(
            output, (jobs.size() == 2 ? "both " + names + " would" : names + " would all") +
                        " be written to it; nothing converted"));
      } else if (reader != readers.end() && reader->second != jobs.front()) {
        plan_.messages.push_back(
            MessageLine(output, "would be written from " + plan_.jobs[jobs.front()].inputName +
                                    " while it is the input " +
                                    plan_.jobs[reader->second].inputName + "; nothing converted"));
      } else {
        continue;
      }
      collided = true;
    }
    if (collided) {
      plan_.jobs.clear();
      plan_.status = std::max(plan_.status, 1);
    }
  }

  const Arguments& args_;
  std::string folder_;
  std::string folderName_;
  std::string workingFolder_;
  Plan plan_;
};

}  // namespace

void StandardErrorSink::line(const std::string& text) {
  if (quiet_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || WriteToDescriptor(2, text + "\n") != 0) failed_ = true;
}

std::string MessageLine(std::string_view file, std::string_view text) {
  std::string line = "sievetext: ";
  if (!file.empty()) line.append(file).append(": ");
  line.append(text);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return line;
}

std::string OutputNameFor(std::string_view inputPath) {
  std::string_view name = LastName(inputPath);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name) + ".txt";
}

Plan PlanOutputFolder(const Arguments& args, const std::string& workingFolder) {
  return Planner(args, workingFolder).run();
}

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
