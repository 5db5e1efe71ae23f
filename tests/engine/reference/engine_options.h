#pragma once

#include <string>

namespace sievetext {

// The eleven option fields as bits of a mask, in declaration order:
// bit 0 RemoveComments ... bit 10 RemoveBlankLines. Works on both engines.
inline constexpr unsigned kAllOptions = (1u << 11) - 1;

enum OptionBit : unsigned {
  kComments = 1u << 0,
  kScripts = 1u << 1,
  kStyles = 1u << 2,
  kFunctions = 1u << 3,
  kPipe = 1u << 4,
  kTabs = 1u << 5,
  kEntities = 1u << 6,
  kAllTags = 1u << 7,
  kAllCRLF = 1u << 8,
  kSpaces = 1u << 9,
  kBlankLines = 1u << 10,
};

template <class Engine>
void SetOptions(Engine& e, unsigned mask) {
  e.RemoveComments = (mask & kComments) != 0;
  e.RemoveScripts = (mask & kScripts) != 0;
  e.RemoveStyles = (mask & kStyles) != 0;
  e.RemoveFunctions = (mask & kFunctions) != 0;
  e.RemovePipe = (mask & kPipe) != 0;
  e.RemoveTabs = (mask & kTabs) != 0;
  e.GenerateSpecialChars = (mask & kEntities) != 0;
  e.RemoveAllTags = (mask & kAllTags) != 0;
  e.RemoveAllCRLF = (mask & kAllCRLF) != 0;
  e.RemoveSpaces = (mask & kSpaces) != 0;
  e.RemoveBlankLines = (mask & kBlankLines) != 0;
}

// "RemoveComments|RemoveTabs", or "none".
inline std::string OptionNames(unsigned mask) {
  static const char* const kNames[] = {
      "RemoveComments", "RemoveScripts",        "RemoveStyles",  "RemoveFunctions",
      "RemovePipe",     "RemoveTabs",           "GenerateSpecialChars", "RemoveAllTags",
      "RemoveAllCRLF",  "RemoveSpaces",         "RemoveBlankLines"};
  std::string out;
  for (unsigned bit = 0; bit < 11; ++bit) {
    if ((mask & (1u << bit)) == 0) continue;
    if (!out.empty()) out += '|';
    out += kNames[bit];
  }
  return out.empty() ? "none" : out;
}

}  // namespace sievetext
