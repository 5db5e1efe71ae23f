#include "program.h"

#include "command_line.h"
#include "option_transfer.h"
#include "prompter.h"
#include "remove_html.h"

namespace sievetext {

void EndProgram(ProcessState& state, OptionBoxes& boxes, SettingsStore& store) {
  SaveOptions(boxes, store);
  state.oRemover.reset();
}

int RunCommandLine(ProcessState& state, const std::vector<std::string>& arguments,
                   SettingsStore& store, FileSystem& files) {
  state.oRemover = std::make_unique<cSievetext>();
  state.bCommandLine = true;
  OptionModel boxes;
  LoadOptions(store, boxes);

  ParseCommandLine(state, arguments);
  SilentPrompter prompter;
  JobContext ctx{state, boxes, files, prompter};
  const JobOutcome outcome = RemoveHTML(ctx);

  EndProgram(state, boxes, store);
  return ExitStatus(outcome);
}

}  // namespace sievetext
