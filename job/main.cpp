#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "build_info.h"
#include "command_line.h"
#include "file_system.h"
#include "ini_settings_store.h"
#include "process_state.h"
#include "program.h"

namespace {

// The window lives in a module of its own, loaded only when there is no
// argument, so that the command line never pays for starting the window
// system.
constexpr const char* kWindowModule = "libsievetext_gui.so";
constexpr const char* kWindowEntry = "sievetext_run_window";
using RunWindow = int (*)(sievetext::ProcessState*, int, char**);

void PrintUsage() {
  std::printf(
      "Usage: sievetext INPUT OUTPUT\n"
      "       sievetext            (opens the window)\n"
      "\n"
      "Turns the HTML file INPUT into the plain-text file OUTPUT with the options\n"
      "saved by the window, silently, replacing OUTPUT if it exists.\n"
      "A path that does not start with \"/\" is taken relative to the program's\n"
      "folder (%s), not to the current directory.\n"
      "\n"
      "Options are kept in %s\n"
      "\n"
      "Exit status: 0 the output was written; 1 a path was empty, the input is\n"
      "missing or empty; 2 reading, writing or the conversion failed (or, without\n"
      "arguments, the window could not be started).\n"
      "\n"
      "  -h, --help     show this help\n"
      "      --version  show the version\n",
      sievetext::ProgramFolder(nullptr).c_str(), sievetext::IniSettingsStore::DefaultPath().c_str());
}

int RunInteractive(sievetext::ProcessState& state, int argc, char** argv) {
  const std::string module = state.sAppPath + kWindowModule;
  // The window comes in a package of its own; without it, say which.
  struct stat info;
  if (::stat(module.c_str(), &info) != 0 && errno == ENOENT) {
    std::fprintf(stderr,
                 "sievetext: the window is not installed (it comes with the package "
                 "sievetext-gui); to convert without a window, give INPUT and OUTPUT\n");
    return 2;
  }
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "cannot start the window: %s\n", ::dlerror());
    return 2;
  }
  auto run = reinterpret_cast<RunWindow>(::dlsym(handle, kWindowEntry));
  if (run == nullptr) {
    std::fprintf(stderr, "cannot start the window: %s\n", ::dlerror());
    return 2;
  }
  return run(&state, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintUsage();
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s %d.%d.%d\n", sievetext::build_info::kProductName, sievetext::build_info::kMajor,
                sievetext::build_info::kMinor, sievetext::build_info::kRevision);
    return 0;
  }

  sievetext::ProcessState state;
  state.sAppPath = sievetext::ProgramFolder(argc > 0 ? argv[0] : nullptr);
  if (argc <= 1) return RunInteractive(state, argc, argv);

  sievetext::IniSettingsStore store(sievetext::IniSettingsStore::DefaultPath());
  sievetext::PosixFileSystem files;
  return sievetext::RunCommandLine(state, std::vector<std::string>(argv + 1, argv + argc), store,
                                   files);
}
