#include "engine/tag_stripper.h"

#include <cstddef>

#include "engine/text_scan.h"
#include "engine/two_parts.h"

namespace sievetext {
namespace {

// Strips p[0, n), which starts outside any span, in place; returns the units
// kept.
std::size_t StripPart(char16_t* p, std::size_t n) {
  std::size_t w = 0;  // kept text is p[0, w)
  std::size_t i = 0;  // next unit to look at
  bool inTag = false;
#if SIEVETEXT_SIMD
  // Eight units at a time; one step per block or per bracket. A block is
  // stored whole even when only its first units are kept, which is safe as
  // long as the store ends before the first unit still to be read.
  const simd::Units lt = simd::Splat(u'<'), gt = simd::Splat(u'>');
  while (i + 8 <= n) {
    const simd::Units v = simd::Load(p + i);
    if (!inTag) {
      const int opens = simd::ByteMask(simd::Equal(v, lt));
      const std::size_t keep = opens ? simd::FirstLane(opens) : 8;
      const std::size_t next = opens ? i + keep + 1 : i + 8;
      // Until a tag has been cut the kept text is where it stands, and its
      // memory is left untouched.
      if (w != i) {
        if (w + 8 <= next)
          simd::Store(p + w, v);
        else
          scan::ShiftDown(p + w, p + i, keep);
      }
      w += keep;
      i = next;
      inTag = opens != 0;
    } else {
      const int closes = simd::ByteMask(simd::Equal(v, gt));
      if (closes == 0) {
        i += 8;
      } else {
        i += simd::FirstLane(closes) + 1;
        inTag = false;
      }
    }
  }
#endif
  for (; i < n; ++i) {
    const char16_t c = p[i];
    if (inTag) {
      inTag = c != u'>';
    } else if (c == u'<') {
      inTag = true;
    } else {
      p[w++] = c;
    }
  }
  return w;
}

}  // namespace

void StripTags(std::u16string& text) { StripTagsInTwo(text, TwoPartHint(text.size())); }

void StripTagsInTwo(std::u16string& text, std::size_t hint) {
  // After a ">" the text is outside any span, whatever came before it.
  CompactInTwo(text, CutAfter(text, hint, u'>'),
               [](char16_t* p, std::size_t n, int) noexcept { return StripPart(p, n); });
}

}  // namespace sievetext
