#pragma once

// Entry points that let tests and fuzz targets choose what ApplyEntityTable
// (apply_table.h) chooses for itself: the size of its blocks, and where a long
// text is cut in two. Small blocks and every possible cut exercise the places
// where blocks meet on short inputs. The program uses apply_table.h only.

#include <cstddef>
#include <functional>
#include <string>

#include "engine/entities/apply_table.h"

namespace sievetext {

// The size of the blocks that ApplyEntityTable works in.
inline constexpr std::size_t kEntityBlockUnits = std::size_t{1} << 16;

// ApplyEntityTable with blocks of about `blockUnits` units.
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
