#include "job/option_transfer.h"

#include "job/safe_bool.h"

namespace sievetext {

void LoadOptions(SettingsStore& store, OptionBoxes& boxes) {
  for (const OptionInfo& option : kOptions) {
    const std::string text = store.read(option.name, "true");
    boxes.setValue(option.key, SafeBool(text) ? 1 : 0);
  }
}

void SaveOptions(OptionBoxes& boxes, SettingsStore& store) {
  for (const OptionInfo& option : kOptions) {
    store.write(option.name, SafeBool(boxes.value(option.key)) ? "True" : "False");
  }
  store.sync();
}

bool LoadLayout(SettingsStore& store) { return SafeBool(store.read(kLayoutKey, "false")); }

void SaveLayout(bool layout, SettingsStore& store) {
  store.write(kLayoutKey, layout ? "True" : "False");
}

void CopyOptions(const OptionBoxes& boxes, cSievetext& oRemover) {
  for (const OptionInfo& option : kOptions) {
    oRemover.*option.field = SafeBool(boxes.value(option.key));
  }
}

}  // namespace sievetext
