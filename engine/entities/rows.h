#pragma once

// The character entity table itself: its rows in the order they are applied,
// and the yields that split them into stages.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace sievetext {

// One literal replacement of the character entity table.
struct EntityRow {
  std::u16string_view key;          // e.g. u"&eacute;"; always starts with '&', no other '&'
  std::u16string_view replacement;  // zero to four code units, always shorter than `key`
  bool exact;                       // false: ASCII letter case ignored (A-Z against a-z only)
};

// How many rows the entity table has.
inline constexpr std::size_t kEntityRowCount = 323;

// The rows in the order they are applied (kEntityRowCount of them).
std::span<const EntityRow> EntityRows();

// True for the nine rows before which the table yields to the host:
// "&Ntilde;", "&eacute;", "&uuml;", "&mdash;", "&#36;", "&#75;", "&#116;",
// "&#167;" and "&#210;".
bool YieldsBeforeRow(std::size_t row);

// The rows before which the table yields to the host ("&Ntilde;", "&eacute;",
// "&uuml;", "&mdash;", "&#36;", "&#75;", "&#116;", "&#167;", "&#210;"),
// spread so that the gaps between yields stay short on long texts.
inline constexpr std::array<std::uint16_t, 9> kEntityYieldRows = {17,  38,  59,  82, 114,
                                                                  153, 194, 227, 270};

// The rows between two yields form a stage.
inline constexpr std::size_t kEntityStageCount = kEntityYieldRows.size() + 1;

// First row of each stage, and the row count after the last.
inline constexpr std::array<std::uint16_t, kEntityStageCount + 1> kEntityStageStart = [] {
  std::array<std::uint16_t, kEntityStageCount + 1> starts{};
  for (std::size_t s = 0; s < kEntityYieldRows.size(); ++s) starts[s + 1] = kEntityYieldRows[s];
  starts[kEntityStageCount] = static_cast<std::uint16_t>(kEntityRowCount);
  return starts;
}();

static_assert([] {
  for (std::size_t s = 0; s < kEntityStageCount; ++s) {
    if (kEntityStageStart[s] >= kEntityStageStart[s + 1]) return false;
  }
  return true;
}());

// Stage of each row, and kEntityStageCount for the row past the table.
inline constexpr std::array<std::uint8_t, kEntityRowCount + 1> kEntityStageOfRow = [] {
  std::array<std::uint8_t, kEntityRowCount + 1> stages{};
  std::size_t s = 0;
  for (std::size_t row = 0; row < stages.size(); ++row) {
    while (s < kEntityStageCount && kEntityStageStart[s + 1] <= row) ++s;
    stages[row] = static_cast<std::uint8_t>(s);
  }
  return stages;
}();

inline std::size_t EntityStageOf(std::size_t row) { return kEntityStageOfRow[row]; }

}  // namespace sievetext
