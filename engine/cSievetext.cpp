#include "cSievetext.h"

namespace sievetext {

// Placeholder bodies so the tree builds; the real engine replaces them.
std::u16string cSievetext::ExtractText(std::u16string& sIn) { return CutHTML(sIn); }
std::u16string cSievetext::CutHTML(std::u16string& sText) { return sText; }
std::u16string cSievetext::ConsolidateChar(std::u16string& sText, const std::u16string& sChar) {
  if (sChar.size() != 1) return {};
  return sText;
}
std::u16string cSievetext::CutAllTags(const std::u16string& sText) const { return sText; }

}  // namespace sievetext
