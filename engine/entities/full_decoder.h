#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/entities/key_lookup.h"
#include "engine/entities/rows.h"

// The full decoder: how the table is applied to one range in one sweep
// instead of one pass per row, whatever the '&' in it depend on.
//
// Every key starts with '&' and holds no other '&', and only "&amp;" and
// "&#38;" put an '&' back (in the place of their own). So all activity happens
// at the '&' units of the original text, occurrences of one key never overlap,
// and one row's pass is the same as replacing, all at once, every occurrence
// present before that row. Every replacement is shorter than its key.
//
// The text is cut into parts, one per '&' of interest: a part runs from its
// '&' to the next one. A part's current content is a short buffer (what rows
// wrote, at most four units) followed by the untouched rest of its original
// range. A part whose first unit is still '&' is live; a row can only match at
// a live part, and what it sees there is the part's content followed by the
// content of the dead parts after it, up to the next '&' (at most eight units,
// the longest key). Once a part has lost its '&' (it "died" at some row), its
// content can only be eaten by the live part before it.
//
// So what a part goes through depends only on the parts after it, and only on
// the rows at which they died and on what they held then. The rows between two
// yields form a stage; each stage visits the parts that have work in it from
// the last to the first, and runs each one through all the stage's rows at
// once. A part that dies hands work to the live part before it, which comes
// next in that order (unless what that part sees already ends with a unit no
// key can run past). A part keeps the row it is known to match next, so it is
// looked at again only when something it sees has changed. A part fires at
// most three times ("&amp;", "&#38;", then one row that removes its '&'), so
// the work is linear in the text, and it moves through memory in order.
//
// The text is not touched until the end (or until a yield throws, when every
// part stands at the same row): then the parts are written back in order, in
// place, which is safe because no unit ever moves right.

namespace sievetext {

// The key of `row` when that row removes it without a trace and is the first
// row to match it, followed by a '&': on its own between two '&' it stops
// every window up to that row and is gone after it. Empty otherwise.
std::u16string_view VanishingKey(std::size_t row);

// Links that let a walk skip entries: an entry points at itself until it is
// skipped, then at an entry further along the way. Finding follows the links
// and points those it passed at the end (path compression), so many walks
// over the same entries cost about one step per entry and walk.
template <typename Index>
class SkipLinks {
 public:
  void reserve(std::size_t entries) { link_.reserve(entries); }

  void reset(std::size_t entries) {
    link_.resize(entries);
    for (std::size_t i = 0; i < entries; ++i) link_[i] = static_cast<Index>(i);
  }

  void skip(Index entry, Index to) { link_[entry] = to; }

  // The first entry not skipped on the way from `entry`.
  Index find(Index entry) {
    Index root = entry;
    while (link_[root] != root) root = link_[root];
    while (link_[entry] != root) {
      const Index up = link_[entry];
      link_[entry] = root;
      entry = up;
    }
    return root;
  }

 private:
  std::vector<Index> link_;
};

// Applies the table to ranges of a text, one after another, reusing its
// bookkeeping. `Index` holds a position in the range.
template <typename Index>
class EntityDecoder {
 public:
  // Makes room for a range of up to `units` units, so that decoding such a
  // range allocates nothing.
  void reserve(std::size_t units);

  // Starts on the `size` units at `src`, which are read until writeBack and
  // taken to be followed by the end of the text or by a unit that no key can
  // reach. With `open`, the text may go on after them in any way: the range
  // is decoded as if it ended there, and settledPrefix tells how much of the
  // result holds whatever follows.
  void start(const char16_t* src, std::size_t size, bool open = false);

  // Applies the rows of stages [from, to).
  void runStages(std::size_t from, std::size_t to) {
    for (std::size_t s = from; s < to && !parts_.empty(); ++s) runStage(s);
  }

  // The whole text at once, yielding between the stages.
  void run(std::u16string& text, const std::function<void()>& yield);

  // Only the stages before `stage`, with no yields.
  void runUpTo(std::u16string& text, std::size_t stage);

  // How many units at the start of an open range came out as they would in
  // the whole text (all of a range that is not open).
  std::size_t settledPrefix();

  // A stretch of an open range that comes out empty and that nothing before
  // it ever sees into: to what lies before, it is a '&' that stops every
  // window up to row `row` and is gone from then on, which is just what the
  // row's VanishingKey is in its place.
  struct VanishingRun {
    std::size_t begin;
    std::size_t end;
    std::uint16_t row;
  };

  // After settledPrefix, the stretches an open range may be folded into
  // keys at, in order (see VanishingRun).
  const std::vector<VanishingRun>& vanishingRuns();

  // Writes the current content of the first `end` units of the range
  // (settledPrefix or all) to `dst`, in order; returns its length. `dst` may
  // be the range itself or lie before it (the two may overlap): no unit ever
  // moves right, so copying forwards is safe.
  std::size_t writeBack(char16_t* dst) { return writeBack(dst, size_); }
  std::size_t writeBack(char16_t* dst, std::size_t end);

 private:
  // What a live part is to do next.
  struct Plan {
    enum class Kind : std::uint8_t {
      Nothing,    // no row will match what it sees now
      Row,        // `row` is the next row to match what it sees now
      LookAgain,  // what it sees may change from the start of the stage on
    };
    std::uint16_t row;
    Kind kind;
  };

  struct Part {
    Index pos;   // where its '&' stood in the original text
    Index next;  // start of the untouched rest of the original range
    // Furthest unit of the range that what it saw depended on: a unit, or a
    // '&' that stopped its window (then reachIsStop); the range's size if it
    // saw the range end.
    Index reach;
    std::array<char16_t, 4> buf;
    std::uint16_t death;      // row that removed its '&', once it is dead
    std::uint16_t emptiedAt;  // row at which its content ran out, once it has
    Plan plan;                // while it is live
    std::uint8_t bufLen;
    bool live;     // still starts with '&'
    bool settled;  // what it sees cannot change when the part after it dies
    bool reachIsStop;
  };

  // A part's window in the original text, and what it depends on.
  struct OriginalWindow {
    KeyWindow window;
    Index reach;
    bool reachIsStop;
  };

  // What a live part sees at a row, as long as no part after it dies.
  struct SeenWindow {
    KeyWindow window;
    // When it ends at the '&' of a part that dies in this stage: the row
    // after which that part may be gone, and it may see further.
    std::optional<std::uint16_t> change;
    bool atPart;  // it ends at the '&' of a part, which may still die
  };

  Index rangeEnd(Index i) const {
    return i + 1 < parts_.size() ? parts_[i + 1].pos : static_cast<Index>(size_);
  }
  bool isEmpty(Index i) const {
    const Part& p = parts_[i];
    return !p.live && p.bufLen == 0 && p.next == rangeEnd(i);
  }
  std::size_t partHolding(std::size_t from, std::size_t at) const;
  void findParts();
  // The per-unit steps are always inlined into their callers.
  [[gnu::always_inline]] inline OriginalWindow originalWindow(const char16_t* p,
                                                              const char16_t* end) const;
  void queue(Index i, std::size_t stage);
  [[gnu::always_inline]] inline SeenWindow windowAt(Index i, std::uint16_t row);
  void runStage(std::size_t stage);
  [[gnu::always_inline]] inline std::optional<Index> runPart(Index i, std::uint16_t first,
                                                             std::uint16_t last, bool queued);
  void setPlan(Index i, Plan plan, std::size_t stage);
  [[gnu::always_inline]] inline std::size_t consume(Index j, std::size_t count);
  [[gnu::always_inline]] inline void fire(Index i, std::uint16_t r);

  const char16_t* src_ = nullptr;
  std::size_t size_ = 0;
  bool open_ = false;
  // First '&' that may still come to see a key once more text follows.
  std::size_t waitingFrom_ = 0;
  std::vector<Part> parts_;
  std::vector<Index> pending_;
  // Per stage, one bit per part that has work in it.
  std::array<std::vector<std::uint64_t>, kEntityStageCount> queued_;
  // From a part to the first at or after it that has content or died in the
  // running stage.
  SkipLinks<Index> nonEmpty_;
  // Entry 0 stands for "no live part before"; part i is entry i + 1. From an
  // entry to the last live one at or before it.
  SkipLinks<Index> live_;
  // Parts emptied in the running stage; they are skipped from the next stage
  // on, when no window can stop at their '&' any more.
  std::vector<Index> emptied_;
  // Parts with work in the running stage, last first.
  std::vector<Index> order_;
  // First row from which each part of an open range may come out otherwise.
  std::vector<std::uint16_t> unsure_;
  std::vector<VanishingRun> runs_;
};

extern template class EntityDecoder<std::uint32_t>;
extern template class EntityDecoder<std::uint64_t>;

}  // namespace sievetext
