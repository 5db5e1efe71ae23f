#include "engine/pair_cutter.h"

#include <cstddef>
#include <optional>

#include "engine/block_cuts.h"
#include "engine/char_map.h"
#include "engine/text_scan.h"
#include "engine/two_parts.h"

namespace sievetext {

// Each cut is its resumable step (block_cuts.h) run once over the whole text.

void CutCommentBlocks(std::u16string& text) {
  text.resize(block_cuts::CommentCut(text.data()).run(text.size(), true));
}

void CutScriptBlocks(std::u16string& text) {
  text.resize(block_cuts::ScriptCut(text.data()).run(text.size(), true));
}

void CutStyleBlocks(std::u16string& text) {
  text.resize(block_cuts::StyleCut(text.data()).run(text.size(), true));
}

void CutBraceBlocks(std::u16string& text, std::optional<Blanking> blanking) {
  CutBraceBlocksInTwo(text, TwoPartHint(text.size()), blanking);
}

void CutBraceBlocksInTwo(std::u16string& text, std::size_t hint, std::optional<Blanking> blanking) {
  // Every "{" before a "}" is closed by it or by one before it, so the text
  // after a "}" is cut as if it stood alone.
  CompactInTwo(text, CutAfter(text, hint, u'}'),
               [blanking](char16_t* p, std::size_t n, int) noexcept {
                 return block_cuts::BraceCut(p, true, blanking).run(n, true);
               });
}

}  // namespace sievetext
