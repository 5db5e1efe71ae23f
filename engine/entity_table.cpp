#include "entity_table.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "entity_key_index.h"
#include "utf16_scan.h"

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
// range. A part whose first unit is still '&' is "live"; a row can only match
// at a live part, and what it sees is the part's content, followed by the
// content of the dead parts after it, up to the next '&' (at most eight units,
// the longest key).
//
// Each live part is scheduled for the first row, after the current one, whose
// key matches it now. Rows are processed in order; firing a part rewrites its
// content and can only change what the part itself sees, or, when its '&' is
// gone, what the live part before it sees. Those one or two parts are
// rescheduled. A part fires at most three times ("&amp;", "&#38;", then one
// row that removes its '&'), so the work is linear in the text.
//
// The text buffer is not touched until the end (or until a yield throws): then
// the parts are written back in order, in place, which is safe because no
// unit ever moves right.

namespace sievetext {
namespace {

constexpr std::uint16_t kNoRow = kNoEntityRow;

// A '&' that sees no key now can only come to see one after the '&' after it
// is gone, and then only for a later row than that removal. So a '&' with more
// than this many unmatched '&' between itself and the next matching one can
// never change, and it needs no part of its own.
constexpr std::size_t kMaxDependentChain = 322;

template <typename Index>
class EntityDecoder {
 public:
  explicit EntityDecoder(std::u16string& text) : text_(text) {}

  void run(const std::function<void()>& yield) {
    findParts();
    const auto rows = EntityRows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (yield && YieldsBeforeRow(r)) {
        try {
          yield();
        } catch (...) {
          writeBack();
          throw;
        }
      }
      fireRow(static_cast<std::uint16_t>(r));
    }
    writeBack();
  }

 private:
  struct Part {
    Index pos;   // where its '&' stood in the original text
    Index next;  // start of the untouched rest of the original range
    std::array<char16_t, 4> buf;
    std::uint8_t bufLen;
    bool live;          // starts with '&'
    std::uint16_t row;  // scheduled row, kNoRow when none
  };

  Index rangeEnd(Index i) const {
    return i + 1 < parts_.size() ? parts_[i + 1].pos : static_cast<Index>(text_.size());
  }

  bool isEmpty(Index i) const {
    const Part& p = parts_[i];
    return !p.live && p.bufLen == 0 && p.next == rangeEnd(i);
  }

  // Finds every '&' and gives a part to those that can ever change.
  void findParts() {
    const char16_t* const begin = text_.data();
    const char16_t* const end = begin + text_.size();
    // Unmatched '&' seen since the last matching one, oldest first.
    std::vector<Index> pending;
    std::size_t pendingHead = 0;
    for (const char16_t* p = FindUnit(begin, end, u'&'); p != end; p = FindUnit(p + 1, end, u'&')) {
      const Index pos = static_cast<Index>(p - begin);
      const std::uint16_t row = FirstMatchingRow(originalWindow(p, end), 0);
      if (row == kNoRow) {
        pending.push_back(pos);
        if (pending.size() - pendingHead > kMaxDependentChain) ++pendingHead;
        if (pendingHead > 4096) {
          pending.erase(pending.begin(), pending.begin() + pendingHead);
          pendingHead = 0;
        }
        continue;
      }
      for (std::size_t i = pendingHead; i < pending.size(); ++i) addPart(pending[i], kNoRow);
      pending.clear();
      pendingHead = 0;
      addPart(pos, row);
    }
    nextNonEmpty_.resize(parts_.size() + 1);
    for (std::size_t i = 0; i <= parts_.size(); ++i) nextNonEmpty_[i] = static_cast<Index>(i);
    // Index 0 stands for "no live part before"; part i is entry i + 1.
    prevLive_.resize(parts_.size() + 1);
    for (std::size_t i = 0; i <= parts_.size(); ++i) prevLive_[i] = static_cast<Index>(i);
  }

  void addPart(Index pos, std::uint16_t row) {
    parts_.push_back(Part{pos, pos, {}, 0, true, row});
    if (row != kNoRow) buckets_[row].push_back(static_cast<Index>(parts_.size() - 1));
  }

  static KeyWindow originalWindow(const char16_t* p, const char16_t* end) {
    KeyWindow w;
    w.units[0] = *p;
    w.size = 1;
    for (++p; p != end && w.size < w.units.size() && *p != u'&'; ++p) w.units[w.size++] = *p;
    return w;
  }

  // First part at or after i that still has content; parts_.size() if none.
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

  // What a row would see at live part i now.
  KeyWindow currentWindow(Index i) {
    KeyWindow w;
    w.size = 0;
    for (Index j = i; j < parts_.size(); j = findNonEmpty(j + 1)) {
      const Part& p = parts_[j];
      for (std::size_t k = 0; k < p.bufLen; ++k) {
        if (w.size > 0 && p.buf[k] == u'&') return w;
        w.units[w.size++] = p.buf[k];
        if (w.size == w.units.size()) return w;
      }
      const Index end = rangeEnd(j);
      for (Index k = p.next; k < end; ++k) {
        const char16_t c = text_[k];
        if (w.size > 0 && c == u'&') return w;
        w.units[w.size++] = c;
        if (w.size == w.units.size()) return w;
      }
    }
    return w;
  }

  void reschedule(Index i, std::uint16_t after) {
    Part& p = parts_[i];
    const std::uint16_t row = FirstMatchingRow(currentWindow(i), after + std::size_t{1});
    if (row == p.row) return;
    p.row = row;
    if (row != kNoRow) buckets_[row].push_back(i);
  }

  void fireRow(std::uint16_t r) {
    std::vector<Index>& bucket = buckets_[r];
    // New entries always go to later rows, so the bucket does not grow here.
    for (std::size_t k = 0; k < bucket.size(); ++k) {
      const Index i = bucket[k];
      if (parts_[i].row == r) fire(i, r);
    }
    std::vector<Index>().swap(bucket);
  }

  // Drops the first `count` units of part j's content; returns how many it had.
  std::size_t consume(Index j, std::size_t count) {
    Part& p = parts_[j];
    const std::size_t fromBuf = count < p.bufLen ? count : p.bufLen;
    if (fromBuf > 0) {
      std::memmove(p.buf.data(), p.buf.data() + fromBuf, (p.bufLen - fromBuf) * sizeof(char16_t));
      p.bufLen = static_cast<std::uint8_t>(p.bufLen - fromBuf);
    }
    const std::size_t left = count - fromBuf;
    const std::size_t inRange = rangeEnd(j) - p.next;
    const std::size_t fromRange = left < inRange ? left : inRange;
    p.next = static_cast<Index>(p.next + fromRange);
    return fromBuf + fromRange;
  }

  void fire(Index i, std::uint16_t r) {
    const EntityRow& row = EntityRows()[r];
    assert(parts_[i].live);
    std::size_t left = row.key.size() - consume(i, row.key.size());
    for (Index j = i; left > 0;) {
      j = findNonEmpty(j + 1);
      assert(j < parts_.size() && !parts_[j].live);
      left -= consume(j, left);
      if (isEmpty(j)) nextNonEmpty_[j] = j + 1;
    }

    Part& p = parts_[i];
    const std::size_t m = row.replacement.size();
    assert(m + p.bufLen <= p.buf.size());
    std::memmove(p.buf.data() + m, p.buf.data(), p.bufLen * sizeof(char16_t));
    std::copy(row.replacement.begin(), row.replacement.end(), p.buf.begin());
    p.bufLen = static_cast<std::uint8_t>(p.bufLen + m);
    p.live = m > 0 && row.replacement[0] == u'&';
    if (p.live) {
      reschedule(i, r);
      return;
    }
    p.row = kNoRow;
    if (isEmpty(i)) nextNonEmpty_[i] = i + 1;
    prevLive_[i + 1] = i;
    // The live part before now sees through this one. One that fires in this
    // same row keeps its match: its key ends before this part began.
    const Index before = findLiveEntry(i);
    if (before > 0 && parts_[before - 1].row != r) reschedule(before - 1, r);
  }

  // Writes the current content back into the text, in order and in place.
  void writeBack() {
    if (parts_.empty()) return;
    char16_t* const data = text_.data();
    std::size_t out = parts_[0].pos;
    for (Index i = 0; i < parts_.size(); ++i) {
      const Part& p = parts_[i];
      std::copy(p.buf.begin(), p.buf.begin() + p.bufLen, data + out);
      out += p.bufLen;
      const std::size_t n = rangeEnd(i) - p.next;
      if (out != p.next) std::memmove(data + out, data + p.next, n * sizeof(char16_t));
      out += n;
    }
    text_.resize(out);
    parts_.clear();
  }

  std::u16string& text_;
  std::vector<Part> parts_;
  std::vector<Index> nextNonEmpty_;
  std::vector<Index> prevLive_;
  std::array<std::vector<Index>, 323> buckets_;
};

}  // namespace

void ApplyEntityTable(std::u16string& text, const std::function<void()>& yield) {
  if (text.size() < std::numeric_limits<std::uint32_t>::max()) {
    EntityDecoder<std::uint32_t>(text).run(yield);
  } else {
    EntityDecoder<std::uint64_t>(text).run(yield);
  }
}

}  // namespace sievetext
