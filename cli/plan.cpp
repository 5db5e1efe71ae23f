#include "cli/plan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>

#include "cli/paths.h"
#include "platform/diagnostics.h"
#include "platform/file_system.h"

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

std::string OutputNameFor(std::string_view inputPath) {
  std::string_view name = LastName(inputPath);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name) + ".txt";
}

Plan PlanOutputFolder(const Arguments& args, const std::string& workingFolder) {
  return Planner(args, workingFolder).run();
}

}  // namespace sievetext
