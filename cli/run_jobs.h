#pragma once

#include <vector>

#include "cli/plan.h"
#include "job/job_result.h"
#include "job/process_state.h"
#include "platform/diagnostics.h"
#include "platform/file_system.h"
#include "platform/standard_streams.h"
#include "settings/options.h"

namespace sievetext {

// How the jobs run.
struct RunSettings {
  OptionValues options;  // read only, by every thread at once
  FileSystem& files;
  ClosedStreams closed;
  bool lfLineBreaks = false;
  bool makeFolders = false;  // create an output's missing folders just before writing it
  unsigned threads = 1;
};

// Runs every job, `settings.threads` at a time (the calling thread is one of
// them and uses `state`'s engine; the others get engines of their own). One
// failure never stops the others. Messages are one line each, printed in the
// order of the jobs whatever the number of threads. Returns the worst exit
// status: 0 all written, 1 some stopped at a check, 2 some failed.
[[nodiscard]] int RunJobs(ProcessState& state, const std::vector<PlannedJob>& jobs,
                          const RunSettings& settings, MessageSink& messages);

// The line the command line says for a job that did not write its output:
// the job's message after the name of the file it concerns, as the user
// wrote it ("-" as standard input or output).
std::string JobLine(const JobResult& result, const PlannedJob& job);

// The number of online processors, at least 1.
unsigned OnlineCores();

}  // namespace sievetext
