#include "cli/program.h"

#include <algorithm>
#include <cerrno>

#include "cli/paths.h"
#include "cli/plan.h"
#include "cli/run_jobs.h"
#include "settings/option_transfer.h"

namespace sievetext {

int RunCommandLine(ProcessState& state, const Arguments& args, CommandLineHost& host) {
  state.oRemover = std::make_unique<cSievetext>();
  state.layout = args.layout;
  OptionModel saved;
  LoadOptions(host.store, saved);
  OptionModel options;
  for (const OptionInfo& option : kOptions) options.setValue(option.key, saved.value(option.key));
  ApplyOptionEdits(args.edits, options);

  // The pages of a batch mostly share a few folders: each is followed once.
  const KeptFolders kept;
  std::vector<PlannedJob> jobs;
  int status = 0;
  if (args.outputFolder) {
    Plan plan = PlanOutputFolder(args, host.workingFolder);
    for (const std::string& line : plan.messages) host.messages.line(line);
    status = plan.status;
    jobs = std::move(plan.jobs);
  } else {
    const JobRequest request = ParseCommandLine(args.paths, host.workingFolder);
    jobs.push_back({request.input, request.output, args.paths.size() > 0 ? args.paths[0] : "",
                    args.paths.size() > 1 ? args.paths[1] : ""});
  }

  RunSettings settings{ReadOptions(options), host.files, host.closed};
  settings.lfLineBreaks = args.lfLineBreaks;
  settings.makeFolders = args.outputFolder.has_value();
  settings.threads = args.jobs != 0 ? args.jobs : OnlineCores();
  status = std::max(status, RunJobs(state, jobs, settings, host.messages));

  EndProgram(state, saved, host.store);
  return status;
}

int WriteStandardOutput(std::string_view text, const ClosedStreams& closed, MessageSink& messages) {
  const int error = closed.output ? EBADF : WriteToDescriptor(1, text);
  if (error == 0) return 0;
  messages.line(MessageLine("standard output", "cannot write: " + ErrnoText(error)));
  return 2;
}

}  // namespace sievetext
