// Feeds the one-sweep entity decoder and the row-by-row reference the same
// text and aborts when they disagree, at the end or at the yield where the
// run is stopped by an exception.
//
// Input layout: byte 0 chooses the yield that throws (0 to 8; any other value
// lets all nine pass). Each further byte below 128 adds a fragment (single
// units, pieces of names, vanishing references, non-ASCII); a byte from 128
// up, with the byte after it, adds a whole key of the table, in its own or
// the opposite letter case. The text is also decoded in small blocks, whose
// size follows from its length.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "entity_reference.h"
#include "entity_table.h"

namespace {

constexpr std::size_t kMaxTextLength = 20000;

constexpr std::u16string_view kFragments[] = {
    u"&",      u"#",      u";",      u"0",      u"1",      u"2",
    u"3",      u"4",      u"5",      u"6",      u"7",      u"8",
    u"9",      u"a",      u"m",      u"p",      u"l",      u"t",
    u"n",      u"o",      u"b",      u"s",      u"A",      u"N",
    u"amp",    u"lt",     u"gt",     u"nbsp",   u"not",    u"para",
    u"&#",     u"&amp;",  u"&#38;",  u"&not;",  u"&para;", u"&#172;",
    u"&#182;", u"&NOT;",  u"&Amp;",  u" ",      u"<",      u"\u00E9",
    u"\u212A", u"\u0130", u"\u017F", u"\xD83D", u"\xDE00", std::u16string_view(u"\0", 1),
    u"&&",     u"&#3",    u"8;",     u"&nbsp",  u"eacute", u"Eacute",
    u"copy",   u"reg"};

std::u16string textFromBytes(const std::uint8_t* data, std::size_t size) {
  const auto rows = sievetext::EntityRows();
  std::u16string text;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = data[i];
    if (b < 128) {
      text += kFragments[b % std::size(kFragments)];
      continue;
    }
    const std::size_t pick = (std::size_t(b & 0x3F) << 8) | (i + 1 < size ? data[++i] : 0);
    std::u16string key(rows[pick % rows.size()].key);
    if (b & 0x40) {
      for (char16_t& c : key) {
        if (c >= u'a' && c <= u'z') {
          c = char16_t(c - 32);
        } else if (c >= u'A' && c <= u'Z') {
          c = char16_t(c + 32);
        }
      }
    }
    text += key;
  }
  return text;
}

struct Stop {};

template <typename Apply>
std::u16string run(Apply apply, std::u16string text, int stopAt, int* calls) {
  *calls = 0;
  try {
    apply(text, [&] {
      if ((*calls)++ == stopAt) throw Stop{};
    });
  } catch (const Stop&) {
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int stopAt = data[0];
  const std::u16string input = textFromBytes(data + 1, size - 1);
  if (input.size() > kMaxTextLength) return 0;
  int expectedCalls = 0, calls = 0;
  const std::u16string expected =
      run(sievetext::testing::ReferenceApplyEntityTable, input, stopAt, &expectedCalls);
  const std::u16string actual = run(sievetext::ApplyEntityTable, input, stopAt, &calls);
  if (actual != expected || calls != expectedCalls) {
    std::fprintf(stderr, "entity decoder differs from the reference (%zu units, stop at %d)\n",
                 input.size(), stopAt);
    std::abort();
  }
  const std::size_t blockUnits = 1 + input.size() % 32;
  const auto blocked = [blockUnits](std::u16string& text, const std::function<void()>& yield) {
    sievetext::ApplyEntityTableInBlocks(text, yield, blockUnits);
  };
  const std::u16string actualBlocked = run(blocked, input, stopAt, &calls);
  if (actualBlocked != expected || calls != expectedCalls) {
    std::fprintf(stderr,
                 "entity decoder in blocks of %zu differs from the reference (%zu units, stop at "
                 "%d)\n",
                 blockUnits, input.size(), stopAt);
    std::abort();
  }
  return 0;
}
