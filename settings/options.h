#pragma once

#include <array>
#include <string_view>

#include "engine/cSievetext.h"

namespace sievetext {

// The eleven options in the order the settings store and the option copy visit
// them (alphabetical by name).
enum class OptionKey {
  GenerateSpecialChars,
  RemoveAllCRLF,
  RemoveAllTags,
  RemoveBlankLines,
  RemoveComments,
  RemoveFunctions,
  RemovePipe,
  RemoveScripts,
  RemoveSpaces,
  RemoveStyles,
  RemoveTabs,
};

struct OptionInfo {
  OptionKey key;
  std::string_view name;    // settings key, and with "chk" in front the check box's name
  bool cSievetext::*field;  // the engine field it sets
};

inline constexpr std::array<OptionInfo, 11> kOptions = {{
    {OptionKey::GenerateSpecialChars, "GenerateSpecialChars", &cSievetext::GenerateSpecialChars},
    {OptionKey::RemoveAllCRLF, "RemoveAllCRLF", &cSievetext::RemoveAllCRLF},
    {OptionKey::RemoveAllTags, "RemoveAllTags", &cSievetext::RemoveAllTags},
    {OptionKey::RemoveBlankLines, "RemoveBlankLines", &cSievetext::RemoveBlankLines},
    {OptionKey::RemoveComments, "RemoveComments", &cSievetext::RemoveComments},
    {OptionKey::RemoveFunctions, "RemoveFunctions", &cSievetext::RemoveFunctions},
    {OptionKey::RemovePipe, "RemovePipe", &cSievetext::RemovePipe},
    {OptionKey::RemoveScripts, "RemoveScripts", &cSievetext::RemoveScripts},
    {OptionKey::RemoveSpaces, "RemoveSpaces", &cSievetext::RemoveSpaces},
    {OptionKey::RemoveStyles, "RemoveStyles", &cSievetext::RemoveStyles},
    {OptionKey::RemoveTabs, "RemoveTabs", &cSievetext::RemoveTabs},
}};

// The options as the engine takes them, in the order of kOptions.
using OptionValues = std::array<bool, kOptions.size()>;

// The live copy of the options: the window's check boxes, or a plain model on
// the command line. Values are check-box values: 0 unticked, 1 ticked;
// any other value reads as ticked.
class OptionBoxes {
 public:
  OptionBoxes() = default;
  OptionBoxes(const OptionBoxes&) = delete;
  OptionBoxes& operator=(const OptionBoxes&) = delete;
  virtual ~OptionBoxes() = default;

  virtual int value(OptionKey key) const = 0;
  virtual void setValue(OptionKey key, int value) = 0;
};

// The command line's stand-in for the check boxes.
class OptionModel final : public OptionBoxes {
 public:
  int value(OptionKey key) const override { return values_[static_cast<int>(key)]; }
  void setValue(OptionKey key, int value) override { values_[static_cast<int>(key)] = value; }

 private:
  std::array<int, kOptions.size()> values_{};
};

}  // namespace sievetext
