#include "engine/entity_table.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "engine/entity_key_index.h"
#include "engine/text_scan.h"

// How the table is applied in one sweep instead of one pass per row.
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
// The text buffer is not touched until the end (or until a yield throws, when
// every part stands at the same row): then the parts are written back in
// order, in place, which is safe because no unit ever moves right.
//
// The bookkeeping is some thirty bytes per '&', and every stage sweeps over
// all of it; where '&' is dense and the text long, that no longer fits in the
// cache. So a long text is cut into blocks at places that no key can reach
// across (see canCutBefore), and each block goes through all the stages
// before the next one starts (see decodeInBlocks).

namespace sievetext {
namespace {

constexpr std::uint16_t kNoRow = kNoEntityRow;
// A part's plan when it must look again at what it sees.
constexpr std::uint16_t kLookAgain = kNoRow - 1;

// A '&' that sees no key now can only come to see one after the '&' after it
// is gone, and then only for a later row than that removal. So a '&' with more
// than this many unmatched '&' between itself and the next matching one can
// never change, and it needs no part of its own.
constexpr std::size_t kMaxDependentChain = 322;

// First rows of the stages: the table's start and the nine rows before which
// it yields.
constexpr std::array<std::uint16_t, 11> kStageStart = {0,   17,  38,  59,  82, 114,
                                                       153, 194, 227, 270, 323};
constexpr std::size_t kStages = kStageStart.size() - 1;
constexpr std::uint16_t kRowCount = kStageStart[kStages];

// Stage of each row, and kStages for the row past the table.
constexpr std::array<std::uint8_t, 324> kStageOfRow = [] {
  std::array<std::uint8_t, 324> t{};
  std::size_t s = 0;
  for (std::size_t row = 0; row < t.size(); ++row) {
    while (s < kStages && kStageStart[s + 1] <= row) ++s;
    t[row] = static_cast<std::uint8_t>(s);
  }
  return t;
}();

std::size_t stageOf(std::size_t row) { return kStageOfRow[row]; }

// The key of `row` when that row removes it without a trace and it is the
// first row to match it, followed by a '&': on its own between two '&' it
// stops every window up to that row and is gone after it. Empty otherwise.
std::u16string_view VanishingKey(std::uint16_t row) {
  static const std::array<bool, kRowCount> kUsable = [] {
    std::array<bool, kRowCount> usable{};
    for (std::size_t r = 0; r < kRowCount; ++r) {
      const EntityRow& entry = EntityRows()[r];
      if (!entry.replacement.empty()) continue;
      KeyWindow w;
      for (char16_t c : entry.key) w.units[w.size++] = c;
      usable[r] = FirstMatchingRow(w, 0) == r;
    }
    return usable;
  }();
  return row < kRowCount && kUsable[row] ? EntityRows()[row].key : std::u16string_view{};
}

template <typename Index>
class EntityDecoder {
 public:
  EntityDecoder() {
    static_assert(kStageStart[kStages] == 323);
    assert(EntityRows().size() == 323);
    for (std::size_t s = 1; s < kStages; ++s) assert(YieldsBeforeRow(kStageStart[s]));
  }

  // Makes room for a range of up to `units` units, so that decoding such a
  // range allocates nothing.
  void reserve(std::size_t units) {
    parts_.reserve(units);
    pending_.reserve(units);
    nextNonEmpty_.reserve(units + 1);
    prevLive_.reserve(units + 1);
    emptied_.reserve(units);
    order_.reserve(units);
    for (auto& words : queued_) words.reserve(units / 64 + 1);
  }

  // Starts on the `size` units at `src`, which are read until writeBack and
  // taken to be followed by the end of the text or by a unit that no key can
  // reach. With `open`, the text may go on after them in any way: the range
  // is decoded as if it ended there, and settledPrefix tells how much of the
  // result holds whatever follows.
  void start(const char16_t* src, std::size_t size, bool open = false) {
    src_ = src;
    size_ = size;
    open_ = open;
    waitingFrom_ = size;
    parts_.clear();
    for (auto& words : queued_) words.clear();
    emptied_.clear();
    findParts();
  }

  // Whether the range may change at all: false when it holds no '&' that can.
  bool hasWork() const { return !parts_.empty(); }

  // Applies the rows of stages [from, to).
  void runStages(std::size_t from, std::size_t to) {
    for (std::size_t s = from; s < to && !parts_.empty(); ++s) runStage(s);
  }

  // The whole text at once, yielding between the stages.
  void run(std::u16string& text, const std::function<void()>& yield) {
    start(text.data(), text.size());
    for (std::size_t s = 0; s < kStages; ++s) {
      if (s > 0 && yield) {
        try {
          yield();
        } catch (...) {
          text.resize(writeBack(text.data()));
          throw;
        }
      }
      runStages(s, s + 1);
    }
    text.resize(writeBack(text.data()));
  }

  // Only the stages before `stage`, with no yields.
  void runUpTo(std::u16string& text, std::size_t stage) {
    start(text.data(), text.size());
    runStages(0, stage);
    text.resize(writeBack(text.data()));
  }

  // How many units at the start of an open range came out as they would in
  // the whole text (all of a range that is not open).
  //
  // A part that saw the range's end, or a '&' still waiting for what follows,
  // may come out otherwise from any row on. A part that saw only parts after
  // it (their content, or their '&' stopping its window) acts as in the whole
  // text for as long as all of them do, and one row longer: what it sees at a
  // row is what they held after the row before. So from the end backwards,
  // each part gets the first row from which it may differ; one that cannot
  // differ before the table ends is settled. The prefix ends at the first
  // part that is not, and no part before the cut may have seen or eaten a
  // unit past it.
  std::size_t settledPrefix() {
    if (!open_) return size_;
    const std::size_t n = parts_.size();
    constexpr std::uint16_t kNever = kRowCount;
    // First row from which each part may differ; parts after i that may
    // differ soonest, nearest first (index rising, row falling).
    unsure_.assign(n, kNever);
    std::vector<Index>& soonest = order_;
    soonest.clear();
    std::size_t cut = waitingFrom_;
    for (std::size_t i = n; i-- > 0;) {
      const Part& p = parts_[i];
      std::uint16_t from = 0;
      if (p.reach < waitingFrom_) {
        const std::size_t lastSeen = partHolding(p.reach);
        // The deepest entry at or before lastSeen holds the soonest row.
        const auto it = std::partition_point(soonest.rbegin(), soonest.rend(),
                                             [lastSeen](Index j) { return j <= lastSeen; });
        from = it == soonest.rbegin() ? kNever
                                      : static_cast<std::uint16_t>(
                                            std::min<std::size_t>(kNever, unsure_[*(it - 1)] + 1u));
      }
      unsure_[i] = from;
      while (!soonest.empty() && unsure_[soonest.back()] >= from) soonest.pop_back();
      soonest.push_back(static_cast<Index>(i));
      if (from < kNever) cut = p.pos;
    }
    // Back off to where nothing before the cut saw past it.
    std::size_t best = 0;
    std::size_t seen = 0;  // one past the furthest unit seen so far
    for (const Part& p : parts_) {
      if (p.pos >= cut) break;
      if (seen <= p.pos) best = p.pos;
      seen = std::max<std::size_t>(seen, std::size_t{p.reach} + (p.reachIsStop ? 0 : 1));
    }
    return seen <= cut ? cut : best;
  }

  // A stretch of an open range that comes out empty and that nothing before
  // it ever sees into: to what lies before, it is a '&' that stops every
  // window up to row `row` and is gone from then on, which is just what the
  // key of that row (whose replacement is empty) is in its place.
  struct VanishingRun {
    std::size_t begin;
    std::size_t end;
    std::uint16_t row;
  };

  // After settledPrefix: the longest stretches of parts that cannot come out
  // otherwise whatever follows the range, that end up empty, whose content,
  // while they had some after their '&' was gone, was always behind a '&' of
  // the stretch still standing (so the first of them ran out at the row that
  // removed its '&'), and that never saw past their own end. Only stretches
  // longer than the key that stands for them, in order.
  const std::vector<VanishingRun>& vanishingRuns() {
    runs_.clear();
    if (!open_) return runs_;
    const std::size_t n = parts_.size();
    std::size_t first = n;       // first part of the running stretch; n if none
    std::uint16_t lastGone = 0;  // the latest row at which a '&' of it went
    std::size_t seen = 0;        // one past the furthest unit it saw
    VanishingRun fits{0, 0, 0};  // its longest start that a key may stand for
    const auto flush = [&] {
      const std::size_t keySize = VanishingKey(fits.row).size();
      if (keySize > 0 && fits.end - fits.begin > keySize) runs_.push_back(fits);
      fits = VanishingRun{0, 0, 0};
    };
    for (std::size_t i = 0; i + 1 < n; ++i) {
      const Part& p = parts_[i];
      const bool gone = !p.live && p.emptiedAt != kNoRow && unsure_[i] == kRowCount;
      const bool vanished = gone && p.emptiedAt == p.death;
      if (!(gone && first != n && (vanished || p.emptiedAt <= lastGone))) {
        flush();
        first = n;
        if (!vanished || VanishingKey(p.death).empty()) continue;
        first = i;
        lastGone = 0;
        seen = 0;
      }
      lastGone = std::max(lastGone, p.death);
      seen = std::max<std::size_t>(seen, std::size_t{p.reach} + (p.reachIsStop ? 0 : 1));
      const std::size_t end = rangeEnd(static_cast<Index>(i));
      if (seen <= end) fits = VanishingRun{parts_[first].pos, end, lastGone};
    }
    flush();
    return runs_;
  }

  // Writes the current content of the first `end` units of the range
  // (settledPrefix or all) to `dst`, in order; returns its length. `dst` may
  // be the range itself or lie before it (the two may overlap): no unit ever
  // moves right, so copying forwards is safe.
  std::size_t writeBack(char16_t* dst) { return writeBack(dst, size_); }
  std::size_t writeBack(char16_t* dst, std::size_t end) {
    const char16_t* const src = src_;
    if (parts_.empty() || parts_[0].pos >= end) {
      if (dst != src) std::memmove(dst, src, end * sizeof(char16_t));
      parts_.clear();
      return end;
    }
    std::size_t out = parts_[0].pos;
    if (dst != src) std::memmove(dst, src, out * sizeof(char16_t));
    for (Index i = 0; i < parts_.size() && parts_[i].pos < end; ++i) {
      const Part& p = parts_[i];
      for (std::size_t k = 0; k < p.bufLen; ++k) dst[out + k] = p.buf[k];
      out += p.bufLen;
      const std::size_t n = std::min<std::size_t>(rangeEnd(i), end) - p.next;
      if (dst + out != src + p.next) {
        // Most pieces are short where references are dense.
        if (n <= 16) {
          for (std::size_t k = 0; k < n; ++k) dst[out + k] = src[p.next + k];
        } else {
          std::memmove(dst + out, src + p.next, n * sizeof(char16_t));
        }
      }
      out += n;
    }
    parts_.clear();
    return out;
  }

 private:
  struct Part {
    Index pos;   // where its '&' stood in the original text
    Index next;  // start of the untouched rest of the original range
    std::array<char16_t, 4> buf;
    std::uint8_t bufLen;
    bool live;            // still starts with '&'
    bool settled;         // what it sees cannot change when the part after it dies
    bool reachIsStop;     // see reach
    std::uint16_t death;  // row that removed its '&'; kNoRow while live
    std::uint16_t plan;   // next row known to match, kNoRow, or kLookAgain
    // Furthest unit of the range that what it saw depended on: a unit, or a
    // '&' that stopped its window (then reachIsStop); the range's size if it
    // saw the range end.
    Index reach;
    std::uint16_t emptiedAt;  // row at which its content ran out; kNoRow while it has some
  };

  Index rangeEnd(Index i) const {
    return i + 1 < parts_.size() ? parts_[i + 1].pos : static_cast<Index>(size_);
  }

  // The last part whose '&' stands at or before `at`.
  std::size_t partHolding(std::size_t at) const {
    const auto after = std::upper_bound(parts_.begin(), parts_.end(), at,
                                        [](std::size_t x, const Part& p) { return x < p.pos; });
    return static_cast<std::size_t>(after - parts_.begin()) - 1;
  }

  bool isEmpty(Index i) const {
    const Part& p = parts_[i];
    return !p.live && p.bufLen == 0 && p.next == rangeEnd(i);
  }

  // Finds every '&' and gives a part to those that can ever change.
  void findParts() {
    const char16_t* const begin = src_;
    const char16_t* const end = begin + size_;
    // Unmatched '&' seen since the last matching one, oldest first.
    std::vector<Index>& pending = pending_;
    pending.clear();
    std::size_t pendingHead = 0;
    for (std::size_t at = scan::findUnit(begin, 0, size_, u'&'); at != scan::kNotFound;
         at = scan::findUnit(begin, at + 1, size_, u'&')) {
      const char16_t* const p = begin + at;
      const Index pos = static_cast<Index>(at);
      Index reach;
      bool reachIsStop;
      const KeyWindow seen = originalWindow(p, end, reach, reachIsStop);
      const std::uint16_t row = FirstMatchingRow(seen, 0);
      if (row == kNoRow) {
        if (IsWindowSettled(seen)) {
          // It never fires, so it keeps its '&' for good, and no '&' before
          // it can ever see past it.
          pending.clear();
          pendingHead = 0;
          continue;
        }
        pending.push_back(pos);
        if (pending.size() - pendingHead > kMaxDependentChain) ++pendingHead;
        if (pendingHead > 4096) {
          pending.erase(pending.begin(), pending.begin() + pendingHead);
          pendingHead = 0;
        }
        continue;
      }
      for (std::size_t i = pendingHead; i < pending.size(); ++i) {
        Index waitingReach;
        bool waitingStop;
        const KeyWindow waiting = originalWindow(begin + pending[i], end, waitingReach, waitingStop);
        parts_.push_back(Part{pending[i], pending[i], {}, 0, true, IsWindowSettled(waiting),
                              waitingStop, kNoRow, kNoRow, waitingReach, kNoRow});
      }
      pending.clear();
      pendingHead = 0;
      parts_.push_back(
          Part{pos, pos, {}, 0, true, IsWindowSettled(seen), reachIsStop, kNoRow, row, reach, kNoRow});
      queue(static_cast<Index>(parts_.size() - 1), stageOf(row));
    }
    // These may still come to see a key in what follows an open range.
    if (pendingHead < pending.size()) waitingFrom_ = pending[pendingHead];
    if (parts_.empty()) return;

    const std::size_t n = parts_.size();
    nextNonEmpty_.resize(n + 1);
    for (std::size_t i = 0; i <= n; ++i) nextNonEmpty_[i] = static_cast<Index>(i);
    // Entry 0 stands for "no live part before"; part i is entry i + 1.
    prevLive_.resize(n + 1);
    for (std::size_t i = 0; i <= n; ++i) prevLive_[i] = static_cast<Index>(i);
  }

  // The window at `p` in the original text, and the position of the last
  // unit it depends on (see Part::reach).
  KeyWindow originalWindow(const char16_t* p, const char16_t* end, Index& reach,
                           bool& reachIsStop) const {
    KeyWindow w;
    const std::size_t at = static_cast<std::size_t>(p - src_);
    if (end - p >= static_cast<std::ptrdiff_t>(w.units.size())) {
      std::memcpy(w.units.data(), p, sizeof w.units);
      w.size = 1;
      while (w.size < w.units.size() && w.units[w.size] != u'&') ++w.size;
      reachIsStop = w.size < w.units.size();
      reach = static_cast<Index>(at + (reachIsStop ? w.size : w.size - 1));
      return w;
    }
    w.units[0] = *p;
    w.size = 1;
    for (++p; p != end && *p != u'&'; ++p) w.units[w.size++] = *p;
    reachIsStop = p != end;
    reach = static_cast<Index>(reachIsStop ? at + w.size : size_);
    return w;
  }

  void queue(Index i, std::size_t stage) {
    if (stage >= kStages) return;
    std::vector<std::uint64_t>& words = queued_[stage];
    if (i / 64 >= words.size()) words.resize(i / 64 + 1);
    words[i / 64] |= std::uint64_t{1} << (i % 64);
  }

  // First part at or after i that has content or died in the running stage;
  // parts_.size() if none.
  Index findNonEmpty(Index i) {
    Index root = i;
    while (nextNonEmpty_[root] != root) root = nextNonEmpty_[root];
    while (nextNonEmpty_[i] != root) {
      const Index up = nextNonEmpty_[i];
      nextNonEmpty_[i] = root;
      i = up;
    }
    return root;
  }

  // Entry (part index + 1) of the last live part at or before entry e; 0 if none.
  Index findLiveEntry(Index e) {
    Index root = e;
    while (prevLive_[root] != root) root = prevLive_[root];
    while (prevLive_[e] != root) {
      const Index up = prevLive_[e];
      prevLive_[e] = root;
      e = up;
    }
    return root;
  }

  // What a row at or after `row` sees at live part i, as long as no part after
  // it dies. Sets `change` to the row after which that could happen (when the
  // '&' ending the window belongs to a part that dies in this stage), or kNoRow.
  // `atPart` tells whether the window ends at the '&' of a part, which may
  // still die.
  KeyWindow windowAt(Index i, std::uint16_t row, std::uint16_t& change, bool& atPart) {
    KeyWindow w;
    change = kNoRow;
    atPart = false;
    Part& self = parts_[i];
    const auto saw = [&self](std::size_t at, bool stop) {
      if (at > self.reach) {
        self.reach = static_cast<Index>(at);
        self.reachIsStop = stop;
      } else if (at == self.reach) {
        self.reachIsStop = self.reachIsStop && stop;
      }
    };
    for (Index j = i; j < parts_.size(); j = findNonEmpty(j + 1)) {
      const Part& p = parts_[j];
      if (j != i && p.death >= row) {
        // Its '&' still stands before `row`; it may fall later in the stage.
        change = p.death;
        atPart = true;
        saw(p.pos, true);
        return w;
      }
      for (std::size_t k = 0; k < p.bufLen; ++k) {
        w.units[w.size++] = p.buf[k];
        if (w.size == w.units.size()) {
          saw(p.pos, false);
          return w;
        }
      }
      const Index end = rangeEnd(j);
      for (Index k = p.next; k < end; ++k) {
        const char16_t c = src_[k];
        if (w.size > 0 && c == u'&') {  // a '&' that never changes
          saw(k, true);
          return w;
        }
        w.units[w.size++] = c;
        if (w.size == w.units.size()) {
          saw(k, false);
          return w;
        }
      }
    }
    saw(size_, false);
    return w;
  }

  void runStage(std::size_t stage) {
    const std::uint16_t first = kStageStart[stage];
    const std::uint16_t last = static_cast<std::uint16_t>(kStageStart[stage + 1] - 1);
    std::vector<std::uint64_t>& words = queued_[stage];
    order_.clear();
    for (std::size_t w = words.size(); w-- > 0;) {
      for (std::uint64_t bits = words[w]; bits != 0;) {
        const unsigned top = 63u - static_cast<unsigned>(__builtin_clzll(bits));
        order_.push_back(static_cast<Index>(w * 64 + top));
        bits &= ~(std::uint64_t{1} << top);
      }
    }
    // Parts with work lie far apart in a long text; fetch them ahead.
    constexpr std::size_t kPartsAhead = 16, kTextAhead = 8;
    Index lowest = kNone;  // every part from here on has been dealt with
    for (std::size_t k = 0; k < order_.size(); ++k) {
      if (k + kPartsAhead < order_.size()) __builtin_prefetch(&parts_[order_[k + kPartsAhead]]);
      if (k + kTextAhead < order_.size()) {
        __builtin_prefetch(src_ + parts_[order_[k + kTextAhead]].next);
      }
      const Index queued = order_[k];
      if (queued >= lowest) continue;
      lowest = queued;
      Index next = kNone;
      if (parts_[queued].live) runPart(queued, first, last, true, next);
      // A part that dies passes work to the live part before it, which comes
      // next in this order anyway, unless what that part sees ends before.
      while (next != kNone && !parts_[next].settled) {
        const Index i = next;
        lowest = i;
        next = kNone;
        runPart(i, first, last, false, next);
      }
    }
    words.clear();
    for (Index j : emptied_) nextNonEmpty_[j] = j + 1;
    emptied_.clear();
  }

  // Runs live part i through rows first..last. `queued` tells that it comes
  // for its plan, not because the part after it died. If it dies, sets
  // `handOver` to the live part before it, if any.
  void runPart(Index i, std::uint16_t first, std::uint16_t last, bool queued, Index& handOver) {
    std::uint16_t known = kNoRow;
    if (queued) {
      const std::uint16_t plan = parts_[i].plan;
      // A stale entry: the part has been dealt with since it was queued.
      if (plan == kNoRow || (plan != kLookAgain && (plan < first || plan > last))) return;
      // Nothing after it died in this stage (that would have brought it here
      // first), so what it sees is what the plan was made on.
      if (plan != kLookAgain) known = plan;
    }
    std::uint16_t row = first;
    for (;;) {
      std::uint16_t match = known;
      std::uint16_t change = kNoRow;
      if (known != kNoRow) {
        known = kNoRow;
      } else {
        bool atPart;
        const KeyWindow w = windowAt(i, row, change, atPart);
        match = FirstMatchingRow(w, row);
        parts_[i].settled = !atPart || IsWindowSettled(w);
      }
      if (match <= last && match <= change) {
        fire(i, match);
        if (!parts_[i].live) {
          parts_[i].plan = kNoRow;
          const Index before = findLiveEntry(i);
          if (before > 0) handOver = before - 1;
          return;
        }
        if (match == last) {
          setPlan(i, kLookAgain, stageOf(std::size_t{match} + 1));
          return;
        }
        row = static_cast<std::uint16_t>(match + 1);
        continue;
      }
      if (change < last) {
        row = static_cast<std::uint16_t>(change + 1);  // it sees further from then on
        continue;
      }
      if (change == last) {
        setPlan(i, kLookAgain, stageOf(std::size_t{change} + 1));
      } else {
        setPlan(i, match, match == kNoRow ? kStages : stageOf(match));
      }
      return;
    }
  }

  void setPlan(Index i, std::uint16_t row, std::size_t stage) {
    parts_[i].plan = row;
    queue(i, stage);
  }

  // Drops the first `count` units of part j's content; returns how many it had.
  std::size_t consume(Index j, std::size_t count) {
    Part& p = parts_[j];
    const std::size_t fromBuf = count < p.bufLen ? count : p.bufLen;
    if (fromBuf > 0) {
      for (std::size_t k = fromBuf; k < p.bufLen; ++k) p.buf[k - fromBuf] = p.buf[k];
      p.bufLen = static_cast<std::uint8_t>(p.bufLen - fromBuf);
    }
    const std::size_t left = count - fromBuf;
    const std::size_t inRange = rangeEnd(j) - p.next;
    const std::size_t fromRange = left < inRange ? left : inRange;
    p.next = static_cast<Index>(p.next + fromRange);
    return fromBuf + fromRange;
  }

  // Replaces row r's key, which matches at live part i, by its replacement.
  void fire(Index i, std::uint16_t r) {
    const EntityRow& row = EntityRows()[r];
    std::size_t left = row.key.size() - consume(i, row.key.size());
    for (Index j = i; left > 0;) {
      j = findNonEmpty(j + 1);
      assert(j < parts_.size() && !parts_[j].live && parts_[j].death < r);
      // A part is listed once, when it runs empty, so that the list never
      // outgrows the parts (and the room reserved for them).
      const std::size_t taken = consume(j, left);
      left -= taken;
      if (taken > 0 && isEmpty(j)) {
        emptied_.push_back(j);
        parts_[j].emptiedAt = r;
      }
    }

    Part& p = parts_[i];
    const std::size_t m = row.replacement.size();
    assert(m + p.bufLen <= p.buf.size());
    for (std::size_t k = p.bufLen; k-- > 0;) p.buf[k + m] = p.buf[k];
    for (std::size_t k = 0; k < m; ++k) p.buf[k] = row.replacement[k];
    p.bufLen = static_cast<std::uint8_t>(p.bufLen + m);
    p.live = m > 0 && row.replacement[0] == u'&';
    if (p.live) return;
    p.death = r;
    prevLive_[i + 1] = i;
    if (isEmpty(i)) {
      emptied_.push_back(i);
      p.emptiedAt = r;
    }
  }

  static constexpr Index kNone = std::numeric_limits<Index>::max();

  const char16_t* src_ = nullptr;
  std::size_t size_ = 0;
  bool open_ = false;
  // First '&' that may still come to see a key once more text follows.
  std::size_t waitingFrom_ = 0;
  std::vector<Part> parts_;
  std::vector<Index> pending_;
  // Per stage, one bit per part that has work in it.
  std::array<std::vector<std::uint64_t>, kStages> queued_;
  std::vector<Index> nextNonEmpty_;
  std::vector<Index> prevLive_;
  // Parts emptied in the running stage; they are skipped from the next stage
  // on, when no window can stop at their '&' any more.
  std::vector<Index> emptied_;
  // Parts with work in the running stage, last first.
  std::vector<Index> order_;
  // First row from which each part of an open range may come out otherwise.
  std::vector<std::uint16_t> unsure_;
  std::vector<VanishingRun> runs_;
};

// Units that no key holds after its '&': no key can match across one, so
// nothing before it ever sees what follows it.
bool isStopper(char16_t c) {
  static const std::array<bool, 128> kInKeys = [] {
    std::array<bool, 128> in{};
    in['&'] = true;
    for (const EntityRow& row : EntityRows()) {
      for (char16_t k : row.key.substr(1)) {
        in[k] = true;
        if (!row.exact && k >= u'a' && k <= u'z') in[k - 32] = true;
        if (!row.exact && k >= u'A' && k <= u'Z') in[k + 32] = true;
      }
    }
    return in;
  }();
  return c >= 128 || !kInKeys[c];
}

// Whether the text can be cut just before position x (0 < x < size): no '&'
// before x ever sees a unit at or after x, so the two sides decode on their
// own. True for a unit that no key holds, and for a '&' whose first row
// follows from what stands up to the next '&' and which either never fires or
// leaves such a unit in its place: until it fires its own '&' stops every
// window before it, and afterwards the unit it leaves does.
bool canCutBefore(const char16_t* begin, const char16_t* end, std::size_t x) {
  const char16_t c = begin[x];
  if (c != u'&') return isStopper(c);
  KeyWindow w;
  w.units[0] = u'&';
  w.size = 1;
  for (const char16_t* p = begin + x + 1; p != end && w.size < w.units.size() && *p != u'&'; ++p) {
    w.units[w.size++] = *p;
  }
  if (!IsWindowSettled(w)) return false;
  const std::uint16_t row = FirstMatchingRow(w, 0);
  if (row == kNoEntityRow) return true;
  const std::u16string_view replacement = EntityRows()[row].replacement;
  return !replacement.empty() && isStopper(replacement[0]);
}

// Starts of the blocks, each about `blockUnits` long, followed by the text's
// length. Only the start 0 and the length when some stretch of the text
// offers no cut for a long way: the text is then decoded whole.
std::vector<std::size_t> cutIntoBlocks(const std::u16string& text, std::size_t blockUnits) {
  std::vector<std::size_t> starts{0};
  const std::size_t size = text.size();
  const char16_t* const begin = text.data();
  const std::size_t maxScan = 2 * blockUnits;
  std::size_t from = 0;
  while (size - from > blockUnits + blockUnits / 2) {
    std::size_t x = from + blockUnits;
    const std::size_t limit = std::min(size, x + maxScan);
    while (x < limit && !canCutBefore(begin, begin + size, x)) ++x;
    if (x == limit) return {0, size};
    starts.push_back(x);
    from = x;
  }
  starts.push_back(size);
  return starts;
}

// The text in blocks: each block goes through all ten stages while it is in
// the cache, instead of every stage sweeping over the whole text. The nine
// yields are spread over the blocks so that the host still gets its turns
// during a long text; by the time a yield comes, the blocks before it have
// been through all their rows. If a yield throws, the text is put back to its
// original and run through the stages before that yield, so it ends up
// exactly as if the stages had run over the whole text one after another. For
// that, the original of every block decoded before the last yield is kept: a
// block that cannot change is found again where it was written, the others
// are copied aside before they are decoded.
//
// Everything is allocated before the text is first written (the room for the
// decoding and the copies when the first block that can change comes: until
// then every block has stayed where it was), so running out of memory leaves
// it unchanged (also when rebuilding the state after a throwing yield fails
// for want of memory: the text is then the original).
template <typename Index>
void decodeInBlocks(std::u16string& text, const std::function<void()>& yield,
                    const std::vector<std::size_t>& starts) {
  const std::size_t blocks = starts.size() - 1;
  std::size_t longest = 0;
  for (std::size_t b = 0; b < blocks; ++b) longest = std::max(longest, starts[b + 1] - starts[b]);
  // Yield k (1 to 9, before stage k) comes before block k * blocks / 10.
  auto yieldBlock = [blocks](std::size_t k) { return k * blocks / kStages; };
  const std::size_t keptBlocks = yield ? yieldBlock(kStages - 1) : 0;

  // Copies of the blocks that changed, each at its own place; the pages of
  // the others are never touched.
  std::unique_ptr<char16_t[]> original;
  std::vector<std::size_t> writtenAt(keptBlocks);
  std::vector<bool> copied(keptBlocks);
  EntityDecoder<Index> decoder;
  bool reserved = false;

  char16_t* const data = text.data();
  // Puts the first `done` blocks back as they were, the last first: each
  // goes back to where it came from, at or after where it was written.
  auto restore = [&](std::size_t done) {
    for (std::size_t b = done; b-- > 0;) {
      const std::size_t size = starts[b + 1] - starts[b];
      if (copied[b]) {
        std::memcpy(data + starts[b], original.get() + starts[b], size * sizeof(char16_t));
      } else {
        std::memmove(data + starts[b], data + writtenAt[b], size * sizeof(char16_t));
      }
    }
  };

  std::size_t out = 0;
  std::size_t nextYield = 1;
  for (std::size_t b = 0; b < blocks; ++b) {
    for (; yield && nextYield < kStages && yieldBlock(nextYield) == b; ++nextYield) {
      try {
        yield();
      } catch (...) {
        restore(b);
        decoder.runUpTo(text, nextYield);
        throw;
      }
    }
    const std::size_t size = starts[b + 1] - starts[b];
    decoder.start(data + starts[b], size);
    if (!reserved && decoder.hasWork()) {
      decoder.reserve(longest);
      original = std::make_unique_for_overwrite<char16_t[]>(starts[keptBlocks]);
      reserved = true;
    }
    if (b < keptBlocks) {
      writtenAt[b] = out;
      copied[b] = decoder.hasWork();
      if (copied[b]) {
        std::memcpy(original.get() + starts[b], data + starts[b], size * sizeof(char16_t));
      }
    }
    decoder.runStages(0, kStages);
    out += decoder.writeBack(data + out);
  }
  text.resize(out);
}

// Replaces each of `runs` (in order, within the `size` units at `range`) by
// the key that stands for it, keeping the range's end where it is: what lies
// before and between them moves right. Returns how far the range's start
// moved.
template <typename Run>
std::size_t FoldVanishingRuns(char16_t* range, std::size_t size, const std::vector<Run>& runs) {
  std::size_t write = size;    // start of what has been put in place
  std::size_t readEnd = size;  // end of what is still to be placed
  const auto keep = [&](std::size_t from, std::size_t to) {
    write -= to - from;
    std::memmove(range + write, range + from, (to - from) * sizeof(char16_t));
  };
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    keep(run->end, readEnd);
    const std::u16string_view key = VanishingKey(run->row);
    write -= key.size();
    std::copy(key.begin(), key.end(), range + write);
    readEnd = run->begin;
  }
  keep(0, readEnd);
  return write;
}

// The text in blocks when nothing has to be kept for a throwing yield. A
// block ends where the text can be cut (see canCutBefore); where no such place
// turns up for a long way, a stretch is decoded as if the text ended there,
// the start of it that cannot have been touched by that end is kept, and the
// rest is decoded again together with what follows. A stretch that yields
// nothing is waiting for what follows it: its parts that come out empty
// without a trace are folded into one key each (see vanishingRuns), and
// only when that gains little is the stretch doubled, until it yields
// something or reaches the end. So the bookkeeping is that of a block or
// two, also where a '&' waits behind a long run of references that vanish. The yields come as the blocks pass the tenths of
// the text, and those left at the end.
template <typename Index>
void decodeStreaming(std::u16string& text, const std::function<void()>& yield,
                     std::size_t blockUnits) {
  const std::size_t size = text.size();
  char16_t* const data = text.data();
  EntityDecoder<Index> decoder;
  std::size_t nextYield = 1;
  const auto yieldBefore = [&](std::size_t done) {
    for (; yield && nextYield < kStages && done >= nextYield * (size / kStages); ++nextYield) {
      yield();
    }
  };
  std::size_t out = 0;
  std::size_t from = 0;
  std::size_t span = blockUnits;
  while (from < size) {
    yieldBefore(from);
    std::size_t end = size;
    bool open = false;
    if (size - from > span + span / 2) {
      // Units from `from` on are still as given: only what lies before them
      // has been written.
      std::size_t x = from + span;
      const std::size_t limit = std::min(size, x + 2 * span);
      while (x < limit && !canCutBefore(data, data + size, x)) ++x;
      end = x;
      open = x == limit && limit < size;
    }
    decoder.start(data + from, end - from, open);
    decoder.runStages(0, kStages);
    const std::size_t kept = decoder.settledPrefix();
    if (kept == 0) {
      // Nothing is sure yet. Stretches that vanish without a trace are folded
      // into one key each, so that what still waits for the text after them
      // fits in a block; only when that gains little is the stretch doubled.
      const std::size_t stretch = end - from;
      const std::size_t saved = FoldVanishingRuns(data + from, stretch, decoder.vanishingRuns());
      from += saved;
      if (saved == 0 || 4 * saved < stretch) span *= 2;
      continue;
    }
    out += decoder.writeBack(data + out, kept);
    from += kept;
    span = blockUnits;
  }
  yieldBefore(size);
  for (; yield && nextYield < kStages; ++nextYield) yield();
  text.resize(out);
}

}  // namespace

void ApplyEntityTableInBlocks(std::u16string& text, const std::function<void()>& yield,
                              std::size_t blockUnits, EntityTextAfterThrow afterThrow) {
  blockUnits = std::max<std::size_t>(blockUnits, 1);
  const bool small = text.size() < std::numeric_limits<std::uint32_t>::max();
  if (!yield || afterThrow == EntityTextAfterThrow::Unspecified) {
    if (small) {
      decodeStreaming<std::uint32_t>(text, yield, blockUnits);
    } else {
      decodeStreaming<std::uint64_t>(text, yield, blockUnits);
    }
    return;
  }
  const std::vector<std::size_t> starts = cutIntoBlocks(text, blockUnits);
  // The whole text's length picks the index type: after a throwing yield the
  // blocks are undone and the text is decoded whole.
  if (starts.size() > 2) {
    if (small) {
      decodeInBlocks<std::uint32_t>(text, yield, starts);
    } else {
      decodeInBlocks<std::uint64_t>(text, yield, starts);
    }
  } else if (small) {
    EntityDecoder<std::uint32_t>().run(text, yield);
  } else {
    EntityDecoder<std::uint64_t>().run(text, yield);
  }
}

void ApplyEntityTable(std::u16string& text, const std::function<void()>& yield) {
  ApplyEntityTableInBlocks(text, yield, kEntityBlockUnits);
}

}  // namespace sievetext
