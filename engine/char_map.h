#pragma once

// Single-unit replacements by a space, done in one pass over the text.

#include <string>

namespace sievetext {

// Replaces every code unit equal to `a`, and every one equal to `b`, by a
// space, in place. Passing the same unit twice replaces just that one.
void BlankUnits(std::u16string& text, char16_t a, char16_t b);

}  // namespace sievetext
