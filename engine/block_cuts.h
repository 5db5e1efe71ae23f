#pragma once

// The block cuts (comments, script and style blocks, brace blocks) as steps
// that can stop wherever the text settled so far ends and go on when more is
// settled. Run once over a whole text with `last`, each is the cut itself;
// run behind one another, they make the one-sweep cut of block_sweep.h.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/char_map.h"
#include "engine/text_scan.h"

namespace sievetext::block_cuts {

using scan::kFoldBit;
using scan::kNotFound;

// One cut working in place behind the one before it. The cut's text as it
// stands is buf[0, w) followed by buf[r, n), where n is how far the cut
// before has settled its own output (all of it once `last`): buf[0, w) is
// this cut's output, buf[r, n) what it has still to look at. Each run() goes
// as far as n allows and returns how far this cut's output is settled, that
// is, will never be written again; with `last` it finishes and returns the
// length of its output. Every search that meets the end of the settled text
// without an answer stops there, and picks up from where it stopped.
struct Cut {
  char16_t* buf;
  std::size_t w = 0;
  std::size_t r = 0;
  std::size_t settled = 0;

  // Keeps buf[r, to), blanking it on the way when there is a `blanking`.
  void keep(std::size_t to, const std::optional<Blanking>& blanking = std::nullopt) {
    MoveKept(buf + w, buf + r, to - r, blanking);
    w += to - r;
    r = to;
  }
};

// Where a search stopped: at a hit, or at the place to search again from
// once more text is settled.
struct Search {
  bool found;
  std::size_t at;
};

// Where a pair search over buf[from, n) that found nothing picks up again:
// a pair may start at the last unit.
inline std::size_t PairResume(std::size_t from, std::size_t n) {
  return std::max(from, n > 0 ? n - 1 : 0);
}

// First marker at or after `from` in buf[0, n), as the whole-text search
// finds it: markers start with "<" or "/" and a letter.
inline Search FindMarker(const char16_t* buf, std::size_t from, std::size_t n,
                         std::u16string_view marker, bool last) {
  for (;;) {
    const std::size_t i = scan::FindPair(buf, from, n, marker[0], 0, marker[1], kFoldBit);
    if (i == kNotFound) return {false, PairResume(from, n)};
    // Too near the end to tell; at the text's end no later pair fits either.
    if (n - i < marker.size()) return {false, last ? n : i};
    if (scan::MatchesFolded(buf + i + 2, marker.data() + 2, marker.size() - 2)) return {true, i};
    from = i + 1;
  }
}

// Comment blocks, as CutCommentBlocks cuts them. Its output is never
// written again once written.
class CommentCut : Cut {
 public:
  explicit CommentCut(char16_t* text) : Cut{text} {}

  std::size_t run(std::size_t n, bool last) {
    for (;;) {
      if (!open_) {
        const Search opener = findOpener(n, last);
        if (!opener.found) {
          if (last) return finish(n);
          from_ = opener.at;
          return pause(std::min(from_, n));
        }
        h_ = opener.at;
        closerFrom_ = h_ + 1;
        open_ = true;
      }
      // "-->" found through its last two units; it may begin inside the
      // opener.
      std::size_t i = closerFrom_;
      for (; (i = scan::FindPair(buf, i, n, u'-', 0, u'>', 0)) != kNotFound; ++i)
        if (buf[i - 1] == u'-') break;
      if (i == kNotFound) {
        if (last) return finish(n);
        closerFrom_ = PairResume(closerFrom_, n);
        return pause(h_);
      }
      const std::size_t e = i - 1;
      open_ = false;
      if (e - h_ > 5) {
        keep(h_);
        r = e + 3;
        // The old closer position, taken in the shortened text, lies e - h
        // units past the cut.
        from_ = r + (e - h_);
      } else {
        from_ = e;
      }
    }
  }

 private:
  Search findOpener(std::size_t n, bool last) const {
    for (std::size_t i = from_; (i = scan::FindPair(buf, i, n, u'<', 0, u'!', 0)) != kNotFound;
         ++i) {
      // At the text's end no later "<!" leaves room for "--" either.
      if (i + 3 >= n) return {false, last ? n : i};
      if (buf[i + 2] == u'-' && buf[i + 3] == u'-') return {true, i};
    }
    return {false, PairResume(from_, n)};
  }
  std::size_t pause(std::size_t keptTo) {
    keep(keptTo);
    settled = w;
    return settled;
  }
  std::size_t finish(std::size_t n) {
    keep(n);
    return w;
  }

  std::size_t from_ = 0;  // where the next opener search starts; may lie past n
  bool open_ = false;     // an opener at h_ waits for its closer
  std::size_t h_ = 0;
  std::size_t closerFrom_ = 0;
};

// Script or style blocks, as CutScriptBlocks and CutStyleBlocks cut them.
// After a cut the last few units of the output go back to be searched again,
// since an opener may have been joined together there; so output is settled
// only where no opener so joined can start.
class TagCut : Cut {
 public:
  TagCut(char16_t* text, std::u16string_view opener, std::u16string_view closer,
         std::size_t minCloserOffset)
      : Cut{text}, opener_(opener), closer_(closer), minCloserOffset_(minCloserOffset) {}

  std::size_t run(std::size_t n, bool last) {
    const std::size_t reach = opener_.size() - 1;
    for (;;) {
      if (!open_) {
        const Search opener = FindMarker(buf, from_, n, opener_, last);
        if (!opener.found) {
          if (last) return finish(n);
          from_ = opener.at;
          return pause(from_);
        }
        h_ = opener.at;
        closerFrom_ = h_;
        open_ = true;
      }
      const Search closer = FindMarker(buf, closerFrom_, n, closer_, last);
      if (!closer.found) {
        if (last) return finish(n);
        closerFrom_ = closer.at;
        return pause(h_);
      }
      const std::size_t e = closer.at;
      open_ = false;
      if (e - h_ < minCloserOffset_) {
        // Too short to cut; nothing can start inside it.
        from_ = h_ + 1;
        continue;
      }
      keep(h_);
      r = e + closer_.size();
      // Move the last `reach` kept units next to the remaining text and
      // search on from them: an opener the cut has joined together may start
      // there. A cut removes more units than are moved.
      const std::size_t k = std::min(reach, w);
      r -= k;
      w -= k;
      std::memcpy(buf + r, buf + w, k * sizeof(char16_t));
      from_ = r;
    }
  }

 private:
  // A unit that can stand in an opener: its "<" or one of its letters.
  bool inOpener(char16_t c) const {
    if (c == opener_[0]) return true;
    const auto folded = static_cast<char16_t>(c | kFoldBit);
    return opener_.substr(1).find(folded) != std::u16string_view::npos;
  }
  std::size_t pause(std::size_t keptTo) {
    keep(keptTo);
    // A later cut starts at an opener, and one that starts inside the output
    // is joined from a tail of it made of opener units only; its moves reach
    // `reach` units further back. Below that nothing changes any more. A
    // long tail of such units holds the settled point where it was.
    constexpr std::size_t kLongestTail = 64;
    const std::size_t reach = opener_.size() - 1;
    // Units below the settled point are not read again: the next cut may be
    // working on them already.
    std::size_t tail = 0;
    while (w - tail > settled && tail <= kLongestTail && inOpener(buf[w - 1 - tail])) ++tail;
    if (tail <= kLongestTail && w - tail >= settled + reach) settled = w - tail - reach;
    return settled;
  }
  std::size_t finish(std::size_t n) {
    keep(n);
    return w;
  }

  std::u16string_view opener_;  // lower case; letters match either case
  std::u16string_view closer_;
  std::size_t minCloserOffset_;
  std::size_t from_ = 0;
  bool open_ = false;
  std::size_t h_ = 0;
  std::size_t closerFrom_ = 0;
};

// Brace blocks, as CutBraceBlocks cuts them, blanking as it goes; or only
// the blanking. Its output is never written again once written.
class BraceCut : Cut {
 public:
  BraceCut(char16_t* text, bool braces, std::optional<Blanking> blanking)
      : Cut{text}, braces_(braces), blanking_(blanking) {}

  std::size_t run(std::size_t n, bool last) {
    for (;;) {
      if (!open_) {
        const std::size_t h = braces_ ? scan::FindUnit(buf, r, n, u'{') : kNotFound;
        if (h == kNotFound) {
          keep(n, blanking_);
          return w;
        }
        h_ = h;
        closerFrom_ = h + 1;
        open_ = true;
      }
      const std::size_t e = scan::FindUnit(buf, closerFrom_, n, u'}');
      if (e == kNotFound) {
        // Without a "}" to come, the rest stays.
        keep(last ? n : h_, blanking_);
        closerFrom_ = n;
        return w;
      }
      open_ = false;
      keep(h_, blanking_);
      r = e + 1;
    }
  }

 private:
  bool braces_;
  std::optional<Blanking> blanking_;
  bool open_ = false;
  std::size_t h_ = 0;
  std::size_t closerFrom_ = 0;
};

// The two blocks of the tag-named sort.
inline TagCut ScriptCut(char16_t* text) { return TagCut(text, u"<script", u"/script>", 9); }
inline TagCut StyleCut(char16_t* text) { return TagCut(text, u"<style", u"/style>", 7); }

}  // namespace sievetext::block_cuts
