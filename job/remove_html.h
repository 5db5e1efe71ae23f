#pragma once

#include <cstdint>

#include "job/convert.h"
#include "job/process_state.h"
#include "job/prompter.h"
#include "platform/file_system.h"
#include "settings/options.h"

namespace sievetext {

// The job's messages, word for word.
inline constexpr const char* kNoInputMessage = "You have not selected the input file.";
inline constexpr const char* kNoOutputMessage = "You have not selected the output file.";
inline constexpr const char* kInputMissingMessage = "Input file is missing";
inline constexpr const char* kOverwriteQuestion = "Output file already exists, overwrite?";
inline constexpr const char* kInputEmptyMessage = "Input file is empty!";
inline constexpr const char* kSameFileMessage = "Output file is the input file";
inline constexpr const char* kDoneMessage = "Done";

// What one conversion job needs from its host.
struct JobContext {
  ProcessState& state;  // paths and the engine
  OptionBoxes& boxes;   // the live options
  FileSystem& files;
  Prompter& prompter;  // silent on the command line
};

enum class JobOutcome {
  Written,  // the output holds the converted text
  Stopped,  // a check stopped the job (or the user declined), nothing written
  Failed,   // a runtime error was reported, nothing written
};

// Process exit status for an outcome: 0, 1, 2.
int ExitStatus(JobOutcome outcome);

// One complete conversion: checks the paths (an output that is the input
// file itself, by any name, is refused before anything is read), copies the options into the
// engine, reads the input whole, converts it, replaces the output with the
// result and says "Done". The output path is taken once, at the start, so the
// file whose replacement was confirmed is the one written. Any failure, in the
// engine too, is reported and leaves the output untouched. Keeps no state of
// its own between or during runs, so a nested run from a yield is safe.
[[nodiscard]] JobOutcome RemoveHTML(JobContext& ctx);

// True when a normal file exists at `path`: a regular file (after following
// links) whose name does not start with ".".
bool NormalFileExists(FileSystem& files, const std::string& path);

}  // namespace sievetext
