#include "engine/char_map.h"

#include <cstddef>

#include "engine/simd.h"
#include "engine/two_parts.h"

namespace sievetext {

namespace {

void BlankPart(char16_t* p, std::size_t n, char16_t a, char16_t b) {
  std::size_t i = 0;
#if SIEVETEXT_SIMD
  const simd::Units va = simd::Splat(a);
  const simd::Units vb = simd::Splat(b);
  const simd::Units space = simd::Splat(u' ');
  for (; i + 8 <= n; i += 8) {
    const simd::Units v = simd::Load(p + i);
    const simd::Units hit = simd::Or(simd::Equal(v, va), simd::Equal(v, vb));
    // Most blocks hold neither unit; leave their memory untouched.
    if (simd::ByteMask(hit) == 0) continue;
    simd::Store(p + i, simd::Or(simd::AndNot(hit, v), simd::And(hit, space)));
  }
#endif
  for (; i < n; ++i)
    if (p[i] == a || p[i] == b) p[i] = u' ';
}

}  // namespace

void BlankUnits(std::u16string& text, char16_t a, char16_t b) {
  BlankUnitsInTwo(text, a, b, TwoPartHint(text.size()));
}

void BlankUnitsInTwo(std::u16string& text, char16_t a, char16_t b, std::size_t hint) {
  if (hint >= text.size()) {
    BlankPart(text.data(), text.size(), a, b);
    return;
  }
  CompactInTwo(text, hint, [a, b](char16_t* p, std::size_t n, int) noexcept {
    BlankPart(p, n, a, b);
    return n;
  });
}

}  // namespace sievetext
