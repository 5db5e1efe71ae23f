#pragma once

// Decoding character entities: the table of engine/entities/rows.h applied to
// a text in place.
//
// A worked example. The text
//
//   "&amp;lt;b&#10;&COPY;&nbspx&eacute;&#38;#33;"
//
// comes out as
//
//   "<b<br>(c) x\u00E9&#33;"
//
// because the rows run one after another over the whole text: "&amp;" (row
// 62) leaves "&lt;", which the later row "&lt;" turns into '<'; "&#10;"
// becomes "<br>"; "&copy;" ignores letter case; the bare "&nbsp" row, the
// last but six, takes "&nbsp" before the 'x'; "&eacute;" matches exactly;
// and "&#38;" leaves a '&' that only rows after it see, so "&#33;", an
// earlier row, is not decoded again.
//
// How: rather than 323 passes over the text, one sweep. Most '&' are decoded
// on their own as the sweep reaches them (cut_places.h: what they see is
// settled and nothing before them looks past them); from a '&' that depends on
// its neighbours, the full decoder (full_decoder.h) takes the text up to the
// next place where it can be cut. A long text goes in blocks that meet at
// such places, each block through all the rows while it is in the cache.

#include <functional>
#include <string>

namespace sievetext {

// What the text holds when a yield throws.
enum class EntityTextAfterThrow {
  RowsBefore,   // exactly the result of the rows before that yield
  Unspecified,  // anything (the caller drops it): nothing is kept to rebuild it
};

// Decodes character entities in place. The result is that of applying the
// rows one after another, each row being one left-to-right pass over the whole
// text that replaces every non-overlapping occurrence of its key; what a row
// inserts is not searched again by that row but is seen by every later row, so
// doubly escaped text ("&amp;lt;") is decoded twice.
//
// Calls `yield` (when non-empty) nine times, just before the rows named by
// YieldsBeforeRow, also for empty text. If `yield` throws, the exception
// propagates and `text` holds what `afterThrow` says. If memory runs out,
// with RowsBefore `text` is left unchanged; with Unspecified it is to be
// dropped.
//
// Runs in time linear in the length of the text. A long text is decoded in
// blocks, each going through all the rows while it is in the cache; the nine
// yields are then spread over the blocks, and the blocks before a yield have
// been through all their rows when it comes. With RowsBefore, the state left
// by a throwing yield is rebuilt from copies kept of the blocks that changed;
// should that run out of memory, `text` is left as it was given and the
// out-of-memory error propagates in place of the yield's exception. With
// Unspecified no copies are kept, and without a yield a long text is decoded
// in two parts at once.
void ApplyEntityTable(std::u16string& text, const std::function<void()>& yield,
                      EntityTextAfterThrow afterThrow = EntityTextAfterThrow::RowsBefore);

}  // namespace sievetext
