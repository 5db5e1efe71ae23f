#pragma once

// Running a pass over a long text as two parts at once, one on a second
// thread. Only passes whose work on a unit depends on a bounded stretch
// around it can be cut this way, and only at a place where nothing that
// stretch decides crosses the cut: each pass says where that is.

#include <cassert>
#include <cstddef>
#include <string>
#include <thread>

#include "engine/text_scan.h"

namespace sievetext {

// Texts shorter than this go as one part: starting a thread costs more than
// it saves. Eight MiB of text.
inline constexpr std::size_t kTwoPartUnits = std::size_t{1} << 22;

// Where a text of `n` units is best cut: its middle when it is long enough,
// otherwise nowhere (kNotFound).
inline std::size_t TwoPartHint(std::size_t n) {
  return n >= kTwoPartUnits ? n / 2 : scan::kNotFound;
}

// Where most passes cut: just before, or just after, the first unit `c` at
// or after `hint`; kNotFound where there is none (also for a hint past the
// end).
inline std::size_t CutBefore(const std::u16string& text, std::size_t hint, char16_t c) {
  return hint < text.size() ? scan::FindUnit(text.data(), hint, text.size(), c) : scan::kNotFound;
}
inline std::size_t CutAfter(const std::u16string& text, std::size_t hint, char16_t c) {
  const std::size_t at = CutBefore(text, hint, c);
  return at == scan::kNotFound ? at : at + 1;
}

// Runs `pass(p, count, part)` on p[0, split) as part 0 and on p[split, n) as
// part 1 at the same time. Each call compacts its part in place at the
// part's start and returns the units it kept; the kept units of part 1 then
// move to follow those of part 0, and the text is cut to their total. With a
// split of kNotFound the pass runs once, as part 0, on the whole text. Where
// no thread can be started the parts run one after the other. The pass must
// not throw.
template <class Pass>
void CompactInTwo(std::u16string& text, std::size_t split, Pass pass) {
  char16_t* p = text.data();
  const std::size_t n = text.size();
  assert(split == scan::kNotFound || split <= n);
  if (split == scan::kNotFound) {
    text.resize(pass(p, n, 0));
    return;
  }
  std::size_t keptSecond = 0;
  std::thread helper;
  try {
    helper = std::thread([&] { keptSecond = pass(p + split, n - split, 1); });
  } catch (...) {
    keptSecond = pass(p + split, n - split, 1);
  }
  const std::size_t keptFirst = pass(p, split, 0);
  if (helper.joinable()) helper.join();
  scan::ShiftDown(p + keptFirst, p + split, keptSecond);
  text.resize(keptFirst + keptSecond);
}

}  // namespace sievetext
