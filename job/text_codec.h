#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sievetext {

// Turns a file's bytes into text:
//  - a leading EF BB BF is dropped and the rest read as below;
//  - a leading FF FE or FE FF makes the whole file UTF-16 little- or
//    big-endian (the mark is dropped; an odd last byte becomes U+FFFD);
//  - otherwise every well-formed UTF-8 sequence is read as UTF-8 and every
//    other byte as its Windows-1252 character, the five bytes that code page
//    leaves unassigned (81 8D 8F 90 9D) standing for U+0081 ... U+009D.
// So UTF-8 pages come out exact and legacy Western pages readable. Never fails
// except by running out of memory (std::bad_alloc).
std::u16string DecodeText(std::string_view bytes);

// The same, for a file handed over in pieces, so that it is never held as
// bytes and as text at once. Pieces may be cut anywhere, inside a UTF-8
// sequence or a UTF-16 unit too: the decoder keeps the few bytes that only
// the next piece can complete.
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
  explicit TextDecoder(std::uint64_t expectedBytes = 0, std::uint64_t spareUnits = 0);

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
  enum class Form { Unknown, Mixed, Utf16Le, Utf16Be };
  // Decodes what can be decided of `piece` and returns the bytes used: all
  // with `last`, otherwise all but at most three bytes of an unfinished
  // sequence.
  std::size_t decode(std::string_view piece, bool last);
  // Makes text_ hold at least `units` units past the decoded ones.
  void makeRoom(std::size_t units);

  Form form_ = Form::Unknown;
  std::u16string text_;  // decoded units, then room to spare
  std::size_t length_ = 0;
  bool keepSpare_ = false;  // growing keeps room for twice the text
  char carry_[4] = {};      // bytes of an unfinished sequence
  std::size_t carried_ = 0;
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
  static constexpr std::size_t kUnitsPerPiece = 64 * 1024;
  std::u16string_view text_;
  std::size_t position_ = 0;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace sievetext
