#pragma once

#include <string>
#include <string_view>

#include "cli/arguments.h"
#include "job/process_state.h"
#include "platform/diagnostics.h"
#include "platform/file_system.h"
#include "platform/standard_streams.h"
#include "settings/settings_store.h"

namespace sievetext {

// What the command-line mode works with besides its arguments.
struct CommandLineHost {
  SettingsStore& store;
  FileSystem& files;
  MessageSink& messages;
  std::string workingFolder;  // relative paths are taken from here
  ClosedStreams closed;       // standard streams that were closed at start
};

// The command-line mode after sAppPath is known: creates the engine, loads
// the saved options, puts the run's --with / --without on top of a copy of
// them, converts every input (INPUT OUTPUT, or each INPUT of -d), and ends the
// program saving the options as loaded: the run's own changes are never
// saved. Returns the exit status: 0 every output written, 2 some input
// failed, otherwise 1 when some input stopped at a check.
[[nodiscard]] int RunCommandLine(ProcessState& state, const Arguments& args, CommandLineHost& host);

// Writes --help or --version to standard output. Returns 0, or 2 after a
// message when the text could not be written (a full disk, a closed pipe
// with SIGPIPE ignored, a closed descriptor).
[[nodiscard]] int WriteStandardOutput(std::string_view text, const ClosedStreams& closed,
                                      MessageSink& messages);

}  // namespace sievetext
