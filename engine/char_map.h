#pragma once

// Single-unit replacements by a space, done in one pass over the text.

#include <cstddef>
#include <optional>
#include <string>

#include "engine/text_scan.h"

namespace sievetext {

// Two units that a compacting pass also replaces by a space, with the result
// of BlankUnits(text, a, b) right after it, in the same pass.
struct Blanking {
  char16_t a;
  char16_t b;
};

// Moves `count` units from `src` to `dst`, replacing every unit equal to `a`
// or `b` by a space on the way. dst <= src; the ranges may overlap or be the
// same, so a pass that compacts a text can blank it as it goes.
void BlankMove(char16_t* dst, const char16_t* src, std::size_t count, char16_t a, char16_t b);

// Moves `count` units down from `src` to `dst` (as scan::ShiftDown), blanking
// on the way when there is a `blanking`: what a compacting pass keeps.
inline void MoveKept(char16_t* dst, const char16_t* src, std::size_t count,
                     const std::optional<Blanking>& blanking) {
  if (blanking)
    BlankMove(dst, src, count, blanking->a, blanking->b);
  else
    scan::ShiftDown(dst, src, count);
}

// Replaces every code unit equal to `a`, and every one equal to `b`, by a
// space, in place. Passing the same unit twice replaces just that one.
// A long text is done in two parts at once.
void BlankUnits(std::u16string& text, char16_t a, char16_t b);

// The same, with the text cut in two at `hint` and the two parts done at
// once; as one part when `hint` is not inside the text.
void BlankUnitsInTwo(std::u16string& text, char16_t a, char16_t b, std::size_t hint);

}  // namespace sievetext
