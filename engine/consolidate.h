#pragma once

// Shrinking runs of one repeated unit, and the blank-line chains.

#include <cstddef>
#include <string>

namespace sievetext {

// Repeated halving (each pass turns a run of n units `c` into ceil(n / 2))
// done ten passes at a time shrinks a run of n to ceil(n / 1024).
inline constexpr std::size_t kCycleDivisor = 1024;

struct RunReduction {
  bool changed = false;           // some run of two or more was found (and shrunk)
  std::size_t longest = 0;        // longest run of `c` left afterwards (0 when none)
  std::size_t longestBefore = 0;  // longest run of two or more there was (0 when none)
};

// Replaces, in place, every run of n >= 2 units `c` by ceil(n / divisor)
// units `c`; all other units stay in order. divisor >= 2.
// A long text is done in two parts at once.
RunReduction ShrinkRuns(std::u16string& text, char16_t c, std::size_t divisor = kCycleDivisor);

// The same, with the text cut in two in front of the first unit other than
// `c` at or after `hint` and the two parts done at once; as one part when
// there is no such unit (a hint of scan::kNotFound). The result never depends
// on the hint.
RunReduction ShrinkRunsInTwo(std::u16string& text, char16_t c, std::size_t divisor,
                             std::size_t hint);

// Replaces, in place, every run of two or more units `c` by a single `c`, as
// all cycles of ShrinkRuns together would, in one pass. Returns the longest
// run there was (0 when no `c` was there).
std::size_t CollapseRuns(std::u16string& text, char16_t c);

// Number of cycles of ten halving passes needed before no run of two `c`
// remains: 0 when none is there, 1 for runs up to 1024, and so on.
std::size_t CyclesNeeded(std::size_t longestRun);

// The fixed point of replacing every LF, space, LF by a single LF: every
// maximal chain LF (space LF)... becomes one LF. In place.
void JoinBlankLineChains(std::u16string& text);

}  // namespace sievetext
