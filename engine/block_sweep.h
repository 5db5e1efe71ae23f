#pragma once

// The block cuts of a conversion (comments, script blocks, style blocks,
// brace blocks with the blanking of pipes and tabs) done in one sweep over
// the text instead of one sweep each.

#include <cstddef>
#include <optional>
#include <string>

#include "engine/char_map.h"
#include "engine/two_parts.h"

namespace sievetext {

// The cuts to make, in this order.
struct BlockCuts {
  bool comments = false;
  bool scripts = false;
  bool styles = false;
  bool braces = false;
  std::optional<Blanking> blanking;  // done with the brace cut, or alone
};

// How far the first cut runs ahead of the others: a stretch that stays in
// the processor's cache while every cut works on it.
inline constexpr std::size_t kSweepStretchUnits = std::size_t{64} * 1024;

// Leaves exactly what CutCommentBlocks, CutScriptBlocks, CutStyleBlocks and
// CutBraceBlocks (with BlankUnits for the blanking) leave when each of those
// asked for runs over the whole text after the one before. Here each cut
// works on the part of the text that the cut before it has settled, a
// stretch of `stretchUnits` at a time, so that the text passes through
// memory once. A text of `twoThreadUnits` units or more has the last cuts
// done on a second thread, following the first ones. In place; cannot fail.
void CutBlocksInOneSweep(std::u16string& text, const BlockCuts& cuts,
                         std::size_t stretchUnits = kSweepStretchUnits,
                         std::size_t twoThreadUnits = kTwoPartUnits);

}  // namespace sievetext
