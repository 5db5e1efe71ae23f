#pragma once

#include <string>

#include "engine/cSievetext.h"
#include "job/convert.h"
#include "job/job_result.h"
#include "job/prompter.h"
#include "platform/file_system.h"
#include "settings/options.h"

namespace sievetext {

// The files of one conversion job, taken once at its start: absolute paths,
// or "-" for standard input and output on the command line.
struct JobRequest {
  std::string input;
  std::string output;
  bool layout = false;  // --layout: the reading mode (job/layout_convert.h)
};

// What one conversion job needs from its host.
struct JobContext {
  cSievetext& engine;
  const OptionValues& options;
  FileSystem& files;
  Prompter& prompter;  // asked to confirm an overwrite; RemoveHTML also says the result
};

// One complete conversion: checks the paths (an output that is the input
// file itself, by any name, is refused before anything is read), copies the
// options into the engine, reads the input whole, converts it and replaces
// the output with the result. Any failure, in the engine too, leaves the
// output untouched. Says nothing: the result tells how it ended. Keeps no
// state of its own between or during runs, so a nested run from a yield is
// safe.
[[nodiscard]] JobResult RunJob(const JobRequest& request, JobContext& ctx);

// RunJob, then tells the user how it ended (JobMessage): "Done", the check
// that stopped it or the failure.
[[nodiscard]] JobResult RemoveHTML(const JobRequest& request, JobContext& ctx);

// True when a normal file exists at `path`: a regular file (after following
// links) whose name does not start with ".".
bool NormalFileExists(FileSystem& files, const std::string& path);

}  // namespace sievetext
