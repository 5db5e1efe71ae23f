#pragma once

// Where a text can be cut so that both sides decode on their own, and the '&'
// that can be decoded on their own as a sweep reaches them. Inline: they are
// asked about every unit of the stretches a cut is looked for in.

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/entities/key_lookup.h"
#include "engine/entities/rows.h"

namespace sievetext {

// Units that no key holds after its '&': no key can match across one, so
// nothing before it ever sees what follows it.
inline bool IsStopper(char16_t c) {
  constexpr char16_t kAsciiEnd = 128;
  static const std::array<bool, kAsciiEnd> kInKeys = [] {
    std::array<bool, kAsciiEnd> in{};
    in['&'] = true;
    for (const EntityRow& row : EntityRows()) {
      for (char16_t k : row.key.substr(1)) {
        in[k] = true;
        if (!row.exact && k >= u'a' && k <= u'z') in[k - u'a' + u'A'] = true;
        if (!row.exact && k >= u'A' && k <= u'Z') in[k - u'A' + u'a'] = true;
      }
    }
    return in;
  }();
  return c >= kAsciiEnd || !kInKeys[c];
}

// Whether the text can be cut just before position x (0 < x < size): no '&'
// before x ever sees a unit at or after x, so the two sides decode on their
// own. True for a unit that no key holds, and for a '&' whose first row
// follows from what stands up to the next '&' (or the end of a text that
// ends at `end` or where it can be cut) and which either never fires or
// leaves such a unit in its place: until it fires its own '&' stops every
// window before it, and afterwards the unit it leaves does.
inline bool CanCutBefore(const char16_t* begin, const char16_t* end, std::size_t x) {
  assert(x > 0 && begin + x < end);
  const char16_t c = begin[x];
  if (c != u'&') return IsStopper(c);
  bool settled = false;
  const std::optional<std::uint16_t> row = FirstMatchingRowBefore(begin + x + 1, end, 0, settled);
  if (!settled) return false;
  if (!row) return true;
  const std::u16string_view replacement = EntityRows()[*row].replacement;
  return !replacement.empty() && IsStopper(replacement[0]);
}

// What DecodeLoneAmpersand needs of a row.
struct LoneRow {
  std::uint8_t keyUnits;  // after the '&'
  bool again;             // it puts a '&' back, for later rows to take
};

inline const std::array<LoneRow, kEntityRowCount>& LoneRows() {
  static const std::array<LoneRow, kEntityRowCount> rows = [] {
    std::array<LoneRow, kEntityRowCount> r{};
    for (std::size_t i = 0; i < kEntityRowCount; ++i) {
      const EntityRow& row = EntityRows()[i];
      r[i].keyUnits = static_cast<std::uint8_t>(row.key.size() - 1);
      r[i].again = row.replacement == u"&";
    }
    return r;
  }();
  return rows;
}

// Decodes on its own the first '&' after a place where the text can be cut
// (at `amp`, in a range that ends at `end`, followed by the end of the text or
// by such a place), when what it sees cannot change: each window it sees is
// settled or ends with the range. No '&' before it sees it, and its window
// holds only original units, so it fires at the first row that matches
// (again for a '&' that "&amp;" and the like put back), and once it has lost
// its '&' nothing ever takes what it left. So what comes after the units it
// stands for starts after a place where the text can be cut too. Writes what
// it comes to at `out` (at or before `amp`) and returns how many units of the
// range it stands for; 0, with nothing written, when it is left to the full
// decoder.
inline std::size_t DecodeLoneAmpersand(const char16_t* amp, const char16_t* end, char16_t* out,
                                       std::size_t& written) {
  assert(*amp == u'&' && out <= amp);
  const std::array<LoneRow, kEntityRowCount>& rows = LoneRows();
  const char16_t* rest = amp + 1;
  std::size_t from = 0;
  for (;;) {
    bool settled = false;
    const std::optional<std::uint16_t> row = FirstMatchingRowBefore(rest, end, from, settled);
    if (!settled) return 0;
    if (!row) {
      *out = u'&';
      written = 1;
      return static_cast<std::size_t>(rest - amp);
    }
    const LoneRow& lone = rows[*row];
    rest += lone.keyUnits;
    if (lone.again) {
      from = *row + 1u;
      continue;
    }
    const std::u16string_view replacement = EntityRows()[*row].replacement;
    std::copy(replacement.begin(), replacement.end(), out);
    written = replacement.size();
    return static_cast<std::size_t>(rest - amp);
  }
}

}  // namespace sievetext
