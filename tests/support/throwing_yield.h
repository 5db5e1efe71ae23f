#pragma once

#include <functional>
#include <string>

namespace sievetext::testing {

// Thrown by the yield of RunStoppingAt; nothing else throws it.
struct YieldStop {};

// Runs `apply(text, yield)` on a copy of `text` with a yield that throws on
// call number `stopAt` (counted from 0; never when the run makes fewer calls)
// and returns the text as the run left it. `*calls` gets the number of calls,
// the throwing one included.
template <typename Apply>
std::u16string RunStoppingAt(Apply apply, std::u16string text, int stopAt, int* calls) {
  *calls = 0;
  try {
    apply(text, std::function<void()>([&] {
            if ((*calls)++ == stopAt) throw YieldStop{};
          }));
  } catch (const YieldStop&) {
  }
  return text;
}

}  // namespace sievetext::testing
