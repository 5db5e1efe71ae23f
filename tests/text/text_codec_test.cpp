#include "text/text_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/large_text.h"

namespace sievetext {
namespace {

TEST(TextCodecTest, DecodesBytes) {
  const struct {
    const char* name;
    std::string bytes;
    std::u16string text;
  } rows[] = {
      {"empty", "", u""},
      {"ascii", "a<b>", u"a<b>"},
      {"utf-8 mark dropped", "\xEF\xBB\xBFhi", u"hi"},
      {"only a utf-8 mark", "\xEF\xBB\xBF", u""},
      {"utf-8 two three four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
       u"\u00E9\u20AC\U0001F600"},
      {"windows-1252 letters", "caf\xE9 \x93q\x94", u"caf\u00E9 \u201Cq\u201D"},
      {"unassigned windows-1252 bytes", "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
      {"all of 80..9F", "\x80\x8A\x8C\x8E\x9A\x9C\x9E\x9F",
       u"\u20AC\u0160\u0152\u017D\u0161\u0153\u017E\u0178"},
      {"lone continuation byte", "a\x80z", u"a\u20ACz"},
      {"truncated sequence at the end", "a\xC3", u"a\u00C3"},
      {"truncated three-byte sequence", "\xE2\x82z", u"\u00E2\u201Az"},
      {"overlong forms", "\xC0\xAF\xE0\x80\xAF", u"\u00C0\u00AF\u00E0\u20AC\u00AF"},
      {"encoded surrogate", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC"},
      {"mixed on one line", "\xE9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"utf-16le mark", std::string("\xFF\xFEh\0i\0", 6), u"hi"},
      {"utf-16be mark", std::string("\xFE\xFF\0h\0i", 6), u"hi"},
      {"utf-16le pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), u"\U0001F600"},
      {"utf-16le odd last byte", std::string("\xFF\xFEh\0i", 5), u"h\uFFFD"},
      {"utf-16be mark alone", "\xFE\xFF", u""},
      {"utf-16 mark plus one byte", "\xFF\xFEx", u"\uFFFD"},
      {"NUL bytes kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& row : rows) EXPECT_EQ(DecodeText(row.bytes), row.text) << row.name;
}

TEST(TextCodecTest, EncodesText) {
  const struct {
    const char* name;
    std::u16string text;
    std::string bytes;
  } rows[] = {
      {"empty", u"", ""},
      {"ascii", u"a\r\nb", "a\r\nb"},
      {"two three four bytes", u"\u00E9\u20AC\U0001F600", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"U+07FF and U+0800", u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
      {"lone high surrogate", std::u16string(u"a") + char16_t(0xD800) + u"b",
       "a\xEF\xBF\xBD"
       "b"},
      {"lone low surrogate", std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
      {"high at the end", std::u16string(u"ab") + char16_t(0xDBFF), "ab\xEF\xBF\xBD"},
      {"swapped pair", std::u16string{char16_t(0xDC00), char16_t(0xD800)},
       "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"two highs then low", std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)},
       "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
  };
  for (const auto& row : rows) EXPECT_EQ(EncodeText(row.text), row.bytes) << row.name;
}

// The ASCII fast paths work on blocks of 8 and 16; a non-ASCII character at
// every offset around those blocks, in texts of every length near them, must
// come out exactly as a character-at-a-time codec would give it.
TEST(TextCodecTest, NonAsciiAtEveryOffsetAcrossBlockBoundaries) {
  for (std::size_t length = 0; length <= 70; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      std::string letters;
      std::u16string text;
      for (std::size_t i = 0; i < length; ++i) {
        letters.push_back(static_cast<char>('a' + i % 26));
        text.push_back(static_cast<char16_t>('a' + i % 26));
      }
      // é as UTF-8 at `at`, and as Windows-1252 at the end.
      const std::string bytes = letters.substr(0, at) + "\xC3\xA9" + letters.substr(at) + "\xE9";
      text = text.substr(0, at) + u"\u00E9" + text.substr(at) + u"\u00E9";
      ASSERT_EQ(DecodeText(bytes), text) << length << " " << at;

      const std::string utf8 = bytes.substr(0, bytes.size() - 1) + "\xC3\xA9";
      ASSERT_EQ(EncodeText(text), utf8) << length << " " << at;
      ASSERT_EQ(DecodeText(EncodeText(text)), text);
    }
  }
}

TEST(TextCodecTest, EveryCodePointRoundTrips) {
  std::u16string text;
  for (char32_t c = 1; c <= 0x10FFFF; c += (c < 0x3000 ? 1 : 97)) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (c < 0x10000) {
      text.push_back(static_cast<char16_t>(c));
    } else {
      text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  EXPECT_EQ(DecodeText(EncodeText(text)), text);
}

// Decodes `bytes` handed over in pieces of `piece` bytes, cut anywhere, to a
// decoder that expects `expected` bytes.
std::u16string DecodeInPieces(std::string_view bytes, std::size_t piece, std::size_t expected) {
  TextDecoder decoder(expected);
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    decoder.feed(bytes.substr(at, piece), false);
  decoder.feed({}, true);
  return decoder.take();
}

TEST(TextCodecTest, DecodingInPiecesGivesTheSameText) {
  const std::string samples[] = {
      // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one sample, cut to end the \xBF escape
      "\xEF\xBB\xBF"
      "ab\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z\xE9\x93\xC3",
      std::string("\xFF\xFEh\0\xE9\0\x3D\xD8\x00\xDE!", 11),
      std::string("\xFE\xFF\0h\0i\0", 7),
      "x\xF0\x9F\x98",
      "\xF0\x9F\x98\x80\xF0\x9F\xE2\x82\xAC\xC3",
      "\xEF\xBB",
      "\xFF",
      "",
  };
  for (const std::string& bytes : samples) {
    // Pieces of one byte up, with the size known and not.
    for (std::size_t piece = 1; piece <= bytes.size() + 1; ++piece) {
      EXPECT_EQ(DecodeInPieces(bytes, piece, bytes.size()), DecodeText(bytes)) << piece;
      EXPECT_EQ(DecodeInPieces(bytes, piece, 0), DecodeText(bytes)) << piece;
    }
  }
}

TEST(TextCodecTest, ATextOfUnknownLengthGrowsAndKeepsItsSpareRoom) {
  std::string bytes;
  while (bytes.size() < (3u << 20)) bytes += "<p>caf\xC3\xA9 \xF0\x9F\x98\x80 \x93q\x94</p>\n";
  const std::u16string whole = DecodeText(bytes);
  // Pieces of an odd size cut sequences everywhere; the first room is far
  // too small.
  TextDecoder decoder(1000, 1000);
  for (std::size_t at = 0; at < bytes.size(); at += 65521) {
    decoder.feed(std::string_view(bytes).substr(at, 65521), false);
  }
  decoder.feed({}, true);
  const std::u16string text = decoder.take();
  EXPECT_TRUE(text == whole);
  // Room for every line break to be widened in place.
  EXPECT_GE(text.capacity(), 2 * text.size());
}

TEST(TextCodecTest, MovingALargeTextKeepsItsUnits) {
  std::u16string text;
  ReserveLargeText(text, 6u << 20);
  for (std::size_t i = 0; i < (5u << 20) + 7; ++i) text.push_back(static_cast<char16_t>(i * 7919));
  MoveLargeText(text, text.size() - 3, 12u << 20);
  ASSERT_EQ(text.size(), (5u << 20) + 4);
  EXPECT_GE(text.capacity(), 12u << 20);
  bool same = true;
  for (std::size_t i = 0; i < text.size(); ++i)
    same = same && text[i] == static_cast<char16_t>(i * 7919);
  EXPECT_TRUE(same);
}

TEST(TextCodecTest, EncodingInPiecesNeverSplitsAPair) {
  // Pieces hold 64 Ki units; put a pair across every boundary nearby.
  for (std::size_t at = (64 << 10) - 3; at <= (64 << 10) + 1; ++at) {
    std::u16string text(200000, u'a');
    text[at] = 0xD83D;
    text[at + 1] = 0xDE00;
    text[150000] = u'\u00E9';
    text.back() = 0xD800;  // lone at the very end
    TextEncoder encoder(text);
    std::string joined;
    for (std::string_view piece = encoder.next(); !piece.empty(); piece = encoder.next()) {
      joined.append(piece);
    }
    EXPECT_EQ(joined, EncodeText(text)) << at;
    EXPECT_EQ(joined.find("\xEF\xBF\xBD"), joined.size() - 3) << at;
  }
  TextEncoder empty(u"");
  EXPECT_TRUE(empty.next().empty());
}

TEST(TextCodecTest, LongAsciiRunsStayIntact) {
  std::string bytes(1 << 20, 'q');
  bytes[12345] = '\x93';
  const std::u16string text = DecodeText(bytes);
  ASSERT_EQ(text.size(), bytes.size());
  EXPECT_EQ(text[12345], u'\u201C');
  EXPECT_EQ(text[12344], u'q');
  EXPECT_EQ(text.back(), u'q');
  const std::string out = EncodeText(text);
  EXPECT_EQ(out.size(), bytes.size() + 2);
  EXPECT_EQ(out.substr(12345, 3), "\xE2\x80\x9C");
}

}  // namespace
}  // namespace sievetext
