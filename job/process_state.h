#pragma once

#include <memory>
#include <string>

#include "engine/cSievetext.h"
#include "settings/options.h"
#include "settings/settings_store.h"

namespace sievetext {

// The process-wide state: one of each for the whole run.
struct ProcessState {
  // The program's folder, symbolic links resolved, ending in "/". The window
  // finds readme.txt here; paths given on the command line are taken from the
  // working folder instead.
  std::string sAppPath;
  bool layout = false;  // --layout: the reading mode (job/layout_convert.h)
  // The window's chosen files, absolute paths, which it hands to each job it
  // runs (JobRequest). `sievetext --window INPUT` sets sInputFile (made
  // absolute) before the window starts, so the window opens with that input
  // already chosen. The command line gives each job its paths directly.
  std::string sInputFile;
  std::string sOutputFile;
  std::unique_ptr<cSievetext> oRemover;  // the one engine, from Main to EndProgram
};

// Everything of shutting down but ending the process, which is the caller's:
// saves the options from the check boxes and releases the engine. With
// `engineRunning` (the window closed from one of the engine's yields) the
// engine is still inside a conversion and is left to the end of the process.
void EndProgram(ProcessState& state, OptionBoxes& boxes, SettingsStore& store,
                bool engineRunning = false);

}  // namespace sievetext
