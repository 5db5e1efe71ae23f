#include "engine/char_map.h"

#include <cassert>
#include <cstddef>

#include "engine/two_parts.h"
#include "simd/simd.h"

namespace sievetext {

void BlankMove(char16_t* dst, const char16_t* src, std::size_t count, char16_t a, char16_t b) {
  assert(dst <= src);
  std::size_t i = 0;
#if SIEVETEXT_SIMD
  const bool inPlace = dst == src;
  // A block is loaded whole before it is stored, and its store ends before
  // the next block to be loaded, so the ranges may overlap.
  const simd::Units va = simd::Splat(a);
  const simd::Units vb = simd::Splat(b);
  const simd::Units space = simd::Splat(u' ');
  for (; i + 8 <= count; i += 8) {
    const simd::Units v = simd::Load(src + i);
    const simd::Units hit = simd::Or(simd::Equal(v, va), simd::Equal(v, vb));
    if (simd::ByteMask(hit) == 0) {
      // Most blocks hold neither unit; in place, leave their memory untouched.
      if (!inPlace) simd::Store(dst + i, v);
      continue;
    }
    simd::Store(dst + i, simd::Or(simd::AndNot(hit, v), simd::And(hit, space)));
  }
#endif
  for (; i < count; ++i) {
    const char16_t c = src[i];
    dst[i] = c == a || c == b ? u' ' : c;
  }
}

void BlankUnits(std::u16string& text, char16_t a, char16_t b) {
  BlankUnitsInTwo(text, a, b, TwoPartHint(text.size()));
}

void BlankUnitsInTwo(std::u16string& text, char16_t a, char16_t b, std::size_t hint) {
  CompactInTwo(text, hint < text.size() ? hint : scan::kNotFound,
               [a, b](char16_t* p, std::size_t n, int) noexcept {
                 BlankMove(p, p, n, a, b);
                 return n;
               });
}

}  // namespace sievetext
