#include "engine/pair_cutter.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/char_map.h"
#include "engine/text_scan.h"
#include "engine/two_parts.h"

namespace sievetext {
namespace {

using scan::kFoldBit;
using scan::kNotFound;

// The text is compacted in place while it is searched. At any moment the text
// as it stands is buf[0, w) followed by buf[r, n): the first part is final,
// the second not yet looked at (or only searched), and w <= r.
struct Compactor {
  char16_t* buf;
  std::size_t n;
  std::size_t w = 0;
  std::size_t r = 0;

  // Keeps buf[r, from) and drops buf[from, to).
  void cut(std::size_t from, std::size_t to) {
    scan::ShiftDown(buf + w, buf + r, from - r);
    w += from - r;
    r = to;
  }
  void finish(std::u16string& text) {
    scan::ShiftDown(buf + w, buf + r, n - r);
    text.resize(w + (n - r));
  }
};

// CutBraceBlocks on p[0, n), blanking as it goes when asked to; returns the
// units kept.
std::size_t CutBracePart(char16_t* p, std::size_t n, std::optional<Blanking> blanking) {
  const auto keep = [&](std::size_t w, std::size_t r, std::size_t count) {
    if (blanking)
      BlankMove(p + w, p + r, count, blanking->a, blanking->b);
    else
      scan::ShiftDown(p + w, p + r, count);
  };
  std::size_t w = 0, r = 0;  // the text is p[0, w) followed by p[r, n)
  for (;;) {
    // No "{" is left before r, so a search from the start of the text would
    // find the same "{".
    const std::size_t h = scan::FindUnit(p, r, n, u'{');
    if (h == kNotFound) break;
    const std::size_t e = scan::FindUnit(p, h + 1, n, u'}');
    if (e == kNotFound) break;
    keep(w, r, h - r);
    w += h - r;
    r = e + 1;
  }
  keep(w, r, n - r);
  return w + (n - r);
}

// A block kind of the tag-named sort: opener "<name", closer "/name>".
struct TagBlock {
  std::u16string_view opener;  // lower case; letters match either case
  std::u16string_view closer;
  std::size_t minCloserOffset;  // cut only when closer start - opener start >= this
};

// First opener at or after `from`. Both markers start "<" or "/" followed by
// a letter, so the pair search finds candidates fast.
std::size_t FindMarker(const char16_t* buf, std::size_t from, std::size_t n,
                       std::u16string_view marker) {
  for (;;) {
    const std::size_t i = scan::FindPair(buf, from, n, marker[0], 0, marker[1], kFoldBit);
    if (i == kNotFound || n - i < marker.size()) return kNotFound;
    if (scan::MatchesFolded(buf + i + 2, marker.data() + 2, marker.size() - 2)) return i;
    from = i + 1;
  }
}

void CutTagBlocks(std::u16string& text, const TagBlock& kind) {
  Compactor c{text.data(), text.size()};
  // Openers that a cut may join from the kept text on its left and the text
  // on its right start at most this many units before the cut.
  const std::size_t reach = kind.opener.size() - 1;
  std::size_t from = 0;  // next opener search, in buf[r, n)
  for (;;) {
    const std::size_t h = FindMarker(c.buf, from, c.n, kind.opener);
    if (h == kNotFound) break;
    const std::size_t e = FindMarker(c.buf, h, c.n, kind.closer);
    if (e == kNotFound) break;
    if (e - h < kind.minCloserOffset) {
      // Too short to cut. Nothing can start inside such a block, so every
      // later cut lies wholly after it and it stays as it is.
      from = h + 1;
      continue;
    }
    c.cut(h, e + kind.closer.size());
    // Searching the whole text again would meet the same short blocks
    // before the cut, all wholly left of it, and then whatever starts within
    // `reach` units of it: an opener the cut has just joined together may
    // start there, also left of where this search began (an earlier cut may
    // have left part of it behind). So move the last `reach` kept units next
    // to the remaining text, which makes such an opener contiguous, and
    // search on from them. A cut removes more units than are moved, so they
    // fit into the gap.
    const std::size_t k = std::min(reach, c.w);
    c.r -= k;
    c.w -= k;
    std::memcpy(c.buf + c.r, c.buf + c.w, k * sizeof(char16_t));
    from = c.r;
  }
  c.finish(text);
}

}  // namespace

void CutCommentBlocks(std::u16string& text) {
  Compactor c{text.data(), text.size()};
  std::size_t from = 0;  // the resume position, in buf[r, n); may lie past the end
  for (;;) {
    std::size_t h = kNotFound;
    for (std::size_t i = from; (i = scan::FindPair(c.buf, i, c.n, u'<', 0, u'!', 0)) != kNotFound;
         ++i) {
      if (i + 3 < c.n && c.buf[i + 2] == u'-' && c.buf[i + 3] == u'-') {
        h = i;
        break;
      }
    }
    if (h == kNotFound) break;
    // "-->" found through its last two units; it may begin inside the opener.
    std::size_t e = kNotFound;
    for (std::size_t i = h + 1; (i = scan::FindPair(c.buf, i, c.n, u'-', 0, u'>', 0)) != kNotFound;
         ++i) {
      if (c.buf[i - 1] == u'-') {
        e = i - 1;
        break;
      }
    }
    if (e == kNotFound) break;
    if (e - h > 5) {
      c.cut(h, e + 3);
      // The old closer position, taken in the shortened text, lies e - h
      // units past the cut.
      from = c.r + (e - h);
    } else {
      from = e;
    }
  }
  c.finish(text);
}

void CutScriptBlocks(std::u16string& text) { CutTagBlocks(text, {u"<script", u"/script>", 9}); }

void CutStyleBlocks(std::u16string& text) { CutTagBlocks(text, {u"<style", u"/style>", 7}); }

void CutBraceBlocks(std::u16string& text, std::optional<Blanking> blanking) {
  CutBraceBlocksInTwo(text, TwoPartHint(text.size()), blanking);
}

void CutBraceBlocksInTwo(std::u16string& text, std::size_t hint,
                         std::optional<Blanking> blanking) {
  // Every "{" before a "}" is closed by it or by one before it, so the text
  // after a "}" is cut as if it stood alone.
  const std::size_t split =
      hint < text.size() ? scan::FindUnit(text.data(), hint, text.size(), u'}') : kNotFound;
  if (split == kNotFound) {
    text.resize(CutBracePart(text.data(), text.size(), blanking));
    return;
  }
  CompactInTwo(text, split + 1, [blanking](char16_t* p, std::size_t n, int) noexcept {
    return CutBracePart(p, n, blanking);
  });
}

}  // namespace sievetext
