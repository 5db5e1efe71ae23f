#include "consolidate.h"

#include <algorithm>
#include <cassert>

#include "text_scan.h"

namespace sievetext {

bool HasDoubled(const std::u16string& text, char16_t c) {
  return scan::findPair(text.data(), 0, text.size(), c, 0, c, 0) != scan::kNotFound;
}

RunReduction ShrinkRuns(std::u16string& text, char16_t c, std::size_t divisor) {
  assert(divisor >= 2);
  RunReduction result;
  char16_t* p = text.data();
  const std::size_t n = text.size();
  std::size_t i = scan::findPair(p, 0, n, c, 0, c, 0);
  if (i == scan::kNotFound) {
    result.longest = scan::findUnit(p, 0, n, c) == scan::kNotFound ? 0 : 1;
    return result;
  }
  result.changed = true;
  result.longest = 1;  // any single `c` before the first run
  std::size_t w = i;
  // Here p[i] starts a run of at least two: the pair search finds a run's
  // first two units, never a later pair inside it.
  while (i != scan::kNotFound) {
    std::size_t end = scan::findOther(p, i + 2, n, c);
    if (end == scan::kNotFound) end = n;
    const std::size_t left = (end - i + divisor - 1) / divisor;
    std::fill(p + w, p + w + left, c);
    w += left;
    result.longest = std::max(result.longest, left);
    i = scan::findPair(p, end, n, c, 0, c, 0);
    const std::size_t stop = i == scan::kNotFound ? n : i;
    scan::shiftDown(p + w, p + end, stop - end);
    w += stop - end;
  }
  text.resize(w);
  return result;
}

std::size_t CollapseRuns(std::u16string& text, char16_t c) {
  char16_t* p = text.data();
  const std::size_t n = text.size();
  const std::size_t first = scan::findPair(p, 0, n, c, 0, c, 0);
  if (first == scan::kNotFound) return scan::findUnit(p, 0, n, c) == scan::kNotFound ? 0 : 1;
  // Runs longer than a block decide the cycle count; shorter ones count as 2.
  std::size_t longest = 2;
  std::size_t run = 0;      // `c` units just before i
  std::size_t w = first;    // kept text is p[0, w)
  std::size_t i = first;    // p[first - 1] is not `c`
#if defined(__SSE2__)
  const __m128i vc = _mm_set1_epi16(static_cast<short>(c));
  char16_t prev = static_cast<char16_t>(c ^ 1);  // the unit before p[i], as it was
  while (i + 8 <= n) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i before = _mm_insert_epi16(_mm_slli_si128(a, 2), prev, 0);
    const __m128i isC = _mm_cmpeq_epi16(a, vc);
    const int same = _mm_movemask_epi8(isC);
    const int drop = _mm_movemask_epi8(_mm_and_si128(isC, _mm_cmpeq_epi16(before, vc)));
    if (same == 0xFFFF) {
      run += 8;
    } else {
      const std::size_t leading = static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(~same))) / 2;
      longest = std::max(longest, run + leading);
      run = static_cast<std::size_t>(__builtin_clz((static_cast<unsigned>(~same) & 0xFFFFu) << 16)) / 2;
    }
    if (drop == 0) {
      // The store ends at i + 8 at the latest: nothing unread is touched.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + w), a);
      w += 8;
    } else if (drop != 0xFFFF) {
      alignas(16) char16_t lanes[8];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), a);
      for (int k = 0; k < 8; ++k)
        if (!(drop & (1 << (2 * k)))) p[w++] = lanes[k];
    }
    prev = static_cast<char16_t>(_mm_extract_epi16(a, 7));
    i += 8;
  }
#endif
  for (; i < n; ++i) {
    const char16_t u = p[i];
    if (u == c) {
      if (run++ == 0) p[w++] = u;
    } else {
      longest = std::max(longest, run);
      run = 0;
      p[w++] = u;
    }
  }
  longest = std::max(longest, run);
  text.resize(w);
  return longest;
}

std::size_t CyclesNeeded(std::size_t longestRun) {
  std::size_t cycles = 0;
  while (longestRun >= 2) {
    longestRun = (longestRun + kCycleDivisor - 1) / kCycleDivisor;
    ++cycles;
  }
  return cycles;
}

void JoinBlankLineChains(std::u16string& text) {
  char16_t* p = text.data();
  const std::size_t n = text.size();
  std::size_t w = 0, kept = 0, from = 0;
  for (;;) {
    const std::size_t i = scan::findPair(p, from, n, u'\n', 0, u' ', 0);
    if (i == scan::kNotFound) break;
    if (i + 2 >= n || p[i + 2] != u'\n') {
      from = i + 1;
      continue;
    }
    // p[i] starts a chain: keep its first LF, drop every following space, LF.
    std::size_t last = i + 2;
    while (last + 2 < n && p[last + 1] == u' ' && p[last + 2] == u'\n') last += 2;
    scan::shiftDown(p + w, p + kept, i + 1 - kept);
    w += i + 1 - kept;
    kept = from = last + 1;
  }
  scan::shiftDown(p + w, p + kept, n - kept);
  text.resize(w + (n - kept));
}

}  // namespace sievetext
