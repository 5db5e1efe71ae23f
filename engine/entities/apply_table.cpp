#include "engine/entities/apply_table.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/entities/cut_places.h"
#include "engine/entities/full_decoder.h"
#include "engine/entities/rows.h"
#include "engine/entities/test_entry_points.h"
#include "engine/text_scan.h"
#include "engine/two_parts.h"

// How a text is taken through the decoder (see full_decoder.h).
//
// The decoder's bookkeeping is some thirty bytes per '&', and every stage
// sweeps over all of it; where '&' is dense and the text long, that no longer
// fits in the cache. So a long text is cut into blocks at places that no key
// can reach across (see CanCutBefore), and each block goes through all the
// stages before the next one starts (see DecodeInBlocks, and DecodeStreaming
// when nothing need be kept for a throwing yield).

namespace sievetext {
namespace {

// The full decoder's start costs about as much as a few hundred units of
// text, so it takes at least that many at a time.
constexpr std::size_t kLeastForDecoder = 256;

// Decodes the `size` units at `src`, followed by the end of the text or by a
// place where it can be cut, into `dst` (at or before `src`; the two may
// overlap), and returns the length of the result. Most '&' are decoded on
// their own as the text goes by (see DecodeLoneAmpersand); from one that is
// not, the full decoder takes the text up to the next place where it can be
// cut. Nothing is written before the first '&', and `firstAmpersand` is
// called just before it is decoded (so that the caller can make room in
// `decoder` for `size` units when nothing may be allocated once the text is
// written).
template <typename Index, typename OnFirst>
std::size_t DecodeRange(EntityDecoder<Index>& decoder, const char16_t* src, std::size_t size,
                        char16_t* dst, OnFirst firstAmpersand) {
  bool first = true;
  const char16_t* const end = src + size;
  std::size_t in = 0;
  std::size_t out = 0;
  for (;;) {
    const std::size_t amp = scan::MoveUntil(src, in, size, dst + out, u'&');
    if (amp == scan::kNotFound) return out + (size - in);
    out += amp - in;
    if (first) {
      firstAmpersand();
      first = false;
    }
    std::size_t written = 0;
    if (const std::size_t used = DecodeLoneAmpersand(src + amp, end, dst + out, written)) {
      in = amp + used;
      out += written;
      continue;
    }
    std::size_t cut = std::min(size, amp + kLeastForDecoder);
    while (cut < size && !CanCutBefore(src, end, cut)) ++cut;
    decoder.start(src + amp, cut - amp);
    decoder.runStages(0, kEntityStageCount);
    out += decoder.writeBack(dst + out);
    in = cut;
  }
}

// Starts of the blocks, each about `blockUnits` long, followed by the text's
// length. Only the start 0 and the length when some stretch of the text
// offers no cut for a long way: the text is then decoded whole.
std::vector<std::size_t> CutIntoBlocks(const std::u16string& text, std::size_t blockUnits) {
  std::vector<std::size_t> starts{0};
  const std::size_t size = text.size();
  const char16_t* const begin = text.data();
  const std::size_t maxScan = 2 * blockUnits;
  std::size_t from = 0;
  while (size - from > blockUnits + blockUnits / 2) {
    std::size_t x = from + blockUnits;
    const std::size_t limit = std::min(size, x + maxScan);
    while (x < limit && !CanCutBefore(begin, begin + size, x)) ++x;
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
void DecodeInBlocks(std::u16string& text, const std::function<void()>& yield,
                    const std::vector<std::size_t>& starts) {
  const std::size_t blocks = starts.size() - 1;
  std::size_t longest = 0;
  for (std::size_t b = 0; b < blocks; ++b) longest = std::max(longest, starts[b + 1] - starts[b]);
  // Yield k (1 to 9, before stage k) comes before block k * blocks / 10.
  auto yieldBlock = [blocks](std::size_t k) { return k * blocks / kEntityStageCount; };
  const std::size_t keptBlocks = yield ? yieldBlock(kEntityStageCount - 1) : 0;

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
    for (; yield && nextYield < kEntityStageCount && yieldBlock(nextYield) == b; ++nextYield) {
      try {
        yield();
      } catch (...) {
        restore(b);
        decoder.runUpTo(text, nextYield);
        throw;
      }
    }
    const std::size_t size = starts[b + 1] - starts[b];
    const auto makeRoom = [&] {
      if (reserved) return;
      // A part per '&' at most.
      decoder.reserve(blocks == 1 ? scan::CountUnit(data, 0, starts[1], u'&') : longest);
      original = std::make_unique_for_overwrite<char16_t[]>(starts[keptBlocks]);
      reserved = true;
    };
    if (b < keptBlocks) {
      // A block that holds a '&' is kept before it is decoded.
      writtenAt[b] = out;
      copied[b] = scan::FindUnit(data, starts[b], starts[b + 1], u'&') != scan::kNotFound;
      if (copied[b]) {
        makeRoom();
        std::memcpy(original.get() + starts[b], data + starts[b], size * sizeof(char16_t));
      }
    }
    out += DecodeRange(decoder, data + starts[b], size, data + out, makeRoom);
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
// block ends where the text can be cut (see CanCutBefore); where no such place
// turns up for a long way, a stretch is decoded as if the text ended there,
// the start of it that cannot have been touched by that end is kept, and the
// rest is decoded again together with what follows. A stretch that yields
// nothing is waiting for what follows it: its parts that come out empty
// without a trace are folded into one key each (see vanishingRuns), and
// only when that gains little is the stretch doubled, until it yields
// something or reaches the end. So the bookkeeping is that of a block or
// two, also where a '&' waits behind a long run of references that vanish. The yields come as the
// blocks pass the tenths of the text, and those left at the end.
template <typename Index>
std::size_t DecodeStreaming(char16_t* const data, const std::size_t size,
                            const std::function<void()>& yield, std::size_t blockUnits) {
  EntityDecoder<Index> decoder;
  std::size_t nextYield = 1;
  const auto yieldBefore = [&](std::size_t done) {
    for (; yield && nextYield < kEntityStageCount && done >= nextYield * (size / kEntityStageCount);
         ++nextYield) {
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
      while (x < limit && !CanCutBefore(data, data + size, x)) ++x;
      end = x;
      open = x == limit && limit < size;
    }
    if (!open) {
      out += DecodeRange(decoder, data + from, end - from, data + out, [] {});
      from = end;
      span = blockUnits;
      continue;
    }
    decoder.start(data + from, end - from, open);
    decoder.runStages(0, kEntityStageCount);
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
  for (; yield && nextYield < kEntityStageCount; ++nextYield) yield();
  return out;
}

// DecodeStreaming over the whole text, with the index type its length needs.
std::size_t DecodeStreamingPart(char16_t* data, std::size_t size,
                                const std::function<void()>& yield, std::size_t blockUnits) {
  return size < std::numeric_limits<std::uint32_t>::max()
             ? DecodeStreaming<std::uint32_t>(data, size, yield, blockUnits)
             : DecodeStreaming<std::uint64_t>(data, size, yield, blockUnits);
}

}  // namespace

void DecodeEntitiesInTwo(std::u16string& text, std::size_t hint, std::size_t blockUnits) {
  blockUnits = std::max<std::size_t>(blockUnits, 1);
  char16_t* const data = text.data();
  const std::size_t size = text.size();
  // The first place at or after the hint, not too far on, where the text can
  // be cut as between two blocks.
  std::size_t split = scan::kNotFound;
  if (hint > 0 && hint < size) {
    const std::size_t limit = size - hint > 2 * blockUnits ? hint + 2 * blockUnits : size;
    for (std::size_t x = hint; x < limit; ++x) {
      if (CanCutBefore(data, data + size, x)) {
        split = x;
        break;
      }
    }
  }
  // Running out of memory in either part is reported here, once both are
  // done; what the text then holds is not looked at.
  std::exception_ptr failures[2];
  CompactInTwo(text, split, [&](char16_t* p, std::size_t n, int part) noexcept {
    try {
      return DecodeStreamingPart(p, n, {}, blockUnits);
    } catch (...) {
      failures[part] = std::current_exception();
      return std::size_t{0};
    }
  });
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

void ApplyEntityTableInBlocks(std::u16string& text, const std::function<void()>& yield,
                              std::size_t blockUnits, EntityTextAfterThrow afterThrow) {
  blockUnits = std::max<std::size_t>(blockUnits, 1);
  const bool small = text.size() < std::numeric_limits<std::uint32_t>::max();
  if (afterThrow == EntityTextAfterThrow::Unspecified) {
    if (yield) {
      text.resize(DecodeStreamingPart(text.data(), text.size(), yield, blockUnits));
    } else {
      DecodeEntitiesInTwo(text, TwoPartHint(text.size()), blockUnits);
    }
    return;
  }
  const std::vector<std::size_t> starts = CutIntoBlocks(text, blockUnits);
  // The whole text's length picks the index type: after a throwing yield the
  // blocks are undone and the text is decoded whole. Without a yield a short
  // text is taken as one block; a long one that offers no cut is decoded
  // whole, which allocates as it goes, not for every unit up front.
  if (starts.size() > 2 || (!yield && text.size() <= 2 * blockUnits)) {
    if (small) {
      DecodeInBlocks<std::uint32_t>(text, yield, starts);
    } else {
      DecodeInBlocks<std::uint64_t>(text, yield, starts);
    }
  } else if (small) {
    EntityDecoder<std::uint32_t>().run(text, yield);
  } else {
    EntityDecoder<std::uint64_t>().run(text, yield);
  }
}

void ApplyEntityTable(std::u16string& text, const std::function<void()>& yield,
                      EntityTextAfterThrow afterThrow) {
  ApplyEntityTableInBlocks(text, yield, kEntityBlockUnits, afterThrow);
}

}  // namespace sievetext
