#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace sievetext {

// The units that a row of the entity table can match at one '&': the '&'
// itself and what follows it, up to the longest key (eight units) and never
// past the next '&'.
struct KeyWindow {
  std::array<char16_t, 8> units{};
  std::size_t size = 0;
};

// Index of the first row, at or after `from`, whose key matches at the start
// of `w` in that row's match mode, if any. REQUIRES: `w` starts
// with '&'. At most three rows can match one window ("&nbsp;" also matches
// "&nbsp", and a name can have a capital and a small exact row), so this costs
// one hash probe whatever `from` is.
std::optional<std::uint16_t> FirstMatchingRow(const KeyWindow& w, std::size_t from);

// FirstMatchingRow for the window of a '&' that stands just before `rest`,
// in a text that ends at `end`, read from the text itself. `settled` tells
// whether IsWindowSettled holds for that window or it ends at `end`, so that
// the answer holds whatever the units after the window come to.
std::optional<std::uint16_t> FirstMatchingRowBefore(const char16_t* rest, const char16_t* end,
                                                    std::size_t from, bool& settled);

// True when no unit appended to `w` could change which rows match it: it is
// as long as the longest key, or it holds, after the '&', a unit that no key
// name contains (';' included), so every key that can match ends within it.
bool IsWindowSettled(const KeyWindow& w);

}  // namespace sievetext
