#include "engine/marker_blanker.h"

#include <cstddef>
#include <string_view>

#include "engine/char_map.h"
#include "engine/text_scan.h"
#include "engine/two_parts.h"

namespace sievetext {
namespace {

constexpr std::u16string_view kNavigation = u"msnavigation";

// First i >= from where a key may be found: a "!" or the "->" that ends
// "-->" (when `comments`), or an "ms" in either case.
std::size_t FindCandidate(const char16_t* p, std::size_t from, std::size_t n, bool comments) {
  std::size_t i = from;
#if SIEVETEXT_SIMD
  const simd::Units bang = simd::Splat(comments ? u'!' : char16_t(0xFFFF));
  const simd::Units dash = simd::Splat(comments ? u'-' : char16_t(0xFFFF));
  const simd::Units gt = simd::Splat(u'>');
  const simd::Units fold = simd::Splat(scan::kFoldBit);
  const simd::Units m = simd::Splat(u'm'), s = simd::Splat(u's');
  for (; i + 9 <= n; i += 8) {
    const simd::Units a = simd::Load(p + i);
    const simd::Units b = simd::Load(p + i + 1);
    simd::Units hit = simd::Equal(a, bang);
    hit = simd::Or(hit, simd::And(simd::Equal(a, dash), simd::Equal(b, gt)));
    hit = simd::Or(hit,
                   simd::And(simd::Equal(simd::Or(a, fold), m), simd::Equal(simd::Or(b, fold), s)));
    const int mask = simd::ByteMask(hit);
    if (mask) return i + simd::FirstLane(mask);
  }
#endif
  for (; i < n; ++i) {
    const char16_t c = p[i];
    if (comments && c == u'!') return i;
    if (i + 1 == n) break;
    const char16_t d = p[i + 1];
    if (comments && c == u'-' && d == u'>') return i;
    if ((c | scan::kFoldBit) == u'm' && (d | scan::kFoldBit) == u's') return i;
  }
  return scan::kNotFound;
}

}  // namespace

namespace {

// BlankMarkers on p[0, n) in place; returns the units kept.
std::size_t BlankPart(char16_t* p, std::size_t n, bool commentMarkers,
                      std::optional<Blanking> blanking) {
  std::size_t w = 0;     // kept text is p[0, w)
  std::size_t kept = 0;  // p[kept, i) is still to be kept
  std::size_t i = 0;
  // Replaces p[from, to) by a space; from >= kept.
  auto blank = [&](std::size_t from, std::size_t to) {
    MoveKept(p + w, p + kept, from - kept, blanking);
    w += from - kept;
    p[w++] = u' ';
    kept = i = to;
  };
  while (i < n) {
    const std::size_t c = FindCandidate(p, i, n, commentMarkers);
    if (c == scan::kNotFound) break;
    const char16_t u = p[c];
    if (u == u'!' && commentMarkers) {
      if (c + 2 < n && p[c + 1] == u'-' && p[c + 2] == u'-') {
        blank(c, c + 3);
        continue;
      }
    } else if (u == u'-' && commentMarkers) {
      // "->" at c: a "-->" starts at c - 1 unless that unit was used already.
      if (c > i && p[c - 1] == u'-') {
        blank(c - 1, c + 2);
        continue;
      }
    } else if (n - c >= kNavigation.size() &&
               scan::MatchesFolded(p + c, kNavigation.data(), kNavigation.size())) {
      blank(c, c + kNavigation.size());
      continue;
    }
    i = c + 1;
  }
  MoveKept(p + w, p + kept, n - kept, blanking);
  return w + (n - kept);
}

}  // namespace

void BlankMarkers(std::u16string& text, bool commentMarkers, std::optional<Blanking> blanking) {
  BlankMarkersInTwo(text, commentMarkers, TwoPartHint(text.size()), blanking);
}

void BlankMarkersInTwo(std::u16string& text, bool commentMarkers, std::size_t hint,
                       std::optional<Blanking> blanking) {
  // No key holds a space, and a space cannot end the unit before a key, so
  // no key, and no choice between overlapping keys, crosses a cut made in
  // front of one.
  CompactInTwo(text, CutBefore(text, hint, u' '),
               [commentMarkers, blanking](char16_t* p, std::size_t n, int) noexcept {
                 return BlankPart(p, n, commentMarkers, blanking);
               });
}

}  // namespace sievetext
