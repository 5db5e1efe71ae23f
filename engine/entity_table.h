#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "engine/entity_table_stages.h"

namespace sievetext {

// One literal replacement of the character entity table.
struct EntityRow {
  std::u16string_view key;          // e.g. u"&eacute;"; always starts with '&', no other '&'
  std::u16string_view replacement;  // zero to four code units, always shorter than `key`
  bool exact;                       // false: ASCII letter case ignored (A-Z against a-z only)
};

// The rows in the order they are applied (kEntityRowCount of them).
std::span<const EntityRow> EntityRows();

// True for the nine rows before which the table yields to the host:
// "&Ntilde;", "&eacute;", "&uuml;", "&mdash;", "&#36;", "&#75;", "&#116;",
// "&#167;" and "&#210;".
bool YieldsBeforeRow(std::size_t row);

// Decodes character entities in place. The result is that of applying the
// rows one after another, each row being one left-to-right pass over the whole
// text that replaces every non-overlapping occurrence of its key; what a row
// inserts is not searched again by that row but is seen by every later row, so
// doubly escaped text ("&amp;lt;") is decoded twice.
//
// Calls `yield` (when non-empty) nine times, just before the rows named by
// YieldsBeforeRow, also for empty text. If `yield` throws, `text` holds
// exactly the result of the rows before that point and the exception
// propagates. If memory runs out, `text` is left unchanged.
//
// Runs in time linear in the length of the text. A long text is decoded in
// blocks of about kEntityBlockUnits, each going through all the rows while it
// is in the cache; the nine yields are then spread over the blocks, and the
// blocks before a yield have been through all their rows when it comes (the
// state left by a throwing yield is rebuilt from copies kept of the blocks
// that changed; should that run out of memory, `text` is left as it was given
// and the out-of-memory error propagates in place of the yield's exception).
void ApplyEntityTable(std::u16string& text, const std::function<void()>& yield);

// What the text holds when a yield throws.
enum class EntityTextAfterThrow {
  RowsBefore,   // exactly the result of the rows before that yield
  Unspecified,  // anything (the caller drops it): nothing is kept to rebuild it
};

inline constexpr std::size_t kEntityBlockUnits = std::size_t{1} << 16;

// ApplyEntityTable with blocks of about `blockUnits` units (tests use small
// ones to exercise the cuts between blocks). With Unspecified, for a caller
// that drops the text when a yield throws, no copies of decoded blocks are
// kept.
// Without a yield and with Unspecified, a long text is decoded as by
// DecodeEntitiesInTwo.
void ApplyEntityTableInBlocks(std::u16string& text, const std::function<void()>& yield,
                              std::size_t blockUnits,
                              EntityTextAfterThrow afterThrow = EntityTextAfterThrow::RowsBefore);

// ApplyEntityTableInBlocks without a yield, for a caller that drops the text
// when memory runs out: the text is cut in two at the first place at or after
// `hint` (and not far after it) where two blocks may meet, and the two parts
// are decoded at once; as one part where there is no such place (a hint of 0
// or past the end). The result never depends on the hint.
void DecodeEntitiesInTwo(std::u16string& text, std::size_t hint,
                         std::size_t blockUnits = kEntityBlockUnits);

}  // namespace sievetext
