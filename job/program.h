#pragma once

#include <string>
#include <string_view>

#include "job/arguments.h"
#include "job/batch.h"
#include "job/file_system.h"
#include "job/options.h"
#include "job/process_state.h"
#include "job/settings_store.h"
#include "job/standard_streams.h"

namespace sievetext {

// Everything of shutting down but ending the process, which is the caller's:
// saves the options from the check boxes and releases the engine. With
// `engineRunning` (the window closed from one of the engine's yields) the
// engine is still inside a conversion and is left to the end of the process.
void EndProgram(ProcessState& state, OptionBoxes& boxes, SettingsStore& store,
                bool engineRunning = false);

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
