#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "settings/options.h"

namespace sievetext {

// The options a name given by a user stands for: one of the eleven option
// names (RemoveScripts, ...) in any letter case gives that option; "all", in
// any letter case, gives all eleven; anything else gives none (an empty span).
std::span<const OptionInfo> OptionsNamed(std::string_view name);

// One change asked for on top of the saved options: switch `options` on or off.
struct OptionEdit {
  std::span<const OptionInfo> options;
  bool on = true;
};

// Applies the edits in order, so a later one wins over an earlier one
// (--without=all --with=RemoveTabs leaves only RemoveTabs on).
void ApplyOptionEdits(const std::vector<OptionEdit>& edits, OptionBoxes& boxes);

}  // namespace sievetext
