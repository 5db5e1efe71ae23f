#include "tag_stripper.h"

#include <cstddef>

#include "text_scan.h"

namespace sievetext {

void StripTags(std::u16string& text) {
  char16_t* p = text.data();
  const std::size_t n = text.size();
  std::size_t w = 0;  // kept text is p[0, w)
  std::size_t i = 0;  // next unit to look at
  bool inTag = false;
#if defined(__SSE2__)
  // Eight units at a time; one step per block or per bracket. A block is
  // stored whole even when only its first units are kept, which is safe as
  // long as the store ends before the first unit still to be read.
  const __m128i lt = _mm_set1_epi16(u'<'), gt = _mm_set1_epi16(u'>');
  while (i + 8 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (!inTag) {
      const int opens = _mm_movemask_epi8(_mm_cmpeq_epi16(v, lt));
      const std::size_t keep = opens ? static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(opens))) / 2 : 8;
      const std::size_t next = opens ? i + keep + 1 : i + 8;
      if (w + 8 <= next)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + w), v);
      else
        scan::shiftDown(p + w, p + i, keep);
      w += keep;
      i = next;
      inTag = opens != 0;
    } else {
      const int closes = _mm_movemask_epi8(_mm_cmpeq_epi16(v, gt));
      if (closes == 0) {
        i += 8;
      } else {
        i += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(closes))) / 2 + 1;
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
  text.resize(w);
}

}  // namespace sievetext
