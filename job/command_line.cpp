#include "command_line.h"

#include <climits>
#include <cstdlib>

namespace sievetext {

bool IsAbsolutePath(std::string_view path) {
#if defined(_WIN32)
  return path.find(":\\") != std::string_view::npos || path.substr(0, 2) == "\\\\";
#else
  return !path.empty() && path.front() == '/';
#endif
}

void ParseCommandLine(ProcessState& state, const std::vector<std::string>& arguments) {
  const auto resolve = [&state](const std::string& path) {
    if (path.empty() || IsAbsolutePath(path)) return path;
    return state.sAppPath + path;
  };
  if (!arguments.empty()) state.sInputFile = resolve(arguments[0]);
  if (arguments.size() >= 2) state.sOutputFile = resolve(arguments[1]);
}

std::string ProgramFolder(const char* argv0) {
  char resolved[PATH_MAX];
  std::string program;
  if (::realpath("/proc/self/exe", resolved) != nullptr) {
    program = resolved;
  } else if (argv0 != nullptr && ::realpath(argv0, resolved) != nullptr) {
    program = resolved;
  }
  const std::size_t slash = program.rfind('/');
  if (slash == std::string::npos) return "./";
  return program.substr(0, slash + 1);
}

}  // namespace sievetext
