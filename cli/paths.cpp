#include "cli/paths.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace sievetext {

bool IsAbsolutePath(std::string_view path) { return !path.empty() && path.front() == '/'; }

std::string WorkingFolder() {
  // getcwd with no buffer allocates one as long as the path needs.
  std::unique_ptr<char, void (*)(void*)> folder(::getcwd(nullptr, 0), &std::free);
  return folder == nullptr ? std::string() : std::string(folder.get());
}

std::string ResolvePath(const std::string& path, const std::string& workingFolder,
                        bool dashIsStream) {
  if (path.empty() || IsAbsolutePath(path) || workingFolder.empty()) return path;
  if (dashIsStream && path == "-") return path;
  std::string resolved = workingFolder;
  if (resolved.back() != '/') resolved.push_back('/');
  return resolved + path;
}

JobRequest ParseCommandLine(const std::vector<std::string>& paths,
                            const std::string& workingFolder) {
  JobRequest request;
  if (!paths.empty()) request.input = ResolvePath(paths[0], workingFolder);
  if (paths.size() >= 2) request.output = ResolvePath(paths[1], workingFolder);
  return request;
}

std::string ProgramFolder(const char* argv0) {
  char resolved[PATH_MAX];
  std::string program;
  if (::realpath("/proc/self/exe", resolved) != nullptr ||
      (argv0 != nullptr && ::realpath(argv0, resolved) != nullptr)) {
    program = resolved;
  }
  const std::size_t slash = program.rfind('/');
  if (slash == std::string::npos) return "./";
  return program.substr(0, slash + 1);
}

}  // namespace sievetext
