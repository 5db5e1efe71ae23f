#include "engine/block_sweep.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

#include "engine/block_cuts.h"
#include "engine/two_parts.h"

namespace sievetext {

void CutBlocksInOneSweep(std::u16string& text, const BlockCuts& cuts, std::size_t stretchUnits,
                         std::size_t twoThreadUnits) {
  char16_t* const buf = text.data();
  const std::size_t n = text.size();
  stretchUnits = std::max<std::size_t>(stretchUnits, 1);
  block_cuts::CommentCut comments(buf);
  block_cuts::TagCut scripts = block_cuts::ScriptCut(buf);
  block_cuts::TagCut styles = block_cuts::StyleCut(buf);
  block_cuts::BraceCut braces(buf, cuts.braces, cuts.blanking);
  const bool bracePass = cuts.braces || cuts.blanking.has_value();
  // The first cuts, over the text settled so far; returns what they settle.
  const auto front = [&](std::size_t settled, bool last) {
    if (cuts.comments) settled = comments.run(settled, last);
    if (cuts.scripts) settled = scripts.run(settled, last);
    return settled;
  };
  const auto back = [&](std::size_t settled, bool last) {
    if (cuts.styles) settled = styles.run(settled, last);
    if (bracePass) settled = braces.run(settled, last);
    return settled;
  };

  if (n >= twoThreadUnits && (cuts.comments || cuts.scripts) && (cuts.styles || bracePass)) {
    // The last cuts on a second thread, following the first ones. What the
    // first cuts have settled is never written by them again, and the last
    // ones write only there; the top bit says that the first cuts are done.
    constexpr std::size_t kDone = ~(~std::size_t{0} >> 1);
    std::atomic<std::size_t> handed{0};
    std::size_t length = 0;
    std::thread follower;
    try {
      follower = std::thread([&] {
        for (std::size_t seen = 0;;) {
          const std::size_t now = handed.load(std::memory_order_acquire);
          if (now == seen) {
            handed.wait(seen, std::memory_order_acquire);
            continue;
          }
          seen = now;
          const bool last = (now & kDone) != 0;
          const std::size_t settled = back(now & ~kDone, last);
          if (last) {
            length = settled;
            return;
          }
        }
      });
    } catch (const std::system_error&) {
      // No second thread: one sweeps them all, below.
    }
    if (follower.joinable()) {
      for (std::size_t read = 0;;) {
        read = n - read > stretchUnits ? read + stretchUnits : n;
        const bool last = read == n;
        const std::size_t settled = front(read, last);
        handed.store(last ? settled | kDone : settled, std::memory_order_release);
        handed.notify_one();
        if (last) break;
      }
      follower.join();
      text.resize(length);
      return;
    }
  }

  for (std::size_t read = 0;;) {
    read = n - read > stretchUnits ? read + stretchUnits : n;
    const bool last = read == n;
    const std::size_t settled = back(front(read, last), last);
    if (last) {
      text.resize(settled);
      return;
    }
  }
}

}  // namespace sievetext
