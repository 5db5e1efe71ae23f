#include "char_map.h"

#include <cstddef>

#include "text_scan.h"

namespace sievetext {

void BlankUnits(std::u16string& text, char16_t a, char16_t b) {
  char16_t* p = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  const __m128i space = _mm_set1_epi16(u' ');
  for (; i + 8 <= n; i += 8) {
    __m128i* q = reinterpret_cast<__m128i*>(p + i);
    const __m128i v = _mm_loadu_si128(q);
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb));
    // Most blocks hold neither unit; leave their memory untouched.
    if (_mm_movemask_epi8(hit) == 0) continue;
    _mm_storeu_si128(q, _mm_or_si128(_mm_andnot_si128(hit, v), _mm_and_si128(hit, space)));
  }
#endif
  for (; i < n; ++i)
    if (p[i] == a || p[i] == b) p[i] = u' ';
}

}  // namespace sievetext
