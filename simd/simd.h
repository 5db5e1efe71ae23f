#pragma once

// The one place that speaks to the processor's vector unit: eight UTF-16 code
// units (or sixteen bytes) at a time. Code that uses it keeps a plain loop
// after its vector loop, which finishes the last units and does all the work
// when SIEVETEXT_SIMD is 0: on processors without SSE2, or in a build
// configured with SIEVETEXT_PORTABLE_SCAN=ON, which the tests run to check
// that the plain loops give the same answers.

#include <cstddef>

#if defined(__SSE2__) && !defined(SIEVETEXT_PORTABLE_SCAN)
#define SIEVETEXT_SIMD 1
#include <emmintrin.h>
#else
#define SIEVETEXT_SIMD 0
#endif

#if SIEVETEXT_SIMD
namespace sievetext::simd {

using Units = __m128i;  // eight code units, or sixteen bytes

inline Units Load(const char16_t* p) { return _mm_loadu_si128(reinterpret_cast<const Units*>(p)); }
inline Units LoadBytes(const char* p) { return _mm_loadu_si128(reinterpret_cast<const Units*>(p)); }
inline void Store(char16_t* p, Units v) { _mm_storeu_si128(reinterpret_cast<Units*>(p), v); }
inline Units Splat(char16_t c) { return _mm_set1_epi16(static_cast<short>(c)); }
inline Units Zero() { return _mm_setzero_si128(); }

// Lane by lane: all ones where equal, zero elsewhere.
inline Units Equal(Units a, Units b) { return _mm_cmpeq_epi16(a, b); }
inline Units Or(Units a, Units b) { return _mm_or_si128(a, b); }
inline Units And(Units a, Units b) { return _mm_and_si128(a, b); }
// ~a & b.
inline Units AndNot(Units a, Units b) { return _mm_andnot_si128(a, b); }

// Two bits per code unit (one per byte), the first unit lowest; bit 2k is
// set when byte 2k has its top bit set.
inline int ByteMask(Units v) { return _mm_movemask_epi8(v); }
// The unit index of the lowest set lane of a ByteMask; `mask` is not 0.
inline std::size_t FirstLane(int mask) {
  return static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
}
// The unit index of the highest set lane of a ByteMask; `mask` is not 0.
inline std::size_t LastLane(int mask) {
  return static_cast<std::size_t>(31 - __builtin_clz(static_cast<unsigned>(mask))) / 2;
}
// The byte index of the lowest set bit of a ByteMask taken over sixteen
// bytes; `mask` is not 0.
inline std::size_t FirstByte(int mask) {
  return static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
}
// Lane by lane a - b, wrapping.
inline Units Subtract(Units a, Units b) { return _mm_sub_epi16(a, b); }
// The sum of the eight lanes, each taken as a number from 0 to 0x7FFF.
inline std::size_t SumLanes(Units v) {
  const Units pairs = _mm_madd_epi16(v, _mm_set1_epi16(1));  // four sums of two
  const Units halves = _mm_add_epi32(pairs, _mm_srli_si128(pairs, 8));
  const Units whole = _mm_add_epi32(halves, _mm_srli_si128(halves, 4));
  return static_cast<std::size_t>(_mm_cvtsi128_si32(whole));
}

// Sixteen bytes widened to code units: the first eight, and the last eight.
inline Units WidenLow(Units bytes) { return _mm_unpacklo_epi8(bytes, _mm_setzero_si128()); }
inline Units WidenHigh(Units bytes) { return _mm_unpackhi_epi8(bytes, _mm_setzero_si128()); }
// Writes the low bytes of eight code units, each below 256, to `out`.
inline void NarrowStore(char* out, Units v) {
  _mm_storel_epi64(reinterpret_cast<Units*>(out), _mm_packus_epi16(v, v));
}

}  // namespace sievetext::simd
#endif
