#include "engine/entities/key_lookup.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <optional>
#include <string_view>

#include "engine/entities/rows.h"

namespace sievetext {
namespace {

// Units that key names are made of ('#', digits, ASCII letters), mapped to
// their ASCII lower case; zero for every other unit below 128.
constexpr std::array<std::uint8_t, 128> kNameUnits = [] {
  std::array<std::uint8_t, 128> t{};
  t['#'] = '#';
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::uint8_t>(c);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = t[c - 32] = static_cast<std::uint8_t>(c);
  return t;
}();

std::uint8_t NameUnit(char16_t c) { return c < 128 ? kNameUnits[c] : 0; }

// Every key but one is '&', a name of one to six units and ';'. Names are
// looked up by their ASCII-lowercased units packed seven bits each; name
// units are never zero, so names of different lengths never share a code.
class KeyIndex {
 public:
  KeyIndex() {
    const auto rows = EntityRows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const std::u16string_view key = rows[r].key;
      if (key.back() != u';') {
        assert(nbspRow_ == kNone && key.size() == 5);
        nbspRow_ = static_cast<std::uint16_t>(r);
        continue;
      }
      std::uint64_t code = 0;
      for (char16_t c : key.substr(1, key.size() - 2)) {
        assert(NameUnit(c) != 0);
        code = code << 7 | NameUnit(c);
      }
      Slot& slot = find(code);
      slot.code = code;
      const int k = slot.rows[0] == kNone ? 0 : 1;
      assert(slot.rows[k] == kNone);
      slot.rows[k] = static_cast<std::uint16_t>(r);
      slot.exactName[k] = rows[r].exact ? key.data() + 1 : nullptr;
    }
  }

  std::optional<std::uint16_t> firstMatch(const KeyWindow& w, std::size_t from) const {
    const std::uint16_t best = bestMatch(w, from);
    if (best == kNone) return std::nullopt;
    return best;
  }

  // firstMatch for the window of a '&' followed by `rest`, read from the
  // text itself.
  std::optional<std::uint16_t> firstMatchBefore(const char16_t* rest, const char16_t* end,
                                                std::size_t from, bool& settled) const {
    constexpr std::size_t kLongest = KeyWindow{}.units.size() - 1;  // units after the '&'
    const std::size_t avail = std::min<std::size_t>(kLongest, static_cast<std::size_t>(end - rest));
    std::uint64_t code = 0;
    std::size_t name = 0;
    for (; name < avail; ++name) {
      const std::uint8_t c = NameUnit(rest[name]);
      if (c == 0) break;
      code = code << 7 | c;
    }
    // The window ends at a '&' short of the longest key, or holds a unit
    // that no name holds, or it ends with the text.
    settled = name == avail || rest[name] != u'&';
    std::uint16_t best = kNone;
    if (name >= 2 && name < avail && rest[name] == u';') best = lookUp(code, rest, name, from);
    if (nbspRow_ >= from && nbspRow_ < best && name >= 4 && NameUnit(rest[0]) == 'n' &&
        NameUnit(rest[1]) == 'b' && NameUnit(rest[2]) == 's' && NameUnit(rest[3]) == 'p') {
      best = nbspRow_;
    }
    if (best == kNone) return std::nullopt;
    return best;
  }

 private:
  // Rows are kept in 16 bits; this one stands for no row, in an empty slot
  // and while nothing has matched.
  static constexpr std::uint16_t kNone = std::numeric_limits<std::uint16_t>::max();

  std::uint16_t bestMatch(const KeyWindow& w, std::size_t from) const {
    std::uint16_t best = kNone;
    if (w.size < 4) return best;  // the shortest keys are "&lt;" and the like
    std::uint64_t code = 0;
    std::size_t end = 1;  // where the name ends
    for (; end < w.size && end <= 7; ++end) {
      const std::uint8_t c = NameUnit(w.units[end]);
      if (c == 0) break;
      code = code << 7 | c;
    }
    if (end >= 2 && end <= 7 && end < w.size && w.units[end] == u';') {
      best = lookUp(code, w.units.data() + 1, end - 1, from);
    }
    if (nbspRow_ >= from && nbspRow_ < best && w.size >= 5 && NameUnit(w.units[1]) == 'n' &&
        NameUnit(w.units[2]) == 'b' && NameUnit(w.units[3]) == 's' && NameUnit(w.units[4]) == 'p') {
      best = nbspRow_;
    }
    return best;
  }

  struct Slot {
    std::uint64_t code = 0;
    std::uint16_t rows[2] = {kNone, kNone};
    // For rows that match exactly, the name as the key writes it.
    const char16_t* exactName[2] = {nullptr, nullptr};
  };
  static constexpr std::size_t kBits = 10;  // 1024 slots for about 300 names

  // The first row from `from` on for the name of `length` units at `name`,
  // whose packed code is `code`; kNone if there is none.
  std::uint16_t lookUp(std::uint64_t code, const char16_t* name, std::size_t length,
                       std::size_t from) const {
    std::uint16_t best = kNone;
    const Slot& slot = find(code);
    for (int k = 0; k < 2; ++k) {
      const std::uint16_t r = slot.rows[k];
      if (r == kNone || r < from || r >= best) continue;
      if (slot.exactName[k] == nullptr || std::equal(name, name + length, slot.exactName[k]))
        best = r;
    }
    return best;
  }

  static std::size_t home(std::uint64_t code) {
    return static_cast<std::size_t>((code * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
  }

  const Slot& find(std::uint64_t code) const {
    std::size_t i = home(code);
    while (slots_[i].code != 0 && slots_[i].code != code) i = (i + 1) & (slots_.size() - 1);
    return slots_[i];
  }

  Slot& find(std::uint64_t code) {
    return const_cast<Slot&>(static_cast<const KeyIndex*>(this)->find(code));
  }

  std::array<Slot, std::size_t{1} << kBits> slots_{};
  std::uint16_t nbspRow_ = kNone;
};

const KeyIndex& TheKeyIndex() {
  static const KeyIndex index;
  return index;
}

}  // namespace

std::optional<std::uint16_t> FirstMatchingRow(const KeyWindow& w, std::size_t from) {
  assert(w.size > 0 && w.units[0] == u'&');
  return TheKeyIndex().firstMatch(w, from);
}

std::optional<std::uint16_t> FirstMatchingRowBefore(const char16_t* rest, const char16_t* end,
                                                    std::size_t from, bool& settled) {
  assert(rest <= end);
  return TheKeyIndex().firstMatchBefore(rest, end, from, settled);
}

bool IsWindowSettled(const KeyWindow& w) {
  if (w.size == w.units.size()) return true;
  for (std::size_t i = 1; i < w.size; ++i) {
    if (NameUnit(w.units[i]) == 0) return true;
  }
  return false;
}

}  // namespace sievetext
