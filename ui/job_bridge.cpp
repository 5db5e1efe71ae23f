#include "job_bridge.h"

// Provisional until the conversion job library is merged.
#include <map>

namespace sievetext {

std::unique_ptr<SettingsStore> makeUserSettingsStore() {
  struct MemoryStore final : SettingsStore {
    std::map<std::string, std::string, std::less<>> values;
    std::string read(std::string_view key, std::string_view def) override {
      auto it = values.find(key);
      return it == values.end() ? std::string(def) : it->second;
    }
    void write(std::string_view key, std::string_view text) override { values[std::string(key)] = text; }
  };
  return std::make_unique<MemoryStore>();
}

JobRunner defaultJobRunner() {
  return [](ProcessState&, OptionBoxes&, Prompter& prompter) { prompter.say("Done"); };
}

void LoadWindowOptions(SettingsStore& store, OptionBoxes& boxes) {
  for (const OptionInfo& option : kOptions) {
    const std::string text = store.read(option.name, "true");
    boxes.setValue(option.key, text == "True" || text == "true" ? 1 : 0);
  }
}

void SaveWindowOptions(OptionBoxes& boxes, SettingsStore& store) {
  for (const OptionInfo& option : kOptions)
    store.write(option.name, boxes.value(option.key) != 0 ? "True" : "False");
}

}  // namespace sievetext
