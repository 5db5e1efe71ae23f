#pragma once

#include "engine/cSievetext.h"
#include "settings/options.h"
#include "settings/settings_store.h"

namespace sievetext {

// Stored options into the check boxes: a missing key reads as "true" (ticked),
// anything SafeBool does not accept as unticked.
void LoadOptions(SettingsStore& store, OptionBoxes& boxes);

// The check boxes into the store as True / False, then asks the store to make
// them last.
void SaveOptions(OptionBoxes& boxes, SettingsStore& store);

// The check boxes as the engine takes them (SafeBool of each value).
OptionValues ReadOptions(const OptionBoxes& boxes);

// The options into the engine's option fields.
void CopyOptions(const OptionValues& values, cSievetext& oRemover);
// The check boxes into the engine's option fields.
void CopyOptions(const OptionBoxes& boxes, cSievetext& oRemover);

}  // namespace sievetext
