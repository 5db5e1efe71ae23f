#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sievetext {

class LegacyDecoder;

// Turns a file's bytes into text:
//  - a leading EF BB BF is dropped and the rest read as in the last case;
//  - a leading FF FE or FE FF makes the whole file UTF-16 little- or
//    big-endian (the mark is dropped; an odd last byte becomes U+FFFD);
//  - otherwise a charset the file declares in its first kPrescanBytes bytes
//    (PrescanCharset: <meta charset>, <meta http-equiv="Content-Type">, an
//    XML declaration) is decoded as such (LegacyDecoder: KOI8-R, Shift_JIS,
//    ISO-8859-2, ...), and an XML declaration written in UTF-16 makes the
//    file UTF-16 without a mark;
//  - otherwise, that is with no declaration, with a declared UTF-8 or
//    Windows-1252 (ISO-8859-1, US-ASCII and the other labels the web gives
//    it; pages so labelled are often UTF-8), or one this build cannot
//    convert: every well-formed UTF-8 sequence is read as UTF-8 and every
//    other byte as its Windows-1252 character, the five bytes that code page
//    leaves unassigned (81 8D 8F 90 9D) standing for U+0081 ... U+009D.
// So UTF-8 pages come out exact, legacy Western pages readable and pages in
// other charsets as they say. Never fails except by running out of memory
// (std::bad_alloc).
std::u16string DecodeText(std::string_view bytes);

// The same, for a file handed over in pieces, so that it is never held as
// bytes and as text at once. Pieces may be cut anywhere, inside a UTF-8
// sequence or a UTF-16 unit too: the decoder keeps the few bytes that only
// the next piece can complete, and the file's first kPrescanBytes until it
// knows how to read them.
class TextDecoder {
 public:
  // `expectedBytes`: the input's size where it is known, so the text is
  // allocated once; otherwise an estimate (0 will do). A text that outgrows
  // its room moves once to room twice as large, so each unit is copied about
  // once on average, and the old room is given back as it is copied.
  // `spareUnits`: room asked for beyond the decoded text, for a caller that
  // lets the text grow in place afterwards (up to twice its length); a text
  // that outgrows `expectedBytes` keeps room for twice its length. Like all
  // room it costs nothing until it is used. A long text is placed on large
  // pages.
  // `declarations`: Ignore for bytes that are known to be UTF-8 (a string
  // handed over as text), so that a charset they declare is not followed.
  enum class Declarations { Follow, Ignore };
  explicit TextDecoder(std::uint64_t expectedBytes = 0, std::uint64_t spareUnits = 0,
                       Declarations declarations = Declarations::Follow);
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  // Decodes `piece`, which follows the pieces fed before. `last` marks the
  // input's end (the piece may be empty): every byte kept back is then
  // decoded too.
  void feed(std::string_view piece, bool last);
  // The text decoded so far, with the room asked for; the decoder starts
  // afresh.
  std::u16string take();
  // The units decoded since the last drain(), for a caller that uses the
  // text as it arrives; the decoder goes on with the next piece as before.
  // Valid until the next feed().
  std::u16string_view drain();

 private:
  enum class Form { Unknown, Mixed, Utf16Le, Utf16Be, Legacy };
  // Chooses the form from the file's first bytes (all of them, or at least
  // kPrescanBytes) and returns the length of its byte-order mark.
  std::size_t choose(std::string_view head);
  // feed() once the form is known.
  void feedChosen(std::string_view piece, bool last);
  // Decodes what can be decided of `piece` and returns the bytes used: all
  // with `last`, otherwise all but at most seven bytes of an unfinished
  // sequence.
  std::size_t decode(std::string_view piece, bool last);
  std::size_t decodeLegacy(std::string_view piece, bool last);
  // Makes text_ hold at least `units` units past the decoded ones.
  void makeRoom(std::size_t units);

  Form form_ = Form::Unknown;
  std::u16string text_;  // decoded units, then room to spare
  std::size_t length_ = 0;
  bool keepSpare_ = false;  // growing keeps room for twice the text
  bool followDeclaration_ = true;
  char carry_[8] = {};  // bytes of an unfinished sequence
  std::size_t carried_ = 0;
  std::string head_;  // the first bytes, while too few to choose the form
  std::unique_ptr<LegacyDecoder> legacy_;
};

// Text to UTF-8 without a byte-order mark. A surrogate that is not part of a
// pair becomes U+FFFD, so the result is always well-formed UTF-8.
std::string EncodeText(std::u16string_view text);

// The same in pieces of at most about 192 KiB, so that a long text is never
// held as text and as bytes at once. `text` must outlive the encoder.
class TextEncoder {
 public:
  explicit TextEncoder(std::u16string_view text);
  // The next piece; empty at the end. Valid until the next call.
  std::string_view next();

 private:
  static constexpr std::size_t kUnitsPerPiece = std::size_t{64} * 1024;
  std::u16string_view text_;
  std::size_t position_ = 0;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace sievetext
