#include "engine/layout/text_layout.h"

#include <algorithm>
#include <array>

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
    {u"base", Kind::Inline, kVoid, TextState::Data},
    {u"basefont", Kind::Inline, kVoid, TextState::Data},
    {u"bgsound", Kind::Inline, kVoid, TextState::Data},
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
    {u"link", Kind::Inline, kVoid, TextState::Data},
    {u"listing", Kind::Block, kClosesP | kBreaksOut | kPreformatted | kSkipNewline,
     TextState::Data},
    {u"main", Kind::Block, kClosesP, TextState::Data},
    {u"math", Kind::Foreign, 0, TextState::Data},
    {u"menu", Kind::Block, kClosesP | kBreaksOut, TextState::Data},
    {u"meta", Kind::Inline, kVoid | kBreaksOut, TextState::Data},
    {u"nav", Kind::Block, kClosesP, TextState::Data},
    {u"nobr", Kind::Inline, kBreaksOut, TextState::Data},
    {u"noembed", Kind::Hidden, 0, TextState::Rawtext},
    {u"noframes", Kind::Hidden, 0, TextState::Rawtext},
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
    {u"script", Kind::Hidden, 0, TextState::ScriptData},
    {u"search", Kind::Block, kClosesP, TextState::Data},
    {u"section", Kind::Block, kClosesP, TextState::Data},
    {u"select", Kind::Block, 0, TextState::Data},
    {u"small", Kind::Inline, kBreaksOut, TextState::Data},
    {u"source", Kind::Inline, kVoid, TextState::Data},
    {u"span", Kind::Inline, kBreaksOut, TextState::Data},
    {u"strike", Kind::Inline, kBreaksOut, TextState::Data},
    {u"strong", Kind::Inline, kBreaksOut, TextState::Data},
    {u"style", Kind::Hidden, 0, TextState::Rawtext},
    {u"sub", Kind::Inline, kBreaksOut, TextState::Data},
    {u"summary", Kind::Block, kClosesP, TextState::Data},
    {u"sup", Kind::Inline, kBreaksOut, TextState::Data},
    {u"svg", Kind::Foreign, 0, TextState::Data},
    {u"table", Kind::Table, kClosesP | kBreaksOut, TextState::Data},
    {u"tbody", Kind::RowGroup, 0, TextState::Data},
    {u"td", Kind::Cell, 0, TextState::Data},
    {u"template", Kind::Hidden, 0, TextState::Data},
    {u"textarea", Kind::Hidden, 0, TextState::Rcdata},
    {u"tfoot", Kind::RowGroup, 0, TextState::Data},
    {u"th", Kind::Cell, 0, TextState::Data},
    {u"thead", Kind::RowGroup, 0, TextState::Data},
    {u"title", Kind::Hidden, 0, TextState::Rcdata},
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

std::uint16_t Lookup(std::u16string_view name) {
  if (name.empty() || name.size() > 10) return static_cast<std::uint16_t>(std::size(kElements));
  for (std::size_t b = Bucket(name);; b = (b + 1) % kBuckets) {
    const std::uint16_t id = kNameTable.ids[b];
    if (id == std::size(kElements)) return id;
    const std::u16string_view known = kElements[id].name;
    if (known.size() == name.size() && std::equal(known.begin(), known.end(), name.begin())) {
      return id;
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

inline bool IsSpace(char16_t c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r';
}

// An inline style that takes the element out of the layout.
bool HiddenByStyle(const std::u16string& style) {
  std::u16string squeezed;
  for (char16_t c : style) {
    if (IsSpace(c)) continue;
    squeezed.push_back(c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 0x20) : c);
    if (squeezed.size() > 4096) break;
  }
  const std::size_t at = squeezed.find(u"display:none");
  if (at == std::u16string::npos) return false;
  return at == 0 || squeezed[at - 1] == ';' || squeezed[at - 1] == '{' || squeezed[at - 1] == '"';
}

}  // namespace

TextLayout::TextLayout(const LayoutOptions& options, TextOutput output)
    : options_(options), output_(std::move(output)), hiddenFrom_(kNone), foreignFrom_(kNone) {
  plain_ = !options_.collapseSpaces && !options_.tabsAsSpaces && !options_.pipesAsSpaces;
  open_.reserve(64);
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

void TextLayout::text(std::u16string_view run) {
  const char16_t* p = run.data();
  const char16_t* const end = p + run.size();
  while (p < end) {
    if (IsSpace(*p)) {
      pendingSpace_ = true;
      ++p;
      continue;
    }
    const char16_t* q = p;
    while (q < end && !IsSpace(*q) && *q != 0) ++q;
    if (q == p) {  // U+0000: dropped, as a browser's parser drops it
      ++p;
      continue;
    }
    beginContent();
    put(std::u16string_view(p, static_cast<std::size_t>(q - p)));
    lineHasText_ = true;
    p = q;
  }
}

void TextLayout::preformatted(std::u16string_view run) {
  const char16_t* p = run.data();
  const char16_t* const end = p + run.size();
  while (p < end) {
    const char16_t* q = p;
    while (q < end && *q != '\n' && *q != 0) ++q;
    if (q > p) {
      beginContent();
      put(std::u16string_view(p, static_cast<std::size_t>(q - p)));
      lineHasText_ = true;
    }
    if (q < end) {
      if (*q == '\n') literal('\n');
      ++q;
    }
    p = q;
  }
}

void TextLayout::finish() {
  flush();
  open_.clear();
}

// Tokens ---------------------------------------------------------------------

void TextLayout::characters(std::u16string_view run) {
  if (skipNewline_) {
    skipNewline_ = false;
    if (!run.empty() && run.front() == '\n') run.remove_prefix(1);
  }
  if (run.empty() || rawHidden_ || hiddenFrom_ != kNone) return;
  if (preformatted_ > 0) {
    preformatted(run);
  } else {
    text(run);
  }
}

bool TextLayout::push(std::uint16_t id, std::uint32_t hash) {
  if (open_.size() == kMaxDepth) {
    ++overflow_;
    return false;
  }
  open_.push_back({id, hash, 0});
  ++openCount_[id];
  return true;
}

void TextLayout::closed(const Open& element, bool hidden) {
  if (element.id == kUnknown) return;
  const Element& e = kElements[element.id];
  if (e.flags & kPreformatted) --preformatted_;
  if (element.id == kP) --paragraphs_;
  if (hidden) return;
  switch (e.kind) {
    case Kind::Block:
    case Kind::Heading:
    case Kind::Foreign:
    case Kind::ListItem:
    case Kind::Definition:
    case Kind::Table:
    case Kind::Option:
    case Kind::Optgroup:
      require(1);
      break;
    case Kind::Paragraph:
      require(2);
      break;
    case Kind::Cell:
      pendingSpace_ = false;
      break;
    default:
      break;
  }
}

void TextLayout::popTo(std::size_t index) {
  while (open_.size() > index) {
    const Open element = open_.back();
    open_.pop_back();
    --openCount_[element.id];
    const bool hidden = hiddenFrom_ != kNone;
    if (hidden && open_.size() <= hiddenFrom_) hiddenFrom_ = kNone;
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
    row = push(kTr, 0) ? open_.size() - 1 : kNone;
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

void TextLayout::startTag(const Tag& tag) {
  rawHidden_ = false;
  skipNewline_ = false;
  std::uint16_t id = Lookup(tag.name);

  if (foreignFrom_ != kNone) {
    const bool breaksOut = id != kUnknown && (kElements[id].flags & kBreaksOut);
    if (!breaksOut) {
      // Inside svg or math: elements only nest; a title or style is not shown.
      if (tag.selfClosing) return;
      const bool held = push(id, id == kUnknown ? Hash(tag.name) : 0);
      if (held && hiddenFrom_ == kNone && id != kUnknown && kElements[id].kind == Kind::Hidden) {
        hiddenFrom_ = open_.size() - 1;
      }
      return;
    }
    popTo(foreignFrom_);
  }

  const bool hidden = tag.find(u"hidden") != nullptr || [&] {
    const std::u16string* style = tag.find(u"style");
    return style != nullptr && HiddenByStyle(*style);
  }();

  if (id == kUnknown) {
    if (push(kUnknown, Hash(tag.name)) && hidden && hiddenFrom_ == kNone) {
      hiddenFrom_ = open_.size() - 1;
    }
    return;
  }
  const Element& e = kElements[id];
  if (e.flags & kClosesP) closeParagraph();
  if (id == kSummary && !open_.empty() && open_.back().id == kDetails &&
      open_.back().count == kClosedDetails && hiddenFrom_ == open_.size() - 1) {
    // The first summary of a closed details is all of it that shows.
    open_.back().count = kShownSummary;
    hiddenFrom_ = kNone;
  }
  // A hidden element takes no room: no line breaks for it or inside it.
  muted_ = hiddenFrom_ != kNone || hidden || e.kind == Kind::Hidden;

  switch (e.kind) {
    case Kind::Paragraph:
      require(2);
      break;
    case Kind::Heading:
      // A heading closes a heading left open right before it.
      if (!open_.empty() && open_.back().id != kUnknown &&
          kElements[open_.back().id].kind == Kind::Heading) {
        popTo(open_.size() - 1);
      }
      require(1);
      break;
    case Kind::Foreign:
      require(1);
      break;
    case Kind::ListItem: {
      static constexpr std::uint16_t kScope[] = {kUl, kOl, kMenu, kTable, kTemplate, kUnknown};
      const std::size_t at = find(kLi, kScope);
      if (at != kNone) popTo(at);
      require(1);
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
      require(1);
      break;
    }
    case Kind::Table:
      require(1);
      break;
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
           (e.kind == Kind::Optgroup && kElements[open_.back().id].kind == Kind::Optgroup))) {
        popTo(open_.size() - 1);
      }
      require(1);
      break;
    case Kind::Block:
      require(1);
      break;
    default:
      break;
  }

  muted_ = false;
  if (id == kBr) {
    if (hiddenFrom_ == kNone) literal('\n');
    return;
  }
  if (e.flags & kVoid) return;
  if (tag.selfClosing && e.kind == Kind::Foreign) return;

  const bool held = push(id, 0);
  const std::size_t at = open_.size() - 1;
  if (held && hiddenFrom_ == kNone && (hidden || e.kind == Kind::Hidden)) hiddenFrom_ = at;
  if (held && id == kDetails && tag.find(u"open") == nullptr) {
    open_.back().count = kClosedDetails;
    if (hiddenFrom_ == kNone) hiddenFrom_ = at;
  }
  if (e.kind == Kind::Hidden) rawHidden_ = e.state != TextState::Data;
  if (e.flags & kPreformatted) ++preformatted_;
  if (id == kP) ++paragraphs_;
  if (e.flags & kSkipNewline) skipNewline_ = true;
  if (e.kind == Kind::Foreign && held && foreignFrom_ == kNone) {
    foreignFrom_ = at;
    if (tokenizer_ != nullptr) tokenizer_->allowCdata(true);
  }
  if (tokenizer_ != nullptr && e.state != TextState::Data) tokenizer_->switchTo(e.state);
}

void TextLayout::endTag(const Tag& tag) {
  rawHidden_ = false;
  skipNewline_ = false;
  const std::uint16_t id = Lookup(tag.name);
  if (id == kBr) {
    // "</br>" is a line break, as in every browser.
    if (hiddenFrom_ == kNone) literal('\n');
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
