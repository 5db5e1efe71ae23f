#include "job/process_state.h"

#include "settings/option_transfer.h"

namespace sievetext {

void EndProgram(ProcessState& state, OptionBoxes& boxes, SettingsStore& store, bool engineRunning) {
  SaveOptions(boxes, store);
  if (!engineRunning) state.oRemover.reset();
}

}  // namespace sievetext
