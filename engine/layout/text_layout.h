#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/layout/css_style.h"
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
  // Linked (<link rel="stylesheet">) and imported style sheets come from
  // here; null: none are read (style elements and attributes still apply).
  // Must outlive the layout.
  css::StyleSheetLoader* styleSheets = nullptr;
  // The window media queries are answered for.
  css::MediaContext media;
};

// Receives the text in pieces, in order. A piece is valid during the call.
using TextOutput = std::function<void(std::u16string_view piece)>;

// Lays out the tokens of one document as plain text, as the standard's
// innerText does for a page with scripts off:
//  - elements that are not rendered give nothing: head content (title,
//    style, script, meta, link), template, iframe, noembed, noframes,
//    datalist, rp, audio and video (their fallback content), textarea (a
//    form control's text is not the page's), any element with the hidden
//    attribute, and any element the page's style gives display: none;
//  - a block element (h1..h6, svg and math too) starts and ends a line; p
//    leaves an empty line before and after; br breaks the line; breaks asked
//    for at once count once, and none are written before the first text or
//    after the last;
//  - white space collapses to one space, and none starts or ends a line,
//    except in pre, listing, xmp and plaintext, which keep theirs
//    (less a line break right after the start tag);
//  - table cells of a row are separated by a tab, rows by a line break;
//  - list items, dt, dd, select and its options start lines.
// The page's own style sheets apply, as far as they change the text (see
// css::StyleSet for what is read): style elements, style attributes, and
// linked sheets through LayoutOptions::styleSheets. A sheet applies to the
// elements that start after it (one given in the head applies to the whole
// body). From them: display (none hides; block-level values start and end
// lines, inline ones do not; the table parts keep their own layout),
// visibility (hidden text is not shown, a visible descendant is), float and
// position (a floated or absolutely placed element is a block),
// white-space (pre, pre-wrap, break-spaces and pre-line keep line breaks),
// text-transform (applied to the text, as innerText does) and
// content-visibility (hidden: only the element's own box shows).
// The end of an element is found as a browser's parser finds it for the
// common cases (a p closed by a block, an li by the next li, cells and rows
// by the next one); an end tag that matches nothing open is ignored.
//
// Memory: the open elements, at most kMaxDepth of them (deeper ones are laid
// out as inline text and their end tags find nothing), with what selectors
// look at in each (bounded, see css::StyleSet), the style sheets (bounded,
// see css::StyleSet; a style element's text is held until its end, up to
// css::StyleSet::kMaxTotalUnits), and the output piece.
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
    // The element's style as far as the layout needs it.
    std::uint8_t breaks = 0;      // line breaks before and after it
    std::uint8_t whiteSpace = 1;  // css::value::kCollapse, kPreserve or kPreLine
    std::uint8_t transform = 1;   // css::value::kTransformNone, kUppercase, ...
    bool invisible = false;       // visibility: hidden
    bool ownBox = false;          // its content is hidden, its own breaks are not
  };
  // The inherited style in effect where text is written.
  const Open& inherited() const { return open_.empty() ? kTop : open_.back(); }
  static const Open kTop;

  bool push(const Open& element);  // false past kMaxDepth
  // Describes the element about to be opened (at index open_.size()) for
  // selectors, and gives the page's declared style for it.
  css::Declared style(const Tag& tag);
  void inherit(Open& element) const;  // the inherited properties from the open element
  // The declared white-space, text-transform and visibility over the inherited ones.
  static void applyInherited(Open& element, const css::Declared& declared, bool preformatted);
  void linkedSheet(const Tag& tag);
  void styleElementEnd();
  // put(), with the text-transform `transform`.
  void write(std::u16string_view run, std::uint8_t transform) {
    if (transform == css::value::kTransformNone) {
      put(run);
    } else {
      writeTransformed(run, transform);
    }
  }
  void writeTransformed(std::u16string_view run, std::uint8_t transform);
  void popTo(std::size_t index);  // closes the elements from `index` up
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
  css::StyleSet styles_;
  std::vector<css::ElementFacts> facts_;  // for each open element, and the one being opened
  std::u16string styleText_;              // the text of the style element being read
  bool inStyle_ = false;                  // reading a style element that applies
  std::u16string transformed_;
  std::size_t hiddenFrom_;      // the outermost open element that is not rendered, or npos
  std::size_t foreignFrom_;     // the outermost open svg or math, or npos
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
