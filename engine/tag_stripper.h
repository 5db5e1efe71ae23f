#pragma once

#include <string>

namespace sievetext {

// Deletes, in place, every span from a "<" (U+003C) through the next ">"
// (U+003E). A ">" outside such a span is ordinary text; a "<" without a
// later ">" deletes the rest of the text. Nothing nests.
void StripTags(std::u16string& text);

}  // namespace sievetext
