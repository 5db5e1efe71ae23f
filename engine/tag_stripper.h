#pragma once

#include <cstddef>
#include <string>

namespace sievetext {

// Deletes, in place, every span from a "<" (U+003C) through the next ">"
// (U+003E). A ">" outside such a span is ordinary text; a "<" without a
// later ">" deletes the rest of the text. Nothing nests.
// A long text is stripped in two parts at once.
void StripTags(std::u16string& text);

// The same, with the text cut in two after the first ">" at or after `hint`
// and the two parts stripped at once; as one part when there is no such ">"
// (a hint of scan::kNotFound). The result never depends on the hint.
void StripTagsInTwo(std::u16string& text, std::size_t hint);

}  // namespace sievetext
