#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sievetext {

// First position in [p, end) holding `unit`, or `end`. Compares eight units at
// a time where the processor allows, since most texts are long stretches
// without the unit sought.
inline const char16_t* FindUnit(const char16_t* p, const char16_t* end, char16_t unit) {
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  while (end - p >= 16) {
    const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), wanted);
    const __m128i b =
        _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), wanted);
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(a)) |
                          static_cast<unsigned>(_mm_movemask_epi8(b)) << 16;
    if (mask != 0) return p + __builtin_ctz(mask) / 2;
    p += 16;
  }
#endif
  while (p != end && *p != unit) ++p;
  return p;
}

}  // namespace sievetext
