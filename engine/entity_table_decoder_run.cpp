// The decoder's stages: which parts a stage visits, what a live part sees at
// a row, and what firing a row at it does to it and to the parts after it.
#include <cassert>
#include <limits>

#include "engine/entity_table.h"
#include "engine/entity_table_decoder.h"

namespace sievetext {

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

// The rest of the two instances is made in entity_table_decoder.cpp.
template auto EntityDecoder<std::uint32_t>::windowAt(std::uint32_t, std::uint16_t) -> SeenWindow;
template auto EntityDecoder<std::uint64_t>::windowAt(std::uint64_t, std::uint16_t) -> SeenWindow;
template void EntityDecoder<std::uint32_t>::runStage(std::size_t);
template void EntityDecoder<std::uint64_t>::runStage(std::size_t);
template std::optional<std::uint32_t> EntityDecoder<std::uint32_t>::runPart(std::uint32_t,
                                                                            std::uint16_t,
                                                                            std::uint16_t, bool);
template std::optional<std::uint64_t> EntityDecoder<std::uint64_t>::runPart(std::uint64_t,
                                                                            std::uint16_t,
                                                                            std::uint16_t, bool);
template void EntityDecoder<std::uint32_t>::setPlan(std::uint32_t, Plan, std::size_t);
template void EntityDecoder<std::uint64_t>::setPlan(std::uint64_t, Plan, std::size_t);
template std::size_t EntityDecoder<std::uint32_t>::consume(std::uint32_t, std::size_t);
template std::size_t EntityDecoder<std::uint64_t>::consume(std::uint64_t, std::size_t);
template void EntityDecoder<std::uint32_t>::fire(std::uint32_t, std::uint16_t);
template void EntityDecoder<std::uint64_t>::fire(std::uint64_t, std::uint16_t);

}  // namespace sievetext
