#pragma once

// Single-unit replacements by a space, done in one pass over the text.

#include <cstddef>
#include <string>

namespace sievetext {

// Replaces every code unit equal to `a`, and every one equal to `b`, by a
// space, in place. Passing the same unit twice replaces just that one.
// A long text is done in two parts at once.
void BlankUnits(std::u16string& text, char16_t a, char16_t b);

// The same, with the text cut in two at `hint` and the two parts done at
// once; as one part when `hint` is not inside the text.
void BlankUnitsInTwo(std::u16string& text, char16_t a, char16_t b, std::size_t hint);

}  // namespace sievetext
