#include "engine/layout/text_layout.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "simd/simd.h"

namespace sievetext::layout {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// How an element takes part in the layout.
enum class Kind : std::uint8_t {
  Inline,
  Block,       // starts and ends a line
  Paragraph,   // p: an empty line before and after
  Heading,     // h1..h6: a block that closes a heading left open
  ListItem,    // li
  Definition,  // dt, dd
  Table,
  RowGroup,  // thead, tbody, tfoot
  Row,
  Cell,  // td, th
  Option,
  Optgroup,
  Hidden,   // not rendered, content and all
  Foreign,  // svg, math
  Ignored,  // html, head, body: never closed by their end tags
};

enum Flag : std::uint8_t {
  kVoid = 1,  // no content, never open
  kPreformatted = 2,
  kClosesP = 4,    // its start tag closes an open p
  kBreaksOut = 8,  // its start tag ends svg or math content
  kSkipNewline = 16,
  kHeadContent = 32,  // may stand in the head: does not end it
};

struct Element {
  std::u16string_view name;
  Kind kind;
  std::uint8_t flags;
  TextState state;  // where the tokenizer goes on after the start tag
};

constexpr Element kElements[] = {
    {u"address", Kind::Block, kClosesP, TextState::Data},
    {u"area", Kind::Inline, kVoid, TextState::Data},
    {u"article", Kind::Block, kClosesP, TextState::Data},
    {u"aside", Kind::Block, kClosesP, TextState::Data},
    {u"audio", Kind::Hidden, 0, TextState::Data},
    {u"b", Kind::Inline, kBreaksOut, TextState::Data},
    {u"base", Kind::Inline, kVoid | kHeadContent, TextState::Data},
    {u"basefont", Kind::Inline, kVoid | kHeadContent, TextState::Data},
    {u"bgsound", Kind::Inline, kVoid | kHeadContent, TextState::Data},
    {u"big", Kind::Inline, kBreaksOut, TextState::Data},
    {u"blockquote", Kind::Block, kClosesP | kBreaksOut, TextState::Data},
    {u"body", Kind::Ignored, kBreaksOut, TextState::Data},
    {u"br", Kind::Inline, kVoid | kBreaksOut, TextState::Data},
    {u"caption", Kind::Block, 0, TextState::Data},
    {u"center", Kind::Block, kClosesP | kBreaksOut, TextState::Data},
    {u"code", Kind::Inline, kBreaksOut, TextState::Data},
    {u"col", Kind::Inline, kVoid, TextState::Data},
    {u"datalist", Kind::Hidden, 0, TextState::Data},
    {u"dd", Kind::Definition, kClosesP | kBreaksOut, TextState::Data},
    {u"details", Kind::Block, kClosesP, TextState::Data},
    {u"dialog", Kind::Block, kClosesP, TextState::Data},
    {u"dir", Kind::Block, kClosesP, TextState::Data},
    {u"div", Kind::Block, kClosesP | kBreaksOut, TextState::Data},
    {u"dl", Kind::Block, kClosesP | kBreaksOut, TextState::Data},
    {u"dt", Kind::Definition, kClosesP | kBreaksOut, TextState::Data},
    {u"em", Kind::Inline, kBreaksOut, TextState::Data},
    {u"embed", Kind::Inline, kVoid | kBreaksOut, TextState::Data},
    {u"fieldset", Kind::Block, kClosesP, TextState::Data},
    {u"figcaption", Kind::Block, kClosesP, TextState::Data},
    {u"figure", Kind::Block, kClosesP, TextState::Data},
    {u"footer", Kind::Block, kClosesP, TextState::Data},
    {u"form", Kind::Block, kClosesP, TextState::Data},
    {u"frame", Kind::Inline, kVoid, TextState::Data},
    {u"frameset", Kind::Block, 0, TextState::Data},
    {u"h1", Kind::Heading, kClosesP | kBreaksOut, TextState::Data},
    {u"h2", Kind::Heading, kClosesP | kBreaksOut, TextState::Data},
    {u"h3", Kind::Heading, kClosesP | kBreaksOut, TextState::Data},
    {u"h4", Kind::Heading, kClosesP | kBreaksOut, TextState::Data},
    {u"h5", Kind::Heading, kClosesP | kBreaksOut, TextState::Data},
    {u"h6", Kind::Heading, kClosesP | kBreaksOut, TextState::Data},
    {u"head", Kind::Ignored, kBreaksOut, TextState::Data},
    {u"header", Kind::Block, kClosesP, TextState::Data},
    {u"hgroup", Kind::Block, kClosesP, TextState::Data},
    {u"hr", Kind::Block, kVoid | kClosesP | kBreaksOut, TextState::Data},
    {u"html", Kind::Ignored, 0, TextState::Data},
    {u"i", Kind::Inline, kBreaksOut, TextState::Data},
    {u"iframe", Kind::Hidden, 0, TextState::Rawtext},
    {u"image", Kind::Inline, kVoid, TextState::Data},
    {u"img", Kind::Inline, kVoid | kBreaksOut, TextState::Data},
    {u"input", Kind::Inline, kVoid, TextState::Data},
    {u"keygen", Kind::Inline, kVoid, TextState::Data},
    {u"legend", Kind::Block, 0, TextState::Data},
    {u"li", Kind::ListItem, kClosesP | kBreaksOut, TextState::Data},
    {u"link", Kind::Inline, kVoid | kHeadContent, TextState::Data},
    {u"listing", Kind::Block, kClosesP | kBreaksOut | kPreformatted | kSkipNewline,
     TextState::Data},
    {u"main", Kind::Block, kClosesP, TextState::Data},
    {u"math", Kind::Foreign, 0, TextState::Data},
    {u"menu", Kind::Block, kClosesP | kBreaksOut, TextState::Data},
    {u"meta", Kind::Inline, kVoid | kBreaksOut | kHeadContent, TextState::Data},
    {u"nav", Kind::Block, kClosesP, TextState::Data},
    {u"nobr", Kind::Inline, kBreaksOut, TextState::Data},
    {u"noembed", Kind::Hidden, 0, TextState::Rawtext},
    {u"noframes", Kind::Hidden, kHeadContent, TextState::Rawtext},
    {u"ol", Kind::Block, kClosesP | kBreaksOut, TextState::Data},
    {u"optgroup", Kind::Optgroup, 0, TextState::Data},
    {u"option", Kind::Option, 0, TextState::Data},
    {u"p", Kind::Paragraph, kClosesP | kBreaksOut, TextState::Data},
    {u"param", Kind::Inline, kVoid, TextState::Data},
    {u"plaintext", Kind::Block, kClosesP | kPreformatted, TextState::Plaintext},
    {u"pre", Kind::Block, kClosesP | kBreaksOut | kPreformatted | kSkipNewline, TextState::Data},
    {u"rp", Kind::Hidden, 0, TextState::Data},
    {u"ruby", Kind::Inline, kBreaksOut, TextState::Data},
    {u"s", Kind::Inline, kBreaksOut, TextState::Data},
    {u"script", Kind::Hidden, kHeadContent, TextState::ScriptData},
    {u"search", Kind::Block, kClosesP, TextState::Data},
    {u"section", Kind::Block, kClosesP, TextState::Data},
    {u"select", Kind::Block, 0, TextState::Data},
    {u"small", Kind::Inline, kBreaksOut, TextState::Data},
    {u"source", Kind::Inline, kVoid, TextState::Data},
    {u"span", Kind::Inline, kBreaksOut, TextState::Data},
    {u"strike", Kind::Inline, kBreaksOut, TextState::Data},
    {u"strong", Kind::Inline, kBreaksOut, TextState::Data},
    {u"style", Kind::Hidden, kHeadContent, TextState::Rawtext},
    {u"sub", Kind::Inline, kBreaksOut, TextState::Data},
    {u"summary", Kind::Block, kClosesP, TextState::Data},
    {u"sup", Kind::Inline, kBreaksOut, TextState::Data},
    {u"svg", Kind::Foreign, 0, TextState::Data},
    {u"table", Kind::Table, kClosesP | kBreaksOut, TextState::Data},
    {u"tbody", Kind::RowGroup, 0, TextState::Data},
    {u"td", Kind::Cell, 0, TextState::Data},
    {u"template", Kind::Hidden, kHeadContent, TextState::Data},
    {u"textarea", Kind::Hidden, 0, TextState::Rcdata},
    {u"tfoot", Kind::RowGroup, 0, TextState::Data},
    {u"th", Kind::Cell, 0, TextState::Data},
    {u"thead", Kind::RowGroup, 0, TextState::Data},
    {u"title", Kind::Hidden, kHeadContent, TextState::Rcdata},
    {u"tr", Kind::Row, 0, TextState::Data},
    {u"track", Kind::Inline, kVoid, TextState::Data},
    {u"tt", Kind::Inline, kBreaksOut, TextState::Data},
    {u"u", Kind::Inline, kBreaksOut, TextState::Data},
    {u"ul", Kind::Block, kClosesP | kBreaksOut, TextState::Data},
    {u"var", Kind::Inline, kBreaksOut, TextState::Data},
    {u"video", Kind::Hidden, 0, TextState::Data},
    {u"wbr", Kind::Inline, kVoid, TextState::Data},
    {u"xmp", Kind::Block, kClosesP | kPreformatted, TextState::Rawtext},
};
constexpr std::uint16_t kUnknown = static_cast<std::uint16_t>(std::size(kElements));

// Names are looked up in an open-addressed table keyed by a hash of their
// length and first and last units: one or two comparisons per tag.
constexpr std::size_t kBuckets = 512;

constexpr std::size_t Bucket(std::u16string_view name) {
  return (name.size() * 131 + std::size_t{name.front()} * 31 + std::size_t{name.back()} * 7) %
         kBuckets;
}

struct NameTable {
  std::uint16_t ids[kBuckets];
  constexpr NameTable() : ids() {
    for (std::uint16_t& id : ids) id = static_cast<std::uint16_t>(std::size(kElements));
    for (std::size_t i = 0; i < std::size(kElements); ++i) {
      std::size_t b = Bucket(kElements[i].name);
      while (ids[b] != std::size(kElements)) b = (b + 1) % kBuckets;
      ids[b] = static_cast<std::uint16_t>(i);
    }
  }
};
constexpr NameTable kNameTable;

inline std::uint16_t Lookup(std::u16string_view name) {
  if (name.empty() || name.size() > 10) return static_cast<std::uint16_t>(std::size(kElements));
  for (std::size_t b = Bucket(name);; b = (b + 1) % kBuckets) {
    const std::uint16_t id = kNameTable.ids[b];
    if (id == std::size(kElements)) return id;
    const std::u16string_view known = kElements[id].name;
    if (known.size() == name.size()) {
      // At most ten units: compared in place rather than by a library call.
      std::size_t i = 0;
      while (i < name.size() && known[i] == name[i]) ++i;
      if (i == name.size()) return id;
    }
  }
}

constexpr std::uint16_t Id(std::u16string_view name) {
  for (std::size_t i = 0; i < std::size(kElements); ++i) {
    if (kElements[i].name == name) return static_cast<std::uint16_t>(i);
  }
  return kUnknown;
}

constexpr std::uint16_t kDetails = Id(u"details"), kSummary = Id(u"summary");
constexpr std::uint16_t kHead = Id(u"head"), kLink = Id(u"link"), kStyle = Id(u"style"),
                        kHtml = Id(u"html"), kBody = Id(u"body");
constexpr std::uint16_t kP = Id(u"p"), kTable = Id(u"table"), kTr = Id(u"tr"), kTd = Id(u"td"),
                        kTh = Id(u"th"), kLi = Id(u"li"), kUl = Id(u"ul"), kOl = Id(u"ol"),
                        kDl = Id(u"dl"), kBr = Id(u"br"), kTemplate = Id(u"template"),
                        kCaption = Id(u"caption"), kMenu = Id(u"menu");

// The count of a details element: closed, and whether its summary was seen.
constexpr std::uint32_t kClosedDetails = 1, kShownSummary = 2;

std::uint32_t Hash(std::u16string_view name) {
  std::uint32_t h = 2166136261u;
  for (char16_t c : name) h = (h ^ c) * 16777619u;
  return h;
}

// Names tested on every element, their lengths known when compiling.
constexpr std::u16string_view kHiddenAttribute = u"hidden";

inline bool IsSpace(char16_t c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r';
}

// The end of the word at `p`: the first space or U+0000 in [p, end), or end.
const char16_t* WordEnd(const char16_t* p, const char16_t* const end) {
#if SIEVETEXT_SIMD
  const simd::Units space = simd::Splat(u' '), newline = simd::Splat(u'\n'),
                    tab = simd::Splat(u'\t'), formFeed = simd::Splat(u'\f'),
                    carriageReturn = simd::Splat(u'\r'), zero = simd::Zero();
  for (; end - p >= 8; p += 8) {
    const simd::Units v = simd::Load(p);
    const simd::Units hits =
        simd::Or(simd::Or(simd::Or(simd::Equal(v, space), simd::Equal(v, newline)),
                          simd::Or(simd::Equal(v, tab), simd::Equal(v, formFeed))),
                 simd::Or(simd::Equal(v, carriageReturn), simd::Equal(v, zero)));
    const int mask = simd::ByteMask(hits);
    if (mask != 0) return p + simd::FirstLane(mask);
  }
#endif
  while (p < end && (*p > u' ' || (!IsSpace(*p) && *p != 0))) ++p;
  return p;
}

// Upper and lower case for the scripts documentation pages mostly use;
// other units are left as they are.
char16_t Upper(char16_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
      (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c == 0xFF) return 0x178;
  return c;
}

char16_t Lower(char16_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
      (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) {
    return static_cast<char16_t>(c + 0x20);
  }
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c == 0x178) return 0xFF;
  return c;
}

bool IsWordUnit(char16_t c) {
  return (c >= '0' && c <= '9') || Upper(c) != c || Lower(c) != c || c == '\'' || c == 0x2019 ||
         c == 0xDF;
}

// Whether a link's rel attribute names a style sheet that applies (not an
// alternate one).
bool IsStyleSheetLink(const std::u16string& rel) {
  bool sheet = false, alternate = false;
  std::size_t i = 0;
  while (i < rel.size()) {
    while (i < rel.size() && IsSpace(rel[i])) ++i;
    std::size_t j = i;
    while (j < rel.size() && !IsSpace(rel[j])) ++j;
    const std::u16string_view word(rel.data() + i, j - i);
    if (css::EqualsLower(word, u"stylesheet")) sheet = true;
    if (css::EqualsLower(word, u"alternate")) alternate = true;
    i = j;
  }
  return sheet && !alternate;
}

}  // namespace

TextLayout::TextLayout(const LayoutOptions& options, TextOutput output)
    : options_(options),
      output_(std::move(output)),
      styles_(options.media),
      hiddenFrom_(kNone),
      foreignFrom_(kNone) {
  plain_ = !options_.collapseSpaces && !options_.tabsAsSpaces && !options_.pipesAsSpaces;
  open_.reserve(64);
  facts_.reserve(64);
  openCount_.assign(std::size(kElements) + 1, 0);
  piece_.reserve(kPieceUnits + 64);
}

// Writing ------------------------------------------------------------------

void TextLayout::flush() {
  if (!piece_.empty()) {
    output_(piece_);
    piece_.clear();
  }
}

void TextLayout::put(char16_t c) {
  if (options_.tabsAsSpaces && c == '\t') c = ' ';
  if (options_.pipesAsSpaces && c == '|') c = ' ';
  if (options_.collapseSpaces && c == ' ' && last_ == ' ') return;
  if (joinPending_) {
    joinPending_ = false;
    if (c != ' ' || !options_.collapseSpaces || last_ != ' ') piece_.push_back(' ');
  }
  piece_.push_back(c);
  last_ = c;
  outLineEmpty_ = false;
}

void TextLayout::put(std::u16string_view run) {
  if (run.empty()) return;
  if (plain_ && !joinPending_) {
    piece_.append(run);
    last_ = run.back();
    outLineEmpty_ = false;
  } else {
    for (char16_t c : run) put(c);
  }
  if (piece_.size() >= kPieceUnits) flush();
}

void TextLayout::lineBreak() {
  if (options_.dropBlankLines && outLineEmpty_) return;
  if (options_.joinLines) {
    // Lines are joined by one space, and none before the first.
    if (started_ && !outLineEmpty_) joinPending_ = true;
    outLineEmpty_ = true;
    return;
  }
  piece_.append(options_.lineBreak);
  last_ = '\n';
  outLineEmpty_ = true;
  if (piece_.size() >= kPieceUnits) flush();
}

void TextLayout::require(int breaks) {
  if (muted_) return;
  pendingBreaks_ = std::max(pendingBreaks_, breaks);
  pendingSpace_ = false;
}

void TextLayout::beginContent() {
  if (pendingBreaks_ > 0) {
    if (started_) {
      for (int i = 0; i < pendingBreaks_; ++i) lineBreak();
    }
    pendingBreaks_ = 0;
    lineHasText_ = false;
    pendingSpace_ = false;
  }
  if (pendingSpace_) {
    if (lineHasText_) put(u' ');
    pendingSpace_ = false;
  }
  started_ = true;
}

void TextLayout::literal(char16_t c) {
  if (pendingBreaks_ > 0) {
    if (started_) {
      for (int i = 0; i < pendingBreaks_; ++i) lineBreak();
    }
    pendingBreaks_ = 0;
  }
  pendingSpace_ = false;
  started_ = true;
  lineHasText_ = false;
  if (c == '\n') {
    lineBreak();
  } else {
    put(c);
  }
}

void TextLayout::writeTransformed(std::u16string_view run, std::uint8_t transform) {
  transformed_.clear();
  for (char16_t c : run) {
    if (transform == css::value::kUppercase) {
      if (c == 0xDF) {
        transformed_.append(u"SS");
        continue;
      }
      c = Upper(c);
    } else if (transform == css::value::kLowercase) {
      c = Lower(c);
    } else {
      const char16_t before =
          transformed_.empty() ? (lineHasText_ ? last_ : u' ') : transformed_.back();
      if (!IsWordUnit(before)) c = Upper(c);
    }
    transformed_.push_back(c);
  }
  put(transformed_);
}

void TextLayout::text(std::u16string_view run) {
  const char16_t* p = run.data();
  const char16_t* const end = p + run.size();
  const Open& style = inherited();
  const bool invisible = style.invisible;
  const bool keepBreaks = style.whiteSpace == css::value::kPreLine;
  const std::uint8_t transform = style.transform;
  // Untransformed words with no line break pending go straight to the
  // piece: what beginContent() and put() would do, without their general
  // cases.
  const bool direct =
      !invisible && !keepBreaks && transform == css::value::kTransformNone && plain_;
  while (p < end) {
    if (IsSpace(*p)) {
      if (keepBreaks && *p == '\n' && !invisible) {
        literal('\n');
      } else {
        pendingSpace_ = true;
      }
      ++p;
      continue;
    }
    const char16_t* q = WordEnd(p, end);
    if (q == p) {  // U+0000: dropped, as a browser's parser drops it
      ++p;
      continue;
    }
    if (direct && pendingBreaks_ == 0 && !joinPending_) {
      if (pendingSpace_) {
        if (lineHasText_) piece_.push_back(u' ');
        pendingSpace_ = false;
      }
      started_ = true;
      // The words that follow one space apart are written as they stand.
      while (end - q >= 2 && q[0] == u' ' && q[1] > u' ' &&
             static_cast<std::size_t>(q - p) < kPieceUnits) {
        q = WordEnd(q + 1, end);
      }
      piece_.append(p, static_cast<std::size_t>(q - p));
      last_ = q[-1];
      outLineEmpty_ = false;
      lineHasText_ = true;
      if (piece_.size() >= kPieceUnits) flush();
    } else if (!invisible) {
      beginContent();
      write(std::u16string_view(p, static_cast<std::size_t>(q - p)), transform);
      lineHasText_ = true;
    }
    p = q;
  }
}

void TextLayout::preformatted(std::u16string_view run) {
  const bool invisible = inherited().invisible;
  const std::uint8_t transform = inherited().transform;
  const char16_t* p = run.data();
  const char16_t* const end = p + run.size();
  while (p < end) {
    const char16_t* q = p;
    while (q < end && *q != '\n' && *q != 0) ++q;
    if (q > p && !invisible) {
      beginContent();
      write(std::u16string_view(p, static_cast<std::size_t>(q - p)), transform);
      lineHasText_ = true;
    }
    if (q < end) {
      if (*q == '\n' && !invisible) literal('\n');
      ++q;
    }
    p = q;
  }
}

void TextLayout::finish() {
  styleElementEnd();
  flush();
  open_.clear();
}

// Tokens ---------------------------------------------------------------------

void TextLayout::characters(std::u16string_view run) {
  if (skipNewline_) {
    skipNewline_ = false;
    if (!run.empty() && run.front() == '\n') run.remove_prefix(1);
  }
  if (inStyle_) {
    if (styleText_.size() <= css::StyleSet::kMaxTotalUnits) styleText_.append(run);
    return;
  }
  if (run.empty() || rawHidden_ || hiddenFrom_ != kNone) return;
  if (inherited().whiteSpace == css::value::kPreserve) {
    preformatted(run);
  } else {
    text(run);
  }
}

bool TextLayout::push(const Open& element) {
  if (open_.size() == kMaxDepth) {
    ++overflow_;
    return false;
  }
  open_.push_back(element);
  ++openCount_[element.id];
  return true;
}

void TextLayout::closed(const Open& element, bool hidden) {
  if (element.id == kP) --paragraphs_;
  if (hidden) return;
  if (element.id != kUnknown && kElements[element.id].kind == Kind::Cell) pendingSpace_ = false;
  if (element.breaks > 0) require(element.breaks);
}

css::Declared TextLayout::style(const Tag& tag) {
  const std::size_t at = open_.size();
  while (facts_.size() <= at) facts_.emplace_back();
  // Before any sheet, what selectors may test is kept for the outermost
  // elements only (html, body and the like, which hold everything later);
  // deeper ones, should a sheet come while they are open, cannot be told.
  const Attribute* style = styles_.describe(facts_[at], tag.name, tag.attributes, at < 3);
  const std::u16string* inlineStyle = style == nullptr ? nullptr : &style->value;
  if (styles_.empty() && inlineStyle == nullptr) return css::Declared{};
  return styles_.cascade(std::span<const css::ElementFacts>(facts_.data(), at + 1),
                         inlineStyle == nullptr ? std::u16string_view() : *inlineStyle);
}

void TextLayout::linkedSheet(const Tag& tag) {
  if (options_.styleSheets == nullptr || openCount_[kTemplate] > 0) return;
  const std::u16string* rel = tag.find(u"rel");
  const std::u16string* href = tag.find(u"href");
  if (rel == nullptr || href == nullptr || !IsStyleSheetLink(*rel)) return;
  if (tag.find(u"disabled") != nullptr) return;
  if (const std::u16string* media = tag.find(u"media")) {
    if (!styles_.mediaMatches(*media)) return;
  }
  // The address without surrounding white space, as a URL parser takes it.
  std::u16string_view location(*href);
  while (!location.empty() && IsSpace(location.front())) location.remove_prefix(1);
  while (!location.empty() && IsSpace(location.back())) location.remove_suffix(1);
  if (!location.empty()) styles_.link(location, options_.styleSheets);
}

void TextLayout::styleElementEnd() {
  if (!inStyle_) return;
  inStyle_ = false;
  if (styleText_.size() <= css::StyleSet::kMaxTotalUnits) {
    styles_.addSheet(styleText_, u"", options_.styleSheets);
  }
  styleText_.clear();
  if (styleText_.capacity() > (std::size_t{64} << 10)) styleText_.shrink_to_fit();
}

void TextLayout::popTo(std::size_t index) {
  while (open_.size() > index) {
    const Open element = open_.back();
    open_.pop_back();
    --openCount_[element.id];
    bool hidden = hiddenFrom_ != kNone;
    if (hidden && open_.size() <= hiddenFrom_) {
      hiddenFrom_ = kNone;
      if (element.ownBox) hidden = false;  // its content was hidden, not its box
    }
    if (!hidden && !open_.empty() && open_.back().id == kDetails &&
        open_.back().count == kShownSummary) {
      // Past the summary of a closed details: the rest is not shown.
      hiddenFrom_ = open_.size() - 1;
    }
    if (foreignFrom_ != kNone && open_.size() <= foreignFrom_) {
      foreignFrom_ = kNone;
      if (tokenizer_ != nullptr) tokenizer_->allowCdata(false);
    }
    closed(element, hidden);
  }
}

std::size_t TextLayout::find(std::uint16_t id, const std::uint16_t* boundaries) const {
  if (openCount_[id] == 0) return kNone;
  for (std::size_t i = open_.size(); i-- > 0;) {
    if (open_[i].id == id) return i;
    for (const std::uint16_t* b = boundaries; *b != kUnknown; ++b) {
      if (open_[i].id == *b) return kNone;
    }
  }
  return kNone;
}

void TextLayout::closeParagraph() {
  if (paragraphs_ == 0) return;
  static constexpr std::uint16_t kScope[] = {kTable, kTd, kTh, kCaption, kTemplate, kUnknown};
  const std::size_t at = find(kP, kScope);
  if (at != kNone) popTo(at);
}

void TextLayout::startRow() {
  static constexpr std::uint16_t kScope[] = {kTemplate, kUnknown};
  const std::size_t table = find(kTable, kScope);
  if (table != kNone) {
    // Close the open row (and its cells) of this table.
    for (std::size_t i = open_.size(); i-- > table + 1;) {
      if (open_[i].id == kTr) {
        popTo(i);
        break;
      }
    }
    if (open_[table].count++ > 0 && hiddenFrom_ == kNone) literal('\n');
  }
}

void TextLayout::startCell(bool) {
  static constexpr std::uint16_t kScope[] = {kTable, kTemplate, kUnknown};
  std::size_t row = find(kTr, kScope);
  if (row == kNone) {
    // A cell without a row: the parser makes one.
    startRow();
    Open tr{kTr, 0, 0};
    tr.whiteSpace = inherited().whiteSpace;
    tr.transform = inherited().transform;
    tr.invisible = inherited().invisible;
    while (facts_.size() <= open_.size()) facts_.emplace_back();
    static_cast<void>(styles_.describe(facts_[open_.size()], u"tr", std::span<const Attribute>()));
    row = push(tr) ? open_.size() - 1 : kNone;
  } else {
    // Close the open cell of this row.
    for (std::size_t i = row + 1; i < open_.size(); ++i) {
      if (open_[i].id == kTd || open_[i].id == kTh) {
        popTo(i);
        break;
      }
    }
  }
  if (row < open_.size() && open_[row].count++ > 0 && hiddenFrom_ == kNone) literal('\t');
  pendingSpace_ = false;
  lineHasText_ = false;
}

const TextLayout::Open TextLayout::kTop{0, 0, 0};

void TextLayout::inherit(Open& element) const {
  const Open& parent = inherited();
  element.whiteSpace = parent.whiteSpace;
  element.transform = parent.transform;
  element.invisible = parent.invisible;
}

void TextLayout::applyInherited(Open& element, const css::Declared& declared, bool preformatted) {
  namespace v = css::value;
  switch (const std::uint8_t w = declared[static_cast<std::size_t>(css::Property::WhiteSpace)]) {
    case v::kNone:
    case v::kRevert:
      if (preformatted) element.whiteSpace = v::kPreserve;
      break;
    case v::kInherit:
    case v::kUnset:
      break;
    case v::kInitial:
      element.whiteSpace = v::kCollapse;
      break;
    default:
      element.whiteSpace = w;
      break;
  }
  switch (const std::uint8_t t = declared[static_cast<std::size_t>(css::Property::TextTransform)]) {
    case v::kNone:
    case v::kRevert:
    case v::kInherit:
    case v::kUnset:
      break;
    case v::kInitial:
      element.transform = v::kTransformNone;
      break;
    default:
      element.transform = t;
      break;
  }
  switch (declared[static_cast<std::size_t>(css::Property::Visibility)]) {
    case v::kVisible:
    case v::kInitial:
      element.invisible = false;
      break;
    case v::kHidden:
      element.invisible = true;
      break;
    default:
      break;
  }
}

void TextLayout::startTag(const Tag& tag) {
  styleElementEnd();
  rawHidden_ = false;
  skipNewline_ = false;
  const std::uint16_t id = Lookup(tag.name);

  if (foreignFrom_ != kNone) {
    const bool breaksOut = id != kUnknown && (kElements[id].flags & kBreaksOut);
    if (!breaksOut) {
      // Inside svg or math: elements only nest; a title or style is not shown.
      if (tag.selfClosing) return;
      static_cast<void>(style(tag));  // described, for the selectors of what it holds
      Open element{id, id == kUnknown ? Hash(tag.name) : 0, 0};
      inherit(element);
      const bool held = push(element);
      if (held && hiddenFrom_ == kNone && id != kUnknown && kElements[id].kind == Kind::Hidden) {
        hiddenFrom_ = open_.size() - 1;
      }
      return;
    }
    popTo(foreignFrom_);
  }
  // A second html, head or body adds nothing, as the parser merges it into
  // the first one (or ignores it).
  if ((id == kHtml && openCount_[kHtml] > 0) || (id == kBody && openCount_[kBody] > 0) ||
      (id == kHead && (openCount_[kHead] > 0 || openCount_[kBody] > 0))) {
    return;
  }
  // The head ends where the body's content starts.
  if (!open_.empty() && open_.back().id == kHead && id != kUnknown &&
      !(kElements[id].flags & kHeadContent)) {
    popTo(open_.size() - 1);
  }

  const Element* const e = id == kUnknown ? nullptr : &kElements[id];
  const Kind kind = e != nullptr ? e->kind : Kind::Inline;
  const std::uint8_t flags = e != nullptr ? e->flags : 0;
  if (flags & kClosesP) closeParagraph();
  if (id == kSummary && !open_.empty() && open_.back().id == kDetails &&
      open_.back().count == kClosedDetails && hiddenFrom_ == open_.size() - 1) {
    // The first summary of a closed details is all of it that shows.
    open_.back().count = kShownSummary;
    hiddenFrom_ = kNone;
  }

  // What the parser closes before the element opens.
  switch (kind) {
    case Kind::Heading:
      // A heading closes a heading left open right before it.
      if (!open_.empty() && open_.back().id != kUnknown &&
          kElements[open_.back().id].kind == Kind::Heading) {
        popTo(open_.size() - 1);
      }
      break;
    case Kind::ListItem: {
      static constexpr std::uint16_t kScope[] = {kUl, kOl, kMenu, kTable, kTemplate, kUnknown};
      const std::size_t at = find(kLi, kScope);
      if (at != kNone) popTo(at);
      break;
    }
    case Kind::Definition: {
      // A dt or dd closes the dt or dd open in the same list.
      for (std::size_t i = open_.size(); i-- > 0;) {
        if (open_[i].id == kDl || open_[i].id == kTable || open_[i].id == kTemplate) break;
        if (open_[i].id != kUnknown && kElements[open_[i].id].kind == Kind::Definition) {
          popTo(i);
          break;
        }
      }
      break;
    }
    case Kind::RowGroup: {
      static constexpr std::uint16_t kScope[] = {kTemplate, kUnknown};
      const std::size_t table = find(kTable, kScope);
      if (table != kNone) {
        for (std::size_t i = table + 1; i < open_.size(); ++i) {
          if (open_[i].id != kUnknown &&
              (kElements[open_[i].id].kind == Kind::RowGroup || open_[i].id == kTr)) {
            popTo(i);
            break;
          }
        }
      }
      break;
    }
    case Kind::Row:
      startRow();
      break;
    case Kind::Cell:
      startCell(id == kTh);
      break;
    case Kind::Option:
    case Kind::Optgroup:
      if (!open_.empty() && open_.back().id != kUnknown &&
          (kElements[open_.back().id].kind == Kind::Option ||
           (kind == Kind::Optgroup && kElements[open_.back().id].kind == Kind::Optgroup))) {
        popTo(open_.size() - 1);
      }
      break;
    default:
      break;
  }

  // The element's style: the page's declarations over the defaults.
  namespace v = css::value;
  const css::Declared declared = style(tag);
  const auto get = [&declared](css::Property p) { return declared[static_cast<std::size_t>(p)]; };
  Open element{id, id == kUnknown ? Hash(tag.name) : 0, 0};
  inherit(element);
  const bool hidden =
      tag.find(kHiddenAttribute) != nullptr || get(css::Property::Display) == v::kDisplayNone;
  int breaks = 0;
  switch (kind) {
    case Kind::Paragraph:
      breaks = 2;
      break;
    case Kind::Block:
    case Kind::Heading:
    case Kind::Foreign:
    case Kind::ListItem:
    case Kind::Definition:
    case Kind::Table:
    case Kind::Option:
    case Kind::Optgroup:
      breaks = 1;
      break;
    default:
      break;
  }
  std::uint64_t declaredBits = 0;  // all the declared values at once
  static_assert(sizeof declared <= sizeof declaredBits);
  std::memcpy(&declaredBits, declared.data(), sizeof declared);
  const bool styled = declaredBits != 0;
  const bool tablePart = kind == Kind::Table || kind == Kind::RowGroup || kind == Kind::Row ||
                         kind == Kind::Cell || kind == Kind::Hidden || kind == Kind::Ignored;
  if (!styled) {
    if (flags & kPreformatted) element.whiteSpace = v::kPreserve;
  } else if (!tablePart && kind != Kind::Paragraph) {
    // p keeps its empty lines whatever its display, as innerText says.
    switch (get(css::Property::Display)) {
      case v::kDisplayBlock:
      case v::kDisplayTableRow:
        breaks = 1;
        break;
      case v::kDisplayInline:
      case v::kDisplayContents:
      case v::kDisplayTableCell:
      case v::kInitial:
      case v::kUnset:
        breaks = 0;
        break;
      default:
        break;
    }
    // A floated or absolutely placed box is a block.
    if (breaks == 0 && get(css::Property::Display) != v::kDisplayContents &&
        (get(css::Property::Float) == v::kOutOfFlow ||
         get(css::Property::Position) == v::kOutOfFlow)) {
      breaks = 1;
    }
  }
  if (styled) applyInherited(element, declared, flags & kPreformatted);
  // An element that is not visible has no line breaks of its own.
  if (element.invisible) breaks = 0;
  // content-visibility: auto leaves out what is off the screen, and innerText
  // with it: a page read as text has no screen, so all of it is off.
  const bool contentHidden =
      styled && (get(css::Property::ContentVisibility) == v::kContentHidden ||
                 get(css::Property::ContentVisibility) == v::kContentAuto);

  // A hidden element takes no room: no line breaks for it or inside it.
  muted_ = hiddenFrom_ != kNone || hidden || kind == Kind::Hidden;
  if (breaks > 0) require(breaks);
  muted_ = false;
  element.breaks = static_cast<std::uint8_t>(breaks);

  if (id == kBr) {
    if (hiddenFrom_ == kNone && !hidden && !element.invisible) literal('\n');
    return;
  }
  if (id == kLink && !hidden) linkedSheet(tag);
  if (flags & kVoid) return;
  if (tag.selfClosing && kind == Kind::Foreign) return;

  const bool held = push(element);
  const std::size_t at = open_.size() - 1;
  if (held && hiddenFrom_ == kNone && (hidden || kind == Kind::Hidden)) hiddenFrom_ = at;
  if (held && hiddenFrom_ == kNone && contentHidden) {
    hiddenFrom_ = at;
    open_.back().ownBox = true;
  }
  if (held && id == kDetails && tag.find(u"open") == nullptr) {
    open_.back().count = kClosedDetails;
    if (hiddenFrom_ == kNone) hiddenFrom_ = at;
  }
  if (id == kStyle && openCount_[kTemplate] == 0) {
    const std::u16string* media = tag.find(u"media");
    inStyle_ = media == nullptr || styles_.mediaMatches(*media);
    styleText_.clear();
  }
  if (kind == Kind::Hidden) rawHidden_ = e->state != TextState::Data;
  if (id == kP) ++paragraphs_;
  if (flags & kSkipNewline) skipNewline_ = true;
  if (kind == Kind::Foreign && held && foreignFrom_ == kNone) {
    foreignFrom_ = at;
    if (tokenizer_ != nullptr) tokenizer_->allowCdata(true);
  }
  if (tokenizer_ != nullptr && e != nullptr && e->state != TextState::Data) {
    tokenizer_->switchTo(e->state);
  }
}

void TextLayout::endTag(const Tag& tag) {
  styleElementEnd();
  rawHidden_ = false;
  skipNewline_ = false;
  const std::uint16_t id = Lookup(tag.name);
  if (id == kBr) {
    // "</br>" is a line break, as in every browser.
    if (hiddenFrom_ == kNone) literal('\n');
    return;
  }
  if (id == kHead && !open_.empty() && open_.back().id == kHead) {
    popTo(open_.size() - 1);
    return;
  }
  if (id != kUnknown && kElements[id].kind == Kind::Ignored) return;
  const std::uint32_t hash = id == kUnknown ? Hash(tag.name) : 0;
  std::size_t at = kNone;
  for (std::size_t i = openCount_[id] == 0 ? 0 : open_.size(); i-- > 0;) {
    if (open_[i].id == id && open_[i].hash == hash) {
      at = i;
      break;
    }
    // Table parts do not close past their table, list items past their list.
    if (id != kUnknown && open_[i].id == kTable && kElements[id].kind != Kind::Table) break;
  }
  if (at == kNone) {
    if (id == kP) {
      // "</p>" with no p open makes an empty one.
      require(2);
    }
    return;
  }
  const bool inlineEnd = id == kUnknown || kElements[id].kind == Kind::Inline;
  if (inlineEnd) {
    // A formatting element closed across a block is taken off the list of
    // open elements; the block stays open (as the parser's adoption does).
    bool crossesBlock = false;
    for (std::size_t i = at + 1; i < open_.size(); ++i) {
      if (open_[i].id != kUnknown && kElements[open_[i].id].kind != Kind::Inline) {
        crossesBlock = true;
        break;
      }
    }
    if (crossesBlock) {
      if (hiddenFrom_ == at || foreignFrom_ == at) {
        popTo(at);
        return;
      }
      const Open element = open_[at];
      const bool hidden = hiddenFrom_ != kNone && hiddenFrom_ < at;
      open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(at));
      std::rotate(facts_.begin() + static_cast<std::ptrdiff_t>(at),
                  facts_.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                  facts_.begin() + static_cast<std::ptrdiff_t>(open_.size()) + 1);
      --openCount_[element.id];
      if (hiddenFrom_ != kNone && hiddenFrom_ > at) --hiddenFrom_;
      if (foreignFrom_ != kNone && foreignFrom_ > at) --foreignFrom_;
      closed(element, hidden);
      return;
    }
  }
  popTo(at);
}

// The converter --------------------------------------------------------------

LayoutConverter::LayoutConverter(const LayoutOptions& options, TextOutput output)
    : layout_(options, std::move(output)),
      tokenizer_(layout_, Tokenizer::Options{options.decodeReferences}) {
  layout_.attach(tokenizer_);
}

void LayoutConverter::finish() {
  tokenizer_.finish();
  layout_.finish();
}

std::u16string LayoutText(std::u16string_view html, const LayoutOptions& options) {
  std::u16string text;
  LayoutConverter converter(options, [&text](std::u16string_view piece) { text.append(piece); });
  converter.feed(html);
  converter.finish();
  return text;
}

}  // namespace sievetext::layout
