#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "build_info.h"
#include "cli/arguments.h"
#include "cli/paths.h"
#include "cli/program.h"
#include "job/process_state.h"
#include "platform/cleanup_on_signal.h"
#include "platform/diagnostics.h"
#include "platform/file_system.h"
#include "platform/standard_streams.h"
#include "settings/ini_settings_store.h"

namespace {

// The window lives in a module of its own, loaded only when the window is
// asked for, so that the command line never pays for starting the window
// system.
constexpr const char* kWindowModule = "libsievetext_gui.so";
constexpr const char* kWindowEntry = "sievetext_run_window";
using RunWindow = int (*)(sievetext::ProcessState*, int, char**);

int RunInteractive(sievetext::ProcessState& state, char* program,
                   sievetext::MessageSink& messages) {
  const std::string module = state.sAppPath + kWindowModule;
  // The window comes in a package of its own; without it, say which.
  struct stat info;
  if (::stat(module.c_str(), &info) != 0 && errno == ENOENT) {
    messages.line(sievetext::MessageLine(
        "",
        "the window is not installed (it comes with the package sievetext-gui); to convert "
        "without a window, give INPUT and OUTPUT"));
    return 2;
  }
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto run =
      handle != nullptr ? reinterpret_cast<RunWindow>(::dlsym(handle, kWindowEntry)) : nullptr;
  if (run == nullptr) {
    messages.line(
        sievetext::MessageLine("", std::string("cannot start the window: ") + ::dlerror()));
    return 2;
  }
  // The window is given only the program's name: the paths are ours, not the
  // window system's to interpret.
  char* argv[] = {program, nullptr};
  return run(&state, 1, argv);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sievetext;
  InstallCleanupOnSignal();
  const ClosedStreams closed = KeepStandardStreamsOpen();
  const Arguments args = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  StandardErrorSink messages(args.quiet, closed.error);
  int status = 0;

  switch (args.action) {
    case Arguments::Action::Help:
      status = WriteStandardOutput(HelpText(IniSettingsStore::DefaultPath()), closed, messages);
      break;
    case Arguments::Action::Version:
      status = WriteStandardOutput(std::string(build_info::kProductName) + " " +
                                       std::to_string(build_info::kMajor) + "." +
                                       std::to_string(build_info::kMinor) + "." +
                                       std::to_string(build_info::kRevision) + "\n",
                                   closed, messages);
      break;
    case Arguments::Action::Usage: {
      // Said even with -q: the run never started.
      StandardErrorSink usage(false, closed.error);
      usage.line(UsageText(args.problem));
      status = usage.failed() ? 2 : 1;
      break;
    }
    case Arguments::Action::Window: {
      ProcessState state;
      state.sAppPath = ProgramFolder(argc > 0 ? argv[0] : nullptr);
      if (!args.paths.empty()) {
        state.sInputFile = ResolvePath(args.paths[0], WorkingFolder(), /*dashIsStream=*/false);
      }
      status = RunInteractive(state, argc > 0 ? argv[0] : nullptr, messages);
      break;
    }
    case Arguments::Action::Convert: {
      ProcessState state;
      state.sAppPath = ProgramFolder(argc > 0 ? argv[0] : nullptr);
      IniSettingsStore store(IniSettingsStore::DefaultPath());
      PosixFileSystem files;
      CommandLineHost host{store, files, messages, WorkingFolder(), closed};
      status = RunCommandLine(state, args, host);
      break;
    }
  }
  return messages.failed() && status < 2 ? 2 : status;
}
