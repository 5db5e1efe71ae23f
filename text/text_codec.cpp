#include "text/text_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/large_text.h"
#include "simd/simd.h"
#include "text/charset.h"
#include "text/legacy_decoder.h"

namespace sievetext {
namespace {

// Windows-1252 for the bytes 80..9F; the five unassigned bytes keep their own
// value as a C1 control character. Every other byte is its own code point.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char16_t kReplacement = 0xFFFD;

// Bytes of the next piece joined to those kept back from the one before:
// enough to finish or refute any sequence.
constexpr std::size_t kJoinedBytes = 8;

// A growing text moves to room for twice its length, and to no less than
// kGenerousUnits (128 MiB of address space) once it passes kSmallTextUnits.
constexpr std::size_t kSmallTextUnits = std::size_t{256} << 10;
constexpr std::size_t kGenerousUnits = std::size_t{64} << 20;

inline char16_t FromCp1252(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

inline bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }
inline bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Widens the ASCII bytes at the front of [p, end) into `out` and returns how
// many it took. May store up to 15 units past the run: callers guarantee room
// for as many units as there are bytes left.
inline std::size_t WidenAsciiRun(const unsigned char* p, const unsigned char* end, char16_t* out) {
  const unsigned char* start = p;
#if SIEVETEXT_SIMD
  while (end - p >= 16) {
    const simd::Units v = simd::LoadBytes(reinterpret_cast<const char*>(p));
    simd::Store(out, simd::WidenLow(v));
    simd::Store(out + 8, simd::WidenHigh(v));
    // One bit per byte: its top bit.
    const int high = simd::ByteMask(v);
    if (high != 0) return static_cast<std::size_t>(p - start) + simd::FirstByte(high);
    p += 16;
    out += 16;
  }
#else
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if (word & 0x8080808080808080ull) break;
    for (int i = 0; i < 8; ++i) out[i] = p[i];
    p += 8;
    out += 8;
  }
#endif
  while (p < end && *p < 0x80) *out++ = *p++;
  return static_cast<std::size_t>(p - start);
}

// UTF-8 where it is well formed, Windows-1252 byte by byte where it is not.
// Writes at `o` (room for one unit per byte) and returns the bytes used: all
// of them when `last`, otherwise it stops before a non-ASCII byte too close
// to the end to be judged, leaving it for the next piece.
std::size_t DecodeMixedInto(const unsigned char* p, const unsigned char* end, bool last,
                            char16_t*& o) {
  const unsigned char* const start = p;
  while (p < end) {
    const std::size_t run = WidenAsciiRun(p, end, o);
    p += run;
    o += run;
    if (p == end) break;

    const unsigned b0 = p[0];
    const std::size_t left = static_cast<std::size_t>(end - p);
    if (!last && left < 4) break;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      if (left >= 2 && IsContinuation(p[1])) {
        *o++ = static_cast<char16_t>(((b0 & 0x1F) << 6) | (p[1] & 0x3F));
        p += 2;
        continue;
      }
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      // E0 needs A0..BF next (no overlong forms), ED needs 80..9F (no surrogates).
      const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;
      const unsigned hi = b0 == 0xED ? 0x9F : 0xBF;
      if (left >= 3 && p[1] >= lo && p[1] <= hi && IsContinuation(p[2])) {
        *o++ = static_cast<char16_t>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
        p += 3;
        continue;
      }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      // F0 needs 90..BF next (no overlong forms), F4 needs 80..8F (nothing past U+10FFFF).
      const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;
      const unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;
      if (left >= 4 && p[1] >= lo && p[1] <= hi && IsContinuation(p[2]) && IsContinuation(p[3])) {
        const std::uint32_t cp =
            ((b0 & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
        const std::uint32_t v = cp - 0x10000;
        *o++ = static_cast<char16_t>(0xD800 + (v >> 10));
        *o++ = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        p += 4;
        continue;
      }
    }
    *o++ = FromCp1252(static_cast<unsigned char>(b0));
    ++p;
  }
  return static_cast<std::size_t>(p - start);
}

// UTF-16 without its mark. An odd byte waits for the next piece, or becomes
// U+FFFD when it is the file's last.
std::size_t DecodeUtf16Into(const unsigned char* p, const unsigned char* end, bool bigEndian,
                            bool last, char16_t*& o) {
  const std::size_t bytes = static_cast<std::size_t>(end - p);
  const std::size_t units = bytes / 2;
  if (bigEndian) {
    for (std::size_t i = 0; i < units; ++i)
      o[i] = static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]);
  } else {
    for (std::size_t i = 0; i < units; ++i)
      o[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  }
  o += units;
  if ((bytes & 1) && last) {
    *o++ = kReplacement;
    return bytes;
  }
  return units * 2;
}

#if SIEVETEXT_SIMD
// Index of the first of the eight units in `v` that is not ASCII, or 8.
inline std::size_t FirstNonAscii(simd::Units v) {
  const int ascii =
      simd::ByteMask(simd::Equal(simd::And(v, simd::Splat(0xFF80)), simd::Zero())) & 0xFFFF;
  return ascii == 0xFFFF ? 8 : simd::FirstLane(~ascii & 0xFFFF);
}
#endif

// Length of the ASCII run at the front of [s, end).
inline std::size_t AsciiUnits(const char16_t* s, const char16_t* end) {
  const char16_t* start = s;
#if SIEVETEXT_SIMD
  while (end - s >= 8) {
    const std::size_t n = FirstNonAscii(simd::Load(s));
    if (n != 8) return static_cast<std::size_t>(s - start) + n;
    s += 8;
  }
#endif
  while (s < end && *s < 0x80) ++s;
  return static_cast<std::size_t>(s - start);
}

// Narrows the ASCII run at the front of [s, end) into `out` and returns its
// length. May store up to 7 bytes past the run: callers guarantee room for at
// least as many bytes as there are units left.
inline std::size_t NarrowAsciiRun(const char16_t* s, const char16_t* end, char* out) {
  const char16_t* start = s;
#if SIEVETEXT_SIMD
  while (end - s >= 8) {
    const simd::Units v = simd::Load(s);
    simd::NarrowStore(out, v);
    const std::size_t n = FirstNonAscii(v);
    if (n != 8) return static_cast<std::size_t>(s - start) + n;
    s += 8;
    out += 8;
  }
#endif
  while (s < end && *s < 0x80) *out++ = static_cast<char>(*s++);
  return static_cast<std::size_t>(s - start);
}

std::size_t EncodedLength(const char16_t* s, const char16_t* end) {
  std::size_t length = 0;
  while (s < end) {
    const std::size_t run = AsciiUnits(s, end);
    s += run;
    length += run;
    if (s == end) break;
    const char16_t u = *s++;
    if (u < 0x800) {
      length += 2;
    } else if (IsHighSurrogate(u) && s < end && IsLowSurrogate(*s)) {
      length += 4;
      ++s;
    } else {
      length += 3;
    }
  }
  return length;
}

// Encodes [s, end) at `out`, which has room for three bytes per unit, and
// returns the bytes written. A high surrogate at `end` counts as lone.
std::size_t EncodeInto(const char16_t* s, const char16_t* const end, char* const out) {
  char* o = out;
  while (s < end) {
    const std::size_t run = NarrowAsciiRun(s, end, o);
    s += run;
    o += run;
    if (s == end) break;
    std::uint32_t cp = *s++;
    if (cp < 0x800) {
      *o++ = static_cast<char>(0xC0 | (cp >> 6));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
      continue;
    }
    if (IsHighSurrogate(static_cast<char16_t>(cp)) && s < end && IsLowSurrogate(*s)) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (*s++ - 0xDC00u);
      *o++ = static_cast<char>(0xF0 | (cp >> 18));
      *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = kReplacement;
    *o++ = static_cast<char>(0xE0 | (cp >> 12));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace

TextDecoder::TextDecoder(std::uint64_t expectedBytes, std::uint64_t spareUnits,
                         Declarations declarations)
    : followDeclaration_(declarations == Declarations::Follow) {
  // Every byte gives at most one unit (a four-byte sequence gives two).
  const auto units = static_cast<std::size_t>(expectedBytes);
  keepSpare_ = spareUnits > 0;
  if (units == 0) return;
  try {
    ReserveLargeText(text_, units + static_cast<std::size_t>(spareUnits));
  } catch (const std::bad_alloc&) {
    // The spare room is a convenience; the text itself is not.
    if (spareUnits == 0) throw;
    keepSpare_ = false;
    ReserveLargeText(text_, units);
  } catch (const std::length_error&) {
    if (spareUnits == 0) throw;
    keepSpare_ = false;
    ReserveLargeText(text_, units);
  }
}

void TextDecoder::makeRoom(std::size_t units) {
  const std::size_t needed = length_ + units;
  const std::size_t wanted = keepSpare_ ? 2 * needed : needed;
  if (text_.capacity() < wanted) {
    try {
      // A text that grows past a small size (a long stream of unknown
      // length) moves straight to generous room on large pages: room costs
      // only address space until it is used, fresh small pages cost more to
      // touch than the copying, and most streams then never move again.
      const std::size_t grown = 2 * wanted;
      MoveLargeText(text_, length_,
                    grown < kSmallTextUnits ? grown : std::max(grown, kGenerousUnits));
    } catch (...) {
      // Without the spare room where the text itself still fits.
      if (!keepSpare_) throw;
      keepSpare_ = false;
      if (text_.capacity() < needed) MoveLargeText(text_, length_, 2 * needed);
    }
  }
  // Only the room for this piece is set up, right before it is written, so
  // the text's memory is first touched by the decoding while it is in the
  // cache.
  if (text_.size() < needed) text_.resize(needed);
}

TextDecoder::~TextDecoder() = default;

std::size_t TextDecoder::choose(std::string_view head) {
  const auto* p = reinterpret_cast<const unsigned char*>(head.data());
  if (head.size() >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    form_ = Form::Utf16Le;
    return 2;
  }
  if (head.size() >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
    form_ = Form::Utf16Be;
    return 2;
  }
  form_ = Form::Mixed;
  if (head.size() >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) return 3;
  if (!followDeclaration_) return 0;
  const std::optional<Charset> declared = PrescanCharset(head);
  if (!declared) return 0;
  if (*declared == Charset::Utf16Le) {
    form_ = Form::Utf16Le;
  } else if (*declared == Charset::Utf16Be) {
    form_ = Form::Utf16Be;
  } else if ((legacy_ = LegacyDecoder::open(*declared))) {
    form_ = Form::Legacy;
  }
  return 0;
}

std::size_t TextDecoder::decodeLegacy(std::string_view piece, bool last) {
  std::size_t used = 0;
  for (;;) {
    // One unit a byte is the most these charsets give but for a letter held
    // back for a combining mark; more room is made where that is not so.
    makeRoom(piece.size() - used + kJoinedBytes);
    const LegacyDecoder::Step step =
        legacy_->decode(piece.substr(used), last, text_.data() + length_, text_.size() - length_);
    used += step.used;
    length_ += step.written;
    if (!step.wantsRoom) return used;
  }
}

std::size_t TextDecoder::decode(std::string_view piece, bool last) {
  if (form_ == Form::Legacy) return decodeLegacy(piece, last);
  const auto* const p = reinterpret_cast<const unsigned char*>(piece.data());
  const auto* const end = p + piece.size();
  // Every byte gives at most one unit (a four-byte sequence gives two).
  makeRoom(piece.size());
  char16_t* o = text_.data() + length_;
  const std::size_t used = form_ == Form::Mixed
                               ? DecodeMixedInto(p, end, last, o)
                               : DecodeUtf16Into(p, end, form_ == Form::Utf16Be, last, o);
  length_ = static_cast<std::size_t>(o - text_.data());
  return used;
}

void TextDecoder::feed(std::string_view piece, bool last) {
  if (form_ == Form::Unknown) {
    if (head_.empty() && (piece.size() >= kPrescanBytes || last)) {
      piece.remove_prefix(choose(piece));
    } else {
      // Too few bytes yet to look for a declaration: they wait.
      const std::size_t taken = std::min(piece.size(), kPrescanBytes - head_.size());
      head_.append(piece.substr(0, taken));
      piece.remove_prefix(taken);
      if (head_.size() < kPrescanBytes && !last) return;
      const std::string head = std::move(head_);
      head_.clear();
      feedChosen(std::string_view(head).substr(choose(head)), last && piece.empty());
      if (piece.empty()) return;
    }
  }
  feedChosen(piece, last);
}

void TextDecoder::feedChosen(std::string_view piece, bool last) {
  static_assert(LegacyDecoder::kMostHeldBytes < sizeof carry_);
  if (carried_ > 0) {
    // The bytes kept back, completed from the front of this piece: with
    // kJoinedBytes after them every one of them can be decided.
    char joined[sizeof carry_ + kJoinedBytes];
    std::memcpy(joined, carry_, carried_);
    const std::size_t taken = std::min(piece.size(), kJoinedBytes);
    if (taken > 0) std::memcpy(joined + carried_, piece.data(), taken);
    const std::size_t have = carried_ + taken;
    const std::size_t used = decode(std::string_view(joined, have), last && taken == piece.size());
    if (used < carried_) {
      // The piece was too short to decide them: keep all of it back too.
      carried_ = have - used;
      std::memmove(carry_, joined + used, carried_);
      return;
    }
    piece.remove_prefix(used - carried_);
    carried_ = 0;
  }
  const std::size_t used = decode(piece, last);
  carried_ = piece.size() - used;
  if (carried_ > 0) std::memcpy(carry_, piece.data() + used, carried_);
}

std::u16string TextDecoder::take() {
  text_.resize(length_);
  length_ = 0;
  carried_ = 0;
  form_ = Form::Unknown;
  head_.clear();
  legacy_.reset();
  return std::move(text_);
}

std::u16string_view TextDecoder::drain() {
  const std::u16string_view decoded(text_.data(), length_);
  length_ = 0;
  return decoded;
}

std::u16string DecodeText(std::string_view bytes) {
  TextDecoder decoder(bytes.size());
  decoder.feed(bytes, true);
  return decoder.take();
}

TextEncoder::TextEncoder(std::u16string_view text)
    : text_(text), buffer_(new char[3 * (kUnitsPerPiece + 1)]) {}

std::string_view TextEncoder::next() {
  if (position_ == text_.size()) return {};
  std::size_t end = std::min(text_.size(), position_ + kUnitsPerPiece);
  // Never split a surrogate pair between two pieces.
  if (end < text_.size() && IsHighSurrogate(text_[end - 1])) ++end;
  const std::size_t bytes = EncodeInto(text_.data() + position_, text_.data() + end, buffer_.get());
  position_ = end;
  return std::string_view(buffer_.get(), bytes);
}

std::string EncodeText(std::u16string_view text) {
  const char16_t* s = text.data();
  const char16_t* const end = s + text.size();
  // Exact length first, so the result is allocated once and never grown.
  std::string bytes(EncodedLength(s, end) + 8, '\0');
  bytes.resize(EncodeInto(s, end, bytes.data()));
  return bytes;
}

}  // namespace sievetext
