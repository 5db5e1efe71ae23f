#include "entity_key_index.h"

#include <cassert>

#include "entity_table.h"

namespace sievetext {
namespace {

bool isNameUnit(char16_t c) {
  return c == u'#' || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
         (c >= u'a' && c <= u'z');
}

char16_t asciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// Every key but one is '&', a name of one to six units and ';'. Names are
// looked up by their ASCII-lowercased units packed seven bits each; the name
// units are never zero, so names of different lengths never share a code.
class KeyIndex {
 public:
  KeyIndex() {
    const auto rows = EntityRows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const std::u16string_view key = rows[r].key;
      if (key.back() != u';') {
        assert(nbspRow_ == kNoEntityRow);
        nbspRow_ = static_cast<std::uint16_t>(r);
        continue;
      }
      std::uint64_t code = 0;
      for (char16_t c : key.substr(1, key.size() - 2)) {
        assert(isNameUnit(c));
        code = code << 7 | asciiLower(c);
      }
      Slot& slot = find(code);
      slot.code = code;
      slot.rows[slot.rows[0] == kNoEntityRow ? 0 : 1] = static_cast<std::uint16_t>(r);
    }
  }

  std::uint16_t firstMatch(const KeyWindow& w, std::size_t from) const {
    std::uint16_t best = kNoEntityRow;
    if (w.size < 4) return best;  // the shortest keys are "&lt;" and the like
    std::uint64_t code = 0;
    std::size_t semicolon = 1;
    for (; semicolon < w.size && semicolon <= 7; ++semicolon) {
      const char16_t c = w.units[semicolon];
      if (c == u';' || !isNameUnit(c)) break;
      code = code << 7 | asciiLower(c);
    }
    if (semicolon >= 2 && semicolon < w.size && w.units[semicolon] == u';') {
      const Slot& slot = find(code);
      for (std::uint16_t r : slot.rows) {
        if (r == kNoEntityRow || r < from || r >= best) continue;
        if (!EntityRows()[r].exact || sameName(EntityRows()[r].key, w, semicolon)) best = r;
      }
    }
    if (nbspRow_ >= from && nbspRow_ < best && w.size >= 5 && asciiLower(w.units[1]) == u'n' &&
        asciiLower(w.units[2]) == u'b' && asciiLower(w.units[3]) == u's' &&
        asciiLower(w.units[4]) == u'p') {
      best = nbspRow_;
    }
    return best;
  }

 private:
  struct Slot {
    std::uint64_t code = 0;
    std::uint16_t rows[2] = {kNoEntityRow, kNoEntityRow};
  };
  static constexpr std::size_t kBits = 10;  // 1024 slots for about 300 names

  static bool sameName(std::u16string_view key, const KeyWindow& w, std::size_t semicolon) {
    for (std::size_t i = 1; i < semicolon; ++i) {
      if (key[i] != w.units[i]) return false;
    }
    return true;
  }

  const Slot& find(std::uint64_t code) const { return const_cast<KeyIndex*>(this)->find(code); }

  Slot& find(std::uint64_t code) {
    std::size_t i = static_cast<std::size_t>((code * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
    while (slots_[i].code != 0 && slots_[i].code != code) i = (i + 1) & (slots_.size() - 1);
    return slots_[i];
  }

  std::array<Slot, std::size_t{1} << kBits> slots_{};
  std::uint16_t nbspRow_ = kNoEntityRow;
};

}  // namespace

std::uint16_t FirstMatchingRow(const KeyWindow& w, std::size_t from) {
  static const KeyIndex index;
  assert(w.size > 0 && w.units[0] == u'&');
  return index.firstMatch(w, from);
}

}  // namespace sievetext
