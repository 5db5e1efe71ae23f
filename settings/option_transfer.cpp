#include "settings/option_transfer.h"

#include "settings/safe_bool.h"

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

OptionValues ReadOptions(const OptionBoxes& boxes) {
  OptionValues values{};
  for (std::size_t i = 0; i < kOptions.size(); ++i)
    values[i] = SafeBool(boxes.value(kOptions[i].key));
  return values;
}

void CopyOptions(const OptionValues& values, cSievetext& oRemover) {
  for (std::size_t i = 0; i < kOptions.size(); ++i) oRemover.*kOptions[i].field = values[i];
}

bool LoadLayout(SettingsStore& store) { return SafeBool(store.read(kLayoutKey, "false")); }

void SaveLayout(bool layout, SettingsStore& store) {
  store.write(kLayoutKey, layout ? "True" : "False");
}

void CopyOptions(const OptionBoxes& boxes, cSievetext& oRemover) {
  CopyOptions(ReadOptions(boxes), oRemover);
}

}  // namespace sievetext
