#pragma once

namespace sievetext::testing {

// The settings file as a first run leaves it: the eleven options, all on.
inline constexpr const char* kFirstRunSettings =
    "[General]\nGenerateSpecialChars=True\nRemoveAllCRLF=True\nRemoveAllTags=True\n"
    "RemoveBlankLines=True\nRemoveComments=True\nRemoveFunctions=True\nRemovePipe=True\n"
    "RemoveScripts=True\nRemoveSpaces=True\nRemoveStyles=True\nRemoveTabs=True\n";

}  // namespace sievetext::testing
