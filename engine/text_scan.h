#pragma once

// Fast forward searches over UTF-16 code units. Every function returns the
// index of the first hit at or after `from`, or kNotFound; `from` may lie past
// the end. The vector paths look at eight code units per step; the plain
// loops below them give the same answers.

#include <cassert>
#include <cstddef>
#include <cstring>

#include "simd/simd.h"

namespace sievetext::scan {

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Sets bit 5 of ASCII letters only when used against a lower-case letter:
// (c | 0x20) == 's' holds exactly for 'S' and 's', never for other code units.
inline constexpr char16_t kFoldBit = 0x20;

// First i >= from with p[i] == c.
inline std::size_t FindUnit(const char16_t* p, std::size_t from, std::size_t n, char16_t c) {
  std::size_t i = from;
#if SIEVETEXT_SIMD
  const simd::Units vc = simd::Splat(c);
  for (; i + 16 <= n; i += 16) {
    const int m0 = simd::ByteMask(simd::Equal(simd::Load(p + i), vc));
    const int m1 = simd::ByteMask(simd::Equal(simd::Load(p + i + 8), vc));
    if (m0 | m1) return m0 ? i + simd::FirstLane(m0) : i + 8 + simd::FirstLane(m1);
  }
#endif
  for (; i < n; ++i)
    if (p[i] == c) return i;
  return kNotFound;
}

// Last i in [from, to) with p[i] == c.
inline std::size_t FindUnitBack(const char16_t* p, std::size_t from, std::size_t to, char16_t c) {
  std::size_t i = to;
#if SIEVETEXT_SIMD
  const simd::Units vc = simd::Splat(c);
  while (i >= from + 8) {
    const int m = simd::ByteMask(simd::Equal(simd::Load(p + i - 8), vc));
    if (m) return i - 8 + simd::LastLane(m);
    i -= 8;
  }
#endif
  while (i > from)
    if (p[--i] == c) return i;
  return kNotFound;
}

// Number of units equal to c in [from, to).
inline std::size_t CountUnit(const char16_t* p, std::size_t from, std::size_t to, char16_t c) {
  std::size_t count = 0, i = from;
#if SIEVETEXT_SIMD
  // Each lane counts its own hits (a hit's lane is all ones, minus one);
  // the lanes are added up before any of them can pass 0x7FFF.
  const simd::Units vc = simd::Splat(c);
  while (i + 8 <= to) {
    const std::size_t blocks = (to - i) / 8 < 0x7FFF ? (to - i) / 8 : 0x7FFF;
    simd::Units lanes = simd::Zero();
    for (std::size_t b = 0; b < blocks; ++b, i += 8)
      lanes = simd::Subtract(lanes, simd::Equal(simd::Load(p + i), vc));
    count += simd::SumLanes(lanes);
  }
#endif
  for (; i < to; ++i) count += p[i] == c;
  return count;
}

// First i >= from with p[i] != c.
inline std::size_t FindOther(const char16_t* p, std::size_t from, std::size_t n, char16_t c) {
  std::size_t i = from;
#if SIEVETEXT_SIMD
  const simd::Units vc = simd::Splat(c);
  for (; i + 8 <= n; i += 8) {
    const int m = simd::ByteMask(simd::Equal(simd::Load(p + i), vc)) ^ 0xFFFF;
    if (m) return i + simd::FirstLane(m);
  }
#endif
  for (; i < n; ++i)
    if (p[i] != c) return i;
  return kNotFound;
}

// First i >= from with i + 1 < n, (p[i] | fold1) == c1 and (p[i+1] | fold2) == c2.
// A fold of kFoldBit against a lower-case ASCII letter matches both cases of
// that letter; a fold of 0 matches exactly.
inline std::size_t FindPair(const char16_t* p, std::size_t from, std::size_t n, char16_t c1,
                            char16_t fold1, char16_t c2, char16_t fold2) {
  std::size_t i = from;
#if SIEVETEXT_SIMD
  const simd::Units v1 = simd::Splat(c1), f1 = simd::Splat(fold1);
  const simd::Units v2 = simd::Splat(c2), f2 = simd::Splat(fold2);
  for (; i + 9 <= n; i += 8) {
    const simd::Units a = simd::Equal(simd::Or(simd::Load(p + i), f1), v1);
    const simd::Units b = simd::Equal(simd::Or(simd::Load(p + i + 1), f2), v2);
    const int m = simd::ByteMask(simd::And(a, b));
    if (m) return i + simd::FirstLane(m);
  }
#endif
  for (; i + 1 < n; ++i)
    if (static_cast<char16_t>(p[i] | fold1) == c1 && static_cast<char16_t>(p[i + 1] | fold2) == c2)
      return i;
  return kNotFound;
}

// True when p[0 .. key.size()) equals `key`, where every lower-case ASCII
// letter of `key` also matches its upper-case form and every other unit of
// `key` matches only itself. The caller guarantees the units exist.
inline bool MatchesFolded(const char16_t* p, const char16_t* key, std::size_t len) {
  for (std::size_t k = 0; k < len; ++k) {
    const char16_t want = key[k];
    const bool letter = want >= u'a' && want <= u'z';
    const char16_t have = letter ? static_cast<char16_t>(p[k] | kFoldBit) : p[k];
    if (have != want) return false;
  }
  return true;
}

// Moves the units of [from, n) down to `dst` (at or before p + from; the two
// may overlap) up to the first c among them, which is not moved, and returns
// its index; kNotFound once all of them have moved.
inline std::size_t MoveUntil(const char16_t* p, std::size_t from, std::size_t n, char16_t* dst,
                             char16_t c) {
  assert(dst <= p + from);
  if (dst == p + from) return FindUnit(p, from, n, c);
  std::size_t i = from;
#if SIEVETEXT_SIMD
  const simd::Units vc = simd::Splat(c);
  for (; i + 8 <= n; i += 8, dst += 8) {
    const simd::Units v = simd::Load(p + i);
    const int m = simd::ByteMask(simd::Equal(v, vc));
    if (m != 0) {
      const std::size_t k = simd::FirstLane(m);
      for (std::size_t j = 0; j < k; ++j) dst[j] = p[i + j];
      return i + k;
    }
    // What this overwrites has been loaded: dst + 8 <= p + i + 8.
    simd::Store(dst, v);
  }
#endif
  for (; i < n; ++i, ++dst) {
    if (p[i] == c) return i;
    *dst = p[i];
  }
  return kNotFound;
}

// Moves `count` units from `src` to `dst` (dst <= src; the ranges may overlap).
// Compaction moves many short pieces, for which a plain loop beats a call.
inline void ShiftDown(char16_t* dst, const char16_t* src, std::size_t count) {
  assert(dst <= src);
  if (dst == src) return;
  if (count <= 24) {
    for (std::size_t k = 0; k < count; ++k) dst[k] = src[k];
    return;
  }
  std::memmove(dst, src, count * sizeof(char16_t));
}

}  // namespace sievetext::scan
