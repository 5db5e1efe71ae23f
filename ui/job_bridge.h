#pragma once

#include <memory>

#include "frmMain.h"

namespace sievetext {

// The window's links to the conversion job and the settings store.
JobRunner defaultJobRunner();
// The per-user settings file.
std::unique_ptr<SettingsStore> makeUserSettingsStore();
void LoadWindowOptions(SettingsStore& store, OptionBoxes& boxes);
void SaveWindowOptions(OptionBoxes& boxes, SettingsStore& store);

}  // namespace sievetext
