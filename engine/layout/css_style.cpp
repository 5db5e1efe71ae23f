#include "engine/layout/css_style.h"

#include <algorithm>
#include <utility>

namespace sievetext::layout::css {

struct AttributeTest {
  std::u16string name;  // lower case
  std::u16string value;
  char16_t op = 0;  // 0: present; '=', '~', '|', '^', '$', '*'
  bool ignoreCase = false;
};

struct StyleSet::Compound {
  std::u16string type;  // lower case; empty: any
  std::u16string id;
  bool hasId = false;
  std::vector<std::u16string> classes;
  std::vector<AttributeTest> attributes;
  std::vector<std::vector<Compound>> negations;  // :not(a, b): matches none of them
  std::vector<std::vector<Compound>> anyOf;      // :is(a, b), :where(a, b)
  bool root = false;
  bool link = false;
  bool never = false;       // a state nobody is in (:hover): false, and :not() of it true
  bool unknown = false;     // cannot be told here (:first-child): the selector matches nothing
  char16_t combinator = 0;  // to the compound on the left: ' ' or '>'; 0 for the first
};

struct StyleSet::Selector {
  std::vector<Compound> compounds;  // left to right
};

struct StyleSet::Rule {
  Selector selector;
  std::uint32_t specificity;
  std::uint32_t sheet;
  std::uint32_t firstDeclaration;
  std::uint32_t declarationCount;
};

namespace {

constexpr std::size_t kMaxCompounds = 32;
constexpr int kMaxNesting = 8;
// Steps of selector matching for one rule, and for all rules of one
// element: past them a selector is taken as not matching, so that no
// sheet can make a deep page slow.
constexpr int kMatchBudget = 4096;
constexpr int kElementBudget = 1 << 16;

std::uint64_t Hash(std::u16string_view text) {
  std::uint64_t h = 14695981039346656037ull;
  for (char16_t c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::u16string Lower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 0x20);
  }
  return out;
}

bool IsAsciiSpace(char16_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

using Tokens = std::vector<Token>;

// The index right after the block or function that opens at `i`.
std::size_t SkipBlock(const Tokens& tokens, std::size_t i) {
  std::vector<TokenType> closers;
  for (; i < tokens.size(); ++i) {
    switch (tokens[i].type) {
      case TokenType::OpenCurly:
        closers.push_back(TokenType::CloseCurly);
        break;
      case TokenType::OpenSquare:
        closers.push_back(TokenType::CloseSquare);
        break;
      case TokenType::OpenParen:
      case TokenType::Function:
        closers.push_back(TokenType::CloseParen);
        break;
      case TokenType::CloseCurly:
      case TokenType::CloseSquare:
      case TokenType::CloseParen:
        if (!closers.empty() && tokens[i].type == closers.back()) {
          closers.pop_back();
          if (closers.empty()) return i + 1;
        }
        break;
      default:
        break;
    }
    if (closers.empty()) return i + 1;
  }
  return tokens.size();
}

bool IsOpener(TokenType type) {
  return type == TokenType::OpenCurly || type == TokenType::OpenSquare ||
         type == TokenType::OpenParen || type == TokenType::Function;
}

// A range of tokens.
struct Span {
  const Tokens* tokens;
  std::size_t begin, end;
  const Token& operator[](std::size_t i) const { return (*tokens)[i]; }
};

// The non-white-space tokens of a range, blocks kept whole (their tokens as
// they are): for short preludes and values.
std::vector<std::size_t> Significant(Span span) {
  std::vector<std::size_t> out;
  for (std::size_t i = span.begin; i < span.end; ++i) {
    if (span[i].type != TokenType::Whitespace) out.push_back(i);
  }
  return out;
}

// Media queries ----------------------------------------------------------------

double LengthInPixels(const Token& token, bool& ok) {
  if (token.type == TokenType::Number && token.number == 0) return 0;
  if (token.type != TokenType::Dimension) {
    ok = false;
    return 0;
  }
  if (EqualsLower(token.value, u"px")) return token.number;
  if (EqualsLower(token.value, u"em") || EqualsLower(token.value, u"rem")) {
    return token.number * 16;
  }
  if (EqualsLower(token.value, u"pt")) return token.number * 96 / 72;
  if (EqualsLower(token.value, u"in")) return token.number * 96;
  if (EqualsLower(token.value, u"cm")) return token.number * 96 / 2.54;
  ok = false;
  return 0;
}

// One "( ... )" of a media query: its tokens without the parentheses.
bool FeatureMatches(const MediaContext& media, Span span) {
  const std::vector<std::size_t> parts = Significant(span);
  if (parts.empty()) return false;
  const auto sizeOf = [&](std::u16string_view name, double& size) {
    if (EqualsLower(name, u"width")) {
      size = media.width;
    } else if (EqualsLower(name, u"height")) {
      size = media.height;
    } else {
      return false;
    }
    return true;
  };
  const Token& first = span[parts[0]];
  if (parts.size() == 1) {
    // A boolean feature.
    if (first.type != TokenType::Ident) return false;
    return EqualsLower(first.value, u"color") || EqualsLower(first.value, u"width") ||
           EqualsLower(first.value, u"height") || EqualsLower(first.value, u"orientation") ||
           EqualsLower(first.value, u"prefers-color-scheme");
  }
  if (first.type == TokenType::Ident && parts.size() == 3 &&
      span[parts[1]].type == TokenType::Colon) {
    const std::u16string name = Lower(first.value);
    const Token& v = span[parts[2]];
    double size = 0;
    bool ok = true;
    if (sizeOf(name, size)) return LengthInPixels(v, ok) == size && ok;
    if (name.starts_with(u"min-") && sizeOf(std::u16string_view(name).substr(4), size)) {
      const double limit = LengthInPixels(v, ok);
      return ok && size >= limit;
    }
    if (name.starts_with(u"max-") && sizeOf(std::u16string_view(name).substr(4), size)) {
      const double limit = LengthInPixels(v, ok);
      return ok && size <= limit;
    }
    if (name == u"orientation") {
      return IsIdent(v, media.width > media.height ? u"landscape" : u"portrait");
    }
    if (name == u"prefers-color-scheme") return IsIdent(v, u"light");
    if (name == u"prefers-reduced-motion") return IsIdent(v, u"no-preference");
    if (name == u"color") return v.type == TokenType::Number && v.number <= 8;
    if (name == u"min-color") return v.type == TokenType::Number && v.number <= 8;
    return false;
  }
  // Ranges: (width < 600px), (600px <= width), (400px < width < 700px).
  std::vector<const Token*> operands;
  std::vector<std::u16string> operators;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const Token& t = span[parts[k]];
    if (t.type == TokenType::Delim && (t.delim == '<' || t.delim == '>' || t.delim == '=')) {
      std::u16string op(1, t.delim);
      if (t.delim != '=' && k + 1 < parts.size() && span[parts[k + 1]].type == TokenType::Delim &&
          span[parts[k + 1]].delim == '=' && parts[k + 1] == parts[k] + 1) {
        op.push_back('=');
        ++k;
      }
      operators.push_back(op);
    } else {
      operands.push_back(&t);
    }
  }
  if (operands.size() != operators.size() + 1 || operands.size() < 2 || operands.size() > 3) {
    return false;
  }
  std::vector<double> values;
  bool sawFeature = false;
  for (const Token* t : operands) {
    double v = 0;
    if (t->type == TokenType::Ident) {
      if (sawFeature || !sizeOf(t->value, v)) return false;
      sawFeature = true;
    } else {
      bool ok = true;
      v = LengthInPixels(*t, ok);
      if (!ok) return false;
    }
    values.push_back(v);
  }
  if (!sawFeature) return false;
  for (std::size_t k = 0; k < operators.size(); ++k) {
    const double a = values[k], b = values[k + 1];
    const std::u16string& op = operators[k];
    const bool holds = op == u"<"    ? a < b
                       : op == u"<=" ? a <= b
                       : op == u">"  ? a > b
                       : op == u">=" ? a >= b
                       : op == u"="  ? a == b
                                     : false;
    if (!holds) return false;
  }
  return true;
}

// One query of a list: [not|only] [type] [and (feature)]... or features
// joined by and / or.
bool QueryMatches(const MediaContext& media, Span span) {
  std::size_t i = span.begin;
  const auto skipSpace = [&] {
    while (i < span.end && span[i].type == TokenType::Whitespace) ++i;
  };
  skipSpace();
  if (i == span.end) return false;
  bool negate = false;
  if (IsIdent(span[i], u"not")) {
    negate = true;
    ++i;
    skipSpace();
  } else if (IsIdent(span[i], u"only")) {
    ++i;
    skipSpace();
  }
  bool result = true;
  bool first = true;
  bool any = false;  // joined by "or"
  while (i < span.end) {
    skipSpace();
    if (i == span.end) break;
    const Token& t = span[i];
    bool term = false;
    if (!first) {
      if (IsIdent(t, u"and")) {
        any = false;
      } else if (IsIdent(t, u"or")) {
        any = true;
      } else {
        return false;  // not a query this reads: matches nothing
      }
      ++i;
      skipSpace();
      if (i == span.end) return false;
    }
    const Token& u = span[i];
    if (u.type == TokenType::Ident && first) {
      term = EqualsLower(u.value, u"all") || EqualsLower(u.value, u"screen");
      ++i;
    } else if (u.type == TokenType::OpenParen) {
      const std::size_t close = SkipBlock(*span.tokens, i);
      if (close > span.end) return false;
      term = FeatureMatches(media, Span{span.tokens, i + 1, close - 1});
      i = close;
    } else if (IsIdent(u, u"not")) {
      ++i;
      skipSpace();
      if (i == span.end || span[i].type != TokenType::OpenParen) return false;
      const std::size_t close = SkipBlock(*span.tokens, i);
      if (close > span.end) return false;
      term = !FeatureMatches(media, Span{span.tokens, i + 1, close - 1});
      i = close;
    } else {
      return false;
    }
    result = first ? term : (any ? (result || term) : (result && term));
    first = false;
  }
  return negate ? !result : result;
}

bool MediaListMatches(const MediaContext& media, Span span) {
  bool empty = true;
  for (std::size_t i = span.begin; i < span.end; ++i) {
    if (span[i].type != TokenType::Whitespace) empty = false;
  }
  if (empty) return true;
  std::size_t start = span.begin;
  for (std::size_t i = span.begin; i <= span.end;) {
    if (i == span.end || span[i].type == TokenType::Comma) {
      if (QueryMatches(media, Span{span.tokens, start, i})) return true;
      start = i + 1;
      ++i;
    } else if (IsOpener(span[i].type)) {
      i = std::min(SkipBlock(*span.tokens, i), span.end);
    } else {
      ++i;
    }
  }
  return false;
}

// Declarations -------------------------------------------------------------------

// The value of one declaration of a kept property, or value::kNone.
std::uint8_t ParseValue(Property property, Span span, const std::vector<std::size_t>& parts) {
  if (parts.empty()) return value::kNone;
  for (std::size_t k : parts) {
    if (span[k].type != TokenType::Ident) return value::kNone;  // var(), numbers: not read
  }
  const Token& first = span[parts[0]];
  if (parts.size() == 1) {
    if (IsIdent(first, u"inherit")) return value::kInherit;
    if (IsIdent(first, u"initial")) return value::kInitial;
    if (IsIdent(first, u"unset")) return value::kUnset;
    if (IsIdent(first, u"revert") || IsIdent(first, u"revert-layer")) return value::kRevert;
  }
  const auto only = [&](std::initializer_list<std::u16string_view> words) {
    if (parts.size() != 1) return false;
    for (std::u16string_view w : words) {
      if (IsIdent(first, w)) return true;
    }
    return false;
  };
  switch (property) {
    case Property::Display: {
      if (only({u"none"})) return value::kDisplayNone;
      if (only({u"contents"})) return value::kDisplayContents;
      if (only({u"table-cell"})) return value::kDisplayTableCell;
      if (only({u"table-row"})) return value::kDisplayTableRow;
      if (only({u"block", u"flex", u"grid", u"flow-root", u"list-item", u"table", u"table-caption",
                u"table-row-group", u"table-header-group", u"table-footer-group"})) {
        return value::kDisplayBlock;
      }
      if (only({u"inline", u"inline-block", u"inline-flex", u"inline-grid", u"inline-table",
                u"ruby", u"ruby-base", u"ruby-text", u"table-column", u"table-column-group"})) {
        return value::kDisplayInline;
      }
      // Two or three keywords: "inline flow-root", "block flex", "list-item block".
      bool inlineOuter = false, known = true;
      for (std::size_t k : parts) {
        const Token& t = span[k];
        if (IsIdent(t, u"inline")) {
          inlineOuter = true;
        } else if (!(IsIdent(t, u"block") || IsIdent(t, u"flow") || IsIdent(t, u"flow-root") ||
                     IsIdent(t, u"flex") || IsIdent(t, u"grid") || IsIdent(t, u"list-item") ||
                     IsIdent(t, u"table"))) {
          known = false;
        }
      }
      if (!known || parts.size() > 3) return value::kNone;
      return inlineOuter ? value::kDisplayInline : value::kDisplayBlock;
    }
    case Property::Visibility:
      if (only({u"visible"})) return value::kVisible;
      if (only({u"hidden", u"collapse"})) return value::kHidden;
      return value::kNone;
    case Property::WhiteSpace:
      if (only({u"normal", u"nowrap"})) return value::kCollapse;
      if (only({u"pre", u"pre-wrap", u"break-spaces"})) return value::kPreserve;
      if (only({u"pre-line"})) return value::kPreLine;
      return value::kNone;
    case Property::TextTransform: {
      std::uint8_t result = value::kNone;
      for (std::size_t k : parts) {
        const Token& t = span[k];
        if (IsIdent(t, u"none") && parts.size() == 1) return value::kTransformNone;
        if (IsIdent(t, u"uppercase"))
          result = value::kUppercase;
        else if (IsIdent(t, u"lowercase"))
          result = value::kLowercase;
        else if (IsIdent(t, u"capitalize"))
          result = value::kCapitalize;
        else if (!IsIdent(t, u"full-width") && !IsIdent(t, u"full-size-kana"))
          return value::kNone;
      }
      return result == value::kNone ? value::kTransformNone : result;
    }
    case Property::ContentVisibility:
      if (only({u"visible"})) return value::kContentVisible;
      if (only({u"hidden"})) return value::kContentHidden;
      if (only({u"auto"})) return value::kContentAuto;
      return value::kNone;
    case Property::Float:
      if (only({u"none"})) return value::kInFlow;
      if (only({u"left", u"right", u"inline-start", u"inline-end"})) return value::kOutOfFlow;
      return value::kNone;
    case Property::Position:
      if (only({u"static", u"relative", u"sticky"})) return value::kInFlow;
      if (only({u"absolute", u"fixed"})) return value::kOutOfFlow;
      return value::kNone;
  }
  return value::kNone;
}

bool PropertyNamed(std::u16string_view name, Property& property) {
  static constexpr std::pair<std::u16string_view, Property> kNames[] = {
      {u"display", Property::Display},
      {u"visibility", Property::Visibility},
      {u"white-space", Property::WhiteSpace},
      {u"text-transform", Property::TextTransform},
      {u"content-visibility", Property::ContentVisibility},
      {u"float", Property::Float},
      {u"position", Property::Position},
  };
  for (const auto& [known, p] : kNames) {
    if (EqualsLower(name, known)) {
      property = p;
      return true;
    }
  }
  return false;
}

// Calls `use` for each declaration of a kept property in a declaration
// list. Nested rules and at-rules inside it are skipped.
template <typename Use>
void ForEachDeclaration(Span span, Use use) {
  std::size_t i = span.begin;
  while (i < span.end) {
    // One item: up to ';' at this level, or a nested block.
    std::size_t start = i;
    bool nested = false;
    while (i < span.end && span[i].type != TokenType::Semicolon) {
      if (span[i].type == TokenType::OpenCurly) {
        i = std::min(SkipBlock(*span.tokens, i), span.end);
        nested = true;
        break;
      }
      i = IsOpener(span[i].type) ? std::min(SkipBlock(*span.tokens, i), span.end) : i + 1;
    }
    const std::size_t stop = i;
    if (i < span.end && !nested) ++i;  // the ';'
    if (nested) continue;
    while (start < stop && span[start].type == TokenType::Whitespace) ++start;
    if (start == stop || span[start].type != TokenType::Ident) continue;
    Property property;
    if (!PropertyNamed(span[start].value, property)) continue;
    std::size_t k = start + 1;
    while (k < stop && span[k].type == TokenType::Whitespace) ++k;
    if (k == stop || span[k].type != TokenType::Colon) continue;
    std::vector<std::size_t> parts = Significant(Span{span.tokens, k + 1, stop});
    bool important = false;
    if (parts.size() >= 2 && span[parts[parts.size() - 2]].type == TokenType::Delim &&
        span[parts[parts.size() - 2]].delim == '!' && IsIdent(span[parts.back()], u"important")) {
      important = true;
      parts.resize(parts.size() - 2);
    }
    const std::uint8_t v = ParseValue(property, span, parts);
    if (v != value::kNone) use(property, v, important);
  }
}

// Selectors ----------------------------------------------------------------------

// Pseudo-classes that stand for a state of the user's: never true here.
constexpr std::u16string_view kStates[] = {
    u"hover",
    u"focus",
    u"focus-within",
    u"focus-visible",
    u"active",
    u"visited",
    u"target",
    u"target-within",
    u"placeholder-shown",
    u"autofill",
    u"-webkit-autofill",
    u"fullscreen",
    u"modal",
    u"playing",
    u"paused",
    u"user-invalid",
    u"user-valid",
    u"popover-open",
    u"current",
    u"past",
    u"future",
    u"picture-in-picture",
};
// Pseudo-classes this does not tell (the page's attributes or a user's
// doing decide them): valid, but the selector matches nothing.
constexpr std::u16string_view kUntold[] = {
    u"checked",       u"indeterminate",
    u"open",          u"first-child",
    u"last-child",    u"only-child",
    u"first-of-type", u"last-of-type",
    u"only-of-type",  u"empty",
    u"enabled",       u"disabled",
    u"read-only",     u"read-write",
    u"required",      u"optional",
    u"valid",         u"invalid",
    u"in-range",      u"out-of-range",
    u"default",       u"scope",
    u"defined",       u"host",
    u"nth-child",     u"nth-last-child",
    u"nth-of-type",   u"nth-last-of-type",
    u"lang",          u"dir",
    u"has",           u"host-context",
    u"state",         u"first",
    u"left",          u"right",
    u"blank",
};
// Pseudo-elements written with one colon, as CSS 2 allowed.
constexpr std::u16string_view kLegacyElements[] = {u"before", u"after", u"first-line",
                                                   u"first-letter"};

bool InList(std::u16string_view name, std::span<const std::u16string_view> list) {
  for (std::u16string_view known : list) {
    if (EqualsLower(name, known)) return true;
  }
  return false;
}

struct Specificity {
  std::uint32_t a = 0, b = 0, c = 0;
  std::uint32_t packed() const {
    return (std::min<std::uint32_t>(a, 1023) << 20) | (std::min<std::uint32_t>(b, 1023) << 10) |
           std::min<std::uint32_t>(c, 1023);
  }
  void add(const Specificity& o) {
    a += o.a;
    b += o.b;
    c += o.c;
  }
};

class SelectorParser {
 public:
  SelectorParser(const Tokens& tokens, std::size_t begin, std::size_t end, int depth)
      : t_(tokens), i_(begin), end_(end), depth_(depth) {}

  // A selector list; false: invalid (the rule is dropped).
  bool list(std::vector<StyleSet::Selector>& out, std::vector<Specificity>& specificities) {
    while (true) {
      StyleSet::Selector selector;
      Specificity specificity;
      if (!complex(selector, specificity)) return false;
      out.push_back(std::move(selector));
      specificities.push_back(specificity);
      skipSpace();
      if (i_ == end_) return true;
      if (t_[i_].type != TokenType::Comma) return false;
      ++i_;
    }
  }

 private:
  void skipSpace() {
    while (i_ < end_ && t_[i_].type == TokenType::Whitespace) ++i_;
  }

  bool complex(StyleSet::Selector& selector, Specificity& specificity) {
    skipSpace();
    char16_t combinator = 0;
    while (true) {
      StyleSet::Compound compound;
      if (!this->compound(compound, specificity)) return false;
      compound.combinator = combinator;
      if (selector.compounds.size() == kMaxCompounds) return false;
      selector.compounds.push_back(std::move(compound));
      // A combinator, or the end of this selector.
      const bool space = i_ < end_ && t_[i_].type == TokenType::Whitespace;
      skipSpace();
      if (i_ == end_ || t_[i_].type == TokenType::Comma || t_[i_].type == TokenType::CloseParen) {
        return true;
      }
      combinator = ' ';
      if (t_[i_].type == TokenType::Delim &&
          (t_[i_].delim == '>' || t_[i_].delim == '+' || t_[i_].delim == '~')) {
        combinator = t_[i_].delim;
        ++i_;
        skipSpace();
      } else if (!space) {
        return false;
      }
      if (combinator == '+' || combinator == '~') {
        // Siblings are not told apart here: the selector matches nothing.
        selector.compounds.back().unknown = true;
        combinator = ' ';
      }
    }
  }

  bool nameAfter(std::u16string& name) {
    if (i_ < end_ && t_[i_].type == TokenType::Ident) {
      name = t_[i_++].value;
      return true;
    }
    return false;
  }

  bool compound(StyleSet::Compound& c, Specificity& specificity) {
    bool any = false;
    // A type or universal selector first; a namespace prefix is not read.
    if (i_ < end_ && t_[i_].type == TokenType::Ident) {
      c.type = Lower(t_[i_++].value);
      ++specificity.c;
      any = true;
    } else if (i_ < end_ && t_[i_].type == TokenType::Delim && t_[i_].delim == '*') {
      ++i_;
      any = true;
    }
    if (i_ < end_ && t_[i_].type == TokenType::Delim && t_[i_].delim == '|') return false;
    while (i_ < end_) {
      const Token& t = t_[i_];
      if (t.type == TokenType::Hash) {
        if (!t.idHash) return false;
        if (c.hasId && c.id != t.value) c.never = true;
        c.id = t.value;
        c.hasId = true;
        ++specificity.a;
        ++i_;
      } else if (t.type == TokenType::Delim && t.delim == '.') {
        ++i_;
        std::u16string name;
        if (!nameAfter(name)) return false;
        c.classes.push_back(std::move(name));
        ++specificity.b;
      } else if (t.type == TokenType::OpenSquare) {
        if (!attribute(c)) return false;
        ++specificity.b;
      } else if (t.type == TokenType::Colon) {
        if (!pseudo(c, specificity)) return false;
      } else {
        break;
      }
      any = true;
    }
    return any;
  }

  bool attribute(StyleSet::Compound& c) {
    const std::size_t close = SkipBlock(t_, i_);
    if (close > end_ || t_[close - 1].type != TokenType::CloseSquare) return false;
    std::vector<std::size_t> parts = Significant(Span{&t_, i_ + 1, close - 1});
    i_ = close;
    if (parts.empty() || t_[parts[0]].type != TokenType::Ident) return false;
    AttributeTest test;
    test.name = Lower(t_[parts[0]].value);
    if (parts.size() == 1) {
      c.attributes.push_back(std::move(test));
      return true;
    }
    std::size_t k = 1;
    const Token& op = t_[parts[k]];
    if (op.type != TokenType::Delim) return false;
    if (op.delim == '=') {
      test.op = '=';
      ++k;
    } else if ((op.delim == '~' || op.delim == '|' || op.delim == '^' || op.delim == '$' ||
                op.delim == '*') &&
               k + 1 < parts.size() && t_[parts[k + 1]].type == TokenType::Delim &&
               t_[parts[k + 1]].delim == '=' && parts[k + 1] == parts[k] + 1) {
      test.op = op.delim;
      k += 2;
    } else {
      return false;
    }
    if (k >= parts.size()) return false;
    const Token& v = t_[parts[k]];
    if (v.type != TokenType::Ident && v.type != TokenType::String) return false;
    test.value = v.value;
    ++k;
    if (k < parts.size()) {
      if (IsIdent(t_[parts[k]], u"i")) {
        test.ignoreCase = true;
      } else if (!IsIdent(t_[parts[k]], u"s")) {
        return false;
      }
      ++k;
    }
    if (k != parts.size()) return false;
    c.attributes.push_back(std::move(test));
    return true;
  }

  bool pseudo(StyleSet::Compound& c, Specificity& specificity) {
    ++i_;  // ':'
    if (i_ < end_ && t_[i_].type == TokenType::Colon) {
      // A pseudo-element: the rule styles it, not the element.
      ++i_;
      if (i_ < end_ && t_[i_].type == TokenType::Ident) {
        ++i_;
      } else if (i_ < end_ && t_[i_].type == TokenType::Function) {
        i_ = std::min(SkipBlock(t_, i_), end_);
      } else {
        return false;
      }
      c.unknown = true;
      ++specificity.c;
      return true;
    }
    if (i_ >= end_) return false;
    const Token& t = t_[i_];
    if (t.type == TokenType::Ident) {
      ++i_;
      if (InList(t.value, kLegacyElements)) {
        c.unknown = true;
        ++specificity.c;
        return true;
      }
      ++specificity.b;
      if (EqualsLower(t.value, u"root")) {
        c.root = true;
      } else if (EqualsLower(t.value, u"link") || EqualsLower(t.value, u"any-link")) {
        c.link = true;
      } else if (InList(t.value, kStates)) {
        c.never = true;
      } else if (InList(t.value, kUntold)) {
        c.unknown = true;
      } else {
        return false;
      }
      return true;
    }
    if (t.type != TokenType::Function) return false;
    const std::size_t close = SkipBlock(t_, i_);
    if (close > end_ || t_[close - 1].type != TokenType::CloseParen) return false;
    const bool negation = EqualsLower(t.value, u"not");
    const bool is = EqualsLower(t.value, u"is") || EqualsLower(t.value, u"matches") ||
                    EqualsLower(t.value, u"where");
    if (negation || is) {
      if (depth_ >= kMaxNesting) return false;
      SelectorParser inner(t_, i_ + 1, close - 1, depth_ + 1);
      std::vector<StyleSet::Selector> selectors;
      std::vector<Specificity> specificities;
      i_ = close;
      if (!inner.list(selectors, specificities)) {
        // :is() and :where() forgive what they cannot read; :not() does not.
        if (negation) return false;
        c.unknown = true;
        return true;
      }
      // Only compounds are told inside; a complex one is not.
      std::vector<StyleSet::Compound> compounds;
      Specificity most;
      for (std::size_t k = 0; k < selectors.size(); ++k) {
        if (selectors[k].compounds.size() != 1) {
          c.unknown = true;
        } else {
          compounds.push_back(std::move(selectors[k].compounds[0]));
        }
        if (specificities[k].packed() > most.packed()) most = specificities[k];
      }
      if (!EqualsLower(t.value, u"where")) specificity.add(most);
      if (negation) {
        c.negations.push_back(std::move(compounds));
      } else {
        c.anyOf.push_back(std::move(compounds));
      }
      return true;
    }
    i_ = close;
    ++specificity.b;
    if (InList(t.value, kUntold)) {
      c.unknown = true;
      return true;
    }
    return false;
  }

  const Tokens& t_;
  std::size_t i_, end_;
  int depth_;
};

// Matching --------------------------------------------------------------------------

bool AttributeMatches(const AttributeTest& test, const std::u16string* actual) {
  if (actual == nullptr) return false;
  if (test.op == 0) return true;
  const auto equal = [&](std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    if (!test.ignoreCase) return a == b;
    for (std::size_t i = 0; i < a.size(); ++i) {
      char16_t x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x + 0x20);
      if (y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y + 0x20);
      if (x != y) return false;
    }
    return true;
  };
  const std::u16string_view v = *actual, want = test.value;
  switch (test.op) {
    case '=':
      return equal(v, want);
    case '~': {
      if (want.empty()) return false;
      std::size_t i = 0;
      while (i < v.size()) {
        while (i < v.size() && IsAsciiSpace(v[i])) ++i;
        std::size_t j = i;
        while (j < v.size() && !IsAsciiSpace(v[j])) ++j;
        if (j > i && equal(v.substr(i, j - i), want)) return true;
        i = j;
      }
      return false;
    }
    case '|':
      return equal(v, want) || (v.size() > want.size() && v[want.size()] == '-' &&
                                equal(v.substr(0, want.size()), want));
    case '^':
      return !want.empty() && v.size() >= want.size() && equal(v.substr(0, want.size()), want);
    case '$':
      return !want.empty() && v.size() >= want.size() &&
             equal(v.substr(v.size() - want.size()), want);
    case '*': {
      if (want.empty() || v.size() < want.size()) return false;
      for (std::size_t i = 0; i + want.size() <= v.size(); ++i) {
        if (equal(v.substr(i, want.size()), want)) return true;
      }
      return false;
    }
    default:
      return false;
  }
}

// 1: matches, 0: does not, -1: cannot be told.
int CompoundMatches(const StyleSet::Compound& c, const ElementFacts& e, bool isRoot,
                    std::uint32_t generation) {
  if (c.unknown) return -1;
  if (e.generation != generation) {
    // Facts kept before a sheet named what this compound tests.
    const bool testsNames =
        c.hasId || !c.classes.empty() || c.link || !c.negations.empty() || !c.anyOf.empty();
    const bool testsAttributes = !c.attributes.empty() || !c.negations.empty() || !c.anyOf.empty();
    if ((e.droppedNames && testsNames) || (e.droppedAttributes && testsAttributes)) return -1;
  }
  if (!c.type.empty() && c.type != e.name) return 0;
  if (c.hasId && c.id != e.id) return 0;
  for (const std::u16string& name : c.classes) {
    bool found = false;
    for (std::size_t k = 0; k < e.classCount && !found; ++k) found = e.classes[k] == name;
    if (!found) return 0;
  }
  for (const AttributeTest& test : c.attributes) {
    if (!AttributeMatches(test, e.attribute(test.name))) return 0;
  }
  if (c.root && !(isRoot && e.name == u"html")) return 0;
  if (c.link && !(e.hasHref && (e.name == u"a" || e.name == u"area"))) return 0;
  if (c.never) return 0;
  int result = 1;
  for (const std::vector<StyleSet::Compound>& alternatives : c.anyOf) {
    int any = 0;
    for (const StyleSet::Compound& a : alternatives) {
      const int m = CompoundMatches(a, e, isRoot, generation);
      if (m == 1) {
        any = 1;
        break;
      }
      if (m < 0) any = -1;
    }
    if (any == 0) return 0;
    if (any < 0) result = -1;
  }
  for (const std::vector<StyleSet::Compound>& alternatives : c.negations) {
    for (const StyleSet::Compound& a : alternatives) {
      const int m = CompoundMatches(a, e, isRoot, generation);
      if (m == 1) return 0;
      if (m < 0) result = -1;
    }
  }
  return result;
}

bool Matches(const StyleSet::Selector& s, std::size_t ci, std::span<const ElementFacts> path,
             std::size_t pi, int& budget, std::uint32_t generation) {
  if (--budget < 0) return false;
  const StyleSet::Compound& c = s.compounds[ci];
  if (CompoundMatches(c, path[pi], pi == 0, generation) != 1) return false;
  if (ci == 0) return true;
  if (c.combinator == '>') {
    return pi > 0 && Matches(s, ci - 1, path, pi - 1, budget, generation);
  }
  for (std::size_t pj = pi; pj-- > 0;) {
    if (Matches(s, ci - 1, path, pj, budget, generation)) return true;
    if (budget < 0) return false;
  }
  return false;
}

}  // namespace

const std::u16string* ElementFacts::attribute(std::u16string_view attributeName) const {
  for (std::size_t k = 0; k < attributeCount; ++k) {
    if (attributes[k].first == attributeName) return &attributes[k].second;
  }
  return nullptr;
}

// Sheets ------------------------------------------------------------------------------

struct StyleSet::Parser {
  StyleSet& set;
  StyleSheetLoader* loader;
  std::u16string_view location;
  std::uint32_t sheet;
  int depth;  // of imports

  void rules(const Tokens& tokens, std::size_t i, std::size_t end, int nesting, bool topLevel) {
    bool importsAllowed = topLevel;
    while (i < end) {
      const Token& t = tokens[i];
      if (t.type == TokenType::Whitespace ||
          (topLevel && (t.type == TokenType::Cdo || t.type == TokenType::Cdc))) {
        ++i;
        continue;
      }
      if (t.type == TokenType::AtKeyword) {
        // The prelude runs to ';' or a block.
        std::size_t k = i + 1;
        while (k < end && tokens[k].type != TokenType::Semicolon &&
               tokens[k].type != TokenType::OpenCurly) {
          k = IsOpener(tokens[k].type) ? std::min(SkipBlock(tokens, k), end) : k + 1;
        }
        const Span prelude{&tokens, i + 1, k};
        if (k < end && tokens[k].type == TokenType::OpenCurly) {
          const std::size_t close = std::min(SkipBlock(tokens, k), end);
          if (EqualsLower(t.value, u"media") && nesting < kMaxNesting &&
              MediaListMatches(set.media_, prelude)) {
            const std::size_t inner =
                tokens[close - 1].type == TokenType::CloseCurly ? close - 1 : close;
            rules(tokens, k + 1, inner, nesting + 1, false);
          }
          importsAllowed = false;
          i = close;
          continue;
        }
        if (EqualsLower(t.value, u"import") && importsAllowed) importRule(prelude);
        if (!EqualsLower(t.value, u"charset") && !EqualsLower(t.value, u"import") &&
            !EqualsLower(t.value, u"layer")) {
          importsAllowed = false;
        }
        i = k < end ? k + 1 : end;
        continue;
      }
      importsAllowed = false;
      // A qualified rule: its prelude runs to a block.
      std::size_t k = i;
      while (k < end && tokens[k].type != TokenType::OpenCurly) {
        k = IsOpener(tokens[k].type) ? std::min(SkipBlock(tokens, k), end) : k + 1;
      }
      if (k == end) return;  // no block: dropped
      const std::size_t close = std::min(SkipBlock(tokens, k), end);
      const std::size_t inner = tokens[close - 1].type == TokenType::CloseCurly ? close - 1 : close;
      qualified(tokens, i, k, k + 1, inner);
      i = close;
    }
  }

  void importRule(Span prelude) {
    const std::vector<std::size_t> parts = Significant(prelude);
    if (parts.empty() || loader == nullptr || depth >= kMaxImportDepth) return;
    const Token& first = prelude[parts[0]];
    std::u16string href;
    std::size_t mediaFrom = parts[0] + 1;
    if (first.type == TokenType::String || first.type == TokenType::Url) {
      href = first.value;
    } else if (first.type == TokenType::Function && EqualsLower(first.value, u"url")) {
      const std::size_t close = SkipBlock(*prelude.tokens, parts[0]);
      const std::vector<std::size_t> inside =
          Significant(Span{prelude.tokens, parts[0] + 1, close - 1});
      if (inside.size() != 1 || prelude[inside[0]].type != TokenType::String) return;
      href = prelude[inside[0]].value;
      mediaFrom = close;
    } else {
      return;
    }
    // A layer() or supports() condition is not read: the import is skipped.
    for (std::size_t k = mediaFrom; k < prelude.end; ++k) {
      if (prelude[k].type == TokenType::Function || IsIdent(prelude[k], u"layer")) return;
    }
    if (!MediaListMatches(set.media_, Span{prelude.tokens, mediaFrom, prelude.end})) return;
    const std::u16string resolved = ResolveLocation(location, href);
    if (set.loads_ >= kMaxSheets) return;
    ++set.loads_;
    std::u16string text;
    if (!loader->load(resolved, text)) return;
    set.addSheetAt(text, resolved, loader, depth + 1);
  }

  void qualified(const Tokens& tokens, std::size_t begin, std::size_t end, std::size_t blockBegin,
                 std::size_t blockEnd) {
    // Declarations first: most rules set nothing kept, and are not read further.
    std::vector<Declaration> kept;
    ForEachDeclaration(Span{&tokens, blockBegin, blockEnd},
                       [&](Property p, std::uint8_t v, bool important) {
                         kept.push_back({p, v, important});
                       });
    if (kept.empty()) return;
    std::vector<Selector> selectors;
    std::vector<Specificity> specificities;
    SelectorParser parser(tokens, begin, end, 0);
    if (!parser.list(selectors, specificities)) return;
    const auto first = static_cast<std::uint32_t>(set.declarations_.size());
    set.declarations_.insert(set.declarations_.end(), kept.begin(), kept.end());
    for (std::size_t k = 0; k < selectors.size(); ++k) {
      if (set.rules_.size() >= kMaxRules) return;
      for (const Compound& c : selectors[k].compounds) noteAttributes(c);
      set.rules_.push_back(Rule{std::move(selectors[k]), specificities[k].packed(), sheet, first,
                                static_cast<std::uint32_t>(kept.size())});
      set.index(static_cast<std::uint32_t>(set.rules_.size() - 1));
    }
  }

  void noteAttributes(const Compound& c) {
    if (c.hasId) set.name(c.id);
    for (const std::u16string& name : c.classes) set.name(name);
    for (const AttributeTest& test : c.attributes) {
      if (std::find(set.testedAttributes_.begin(), set.testedAttributes_.end(), test.name) ==
              set.testedAttributes_.end() &&
          set.testedAttributes_.size() < kMaxAttributes) {
        set.testedAttributes_.push_back(test.name);
        ++set.generation_;
      }
    }
    for (const auto& list : c.negations) {
      for (const Compound& inner : list) noteAttributes(inner);
    }
    for (const auto& list : c.anyOf) {
      for (const Compound& inner : list) noteAttributes(inner);
    }
  }
};

StyleSet::StyleSet(MediaContext media) : media_(media) {}
StyleSet::~StyleSet() = default;

void StyleSet::addSheet(std::u16string_view text, std::u16string_view location,
                        StyleSheetLoader* loader) {
  addSheetAt(text, location, loader, 0);
}

void StyleSet::addSheetAt(std::u16string_view text, std::u16string_view location,
                          StyleSheetLoader* loader, int depth) {
  const std::uint64_t hash = Hash(text) ^ (Hash(location) * 31);
  if (nextOrder_ == 0xFFFF) {
    // Orders are 16 bits in the cascade's key: number them again, in order.
    std::vector<Sheet*> byOrder;
    for (Sheet& s : sheets_) byOrder.push_back(&s);
    std::sort(byOrder.begin(), byOrder.end(),
              [](const Sheet* a, const Sheet* b) { return a->order < b->order; });
    nextOrder_ = 0;
    for (Sheet* s : byOrder) s->order = nextOrder_++;
  }
  for (Sheet& s : sheets_) {
    if (s.hash == hash) {
      s.order = nextOrder_++;  // read again: it comes last now
      return;
    }
  }
  if (sheets_.size() >= kMaxSheets || totalUnits_ + text.size() > kMaxTotalUnits) return;
  totalUnits_ += text.size();
  sheets_.push_back(Sheet{hash, nextOrder_++});
  const Tokens tokens = Tokenize(text);
  Parser parser{*this, loader, location, static_cast<std::uint32_t>(sheets_.size() - 1), depth};
  // Imports come first and take their own place in the order, before the
  // rules of the sheet that imports them.
  const bool hadRules = !rules_.empty();
  parser.rules(tokens, 0, tokens.size(), 0, true);
  // Facts kept before the first rule kept less than they do now.
  if (!hadRules && !rules_.empty()) ++generation_;
  sheets_[parser.sheet].order = nextOrder_++;
}

void StyleSet::link(std::u16string_view location, StyleSheetLoader* loader) {
  if (loader == nullptr || loads_ >= kMaxSheets) return;
  ++loads_;
  std::u16string text;
  if (!loader->load(location, text)) return;
  addSheetAt(text, location, loader, 0);
}

bool StyleSet::mediaMatches(std::u16string_view list) const {
  const Tokens tokens = Tokenize(list);
  return MediaListMatches(media_, Span{&tokens, 0, tokens.size()});
}

bool StyleSet::testsAttribute(std::u16string_view name) const {
  return std::find(testedAttributes_.begin(), testedAttributes_.end(), name) !=
         testedAttributes_.end();
}

void StyleSet::index(std::uint32_t rule) {
  const Compound& last = rules_[rule].selector.compounds.back();
  if (last.unknown || last.never) return;  // matches nothing
  if (last.hasId) {
    byId_[Hash(last.id)].push_back(rule);
  } else if (!last.classes.empty()) {
    byClass_[Hash(last.classes.front())].push_back(rule);
  } else if (!last.type.empty()) {
    const std::uint64_t h = Hash(last.type);
    byType_[h].push_back(rule);
    types_[(h >> 6) & 63] |= std::uint64_t{1} << (h & 63);
  } else {
    universal_.push_back(rule);
  }
}

void StyleSet::name(std::u16string_view name) {
  const std::uint64_t h = Hash(name);
  std::uint64_t& word = names_[(h >> 6) & 63];
  const std::uint64_t bit = std::uint64_t{1} << (h & 63);
  if ((word & bit) == 0) {
    word |= bit;
    ++generation_;
  }
}

bool StyleSet::named(std::uint64_t hash) const {
  // Before any rule, everything is kept.
  return rules_.empty() || ((names_[(hash >> 6) & 63] >> (hash & 63)) & 1) != 0;
}

namespace {
// The attributes every element is looked at for, their lengths known when
// compiling.
constexpr std::u16string_view kIdAttribute = u"id", kClassAttribute = u"class",
                              kStyleAttribute = u"style", kHrefAttribute = u"href";
}  // namespace

const Attribute* StyleSet::describe(ElementFacts& facts, std::u16string_view name,
                                    std::span<const Attribute> attributes, bool keepAll) const {
  // Often the same name as last time at this depth.
  bool same = facts.name.size() == name.size();
  for (std::size_t i = 0; same && i < name.size(); ++i) same = facts.name[i] == name[i];
  if (!same) {
    facts.name.assign(name);
    facts.nameHash = Hash(name);
  }
  facts.id.clear();
  facts.classCount = 0;
  facts.attributeCount = 0;
  facts.hasHref = false;
  facts.droppedNames = facts.droppedAttributes = false;
  facts.generation = generation_;
  if (attributes.empty()) return nullptr;
  if (rules_.empty() && !keepAll) {
    facts.droppedNames = facts.droppedAttributes = true;
    for (const Attribute& attribute : attributes) {
      if (attribute.name == kStyleAttribute) return &attribute;
    }
    return nullptr;
  }
  const Attribute* style = nullptr;
  for (const Attribute& attribute : attributes) {
    const std::u16string_view attributeName = attribute.name;
    const std::u16string_view attributeValue = attribute.value;
    if (attributeName == kIdAttribute) {
      if (attributeValue.size() <= kMaxFactUnits && named(Hash(attributeValue))) {
        facts.id.assign(attributeValue);
      } else {
        facts.droppedNames = true;
      }
    } else if (attributeName == kClassAttribute) {
      std::size_t i = 0;
      while (i < attributeValue.size()) {
        while (i < attributeValue.size() && IsAsciiSpace(attributeValue[i])) ++i;
        std::uint64_t h = 14695981039346656037ull;
        std::size_t j = i;
        for (; j < attributeValue.size() && !IsAsciiSpace(attributeValue[j]); ++j) {
          h = (h ^ attributeValue[j]) * 1099511628211ull;
        }
        if (j > i) {
          if (j - i <= kMaxFactUnits && facts.classCount < kMaxClasses && named(h)) {
            if (facts.classes.size() == facts.classCount) facts.classes.emplace_back();
            facts.classes[facts.classCount++].assign(attributeValue.substr(i, j - i));
          } else {
            facts.droppedNames = true;
          }
        }
        i = j;
      }
    } else if (attributeName == kStyleAttribute) {
      style = &attribute;
    } else if (attributeName == kHrefAttribute) {
      facts.hasHref = true;
    }
    if (!testedAttributes_.empty() && attributeValue.size() <= kMaxFactUnits &&
        testsAttribute(attributeName)) {
      if (facts.attributes.size() == facts.attributeCount) facts.attributes.emplace_back();
      auto& kept = facts.attributes[facts.attributeCount++];
      kept.first.assign(attributeName);
      kept.second.assign(attributeValue);
    } else {
      facts.droppedAttributes = true;
    }
  }
  return style;
}

Declared StyleSet::cascade(std::span<const ElementFacts> path,
                           std::u16string_view inlineStyle) const {
  Declared declared{};
  std::array<std::uint64_t, kProperties> winner{};
  const std::size_t at = path.size() - 1;
  const ElementFacts& element = path[at];
  int elementBudget = kElementBudget;
  const auto consider = [&](std::uint32_t r) {
    const Rule& rule = rules_[r];
    int budget = std::min(kMatchBudget, elementBudget);
    if (budget <= 0) return;
    const bool matched =
        Matches(rule.selector, rule.selector.compounds.size() - 1, path, at, budget, generation_);
    elementBudget -= std::min(kMatchBudget, elementBudget) - std::max(budget, 0);
    if (!matched) return;
    const std::uint64_t base = (std::uint64_t{rule.specificity} << 32) |
                               (std::uint64_t{sheets_[rule.sheet].order} << 16) | (r & 0xFFFF);
    for (std::uint32_t d = 0; d < rule.declarationCount; ++d) {
      const Declaration& decl = declarations_[rule.firstDeclaration + d];
      const std::uint64_t key = base | (decl.important ? std::uint64_t{1} << 63 : 0) | 1;
      const auto p = static_cast<std::size_t>(decl.property);
      if (key >= winner[p]) {
        winner[p] = key;
        declared[p] = decl.value;
      }
    }
  };
  const auto bucket = [&](const std::unordered_map<std::uint64_t, std::vector<std::uint32_t>>& map,
                          std::u16string_view key) {
    const auto found = map.find(Hash(key));
    if (found == map.end()) return;
    for (std::uint32_t r : found->second) consider(r);
  };
  if (!rules_.empty()) {
    if (!element.id.empty()) bucket(byId_, element.id);
    for (std::size_t k = 0; k < element.classCount; ++k) {
      // A class given twice on one element is looked up once.
      bool repeated = false;
      for (std::size_t j = 0; j < k && !repeated; ++j)
        repeated = element.classes[j] == element.classes[k];
      if (!repeated) bucket(byClass_, element.classes[k]);
    }
    const std::uint64_t type = element.nameHash;
    if ((types_[(type >> 6) & 63] >> (type & 63)) & 1) {
      const auto found = byType_.find(type);
      if (found != byType_.end()) {
        for (std::uint32_t r : found->second) consider(r);
      }
    }
    for (std::uint32_t r : universal_) consider(r);
  }
  if (!inlineStyle.empty()) {
    // The style attribute beats every selector; !important ones still win
    // over its plain declarations.
    Declared own{};
    std::array<bool, kProperties> important{};
    ParseDeclarations(inlineStyle, own, important);
    for (std::size_t p = 0; p < kProperties; ++p) {
      if (own[p] == value::kNone) continue;
      const std::uint64_t key =
          (important[p] ? std::uint64_t{1} << 63 : 0) | (std::uint64_t{1} << 62);
      if (key >= winner[p]) {
        winner[p] = key;
        declared[p] = own[p];
      }
    }
  }
  return declared;
}

void ParseDeclarations(std::u16string_view text, Declared& out,
                       std::array<bool, kProperties>& important) {
  const Tokens tokens = Tokenize(text);
  ForEachDeclaration(Span{&tokens, 0, tokens.size()},
                     [&](Property p, std::uint8_t v, bool isImportant) {
                       const auto k = static_cast<std::size_t>(p);
                       if (important[k] && !isImportant) return;
                       out[k] = v;
                       important[k] = isImportant;
                     });
}

std::u16string ResolveLocation(std::u16string_view base, std::u16string_view location) {
  // A scheme: letters, digits, '+', '-', '.' before ':', starting with a letter.
  std::size_t k = 0;
  while (k < location.size() &&
         ((location[k] >= 'a' && location[k] <= 'z') ||
          (location[k] >= 'A' && location[k] <= 'Z') ||
          (k > 0 && ((location[k] >= '0' && location[k] <= '9') || location[k] == '+' ||
                     location[k] == '-' || location[k] == '.')))) {
    ++k;
  }
  const bool scheme = k > 0 && k < location.size() && location[k] == ':';
  if (scheme || location.empty() || location.front() == '/' || location.front() == '\\') {
    return std::u16string(location);
  }
  std::u16string_view folder = base;
  // The base's own query or fragment is not part of its folder.
  const std::size_t cut = folder.find_first_of(u"?#");
  if (cut != std::u16string_view::npos) folder = folder.substr(0, cut);
  const std::size_t slash = folder.find_last_of(u'/');
  folder = slash == std::u16string_view::npos ? std::u16string_view() : folder.substr(0, slash + 1);
  std::u16string out(folder);
  out.append(location);
  return out;
}

}  // namespace sievetext::layout::css
