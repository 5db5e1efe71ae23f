// Pages that declare their charset, through the decoder that reads files:
// each charset of the web gives its text, whole and in pieces cut anywhere;
// bytes that are not valid there become U+FFFD; and the pages that keep the
// default reading keep it exactly.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/legacy_decoder.h"
#include "text/text_codec.h"

namespace sievetext {
namespace {

// Decodes `bytes` handed over as two pieces cut at `cut`.
std::u16string DecodeInTwo(std::string_view bytes, std::size_t cut, std::uint64_t expected) {
  TextDecoder decoder(expected);
  decoder.feed(bytes.substr(0, cut), false);
  decoder.feed(bytes.substr(cut), true);
  return decoder.take();
}

// Decodes `bytes` handed over one byte at a time.
std::u16string DecodeByteByByte(std::string_view bytes) {
  TextDecoder decoder;
  for (const char c : bytes) decoder.feed(std::string_view(&c, 1), false);
  decoder.feed({}, true);
  return decoder.take();
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

class DeclaredCharsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!LegacyDecoder::open(Charset::Koi8R)) GTEST_SKIP() << "built without iconv";
  }
};

// The same sentence in each charset, its bytes as another implementation
// encodes them.
struct Sample {
  const char* label;
  std::string bytes;
  std::u16string text;
};

const Sample kSamples[] = {
    // clang-format off
      {"koi8-r", "\xF3\xDF\xC5\xDB\xD8 \xD6\xC5 \xC5\xDD\xA3 \xDC\xD4\xC9\xC8 \xCD\xD1\xC7\xCB\xC9\xC8 \xC6\xD2\xC1\xCE\xC3\xD5\xDA\xD3\xCB\xC9\xC8 \xC2\xD5\xCC\xCF\xCB", u"Съешь же ещё этих мягких французских булок"},
      {"windows-1251", "\xD1\xFA\xE5\xF8\xFC \xE6\xE5 \xE5\xF9\xB8 \xFD\xF2\xE8\xF5 \xEC\xFF\xE3\xEA\xE8\xF5 \xF4\xF0\xE0\xED\xF6\xF3\xE7\xF1\xEA\xE8\xF5 \xE1\xF3\xEB\xEE\xEA", u"Съешь же ещё этих мягких французских булок"},
      {"ibm866", "\x91\xEA\xA5\xE8\xEC \xA6\xA5 \xA5\xE9\xF1 \xED\xE2\xA8\xE5 \xA1\xE3\xAB\xAE\xAA", u"Съешь же ещё этих булок"},
      {"iso-8859-5", "\xC1\xEA\xD5\xE8\xEC \xD6\xD5 \xD5\xE9\xF1 \xED\xE2\xD8\xE5 \xD1\xE3\xDB\xDE\xDA", u"Съешь же ещё этих булок"},
      {"koi8-u", "\xB7\xD6\xC1\xCB \xDA'\xA7\xD7 \xAD\xD5\xC4\xDA\xC9\xCB \xA6 \xA4\xCE\xCF\xD4\xC1", u"Їжак з'їв ґудзик і єнота"},
      {"x-mac-cyrillic", "\x91\xFA\xE5\xF8\xFC \xE6\xE5 \xE5\xF9\xDE", u"Съешь же ещё"},
      {"shift_jis", "\x82\xA2\x82\xEB\x82\xCD\x82\xC9\x82\xD9\x82\xD6\x82\xC6\x81" "A\x93\xFA\x96{\x8C\xEA\x82\xCC\x95\xB6\x8F\xCD\x82\xC5\x82\xB7\x81" "B", u"いろはにほへと、日本語の文章です。"},
      {"euc-jp", "\xA4\xA4\xA4\xED\xA4\xCF\xA4\xCB\xA4\xDB\xA4\xD8\xA4\xC8\xA1\xA2\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xCA\xB8\xBE\xCF\xA4\xC7\xA4\xB9\xA1\xA3", u"いろはにほへと、日本語の文章です。"},
      {"iso-2022-jp", "\x1B$B$$$m$O$K$[$X$H!\x22" "F|K\x5C" "8l$NJ8>O$G$9!#\x1B(B", u"いろはにほへと、日本語の文章です。"},
      {"gbk", "\xCE\xD2\xC4\xDC\xCD\xCC\xCF\xC2\xB2\xA3\xC1\xA7\xB6\xF8\xB2\xBB\xC9\xCB\xC9\xED\xCC\xE5\xA1\xA3", u"我能吞下玻璃而不伤身体。"},
      {"gb18030", "\xCE\xD2\xC4\xDC\xCD\xCC\xCF\xC2\xB2\xA3\xC1\xA7\xB6\xF8\xB2\xBB\xC9\xCB\xC9\xED\xCC\xE5 \x95" "2\x82" "6 \xA2\xE3", u"我能吞下玻璃而不伤身体 𠀀 €"},
      {"big5", "\xA7\xDA\xAF\xE0\xA7]\xA4U\xAC\xC1\xBC\xFE\xA6\xD3\xA4\xA3\xB6\xCB\xA8\xAD\xC5\xE9\xA1" "C", u"我能吞下玻璃而不傷身體。"},
      {"euc-kr", "\xB3\xAA\xB4\xC2 \xC0\xAF\xB8\xAE\xB8\xA6 \xB8\xD4\xC0\xBB \xBC\xF6 \xC0\xD6\xBE\xEE\xBF\xE4. \x8C" "c\xB9\xE6\xB0\xA2\xC7\xCF", u"나는 유리를 먹을 수 있어요. 똠방각하"},
      {"iso-8859-2", "Za\xBF\xF3\xB3\xE6 g\xEA\xB6l\xB1 ja\xBC\xF1", u"Zażółć gęślą jaźń"},
      {"iso-8859-3", "\xA1" "a\xF5" "ar Qim, \xE5irasa, \xBF" "ebbu\xF5", u"Ħaġar Qim, ċirasa, żebbuġ"},
      {"iso-8859-4", "\xABimen\xBA \xF3\xBAni\xF1\xB9 \xB3\xFE\xF3is", u"Ģimenē ķēniņš ŗūķis"},
      {"iso-8859-6", "\xC3\xC8\xCC\xCF \xE7\xE8\xD2 \xCD\xD7\xEA", u"أبجد هوز حطي"},
      {"iso-8859-7", "\xCE\xE5\xF3\xEA\xE5\xF0\xDC\xE6\xF9 \xF4\xE7\xED \xF8\xF5\xF7\xEF\xF6\xE8\xFC\xF1\xE1 \xE2\xE4\xE5\xEB\xF5\xE3\xEC\xDF\xE1", u"Ξεσκεπάζω την ψυχοφθόρα βδελυγμία"},
      {"iso-8859-8", "\xF2\xE8\xEC\xF3 \xE0\xE1\xF7 \xF0\xF1 \xE3\xF8\xEA \xEE\xE6\xE2\xEF", u"עטלף אבק נס דרך מזגן"},
      {"iso-8859-8-i", "\xF2\xE8\xEC\xF3 \xE0\xE1\xF7 \xF0\xF1 \xE3\xF8\xEA \xEE\xE6\xE2\xEF", u"עטלף אבק נס דרך מזגן"},
      {"iso-8859-10", "\xDE\xF3r\xF0ur \xBF \xBB \xBE \xFF", u"Þórður ŋ ŧ ū ĸ"},
      {"iso-8859-13", "\xC1linkdama fechtuotojo \xF0paga", u"Įlinkdama fechtuotojo špaga"},
      {"iso-8859-14", "\xD0yn \xFE" "d \xA2 \xB8", u"Ŵyn ŷd ḃ ẁ"},
      {"iso-8859-15", "\xA4 \xBCuvre \xA6\xB8 \xBE", u"€ Œuvre Šž Ÿ"},
      {"iso-8859-16", "\xCEn\xBAir\xE3-te m\xE3rg\xE3rite, \xFE\xE2n\xFE" "ar", u"Înșiră-te mărgărite, țânțar"},
      {"windows-1250", "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1" "belsk\xE9 \xF3" "dy", u"Příliš žluťoučký kůň úpěl ďábelské ódy"},
      {"windows-1253", "\xCE\xE5\xF3\xEA\xE5\xF0\xDC\xE6\xF9 \xF4\xE7\xED \xF8\xF5\xF7\xEF\xF6\xE8\xFC\xF1\xE1 \xE2\xE4\xE5\xEB\xF5\xE3\xEC\xDF\xE1", u"Ξεσκεπάζω την ψυχοφθόρα βδελυγμία"},
      {"windows-1254", "Pijamal\xFD hasta ya\xF0\xFDz \xFEof\xF6re \xE7" "abucak g\xFCvendi", u"Pijamalı hasta yağız şoföre çabucak güvendi"},
      {"windows-1255", "\xF2\xE8\xEC\xF3 \xE0\xE1\xF7 \xF0\xF1 \xE3\xF8\xEA \xEE\xE6\xE2\xEF", u"עטלף אבק נס דרך מזגן"},
      {"windows-1256", "\xC3\xC8\xCC\xCF \xE5\xE6\xD2 \xCD\xD8\xED", u"أبجد هوز حطي"},
      {"windows-1257", "\xC1linkdama fechtuotojo \xF0paga", u"Įlinkdama fechtuotojo špaga"},
      {"windows-874", "\xC0\xD2\xC9\xD2\xE4\xB7\xC2 \x93\xA2\x94", u"ภาษาไทย “ข”"},
      {"macintosh", "Caf\x8E \xB7 \xB9 \xDE", u"Café ∑ π ﬁ"},
      {"windows-1258", "Ti\xEA\xECng Vi\xEA\xF2t", u"Tiếng Việt"},  // marks composed
      {"csiso2022jp", "\x1B(I1\x1B(Jx\\~\x1B(B\\~", u"ｱx¥‾\\~"},  // katakana, Roman, ASCII
    // clang-format on
};

TEST_F(DeclaredCharsetTest, EachCharsetGivesItsText) {
  for (const Sample& sample : kSamples) {
    const std::string meta = std::string("<meta charset=\"") + sample.label + "\">";
    EXPECT_EQ(DecodeText(meta + sample.bytes + "\r\n"), Widen(meta) + sample.text + u"\r\n")
        << sample.label;
  }
}

TEST_F(DeclaredCharsetTest, PiecesCutAnywhereGiveTheSameText) {
  for (const Sample& sample : kSamples) {
    const std::string page =
        std::string("<meta http-equiv=Content-Type content='text/html; charset=") + sample.label +
        "'>" + sample.bytes + sample.bytes;
    const std::u16string whole = DecodeText(page);
    for (std::size_t cut = 0; cut <= page.size(); ++cut) {
      ASSERT_EQ(DecodeInTwo(page, cut, page.size()), whole) << sample.label << " cut at " << cut;
      ASSERT_EQ(DecodeInTwo(page, cut, 0), whole) << sample.label << " cut at " << cut;
    }
    EXPECT_EQ(DecodeByteByByte(page), whole) << sample.label;
  }
}

TEST_F(DeclaredCharsetTest, TextTakenAsItComesIsTheWholeText) {
  for (const Sample& sample : kSamples) {
    const std::string page = std::string("<meta charset=") + sample.label + ">" + sample.bytes;
    for (std::size_t piece = 1; piece <= 7; ++piece) {
      TextDecoder decoder;
      std::u16string text;
      for (std::size_t at = 0; at < page.size(); at += piece) {
        decoder.feed(std::string_view(page).substr(at, piece), false);
        text += decoder.drain();
      }
      decoder.feed({}, true);
      text += decoder.drain();
      EXPECT_EQ(text, DecodeText(page)) << sample.label << " in pieces of " << piece;
    }
  }
}

TEST_F(DeclaredCharsetTest, InvalidBytesBecomeReplacementCharacters) {
  const struct {
    const char* name;
    const char* label;
    std::string bytes;
    std::u16string text;
  } rows[] = {
      {"lead byte before an ASCII byte", "shift_jis", "a\x93\x7Fz", u"a\uFFFD\u007Fz"},
      {"lead byte at the end", "shift_jis", "a\x93", u"a\uFFFD"},
      {"unassigned byte", "shift_jis", "\xA0\xFD", u"\uFFFD\uFFFD"},
      {"euc-jp cut short", "euc-jp", "\xC6\xFC\xCB", u"\u65E5\uFFFD"},
      {"gb18030 four bytes cut short", "gb18030", "\x81\x30\x81", u"\uFFFD0\uFFFD"},
      {"big5 lead before a space", "big5", "\xA7 x", u"\uFFFD x"},
      {"euc-kr lead at the end", "euc-kr", "\xB0\xA1\xC8", u"\uAC00\uFFFD"},
      {"iso-2022-jp escape cut short", "iso-2022-jp", "a\x1B$", u"a\uFFFD$"},
      {"unassigned in iso-8859-3", "iso-8859-3", "a\xA5z", u"a\uFFFDz"},
      {"unassigned in windows-1253", "windows-1253", "a\xAAz", u"a\uFFFDz"},
      {"C1 bytes of windows code pages", "windows-1250", "\x81\x83\x88\x90\x98",
       u"\u0081\u0083\u0088\u0090\u0098"},
      {"C1 bytes of windows-874", "windows-874", "\x81\x80", u"\u0081\u20AC"},
  };
  for (const auto& row : rows) {
    const std::string meta = std::string("<meta charset=") + row.label + ">";
    const std::string page = meta + row.bytes;
    EXPECT_EQ(DecodeText(page), Widen(meta) + row.text) << row.name;
    for (std::size_t cut = 0; cut <= page.size(); ++cut) {
      EXPECT_EQ(DecodeInTwo(page, cut, 0), Widen(meta) + row.text) << row.name << " cut at " << cut;
    }
  }
}

TEST_F(DeclaredCharsetTest, LongTextsInvalidOrNotGoThroughInFull) {
  // Well past the first pieces and the first room: every unit is kept and
  // nothing is cut short, whichever way the text is handed over.
  std::string valid = "<meta charset=shift_jis>";
  std::u16string validText = Widen(valid);
  std::string invalid = "<meta charset=shift_jis>";
  std::u16string invalidText = Widen(invalid);
  while (valid.size() < (1u << 20)) {
    valid += "\x93\xFA\x96\x7B<br>";  // 日本<br>
    validText += u"日本<br>";
    invalid += "\xA0\xFD\xFD";
    invalidText += u"\uFFFD\uFFFD\uFFFD";
  }
  for (const auto& [bytes, text] : {std::pair{valid, validText}, std::pair{invalid, invalidText}}) {
    EXPECT_TRUE(DecodeText(bytes) == text);
    TextDecoder decoder(1000, 1000);
    for (std::size_t at = 0; at < bytes.size(); at += 65521) {
      decoder.feed(std::string_view(bytes).substr(at, 65521), false);
    }
    decoder.feed({}, true);
    EXPECT_TRUE(decoder.take() == text);
  }
}

TEST_F(DeclaredCharsetTest, AByteOrderMarkWinsOverTheDeclaration) {
  const std::string meta = "<meta charset=koi8-r>";
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF" + meta + "caf\xC3\xA9"), Widen(meta) + u"café");
  std::string utf16;
  for (const char c : meta + "x") utf16 += std::string{c, '\0'};
  EXPECT_EQ(DecodeText("\xFF\xFE" + utf16), Widen(meta) + u"x");
  // Without the mark, the declaration counts.
  EXPECT_EQ(DecodeText(meta + "\xC3\xA9"), Widen(meta) + u"ц╘");
}

TEST_F(DeclaredCharsetTest, StringsHandedOverAsTextIgnoreTheDeclaration) {
  const std::string page = "<meta charset=koi8-r>\xD0\xA6 caf\xC3\xA9";
  TextDecoder decoder(0, 0, TextDecoder::Declarations::Ignore);
  decoder.feed(page, true);
  EXPECT_EQ(decoder.take(), u"<meta charset=koi8-r>Ц café");
}

}  // namespace

// These declarations keep the default reading, byte for byte: UTF-8 where it
// is well formed, Windows-1252 for every other byte. Pages so labelled often
// hold UTF-8, and the others are those that cannot be decoded as they say.
TEST(DefaultReadingTest, KeptForUtf8Windows1252AndWhatCannotBeDecoded) {
  const std::string body = "caf\xC3\xA9 caf\xE9 \x93q\x94 \x81";
  const std::u16string text = u"café café “q” \u0081";
  for (const char* label :
       {"utf-8", "UTF8", "iso-8859-1", "latin1", "us-ascii", "ascii", "windows-1252",
        "x-user-defined", "utf-16", "utf-16be", "iso-2022-kr", "hz-gb-2312", "no-such-charset"}) {
    const std::string meta = std::string("<meta charset=\"") + label + "\">";
    EXPECT_EQ(DecodeText(meta + body), Widen(meta) + text) << label;
  }
  // A declaration past the first 1024 bytes is not seen.
  const std::string late = std::string(1024, ' ') + "<meta charset=koi8-r>" + body;
  EXPECT_EQ(DecodeText(late), Widen(late.substr(0, 1045)) + text);
}

}  // namespace sievetext
