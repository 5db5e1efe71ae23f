#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/layout/html_tokenizer.h"

namespace sievetext::layout {

// How the reading mode lays out the text. The defaults give the page's
// visible text as a browser's innerText does; the other fields are the
// tidy options that keep a meaning on top of that layout.
struct LayoutOptions {
  bool decodeReferences = true;  // false: every '&...' stays as written
  bool joinLines = false;        // every line break becomes one space between lines
  bool dropBlankLines = false;   // no empty lines
  bool collapseSpaces = false;   // a run of spaces becomes one (in preformatted text too)
  bool tabsAsSpaces = false;     // a tab (a table's cell separator too) becomes a space
  bool pipesAsSpaces = false;    // '|' becomes a space
  std::u16string_view lineBreak = u"\r\n";  // written for each line break; must outlive the layout
};

// Receives the text in pieces, in order. A piece is valid during the call.
using TextOutput = std::function<void(std::u16string_view piece)>;

// Lays out the tokens of one document as plain text, as the standard's
// innerText does for a page without style sheets or scripts:
//  - elements that are not rendered give nothing: head content (title,
//    style, script, meta, link), template, iframe, noembed, noframes,
//    datalist, rp, audio and video (their fallback content), textarea (a
//    form control's text is not the page's), and
//    any element with the hidden attribute or an inline style of
//    display:none;
//  - a block element (h1..h6, svg and math too) starts and ends a line; p
//    leaves an empty line before and after; br breaks the line; breaks asked
//    for at once
//    count once, and none are written before the first text or after the last;
//  - white space collapses to one space, and none starts or ends a line,
//    except in pre, listing, xmp and plaintext, which keep theirs
//    (less a line break right after the start tag);
//  - table cells of a row are separated by a tab, rows by a line break;
//  - list items, dt, dd, select and its options start lines.
// The end of an element is found as a browser's parser finds it for the
// common cases (a p closed by a block, an li by the next li, cells and rows
// by the next one); an end tag that matches nothing open is ignored.
//
// Memory: the open elements, at most kMaxDepth of them (deeper ones are laid
// out as inline text and their end tags find nothing), and the output piece.
class TextLayout final : public TokenSink {
 public:
  static constexpr std::size_t kMaxDepth = 512;
  // Output is handed over in pieces of about this many units.
  static constexpr std::size_t kPieceUnits = std::size_t{32} << 10;

  TextLayout(const LayoutOptions& options, TextOutput output);

  // The tokenizer the layout steers (RCDATA, RAWTEXT, script data, CDATA).
  void attach(Tokenizer& tokenizer) { tokenizer_ = &tokenizer; }
  // Hands over what is left of the text. Call after the tokenizer's finish().
  void finish();

  void characters(std::u16string_view text) override;
  void startTag(const Tag& tag) override;
  void endTag(const Tag& tag) override;
  void comment(std::u16string_view) override {}
  void doctype(const Doctype&) override {}

 private:
  struct Open {
    std::uint16_t id;     // the known element's index, or kUnknown
    std::uint32_t hash;   // an unknown element's name
    std::uint32_t count;  // rows of a table, cells of a row
  };

  bool push(std::uint16_t id, std::uint32_t hash);  // false past kMaxDepth
  void popTo(std::size_t index);                    // closes the elements from `index` up
  void closed(const Open& element, bool hidden);
  // The index of the nearest open element `id` above the nearest one of
  // `boundaries` (a null-terminated list), or npos.
  std::size_t find(std::uint16_t id, const std::uint16_t* boundaries) const;
  void closeParagraph();
  void startCell(bool header);
  void startRow();

  // Writing.
  void require(int breaks);
  void beginContent();
  void literal(char16_t c);  // a line break ('\n') or a tab, written as it is
  void text(std::u16string_view run);
  void preformatted(std::u16string_view run);
  void put(std::u16string_view run);
  void put(char16_t c);
  void lineBreak();
  void flush();

  LayoutOptions options_;
  TextOutput output_;
  Tokenizer* tokenizer_ = nullptr;
  std::vector<Open> open_;
  std::vector<std::uint32_t> openCount_;  // open elements by id (unknown ones together)
  std::size_t hiddenFrom_;      // the outermost open element that is not rendered, or npos
  std::size_t foreignFrom_;     // the outermost open svg or math, or npos
  int preformatted_ = 0;        // open elements that keep white space
  std::size_t paragraphs_ = 0;  // open p elements
  std::size_t overflow_ = 0;    // elements past kMaxDepth, not held
  bool rawHidden_ = false;      // inside a script, style, title, ... until the next tag
  bool skipNewline_ = false;    // right after <pre>, <listing>, <textarea>
  bool muted_ = false;          // the start tag being laid out is not rendered

  int pendingBreaks_ = 0;
  bool pendingSpace_ = false;
  bool lineHasText_ = false;
  bool started_ = false;
  // Output filters.
  bool plain_ = true;  // no unit-level filter is on
  bool outLineEmpty_ = true;
  bool joinPending_ = false;
  char16_t last_ = 0;
  std::u16string piece_;
};

// Tokenizer and layout together, fed in pieces. Memory does not grow with
// the input: see Tokenizer and TextLayout for what one construct may hold.
class LayoutConverter {
 public:
  LayoutConverter(const LayoutOptions& options, TextOutput output);
  void feed(std::u16string_view html) { tokenizer_.feed(html); }
  void finish();

 private:
  TextLayout layout_;
  Tokenizer tokenizer_;
};

// The whole text of `html` at once.
std::u16string LayoutText(std::u16string_view html, const LayoutOptions& options = {});

}  // namespace sievetext::layout
