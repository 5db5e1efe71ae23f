#include "engine/entity_table_decoder.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

#include "engine/entity_table.h"
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

template class EntityDecoder<std::uint32_t>;
template class EntityDecoder<std::uint64_t>;

}  // namespace sievetext
