#include "engine/consolidate.h"

#include <algorithm>
#include <cassert>

#include "engine/text_scan.h"
#include "engine/two_parts.h"

namespace sievetext {

namespace {

// ShrinkRuns on p[0, n) in place; `kept` gets the units kept.
RunReduction ShrinkPart(char16_t* p, std::size_t n, char16_t c, std::size_t divisor,
                        std::size_t& kept) {
  RunReduction result;
  kept = n;
  std::size_t i = scan::FindPair(p, 0, n, c, 0, c, 0);
  if (i == scan::kNotFound) {
    result.longest = scan::FindUnit(p, 0, n, c) == scan::kNotFound ? 0 : 1;
    return result;
  }
  result.changed = true;
  result.longest = 1;  // any single `c` before the first run
  std::size_t w = i;
  // Here p[i] starts a run of at least two: the pair search finds a run's
  // first two units, never a later pair inside it.
  while (i != scan::kNotFound) {
    std::size_t end = scan::FindOther(p, i + 2, n, c);
    if (end == scan::kNotFound) end = n;
    const std::size_t length = end - i;
    const std::size_t left = (length - 1) / divisor + 1;  // ceil(length / divisor)
    result.longestBefore = std::max(result.longestBefore, length);
    std::fill(p + w, p + w + left, c);
    w += left;
    result.longest = std::max(result.longest, left);
    i = scan::FindPair(p, end, n, c, 0, c, 0);
    const std::size_t stop = i == scan::kNotFound ? n : i;
    scan::ShiftDown(p + w, p + end, stop - end);
    w += stop - end;
  }
  kept = w;
  return result;
}

}  // namespace

RunReduction ShrinkRuns(std::u16string& text, char16_t c, std::size_t divisor) {
  assert(divisor >= 2);
  return ShrinkRunsInTwo(text, c, divisor, TwoPartHint(text.size()));
}

RunReduction ShrinkRunsInTwo(std::u16string& text, char16_t c, std::size_t divisor,
                             std::size_t hint) {
  assert(divisor >= 2);
  // A unit other than `c` ends every run before it, so no run crosses a cut
  // made in front of one.
  const std::size_t split =
      hint < text.size() ? scan::FindOther(text.data(), hint, text.size(), c) : scan::kNotFound;
  RunReduction parts[2];  // the second stays empty for a text done as one part
  CompactInTwo(text, split, [&](char16_t* p, std::size_t n, int part) noexcept {
    std::size_t kept = 0;
    parts[part] = ShrinkPart(p, n, c, divisor, kept);
    return kept;
  });
  return {parts[0].changed || parts[1].changed, std::max(parts[0].longest, parts[1].longest),
          std::max(parts[0].longestBefore, parts[1].longestBefore)};
}

std::size_t CollapseRuns(std::u16string& text, char16_t c) {
  const RunReduction r = ShrinkRuns(text, c, static_cast<std::size_t>(-1));
  return r.changed ? r.longestBefore : r.longest;
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
    const std::size_t i = scan::FindPair(p, from, n, u'\n', 0, u' ', 0);
    if (i == scan::kNotFound) break;
    if (i + 2 >= n || p[i + 2] != u'\n') {
      from = i + 1;
      continue;
    }
    // p[i] starts a chain: keep its first LF, drop every following space, LF.
    std::size_t last = i + 2;
    while (last + 2 < n && p[last + 1] == u' ' && p[last + 2] == u'\n') last += 2;
    scan::ShiftDown(p + w, p + kept, i + 1 - kept);
    w += i + 1 - kept;
    kept = from = last + 1;
  }
  scan::ShiftDown(p + w, p + kept, n - kept);
  text.resize(w + (n - kept));
}

}  // namespace sievetext
