#include "engine/layout/html_tokenizer.h"

#include <algorithm>
#include <cassert>
#include <cstddef>

#include "engine/layout/named_references.h"
#include "simd/simd.h"

namespace sievetext::layout {

enum class Tokenizer::State : std::uint8_t {
  Data,
  Rcdata,
  Rawtext,
  ScriptData,
  Plaintext,
  TagOpen,
  EndTagOpen,
  TagName,
  RcdataLessThan,
  RcdataEndTagOpen,
  RcdataEndTagName,
  RawtextLessThan,
  RawtextEndTagOpen,
  RawtextEndTagName,
  ScriptDataLessThan,
  ScriptDataEndTagOpen,
  ScriptDataEndTagName,
  ScriptDataEscapeStart,
  ScriptDataEscapeStartDash,
  ScriptDataEscaped,
  ScriptDataEscapedDash,
  ScriptDataEscapedDashDash,
  ScriptDataEscapedLessThan,
  ScriptDataEscapedEndTagOpen,
  ScriptDataEscapedEndTagName,
  ScriptDataDoubleEscapeStart,
  ScriptDataDoubleEscaped,
  ScriptDataDoubleEscapedDash,
  ScriptDataDoubleEscapedDashDash,
  ScriptDataDoubleEscapedLessThan,
  ScriptDataDoubleEscapeEnd,
  BeforeAttributeName,
  AttributeName,
  AfterAttributeName,
  BeforeAttributeValue,
  AttributeValueDoubleQuoted,
  AttributeValueSingleQuoted,
  AttributeValueUnquoted,
  AfterAttributeValueQuoted,
  SelfClosingStartTag,
  BogusComment,
  MarkupDeclarationOpen,
  CommentStart,
  CommentStartDash,
  Comment,
  CommentLessThan,
  CommentLessThanBang,
  CommentLessThanBangDash,
  CommentLessThanBangDashDash,
  CommentEndDash,
  CommentEnd,
  CommentEndBang,
  Doctype,
  BeforeDoctypeName,
  DoctypeName,
  AfterDoctypeName,
  DoctypeKeyword,
  AfterDoctypePublicKeyword,
  BeforeDoctypePublicIdentifier,
  DoctypePublicIdentifierDoubleQuoted,
  DoctypePublicIdentifierSingleQuoted,
  AfterDoctypePublicIdentifier,
  BetweenDoctypePublicAndSystemIdentifiers,
  AfterDoctypeSystemKeyword,
  BeforeDoctypeSystemIdentifier,
  DoctypeSystemIdentifierDoubleQuoted,
  DoctypeSystemIdentifierSingleQuoted,
  AfterDoctypeSystemIdentifier,
  BogusDoctype,
  CdataSection,
  CdataSectionBracket,
  CdataSectionEnd,
  CharacterReference,
  NamedCharacterReference,
  AmbiguousAmpersand,
  NumericCharacterReference,
  HexadecimalCharacterReferenceStart,
  DecimalCharacterReferenceStart,
  HexadecimalCharacterReference,
  DecimalCharacterReference,
};

namespace {

using State = Tokenizer::State;

constexpr char16_t kReplacement = 0xFFFD;

inline bool IsWhitespace(char16_t c) { return c == '\t' || c == '\n' || c == '\f' || c == ' '; }
inline bool IsUpper(char16_t c) { return c >= 'A' && c <= 'Z'; }
inline bool IsLower(char16_t c) { return c >= 'a' && c <= 'z'; }
inline bool IsAlpha(char16_t c) { return IsUpper(c) || IsLower(c); }
inline bool IsDigit(char16_t c) { return c >= '0' && c <= '9'; }
inline bool IsAlnum(char16_t c) { return IsAlpha(c) || IsDigit(c); }
inline bool IsHexDigit(char16_t c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline char16_t Lower(char16_t c) { return IsUpper(c) ? static_cast<char16_t>(c + 0x20) : c; }

inline void Append(std::u16string& s, char16_t c) {
  if (s.size() < Tokenizer::kMaxHeldUnits) s.push_back(c);
}
inline void Append(std::u16string& s, std::u16string_view text) {
  const std::size_t room = Tokenizer::kMaxHeldUnits - std::min(s.size(), Tokenizer::kMaxHeldUnits);
  s.append(text.substr(0, room));
}

// The first unit in [p, end) that is a, b or c (end when none is): the
// text runs of most states end only at one of a few units.
inline const char16_t* FindAny(const char16_t* p, const char16_t* const end, char16_t a, char16_t b,
                               char16_t c) {
#if SIEVETEXT_SIMD
  const simd::Units va = simd::Splat(a), vb = simd::Splat(b), vc = simd::Splat(c);
  for (; end - p >= 8; p += 8) {
    const simd::Units v = simd::Load(p);
    const int mask = simd::ByteMask(
        simd::Or(simd::Or(simd::Equal(v, va), simd::Equal(v, vb)), simd::Equal(v, vc)));
    if (mask != 0) return p + simd::FirstLane(mask);
  }
#endif
  while (p < end && *p != a && *p != b && *p != c) ++p;
  return p;
}

// The standard's replacements for numeric references to 80..9F.
constexpr char16_t kC1Replacements[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// `code` as UTF-16 at `out` (room for two); returns the units written.
std::size_t ToUtf16(char32_t code, char16_t* out) {
  if (code < 0x10000) {
    out[0] = static_cast<char16_t>(code);
    return 1;
  }
  code -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (code >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  return 2;
}

// Does `text` (lower-cased by the caller where letter case does not count)
// start `word`?
bool Starts(std::u16string_view text, std::u16string_view word) {
  return text.size() <= word.size() && word.substr(0, text.size()) == text;
}

}  // namespace

const std::u16string* Tag::find(std::u16string_view attributeName) const {
  for (const Attribute& attribute : attributes) {
    if (attribute.name == attributeName) return &attribute.value;
  }
  return nullptr;
}

Tokenizer::Tokenizer(TokenSink& sink, Options options)
    : sink_(sink), options_(options), state_(State::Data), returnState_(State::Data) {}

void Tokenizer::switchTo(TextState state) {
  switch (state) {
    case TextState::Data:
      state_ = State::Data;
      break;
    case TextState::Rcdata:
      state_ = State::Rcdata;
      break;
    case TextState::Rawtext:
      state_ = State::Rawtext;
      break;
    case TextState::ScriptData:
      state_ = State::ScriptData;
      break;
    case TextState::Plaintext:
      state_ = State::Plaintext;
      break;
    case TextState::CdataSection:
      state_ = State::CdataSection;
      break;
  }
}

void Tokenizer::setLastStartTag(std::u16string_view name) {
  lastStartTag_.assign(name.substr(0, kMaxHeldUnits));
}

void Tokenizer::feed(std::u16string_view piece) {
  const char16_t* p = piece.data();
  const char16_t* const end = p + piece.size();
  if (skipNewline_ && p < end) {
    skipNewline_ = false;
    if (*p == '\n') ++p;
  }
  static constexpr char16_t kNewline = '\n';
  while (p < end) {
    const char16_t* cr = FindAny(p, end, '\r', '\r', '\r');
    run(p, cr);
    if (cr == end) break;
    run(&kNewline, &kNewline + 1);
    p = cr + 1;
    if (p == end) {
      skipNewline_ = true;
    } else if (*p == '\n') {
      ++p;
    }
  }
}

void Tokenizer::startTag(bool end) {
  tagName_.clear();
  attributeCount_ = 0;
  attributeDropped_ = false;
  endTag_ = end;
  selfClosing_ = false;
}

void Tokenizer::startAttribute() {
  if (attributeCount_ == kMaxAttributes) {
    attributeDropped_ = true;
    return;
  }
  attributeDropped_ = false;
  if (attributeCount_ == attributes_.size()) attributes_.emplace_back();
  attributes_[attributeCount_].name.clear();
  attributes_[attributeCount_].value.clear();
  ++attributeCount_;
}

void Tokenizer::appendAttributeName(char16_t c) {
  if (!attributeDropped_) Append(attributes_[attributeCount_ - 1].name, c);
}

void Tokenizer::appendAttributeValue(char16_t c) {
  if (!attributeDropped_) Append(attributes_[attributeCount_ - 1].value, c);
}

void Tokenizer::finishAttributeName() {
  if (attributeDropped_ || attributeCount_ == 0) return;
  const std::u16string& name = attributes_[attributeCount_ - 1].name;
  for (std::size_t i = 0; i + 1 < attributeCount_; ++i) {
    if (attributes_[i].name == name) {
      // A repeated name: the first one counts, this one is dropped.
      --attributeCount_;
      attributeDropped_ = true;
      return;
    }
  }
}

void Tokenizer::emitTag() {
  state_ = State::Data;
  Tag tag;
  tag.name = tagName_;
  tag.attributes = std::span<const Attribute>(attributes_.data(), attributeCount_);
  tag.selfClosing = selfClosing_;
  if (endTag_) {
    sink_.endTag(tag);
  } else {
    lastStartTag_ = tagName_;
    sink_.startTag(tag);
  }
}

void Tokenizer::emitComment() {
  sink_.comment(comment_);
  comment_.clear();
}

void Tokenizer::emitDoctype() {
  sink_.doctype(doctype_);
  doctype_ = Doctype{};
}

bool Tokenizer::appropriateEndTag() const { return tagName_ == lastStartTag_; }

void Tokenizer::flushTemporary() {
  emit(u"</");
  emit(temporary_);
}

bool Tokenizer::inAttribute() const {
  return returnState_ == State::AttributeValueDoubleQuoted ||
         returnState_ == State::AttributeValueSingleQuoted ||
         returnState_ == State::AttributeValueUnquoted;
}

void Tokenizer::flushReference(std::u16string_view text) {
  if (inAttribute()) {
    for (char16_t c : text) appendAttributeValue(c);
  } else if (!text.empty()) {
    emit(text);
  }
}

void Tokenizer::referenceCodePoint(std::uint32_t code) {
  char16_t units[2];
  flushReference(std::u16string_view(units, ToUtf16(code, units)));
}

void Tokenizer::numericEnd() {
  std::uint32_t code = code_;
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    code = kReplacement;
  } else if (code >= 0x80 && code <= 0x9F) {
    code = kC1Replacements[code - 0x80];
  }
  referenceCodePoint(code);
  state_ = returnState_;
}

void Tokenizer::namedStep(char16_t c, bool atEnd) {
  const std::span<const NamedReference> rows = NamedReferences();
  const std::size_t k = referenceLength_;
  if (!atEnd && k < sizeof referenceName_ / sizeof referenceName_[0]) {
    std::size_t begin = rowsBegin_;
    if (begin < rowsEnd_ && rows[begin].name.size() == k) ++begin;  // the name itself
    const auto rowsFrom = rows.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto rowsTo = rows.begin() + static_cast<std::ptrdiff_t>(rowsEnd_);
    const auto first = std::lower_bound(
        rowsFrom, rowsTo, c,
        [k](const NamedReference& row, char16_t unit) { return row.name[k] < unit; });
    const auto last = std::upper_bound(
        first, rowsTo, c,
        [k](char16_t unit, const NamedReference& row) { return unit < row.name[k]; });
    if (first != last) {
      referenceName_[referenceLength_++] = c;
      rowsBegin_ = static_cast<std::size_t>(first - rows.begin());
      rowsEnd_ = static_cast<std::size_t>(last - rows.begin());
      if (first->name.size() == k + 1) {
        matchRow_ = rowsBegin_;
        matchLength_ = k + 1;
      }
      return;  // consumed
    }
  }
  // No row goes on with `c`: the longest full name seen is the reference.
  const std::u16string_view consumed(referenceName_, referenceLength_);
  if (matchLength_ == 0) {
    if (inAttribute())
      appendAttributeValue('&');
    else
      emit('&');
    flushReference(consumed);
    state_ = State::AmbiguousAmpersand;
    return;
  }
  const NamedReference& row = rows[matchRow_];
  const char16_t next =
      matchLength_ < referenceLength_ ? referenceName_[matchLength_] : (atEnd ? char16_t{0} : c);
  const bool nextContinues = !atEnd || matchLength_ < referenceLength_;
  if (inAttribute() && row.name.back() != ';' && nextContinues && (next == '=' || IsAlnum(next))) {
    // Left as written, for old pages' query strings ("?a=1&copy=2").
    appendAttributeValue('&');
    flushReference(consumed);
  } else {
    char16_t units[4];
    std::size_t n = ToUtf16(row.first, units);
    if (row.second != 0) n += ToUtf16(row.second, units + n);
    flushReference(std::u16string_view(units, n));
    flushReference(consumed.substr(matchLength_));
  }
  state_ = returnState_;
}

void Tokenizer::run(const char16_t* p, const char16_t* const end) {
  while (p < end) {
    char16_t c = *p;
    switch (state_) {
      case State::Data: {
        const char16_t* const q = FindAny(p, end, '<', options_.decodeReferences ? '&' : '<', 0);
        if (q > p) {
          emit(std::u16string_view(p, static_cast<std::size_t>(q - p)));
          p = q;
          if (p == end) continue;
          c = *p;  // what ended the run: handled below, in this round
        }
        ++p;
        if (c == '&') {
          returnState_ = State::Data;
          state_ = State::CharacterReference;
        } else if (c == '<') {
          // A tag's name right after "<" or "</" is the common case: it skips
          // the round in the tag-open states, which would do just this.
          if (p < end && IsAlpha(*p)) {
            startTag(false);
            state_ = State::TagName;
          } else if (end - p >= 2 && p[0] == '/' && IsAlpha(p[1])) {
            ++p;
            startTag(true);
            state_ = State::TagName;
          } else {
            state_ = State::TagOpen;
          }
        } else {
          emit(c);  // U+0000, for the tree builder to drop
        }
        continue;
      }
      case State::Rcdata:
      case State::Rawtext:
      case State::ScriptData:
      case State::Plaintext: {
        const bool references = state_ == State::Rcdata && options_.decodeReferences;
        const bool tags = state_ != State::Plaintext;
        const char16_t* const q = FindAny(p, end, 0, tags ? '<' : 0, references ? '&' : 0);
        if (q > p) {
          emit(std::u16string_view(p, static_cast<std::size_t>(q - p)));
          p = q;
          continue;
        }
        ++p;
        if (c == 0) {
          emit(kReplacement);
        } else if (c == '&') {
          returnState_ = State::Rcdata;
          state_ = State::CharacterReference;
        } else if (state_ == State::Rcdata) {
          state_ = State::RcdataLessThan;
        } else if (state_ == State::Rawtext) {
          state_ = State::RawtextLessThan;
        } else {
          state_ = State::ScriptDataLessThan;
        }
        continue;
      }
      case State::TagOpen:
        if (c == '!') {
          state_ = State::MarkupDeclarationOpen;
          declarationLength_ = 0;
          ++p;
        } else if (c == '/') {
          state_ = State::EndTagOpen;
          ++p;
        } else if (IsAlpha(c)) {
          startTag(false);
          state_ = State::TagName;
        } else if (c == '?') {
          comment_.clear();
          state_ = State::BogusComment;
        } else {
          emit('<');
          state_ = State::Data;
        }
        continue;
      case State::EndTagOpen:
        if (IsAlpha(c)) {
          startTag(true);
          state_ = State::TagName;
        } else if (c == '>') {
          state_ = State::Data;
          ++p;
        } else {
          comment_.clear();
          state_ = State::BogusComment;
        }
        continue;
      case State::TagName: {
        // The common case, a run of lower-case letters, in one go.
        const char16_t* q = p;
        while (q < end && IsLower(*q)) ++q;
        if (q > p) {
          Append(tagName_, std::u16string_view(p, static_cast<std::size_t>(q - p)));
          p = q;
          if (p == end) continue;
          c = *p;  // what ended the run: handled below, in this round
        }
        ++p;
        if (IsWhitespace(c)) {
          state_ = State::BeforeAttributeName;
        } else if (c == '/') {
          state_ = State::SelfClosingStartTag;
        } else if (c == '>') {
          emitTag();
        } else {
          Append(tagName_, c == 0 ? kReplacement : Lower(c));
        }
        continue;
      }
      case State::RcdataLessThan:
      case State::RawtextLessThan:
        if (c == '/') {
          temporary_.clear();
          state_ =
              state_ == State::RcdataLessThan ? State::RcdataEndTagOpen : State::RawtextEndTagOpen;
          ++p;
        } else {
          emit('<');
          state_ = state_ == State::RcdataLessThan ? State::Rcdata : State::Rawtext;
        }
        continue;
      case State::RcdataEndTagOpen:
      case State::RawtextEndTagOpen:
      case State::ScriptDataEndTagOpen:
      case State::ScriptDataEscapedEndTagOpen:
        if (IsAlpha(c)) {
          startTag(true);
          state_ = state_ == State::RcdataEndTagOpen       ? State::RcdataEndTagName
                   : state_ == State::RawtextEndTagOpen    ? State::RawtextEndTagName
                   : state_ == State::ScriptDataEndTagOpen ? State::ScriptDataEndTagName
                                                           : State::ScriptDataEscapedEndTagName;
        } else {
          emit(u"</");
          state_ = state_ == State::RcdataEndTagOpen       ? State::Rcdata
                   : state_ == State::RawtextEndTagOpen    ? State::Rawtext
                   : state_ == State::ScriptDataEndTagOpen ? State::ScriptData
                                                           : State::ScriptDataEscaped;
        }
        continue;
      case State::RcdataEndTagName:
      case State::RawtextEndTagName:
      case State::ScriptDataEndTagName:
      case State::ScriptDataEscapedEndTagName: {
        const State text = state_ == State::RcdataEndTagName       ? State::Rcdata
                           : state_ == State::RawtextEndTagName    ? State::Rawtext
                           : state_ == State::ScriptDataEndTagName ? State::ScriptData
                                                                   : State::ScriptDataEscaped;
        if (IsAlpha(c) && temporary_.size() < lastStartTag_.size()) {
          tagName_.push_back(Lower(c));
          temporary_.push_back(c);
          ++p;
          continue;
        }
        if (IsAlpha(c)) {
          // Longer than the last start tag's name: not the end tag.
          flushTemporary();
          state_ = text;
          continue;
        }
        if (appropriateEndTag()) {
          if (IsWhitespace(c)) {
            state_ = State::BeforeAttributeName;
            ++p;
            continue;
          }
          if (c == '/') {
            state_ = State::SelfClosingStartTag;
            ++p;
            continue;
          }
          if (c == '>') {
            ++p;
            emitTag();
            continue;
          }
        }
        flushTemporary();
        state_ = text;
        continue;
      }
      case State::ScriptDataLessThan:
        if (c == '/') {
          temporary_.clear();
          state_ = State::ScriptDataEndTagOpen;
          ++p;
        } else if (c == '!') {
          state_ = State::ScriptDataEscapeStart;
          emit(u"<!");
          ++p;
        } else {
          emit('<');
          state_ = State::ScriptData;
        }
        continue;
      case State::ScriptDataEscapeStart:
      case State::ScriptDataEscapeStartDash:
        if (c == '-') {
          state_ = state_ == State::ScriptDataEscapeStart ? State::ScriptDataEscapeStartDash
                                                          : State::ScriptDataEscapedDashDash;
          emit('-');
          ++p;
        } else {
          state_ = State::ScriptData;
        }
        continue;
      case State::ScriptDataEscaped:
      case State::ScriptDataEscapedDash:
      case State::ScriptDataEscapedDashDash:
        ++p;
        if (c == '-') {
          if (state_ == State::ScriptDataEscaped)
            state_ = State::ScriptDataEscapedDash;
          else
            state_ = State::ScriptDataEscapedDashDash;
          emit('-');
        } else if (c == '<') {
          state_ = State::ScriptDataEscapedLessThan;
        } else if (c == '>' && state_ == State::ScriptDataEscapedDashDash) {
          state_ = State::ScriptData;
          emit('>');
        } else {
          state_ = State::ScriptDataEscaped;
          emit(c == 0 ? kReplacement : c);
        }
        continue;
      case State::ScriptDataEscapedLessThan:
        if (c == '/') {
          temporary_.clear();
          state_ = State::ScriptDataEscapedEndTagOpen;
          ++p;
        } else if (IsAlpha(c)) {
          temporary_.clear();
          emit('<');
          state_ = State::ScriptDataDoubleEscapeStart;
        } else {
          emit('<');
          state_ = State::ScriptDataEscaped;
        }
        continue;
      case State::ScriptDataDoubleEscapeStart:
      case State::ScriptDataDoubleEscapeEnd: {
        const bool starting = state_ == State::ScriptDataDoubleEscapeStart;
        if (IsWhitespace(c) || c == '/' || c == '>') {
          const bool script = temporary_ == u"script";
          state_ = starting == script ? State::ScriptDataDoubleEscaped : State::ScriptDataEscaped;
          emit(c);
          ++p;
        } else if (IsAlpha(c)) {
          if (temporary_.size() < 8) temporary_.push_back(Lower(c));
          emit(c);
          ++p;
        } else {
          state_ = starting ? State::ScriptDataEscaped : State::ScriptDataDoubleEscaped;
        }
        continue;
      }
      case State::ScriptDataDoubleEscaped:
      case State::ScriptDataDoubleEscapedDash:
      case State::ScriptDataDoubleEscapedDashDash:
        ++p;
        if (c == '-') {
          if (state_ == State::ScriptDataDoubleEscaped)
            state_ = State::ScriptDataDoubleEscapedDash;
          else
            state_ = State::ScriptDataDoubleEscapedDashDash;
          emit('-');
        } else if (c == '<') {
          state_ = State::ScriptDataDoubleEscapedLessThan;
          emit('<');
        } else if (c == '>' && state_ == State::ScriptDataDoubleEscapedDashDash) {
          state_ = State::ScriptData;
          emit('>');
        } else {
          state_ = State::ScriptDataDoubleEscaped;
          emit(c == 0 ? kReplacement : c);
        }
        continue;
      case State::ScriptDataDoubleEscapedLessThan:
        if (c == '/') {
          temporary_.clear();
          state_ = State::ScriptDataDoubleEscapeEnd;
          emit('/');
          ++p;
        } else {
          state_ = State::ScriptDataDoubleEscaped;
        }
        continue;
      case State::BeforeAttributeName:
        if (IsWhitespace(c)) {
          ++p;
          continue;
        }
        if (c == '/' || c == '>') {
          state_ = State::AfterAttributeName;
          continue;
        }
        startAttribute();
        state_ = State::AttributeName;
        if (c == '=') {
          appendAttributeName(c);
          ++p;
          continue;
        }
        [[fallthrough]];  // the name starts at `p`: scanned in this round
      case State::AttributeName: {
        const char16_t* q = p;
        while (q < end && (IsLower(*q) || *q == '-')) ++q;
        if (q > p) {
          if (!attributeDropped_) {
            Append(attributes_[attributeCount_ - 1].name,
                   std::u16string_view(p, static_cast<std::size_t>(q - p)));
          }
          p = q;
          if (p == end) continue;
          c = *p;  // what ended the run: handled below, in this round
        }
        if (IsWhitespace(c) || c == '/' || c == '>') {
          finishAttributeName();
          state_ = State::AfterAttributeName;
        } else if (c == '=') {
          finishAttributeName();
          state_ = State::BeforeAttributeValue;
          ++p;
        } else {
          appendAttributeName(c == 0 ? kReplacement : Lower(c));
          ++p;
        }
        continue;
      }
      case State::AfterAttributeName:
        if (IsWhitespace(c)) {
          ++p;
        } else if (c == '/') {
          state_ = State::SelfClosingStartTag;
          ++p;
        } else if (c == '=') {
          state_ = State::BeforeAttributeValue;
          ++p;
        } else if (c == '>') {
          ++p;
          emitTag();
        } else {
          startAttribute();
          state_ = State::AttributeName;
        }
        continue;
      case State::BeforeAttributeValue:
        if (IsWhitespace(c)) {
          ++p;
          continue;
        }
        if (c == '>') {
          ++p;
          emitTag();
          continue;
        }
        if (c != '"' && c != '\'') {
          state_ = State::AttributeValueUnquoted;
          continue;
        }
        state_ = c == '"' ? State::AttributeValueDoubleQuoted : State::AttributeValueSingleQuoted;
        ++p;
        if (p == end) continue;
        c = *p;
        [[fallthrough]];  // the value starts at `p`: scanned in this round
      case State::AttributeValueDoubleQuoted:
      case State::AttributeValueSingleQuoted: {
        const char16_t quote = state_ == State::AttributeValueDoubleQuoted ? '"' : '\'';
        const bool references = options_.decodeReferences;
        const char16_t* const q = FindAny(p, end, quote, 0, references ? '&' : 0);
        if (q > p) {
          if (!attributeDropped_) {
            Append(attributes_[attributeCount_ - 1].value,
                   std::u16string_view(p, static_cast<std::size_t>(q - p)));
          }
          p = q;
          if (p == end) continue;
          c = *p;  // what ended the run: handled below, in this round
        }
        ++p;
        if (c == quote) {
          state_ = State::AfterAttributeValueQuoted;
        } else if (c == '&') {
          returnState_ = state_;
          state_ = State::CharacterReference;
        } else {
          appendAttributeValue(kReplacement);
        }
        continue;
      }
      case State::AttributeValueUnquoted:
        ++p;
        if (IsWhitespace(c)) {
          state_ = State::BeforeAttributeName;
        } else if (c == '&' && options_.decodeReferences) {
          returnState_ = state_;
          state_ = State::CharacterReference;
        } else if (c == '>') {
          emitTag();
        } else {
          appendAttributeValue(c == 0 ? kReplacement : c);
        }
        continue;
      case State::AfterAttributeValueQuoted:
        if (IsWhitespace(c)) {
          state_ = State::BeforeAttributeName;
          ++p;
        } else if (c == '/') {
          state_ = State::SelfClosingStartTag;
          ++p;
        } else if (c == '>') {
          ++p;
          emitTag();
        } else {
          state_ = State::BeforeAttributeName;
        }
        continue;
      case State::SelfClosingStartTag:
        if (c == '>') {
          selfClosing_ = true;
          ++p;
          emitTag();
        } else {
          state_ = State::BeforeAttributeName;
        }
        continue;
      case State::BogusComment: {
        const char16_t* const q = FindAny(p, end, '>', 0, 0);
        if (q > p) {
          Append(comment_, std::u16string_view(p, static_cast<std::size_t>(q - p)));
          p = q;
          if (p == end) continue;
          c = *p;  // what ended the run: handled below, in this round
        }
        ++p;
        if (c == '>') {
          state_ = State::Data;
          emitComment();
        } else {
          Append(comment_, kReplacement);
        }
        continue;
      }
      case State::MarkupDeclarationOpen: {
        // Decided once what follows "<!" can no longer start "--", DOCTYPE
        // (any letter case) or [CDATA[ (exact).
        declaration_[declarationLength_] = c;
        const std::u16string_view seen(declaration_, declarationLength_ + 1);
        std::u16string_view lowered;
        char16_t lower[8];
        for (std::size_t i = 0; i < seen.size(); ++i) lower[i] = Lower(seen[i]);
        lowered = std::u16string_view(lower, seen.size());
        if (Starts(seen, u"--")) {
          ++p;
          if (seen.size() == 2) {
            comment_.clear();
            state_ = State::CommentStart;
          } else {
            ++declarationLength_;
          }
        } else if (Starts(lowered, u"doctype")) {
          ++p;
          if (seen.size() == 7)
            state_ = State::Doctype;
          else
            ++declarationLength_;
        } else if (Starts(seen, u"[CDATA[")) {
          ++p;
          if (seen.size() < 7) {
            ++declarationLength_;
          } else if (allowCdata_) {
            state_ = State::CdataSection;
          } else {
            comment_.assign(u"[CDATA[");
            state_ = State::BogusComment;
          }
        } else {
          // Not consumed: the units seen before `c` begin a bogus comment.
          comment_.assign(declaration_, declarationLength_);
          state_ = State::BogusComment;
        }
        continue;
      }
      case State::CommentStart:
        if (c == '-') {
          state_ = State::CommentStartDash;
          ++p;
        } else if (c == '>') {
          ++p;
          state_ = State::Data;
          emitComment();
        } else {
          state_ = State::Comment;
        }
        continue;
      case State::CommentStartDash:
        if (c == '-') {
          state_ = State::CommentEnd;
          ++p;
        } else if (c == '>') {
          ++p;
          state_ = State::Data;
          emitComment();
        } else {
          Append(comment_, '-');
          state_ = State::Comment;
        }
        continue;
      case State::Comment: {
        const char16_t* const q = FindAny(p, end, '<', '-', 0);
        if (q > p) {
          Append(comment_, std::u16string_view(p, static_cast<std::size_t>(q - p)));
          p = q;
          if (p == end) continue;
          c = *p;  // what ended the run: handled below, in this round
        }
        ++p;
        if (c == '<') {
          Append(comment_, c);
          state_ = State::CommentLessThan;
        } else if (c == '-') {
          state_ = State::CommentEndDash;
        } else {
          Append(comment_, kReplacement);
        }
        continue;
      }
      case State::CommentLessThan:
        if (c == '!') {
          Append(comment_, c);
          state_ = State::CommentLessThanBang;
          ++p;
        } else if (c == '<') {
          Append(comment_, c);
          ++p;
        } else {
          state_ = State::Comment;
        }
        continue;
      case State::CommentLessThanBang:
        if (c == '-') {
          state_ = State::CommentLessThanBangDash;
          ++p;
        } else {
          state_ = State::Comment;
        }
        continue;
      case State::CommentLessThanBangDash:
        if (c == '-') {
          state_ = State::CommentLessThanBangDashDash;
          ++p;
        } else {
          state_ = State::CommentEndDash;
        }
        continue;
      case State::CommentLessThanBangDashDash:
        state_ = State::CommentEnd;  // '>' or not (a parse error), reconsumed there
        continue;
      case State::CommentEndDash:
        if (c == '-') {
          state_ = State::CommentEnd;
          ++p;
        } else {
          Append(comment_, '-');
          state_ = State::Comment;
        }
        continue;
      case State::CommentEnd:
        if (c == '>') {
          ++p;
          state_ = State::Data;
          emitComment();
        } else if (c == '!') {
          state_ = State::CommentEndBang;
          ++p;
        } else if (c == '-') {
          Append(comment_, '-');
          ++p;
        } else {
          Append(comment_, u"--");
          state_ = State::Comment;
        }
        continue;
      case State::CommentEndBang:
        if (c == '-') {
          Append(comment_, u"--!");
          state_ = State::CommentEndDash;
          ++p;
        } else if (c == '>') {
          ++p;
          state_ = State::Data;
          emitComment();
        } else {
          Append(comment_, u"--!");
          state_ = State::Comment;
        }
        continue;
      case State::Doctype:
        if (IsWhitespace(c)) ++p;
        state_ = State::BeforeDoctypeName;
        continue;
      case State::BeforeDoctypeName:
        ++p;
        if (IsWhitespace(c)) continue;
        doctype_ = Doctype{};
        if (c == '>') {
          doctype_.forceQuirks = true;
          state_ = State::Data;
          emitDoctype();
          continue;
        }
        doctype_.hasName = true;
        Append(doctype_.name, c == 0 ? kReplacement : Lower(c));
        state_ = State::DoctypeName;
        continue;
      case State::DoctypeName:
        ++p;
        if (IsWhitespace(c)) {
          state_ = State::AfterDoctypeName;
        } else if (c == '>') {
          state_ = State::Data;
          emitDoctype();
        } else {
          Append(doctype_.name, c == 0 ? kReplacement : Lower(c));
        }
        continue;
      case State::AfterDoctypeName:
        if (IsWhitespace(c)) {
          ++p;
        } else if (c == '>') {
          ++p;
          state_ = State::Data;
          emitDoctype();
        } else {
          declarationLength_ = 0;
          state_ = State::DoctypeKeyword;
        }
        continue;
      case State::DoctypeKeyword: {
        // "PUBLIC" or "SYSTEM" in any letter case, else a bogus doctype.
        declaration_[declarationLength_] = Lower(c);
        const std::u16string_view seen(declaration_, declarationLength_ + 1);
        if (Starts(seen, u"public") || Starts(seen, u"system")) {
          ++p;
          if (seen.size() < 6) {
            ++declarationLength_;
          } else {
            state_ = seen == u"public" ? State::AfterDoctypePublicKeyword
                                       : State::AfterDoctypeSystemKeyword;
          }
        } else {
          doctype_.forceQuirks = true;
          state_ = State::BogusDoctype;
        }
        continue;
      }
      case State::AfterDoctypePublicKeyword:
      case State::BeforeDoctypePublicIdentifier:
      case State::AfterDoctypeSystemKeyword:
      case State::BeforeDoctypeSystemIdentifier: {
        const bool publicId = state_ == State::AfterDoctypePublicKeyword ||
                              state_ == State::BeforeDoctypePublicIdentifier;
        const bool keyword = state_ == State::AfterDoctypePublicKeyword ||
                             state_ == State::AfterDoctypeSystemKeyword;
        if (IsWhitespace(c)) {
          ++p;
          if (keyword) {
            state_ = publicId ? State::BeforeDoctypePublicIdentifier
                              : State::BeforeDoctypeSystemIdentifier;
          }
        } else if (c == '"' || c == '\'') {
          ++p;
          if (publicId) {
            doctype_.hasPublicId = true;
            doctype_.publicId.clear();
            state_ = c == '"' ? State::DoctypePublicIdentifierDoubleQuoted
                              : State::DoctypePublicIdentifierSingleQuoted;
          } else {
            doctype_.hasSystemId = true;
            doctype_.systemId.clear();
            state_ = c == '"' ? State::DoctypeSystemIdentifierDoubleQuoted
                              : State::DoctypeSystemIdentifierSingleQuoted;
          }
        } else if (c == '>') {
          ++p;
          doctype_.forceQuirks = true;
          state_ = State::Data;
          emitDoctype();
        } else {
          doctype_.forceQuirks = true;
          state_ = State::BogusDoctype;
        }
        continue;
      }
      case State::DoctypePublicIdentifierDoubleQuoted:
      case State::DoctypePublicIdentifierSingleQuoted:
      case State::DoctypeSystemIdentifierDoubleQuoted:
      case State::DoctypeSystemIdentifierSingleQuoted: {
        const bool publicId = state_ == State::DoctypePublicIdentifierDoubleQuoted ||
                              state_ == State::DoctypePublicIdentifierSingleQuoted;
        const char16_t quote = state_ == State::DoctypePublicIdentifierDoubleQuoted ||
                                       state_ == State::DoctypeSystemIdentifierDoubleQuoted
                                   ? '"'
                                   : '\'';
        ++p;
        if (c == quote) {
          state_ =
              publicId ? State::AfterDoctypePublicIdentifier : State::AfterDoctypeSystemIdentifier;
        } else if (c == '>') {
          doctype_.forceQuirks = true;
          state_ = State::Data;
          emitDoctype();
        } else {
          Append(publicId ? doctype_.publicId : doctype_.systemId, c == 0 ? kReplacement : c);
        }
        continue;
      }
      case State::AfterDoctypePublicIdentifier:
      case State::BetweenDoctypePublicAndSystemIdentifiers:
        ++p;
        if (IsWhitespace(c)) {
          state_ = State::BetweenDoctypePublicAndSystemIdentifiers;
        } else if (c == '>') {
          state_ = State::Data;
          emitDoctype();
        } else if (c == '"' || c == '\'') {
          doctype_.hasSystemId = true;
          doctype_.systemId.clear();
          state_ = c == '"' ? State::DoctypeSystemIdentifierDoubleQuoted
                            : State::DoctypeSystemIdentifierSingleQuoted;
        } else {
          --p;
          doctype_.forceQuirks = true;
          state_ = State::BogusDoctype;
        }
        continue;
      case State::AfterDoctypeSystemIdentifier:
        if (IsWhitespace(c)) {
          ++p;
        } else if (c == '>') {
          ++p;
          state_ = State::Data;
          emitDoctype();
        } else {
          state_ = State::BogusDoctype;  // not quirks
        }
        continue;
      case State::BogusDoctype:
        ++p;
        if (c == '>') {
          state_ = State::Data;
          emitDoctype();
        }
        continue;
      case State::CdataSection: {
        const char16_t* const q = FindAny(p, end, ']', ']', ']');
        if (q > p) {
          emit(std::u16string_view(p, static_cast<std::size_t>(q - p)));
          p = q;
          continue;
        }
        ++p;
        state_ = State::CdataSectionBracket;
        continue;
      }
      case State::CdataSectionBracket:
        if (c == ']') {
          state_ = State::CdataSectionEnd;
          ++p;
        } else {
          emit(']');
          state_ = State::CdataSection;
        }
        continue;
      case State::CdataSectionEnd:
        if (c == ']') {
          emit(']');
          ++p;
        } else if (c == '>') {
          state_ = State::Data;
          ++p;
        } else {
          emit(u"]]");
          state_ = State::CdataSection;
        }
        continue;
      case State::CharacterReference:
        if (IsAlnum(c)) {
          referenceLength_ = 0;
          rowsBegin_ = 0;
          rowsEnd_ = NamedReferences().size();
          matchLength_ = 0;
          state_ = State::NamedCharacterReference;
        } else if (c == '#') {
          code_ = 0;
          ++p;
          state_ = State::NumericCharacterReference;
        } else {
          flushReference(u"&");
          state_ = returnState_;
        }
        continue;
      case State::NamedCharacterReference: {
        const std::size_t before = referenceLength_;
        namedStep(c, false);
        if (referenceLength_ > before && state_ == State::NamedCharacterReference) ++p;
        continue;
      }
      case State::AmbiguousAmpersand:
        if (IsAlnum(c)) {
          flushReference(std::u16string_view(&c, 1));
          ++p;
        } else {
          state_ = returnState_;
        }
        continue;
      case State::NumericCharacterReference:
        if (c == 'x' || c == 'X') {
          hex_ = true;
          referenceName_[0] = c;
          ++p;
          state_ = State::HexadecimalCharacterReferenceStart;
        } else {
          hex_ = false;
          state_ = State::DecimalCharacterReferenceStart;
        }
        continue;
      case State::HexadecimalCharacterReferenceStart:
        if (IsHexDigit(c)) {
          state_ = State::HexadecimalCharacterReference;
        } else {
          const char16_t written[3] = {'&', '#', referenceName_[0]};
          flushReference(std::u16string_view(written, 3));
          state_ = returnState_;
        }
        continue;
      case State::DecimalCharacterReferenceStart:
        if (IsDigit(c)) {
          state_ = State::DecimalCharacterReference;
        } else {
          flushReference(u"&#");
          state_ = returnState_;
        }
        continue;
      case State::HexadecimalCharacterReference:
      case State::DecimalCharacterReference: {
        const bool hex = state_ == State::HexadecimalCharacterReference;
        if (hex ? IsHexDigit(c) : IsDigit(c)) {
          const std::uint32_t digit = IsDigit(c) ? c - '0' : Lower(c) - 'a' + 10;
          // Anything past U+10FFFF is as good as any other.
          code_ = std::min<std::uint32_t>(code_ * (hex ? 16 : 10) + digit, 0x110000);
          ++p;
        } else {
          if (c == ';') ++p;
          numericEnd();
        }
        continue;
      }
    }
  }
}

void Tokenizer::atEnd() {
  // The end of the input, as each state meets it; some states hand it on.
  for (;;) {
    switch (state_) {
      case State::TagOpen:
        emit('<');
        return;
      case State::EndTagOpen:
        emit(u"</");
        return;
      case State::RcdataLessThan:
      case State::RawtextLessThan:
      case State::ScriptDataLessThan:
      case State::ScriptDataEscapedLessThan:
        emit('<');
        return;
      case State::RcdataEndTagOpen:
      case State::RawtextEndTagOpen:
      case State::ScriptDataEndTagOpen:
      case State::ScriptDataEscapedEndTagOpen:
        emit(u"</");
        return;
      case State::RcdataEndTagName:
      case State::RawtextEndTagName:
      case State::ScriptDataEndTagName:
      case State::ScriptDataEscapedEndTagName:
        flushTemporary();
        return;
      case State::BogusComment:
      case State::CommentStart:
      case State::CommentStartDash:
      case State::Comment:
      case State::CommentLessThan:
      case State::CommentLessThanBang:
      case State::CommentLessThanBangDash:
      case State::CommentLessThanBangDashDash:
      case State::CommentEndDash:
      case State::CommentEnd:
      case State::CommentEndBang:
        emitComment();
        return;
      case State::MarkupDeclarationOpen:
        comment_.assign(declaration_, declarationLength_);
        emitComment();
        return;
      case State::Doctype:
      case State::BeforeDoctypeName:
        doctype_ = Doctype{};
        doctype_.forceQuirks = true;
        emitDoctype();
        return;
      case State::DoctypeName:
      case State::AfterDoctypeName:
      case State::DoctypeKeyword:
      case State::AfterDoctypePublicKeyword:
      case State::BeforeDoctypePublicIdentifier:
      case State::DoctypePublicIdentifierDoubleQuoted:
      case State::DoctypePublicIdentifierSingleQuoted:
      case State::AfterDoctypePublicIdentifier:
      case State::BetweenDoctypePublicAndSystemIdentifiers:
      case State::AfterDoctypeSystemKeyword:
      case State::BeforeDoctypeSystemIdentifier:
      case State::DoctypeSystemIdentifierDoubleQuoted:
      case State::DoctypeSystemIdentifierSingleQuoted:
      case State::AfterDoctypeSystemIdentifier:
        doctype_.forceQuirks = true;
        emitDoctype();
        return;
      case State::BogusDoctype:
        emitDoctype();
        return;
      case State::CdataSectionBracket:
        emit(']');
        return;
      case State::CdataSectionEnd:
        emit(u"]]");
        return;
      case State::CharacterReference:
        flushReference(u"&");
        state_ = returnState_;
        continue;
      case State::NamedCharacterReference:
        namedStep(0, true);
        continue;
      case State::AmbiguousAmpersand:
        state_ = returnState_;
        continue;
      case State::NumericCharacterReference:
      case State::DecimalCharacterReferenceStart:
        flushReference(u"&#");
        state_ = returnState_;
        continue;
      case State::HexadecimalCharacterReferenceStart: {
        const char16_t written[3] = {'&', '#', referenceName_[0]};
        flushReference(std::u16string_view(written, 3));
        state_ = returnState_;
        continue;
      }
      case State::HexadecimalCharacterReference:
      case State::DecimalCharacterReference:
        numericEnd();
        continue;
      default:
        // Text states, and inside a tag (which is dropped, as the standard says).
        return;
    }
  }
}

void Tokenizer::finish() {
  skipNewline_ = false;
  atEnd();
}

}  // namespace sievetext::layout
