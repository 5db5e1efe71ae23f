#pragma once

#include <string>
#include <vector>

#include "file_system.h"
#include "options.h"
#include "process_state.h"
#include "settings_store.h"

namespace sievetext {

// Everything of shutting down but ending the process, which is the caller's:
// saves the options from the check boxes and releases the engine.
void EndProgram(ProcessState& state, OptionBoxes& boxes, SettingsStore& store);

// The command-line mode after sAppPath is known: creates the engine, loads
// the saved options, converts once with nothing shown, ends the program.
// Returns the process exit status (0 written, 1 stopped at a check, 2 failed).
int RunCommandLine(ProcessState& state, const std::vector<std::string>& arguments,
                   SettingsStore& store, FileSystem& files);

}  // namespace sievetext
