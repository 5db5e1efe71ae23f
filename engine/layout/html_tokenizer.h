#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sievetext::layout {

// The states of the HTML standard's tokenizer that a tree builder (or a test)
// may start it in or switch it to after a start tag.
enum class TextState : std::uint8_t { Data, Rcdata, Rawtext, ScriptData, Plaintext, CdataSection };

struct Attribute {
  std::u16string name;   // ASCII letters lower-cased
  std::u16string value;  // references decoded
};

// A start or end tag as the tokenizer hands it over. Valid during the call.
struct Tag {
  std::u16string_view name;  // ASCII letters lower-cased
  // In source order; a name given again on the same tag is dropped, as the
  // standard says.
  std::span<const Attribute> attributes;
  bool selfClosing = false;

  // The value of the attribute `name` (lower case), or null.
  const std::u16string* find(std::u16string_view attributeName) const;
};

struct Doctype {
  std::u16string name, publicId, systemId;
  bool hasName = false, hasPublicId = false, hasSystemId = false;
  bool forceQuirks = false;
};

// Receives the tokens in document order. Character tokens come as runs, cut
// anywhere (a run may be handed over in several calls); U+0000 in the data
// state is passed on as it is, as the standard says (the tree builder drops it).
class TokenSink {
 public:
  virtual ~TokenSink() = default;
  virtual void characters(std::u16string_view text) = 0;
  virtual void startTag(const Tag& tag) = 0;
  virtual void endTag(const Tag& tag) = 0;
  virtual void comment(std::u16string_view data) = 0;
  virtual void doctype(const Doctype& doctype) = 0;
};

// The HTML standard's tokenizer, fed in pieces. Input preprocessing (CR LF and
// lone CR become LF, also across pieces) is done here. Character references
// are decoded with the standard's full table and its numeric replacements.
//
// Memory is bounded whatever the input: what a construct must hold before it
// is handed over (a tag's name, each attribute's name and value, a comment,
// a doctype's fields) keeps its first kMaxHeldUnits units and drops the rest;
// a tag keeps its first kMaxAttributes attributes. Character runs are never
// held: they are handed over as they are scanned.
class Tokenizer {
 public:
  static constexpr std::size_t kMaxHeldUnits = std::size_t{1} << 16;
  static constexpr std::size_t kMaxAttributes = 64;

  struct Options {
    // False leaves every '&' as it is written (in text and in attributes).
    bool decodeReferences = true;
  };

  explicit Tokenizer(TokenSink& sink) : Tokenizer(sink, Options{}) {}
  Tokenizer(TokenSink& sink, Options options);

  // Tokenizes `piece`, which follows the pieces fed before; tokens complete
  // in it are handed to the sink before this returns.
  void feed(std::u16string_view piece);
  // The input's end: whatever is open is handed over as the standard says.
  // The tokenizer must not be fed afterwards.
  void finish();

  // For the tree side, right after a start tag: the state to go on in
  // (RCDATA for title and textarea, RAWTEXT for style, ...).
  void switchTo(TextState state);
  // Whether "<![CDATA[" opens a CDATA section (in foreign content) or a
  // bogus comment (in HTML content, the default).
  void allowCdata(bool allowed) { allowCdata_ = allowed; }
  // The last start tag's name, which an end tag in RCDATA, RAWTEXT or script
  // data must match to end it. Set by every start tag; tests set it directly.
  void setLastStartTag(std::u16string_view name);

  enum class State : std::uint8_t;

 private:
  void run(const char16_t* p, const char16_t* end);
  void atEnd();
  void emit(char16_t c) { sink_.characters(std::u16string_view(&c, 1)); }
  void emit(std::u16string_view text) { sink_.characters(text); }
  void emitTag();
  void emitComment();
  void emitDoctype();
  void startTag(bool end);
  void startAttribute();
  void finishAttributeName();
  void appendAttributeValue(char16_t c);
  void appendAttributeName(char16_t c);
  bool appropriateEndTag() const;
  void flushTemporary();  // "</" and the temporary buffer as characters
  // Character references.
  bool inAttribute() const;
  void flushReference(std::u16string_view text);
  void referenceCodePoint(std::uint32_t code);
  void namedStep(char16_t c, bool atEnd);  // one more unit (or the end) for the name
  void numericEnd();

  TokenSink& sink_;
  Options options_;
  State state_;
  State returnState_;
  bool allowCdata_ = false;
  bool skipNewline_ = false;  // the last piece ended in CR

  // The tag being built.
  std::u16string tagName_;
  std::vector<Attribute> attributes_;
  std::size_t attributeCount_ = 0;
  bool attributeDropped_ = false;  // the current attribute is a repeat, or past the limit
  bool endTag_ = false;
  bool selfClosing_ = false;
  std::u16string lastStartTag_;
  std::u16string temporary_;  // RCDATA / RAWTEXT / script end tag names, script double escapes

  std::u16string comment_;
  Doctype doctype_;
  char16_t declaration_[8] =
      {};  // what follows "<!" while it may still be "--", DOCTYPE or [CDATA[
  std::size_t declarationLength_ = 0;

  // Named reference: the units matched so far and the table rows they start.
  char16_t referenceName_[40] = {};
  std::size_t referenceLength_ = 0;
  std::size_t rowsBegin_ = 0, rowsEnd_ = 0;
  std::size_t matchRow_ = 0, matchLength_ = 0;  // the longest full name seen
  std::uint32_t code_ = 0;
  bool hex_ = false;
};

}  // namespace sievetext::layout
