#include "engine/entities/full_decoder.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

#include "engine/entities/rows.h"
#include "engine/galloping_search.h"
#include "engine/text_scan.h"

namespace sievetext {
namespace {

// A '&' that sees no key now can only come to see one after the '&' after it
// is gone, and then only for a later row than that removal. So a '&' with more
// unmatched '&' than the table has rows after the first between itself and the
// next matching one can never change, and it needs no part of its own.
constexpr std::size_t kMaxDependentChain = kEntityRowCount - 1;

// Unmatched '&' that can no longer matter are dropped from the front of the
// list once this many have piled up.
constexpr std::size_t kDropPendingAt = 4096;

// The row past the table: "from no row on".
constexpr std::uint16_t kNever = static_cast<std::uint16_t>(kEntityRowCount);

}  // namespace

std::u16string_view VanishingKey(std::size_t row) {
  static const std::array<bool, kEntityRowCount> kUsable = [] {
    std::array<bool, kEntityRowCount> usable{};
    for (std::size_t r = 0; r < kEntityRowCount; ++r) {
      const EntityRow& entry = EntityRows()[r];
      if (!entry.replacement.empty()) continue;
      KeyWindow w;
      for (const char16_t c : entry.key) w.units[w.size++] = c;
      usable[r] = FirstMatchingRow(w, 0) == r;
    }
    return usable;
  }();
  return row < kEntityRowCount && kUsable[row] ? EntityRows()[row].key : std::u16string_view{};
}

template <typename Index>
void EntityDecoder<Index>::reserve(std::size_t units) {
  parts_.reserve(units);
  pending_.reserve(units);
  nonEmpty_.reserve(units + 1);
  live_.reserve(units + 1);
  emptied_.reserve(units);
  order_.reserve(units);
  for (auto& words : queued_) words.reserve(units / 64 + 1);
}

template <typename Index>
void EntityDecoder<Index>::start(const char16_t* src, std::size_t size, bool open) {
  src_ = src;
  size_ = size;
  open_ = open;
  waitingFrom_ = size;
  parts_.clear();
  for (auto& words : queued_) words.clear();
  emptied_.clear();
  findParts();
}

template <typename Index>
void EntityDecoder<Index>::run(std::u16string& text, const std::function<void()>& yield) {
  start(text.data(), text.size());
  for (std::size_t s = 0; s < kEntityStageCount; ++s) {
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

template <typename Index>
void EntityDecoder<Index>::runUpTo(std::u16string& text, std::size_t stage) {
  start(text.data(), text.size());
  runStages(0, stage);
  text.resize(writeBack(text.data()));
}

// A part that saw the range's end, or a '&' still waiting for what follows,
// may come out otherwise from any row on. A part that saw only parts after it
// (their content, or their '&' stopping its window) acts as in the whole text
// for as long as all of them do, and one row longer: what it sees at a row is
// what they held after the row before. So from the end backwards, each part
// gets the first row from which it may differ; one that cannot differ before
// the table ends is settled. The prefix ends at the first part that is not,
// and no part before the cut may have seen or eaten a unit past it.
template <typename Index>
std::size_t EntityDecoder<Index>::settledPrefix() {
  if (!open_) return size_;
  const std::size_t n = parts_.size();
  // First row from which each part may differ; parts after i that may differ
  // soonest, nearest first (index rising, row falling).
  unsure_.assign(n, kNever);
  std::vector<Index>& soonest = order_;
  soonest.clear();
  std::size_t cut = waitingFrom_;
  for (std::size_t i = n; i-- > 0;) {
    const Part& p = parts_[i];
    std::uint16_t from = 0;
    if (p.reach < waitingFrom_) {
      const std::size_t lastSeen = partHolding(i, p.reach);
      // The deepest entry at or before lastSeen holds the soonest row.
      const auto it = GallopingPartitionPoint(soonest.rbegin(), soonest.rend(),
                                              [lastSeen](Index j) { return j <= lastSeen; });
      from =
          it == soonest.rbegin()
              ? kNever
              : static_cast<std::uint16_t>(std::min<std::size_t>(kNever, unsure_[*(it - 1)] + 1u));
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

// The longest stretches of parts that cannot come out otherwise whatever
// follows the range, that end up empty, whose content, while they had some
// after their '&' was gone, was always behind a '&' of the stretch still
// standing (so the first of them ran out at the row that removed its '&'),
// and that never saw past their own end. Only stretches longer than the key
// that stands for them.
template <typename Index>
auto EntityDecoder<Index>::vanishingRuns() -> const std::vector<VanishingRun>& {
  runs_.clear();
  if (!open_) return runs_;
  const std::size_t n = parts_.size();
  bool inRun = false;                // a stretch is running
  std::size_t begin = 0;             // where it begins
  std::uint16_t lastGone = 0;        // the latest row at which a '&' of it went
  std::size_t seen = 0;              // one past the furthest unit it saw
  std::optional<VanishingRun> fits;  // its longest start that a key may stand for
  const auto flush = [&] {
    if (fits && fits->end - fits->begin > VanishingKey(fits->row).size() &&
        !VanishingKey(fits->row).empty()) {
      runs_.push_back(*fits);
    }
    fits.reset();
  };
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const Part& p = parts_[i];
    const bool gone = isEmpty(static_cast<Index>(i)) && unsure_[i] == kNever;
    const bool vanished = gone && p.emptiedAt == p.death;
    if (!(gone && inRun && (vanished || p.emptiedAt <= lastGone))) {
      flush();
      inRun = vanished;
      if (!vanished) continue;
      begin = p.pos;
      lastGone = 0;
      seen = 0;
    }
    lastGone = std::max(lastGone, p.death);
    seen = std::max<std::size_t>(seen, std::size_t{p.reach} + (p.reachIsStop ? 0 : 1));
    const std::size_t end = rangeEnd(static_cast<Index>(i));
    if (seen <= end) fits = VanishingRun{begin, end, lastGone};
  }
  flush();
  return runs_;
}

template <typename Index>
std::size_t EntityDecoder<Index>::writeBack(char16_t* dst, std::size_t end) {
  const char16_t* const src = src_;
  assert(dst <= src && end <= size_);
  if (parts_.empty() || parts_[0].pos >= end) {
    if (dst != src) std::memmove(dst, src, end * sizeof(char16_t));
    parts_.clear();
    return end;
  }
  std::size_t out = parts_[0].pos;
  if (dst != src) std::memmove(dst, src, out * sizeof(char16_t));
  // Most pieces are short where references are dense.
  constexpr std::size_t kShortPiece = 16;
  for (Index i = 0; i < parts_.size() && parts_[i].pos < end; ++i) {
    const Part& p = parts_[i];
    for (std::size_t k = 0; k < p.bufLen; ++k) dst[out + k] = p.buf[k];
    out += p.bufLen;
    const std::size_t n = std::min<std::size_t>(rangeEnd(i), end) - p.next;
    if (dst + out != src + p.next) {
      if (n <= kShortPiece) {
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

// The last part, from part `from` on, whose '&' stands at or before `at`
// (which is at or after part `from`'s '&').
template <typename Index>
std::size_t EntityDecoder<Index>::partHolding(std::size_t from, std::size_t at) const {
  const auto after =
      GallopingPartitionPoint(parts_.begin() + static_cast<std::ptrdiff_t>(from), parts_.end(),
                              [at](const Part& p) { return p.pos <= at; });
  return static_cast<std::size_t>(after - parts_.begin()) - 1;
}

// Finds every '&' and gives a part to those that can ever change.
template <typename Index>
void EntityDecoder<Index>::findParts() {
  const char16_t* const begin = src_;
  const char16_t* const end = begin + size_;
  // Unmatched '&' seen since the last matching one, oldest first.
  std::vector<Index>& pending = pending_;
  pending.clear();
  std::size_t pendingHead = 0;
  const auto newPart = [](Index pos, const OriginalWindow& seen, Plan plan) {
    return Part{.pos = pos,
                .next = pos,
                .reach = seen.reach,
                .buf = {},
                .death = 0,
                .emptiedAt = 0,
                .plan = plan,
                .bufLen = 0,
                .live = true,
                .settled = IsWindowSettled(seen.window),
                .reachIsStop = seen.reachIsStop};
  };
  for (std::size_t at = scan::FindUnit(begin, 0, size_, u'&'); at != scan::kNotFound;
       at = scan::FindUnit(begin, at + 1, size_, u'&')) {
    const Index pos = static_cast<Index>(at);
    const OriginalWindow seen = originalWindow(begin + at, end);
    const std::optional<std::uint16_t> row = FirstMatchingRow(seen.window, 0);
    if (!row) {
      if (IsWindowSettled(seen.window)) {
        // It never fires, so it keeps its '&' for good, and no '&' before it
        // can ever see past it.
        pending.clear();
        pendingHead = 0;
        continue;
      }
      pending.push_back(pos);
      if (pending.size() - pendingHead > kMaxDependentChain) ++pendingHead;
      if (pendingHead > kDropPendingAt) {
        pending.erase(pending.begin(), pending.begin() + pendingHead);
        pendingHead = 0;
      }
      continue;
    }
    for (std::size_t i = pendingHead; i < pending.size(); ++i) {
      parts_.push_back(newPart(pending[i], originalWindow(begin + pending[i], end),
                               Plan{0, Plan::Kind::Nothing}));
    }
    pending.clear();
    pendingHead = 0;
    parts_.push_back(newPart(pos, seen, Plan{*row, Plan::Kind::Row}));
    queue(static_cast<Index>(parts_.size() - 1), EntityStageOf(*row));
  }
  // These may still come to see a key in what follows an open range.
  if (pendingHead < pending.size()) waitingFrom_ = pending[pendingHead];
  if (parts_.empty()) return;
  nonEmpty_.reset(parts_.size() + 1);
  live_.reset(parts_.size() + 1);
}

// The window at `p` in the original text, and the position of the last unit
// it depends on (see Part::reach).
template <typename Index>
auto EntityDecoder<Index>::originalWindow(const char16_t* p, const char16_t* end) const
    -> OriginalWindow {
  OriginalWindow seen{};
  KeyWindow& w = seen.window;
  const std::size_t at = static_cast<std::size_t>(p - src_);
  if (end - p >= static_cast<std::ptrdiff_t>(w.units.size())) {
    std::memcpy(w.units.data(), p, sizeof w.units);
    w.size = 1;
    while (w.size < w.units.size() && w.units[w.size] != u'&') ++w.size;
    seen.reachIsStop = w.size < w.units.size();
    seen.reach = static_cast<Index>(at + (seen.reachIsStop ? w.size : w.size - 1));
    return seen;
  }
  w.units[0] = *p;
  w.size = 1;
  for (++p; p != end && *p != u'&'; ++p) w.units[w.size++] = *p;
  seen.reachIsStop = p != end;
  seen.reach = static_cast<Index>(seen.reachIsStop ? at + w.size : size_);
  return seen;
}

template <typename Index>
void EntityDecoder<Index>::queue(Index i, std::size_t stage) {
  if (stage >= kEntityStageCount) return;
  std::vector<std::uint64_t>& words = queued_[stage];
  if (i / 64 >= words.size()) words.resize(i / 64 + 1);
  words[i / 64] |= std::uint64_t{1} << (i % 64);
}

// The stages: which parts a stage visits, what a live part sees at a row, and
// what firing a row at it does to it and to the parts after it.

// What a row at or after `row` sees at live part i, as long as no part after
// it dies; also notes how far that reaches (Part::reach).
template <typename Index>
auto EntityDecoder<Index>::windowAt(Index i, std::uint16_t row) -> SeenWindow {
  SeenWindow seen{};
  KeyWindow& w = seen.window;
  Part& self = parts_[i];
  const auto saw = [&self](std::size_t at, bool stop) {
    if (at > self.reach) {
      self.reach = static_cast<Index>(at);
      self.reachIsStop = stop;
    } else if (at == self.reach) {
      self.reachIsStop = self.reachIsStop && stop;
    }
  };
  for (Index j = i; j < parts_.size(); j = nonEmpty_.find(j + 1)) {
    const Part& p = parts_[j];
    if (j != i && (p.live || p.death >= row)) {
      // Its '&' still stands before `row`; it may fall later in the stage.
      if (!p.live) seen.change = p.death;
      seen.atPart = true;
      saw(p.pos, true);
      return seen;
    }
    for (std::size_t k = 0; k < p.bufLen; ++k) {
      w.units[w.size++] = p.buf[k];
      if (w.size == w.units.size()) {
        saw(p.pos, false);
        return seen;
      }
    }
    const Index end = rangeEnd(j);
    for (Index k = p.next; k < end; ++k) {
      const char16_t c = src_[k];
      if (w.size > 0 && c == u'&') {  // a '&' that never changes
        saw(k, true);
        return seen;
      }
      w.units[w.size++] = c;
      if (w.size == w.units.size()) {
        saw(k, false);
        return seen;
      }
    }
  }
  saw(size_, false);
  return seen;
}

template <typename Index>
void EntityDecoder<Index>::runStage(std::size_t stage) {
  const std::uint16_t first = kEntityStageStart[stage];
  const std::uint16_t last = static_cast<std::uint16_t>(kEntityStageStart[stage + 1] - 1);
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
  // Every part from here on has been dealt with.
  Index lowest = std::numeric_limits<Index>::max();
  for (std::size_t k = 0; k < order_.size(); ++k) {
    if (k + kPartsAhead < order_.size()) __builtin_prefetch(&parts_[order_[k + kPartsAhead]]);
    if (k + kTextAhead < order_.size()) {
      __builtin_prefetch(src_ + parts_[order_[k + kTextAhead]].next);
    }
    const Index queued = order_[k];
    if (queued >= lowest) continue;
    lowest = queued;
    std::optional<Index> next;
    if (parts_[queued].live) next = runPart(queued, first, last, true);
    // A part that dies passes work to the live part before it, which comes
    // next in this order anyway, unless what that part sees ends before.
    while (next && !parts_[*next].settled) {
      lowest = *next;
      next = runPart(*next, first, last, false);
    }
  }
  words.clear();
  for (const Index j : emptied_) nonEmpty_.skip(j, j + 1);
  emptied_.clear();
}

// Runs live part i through rows first..last. `queued` tells that it comes for
// its plan, not because the part after it died. If it dies, returns the live
// part before it, if any.
template <typename Index>
std::optional<Index> EntityDecoder<Index>::runPart(Index i, std::uint16_t first, std::uint16_t last,
                                                   bool queued) {
  std::optional<std::uint16_t> known;
  if (queued) {
    const Plan plan = parts_[i].plan;
    // A stale entry: the part has been dealt with since it was queued.
    if (plan.kind == Plan::Kind::Nothing) return std::nullopt;
    if (plan.kind == Plan::Kind::Row) {
      if (plan.row < first || plan.row > last) return std::nullopt;
      // Nothing after it died in this stage (that would have brought it here
      // first), so what it sees is what the plan was made on.
      known = plan.row;
    }
  }
  std::uint16_t row = first;
  for (;;) {
    std::optional<std::uint16_t> match = known;
    std::optional<std::uint16_t> change;
    if (known) {
      known.reset();
    } else {
      const SeenWindow seen = windowAt(i, row);
      match = FirstMatchingRow(seen.window, row);
      change = seen.change;
      parts_[i].settled = !seen.atPart || IsWindowSettled(seen.window);
    }
    if (match && *match <= last && (!change || *match <= *change)) {
      fire(i, *match);
      if (!parts_[i].live) {
        parts_[i].plan = Plan{0, Plan::Kind::Nothing};
        const Index before = live_.find(i);
        return before > 0 ? std::optional<Index>(before - 1) : std::nullopt;
      }
      if (*match == last) {
        setPlan(i, Plan{0, Plan::Kind::LookAgain}, EntityStageOf(std::size_t{last} + 1));
        return std::nullopt;
      }
      row = static_cast<std::uint16_t>(*match + 1);
      continue;
    }
    if (change && *change < last) {
      row = static_cast<std::uint16_t>(*change + 1);  // it sees further from then on
      continue;
    }
    if (change) {
      setPlan(i, Plan{0, Plan::Kind::LookAgain}, EntityStageOf(std::size_t{last} + 1));
    } else if (match) {
      setPlan(i, Plan{*match, Plan::Kind::Row}, EntityStageOf(*match));
    } else {
      parts_[i].plan = Plan{0, Plan::Kind::Nothing};
    }
    return std::nullopt;
  }
}

template <typename Index>
void EntityDecoder<Index>::setPlan(Index i, Plan plan, std::size_t stage) {
  parts_[i].plan = plan;
  queue(i, stage);
}

// Drops the first `count` units of part j's content; returns how many it had.
template <typename Index>
std::size_t EntityDecoder<Index>::consume(Index j, std::size_t count) {
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
template <typename Index>
void EntityDecoder<Index>::fire(Index i, std::uint16_t r) {
  const EntityRow& row = EntityRows()[r];
  std::size_t left = row.key.size() - consume(i, row.key.size());
  for (Index j = i; left > 0;) {
    j = nonEmpty_.find(j + 1);
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
  live_.skip(i + 1, i);
  if (isEmpty(i)) {
    emptied_.push_back(i);
    p.emptiedAt = r;
  }
}

template class EntityDecoder<std::uint32_t>;
template class EntityDecoder<std::uint64_t>;

}  // namespace sievetext
