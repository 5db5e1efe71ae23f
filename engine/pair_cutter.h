#pragma once

// Removal of marked blocks (comments, script and style blocks, brace blocks).
// Each function works in place, in one forward sweep, and leaves exactly the
// text that the block-by-block rules below describe.

#include <cstddef>
#include <optional>
#include <string>

#include "engine/char_map.h"

namespace sievetext {

// Comment blocks "<!--" ... "-->". The closing marker is searched from the
// opening one (so "<!-->" closes itself) and a block is cut only when at
// least two units stand between the markers; "<!---->", "<!--x-->", "<!-->"
// and "<!--->" stay. After each block, cut or not, the next "<!--" is looked
// for no earlier than the closer's old start position, counted in the text as
// it now stands: after a cut that skips as many units past the cut as the
// block's opener stood before its closer.
void CutCommentBlocks(std::u16string& text);

// Script blocks "<script" ... "/script>" (ASCII letter case ignored), cut when
// the closer starts at least 9 units after the opener's "<". A block whose
// closer starts closer than that is kept and searching moves on from the unit
// after its "<". After a cut, openers that the cut has joined together from
// the text on both sides of it are found as well.
void CutScriptBlocks(std::u16string& text);

// Style blocks "<style" ... "/style>" as script blocks, cut when the closer
// starts at least 7 units after the opener's "<".
void CutStyleBlocks(std::u16string& text);

// Brace blocks: from a "{" through the first "}" after it; no nesting. A "{"
// without any later "}" ends the removal. With `blanking`, the units it names
// are replaced by spaces in the same pass. A long text is cut in two parts at
// once.
void CutBraceBlocks(std::u16string& text, std::optional<Blanking> blanking = std::nullopt);

// The same, with the text cut in two after the first "}" at or after `hint`
// and the two parts done at once; as one part when there is no such "}" (a
// hint of scan::kNotFound). The result never depends on the hint.
void CutBraceBlocksInTwo(std::u16string& text, std::size_t hint,
                         std::optional<Blanking> blanking = std::nullopt);

}  // namespace sievetext
