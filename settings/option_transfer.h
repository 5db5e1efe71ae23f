#pragma once

#include <string_view>

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

// The window's reading-mode box, kept beside the eleven under its own key.
// The command line never reads it: there the mode is --layout's alone.
inline constexpr std::string_view kLayoutKey = "Layout";

// The stored reading mode: on only for a text SafeBool takes as true, so a
// store without the key (one an older program wrote) reads as off.
bool LoadLayout(SettingsStore& store);

// The reading mode into the store as True / False, for the next sync().
void SaveLayout(bool layout, SettingsStore& store);

// The check boxes into the engine's option fields.
void CopyOptions(const OptionBoxes& boxes, cSievetext& oRemover);

}  // namespace sievetext
