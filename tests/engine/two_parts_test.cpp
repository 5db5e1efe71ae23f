// The passes that a long text runs in two parts at once: wherever the text is
// cut, the result is that of the pass over the whole text as one part.

#include "engine/two_parts.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <random>
#include <string>

#include "engine/char_map.h"
#include "engine/consolidate.h"
#include "engine/entities/test_entry_points.h"
#include "engine/marker_blanker.h"
#include "engine/pair_cutter.h"
#include "engine/tag_stripper.h"
#include "engine/text_scan.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using testutil::Show;
using testutil::u;

// Random texts drawn from the units a pass reacts to, some of them dense in
// the keys, some long enough for the vector loops.
std::vector<std::u16string> Texts(std::u16string_view alphabet, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::u16string> texts = {u""};
  for (int k = 0; k < 60; ++k) {
    const std::size_t length = random() % (k < 40 ? 24 : 90);
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    texts.push_back(text);
  }
  return texts;
}

// Checks `inTwo(text, hint)` against `inTwo(text, kNotFound)` for every hint
// from 0 to past the end.
void ExpectSameAtEveryCut(const std::vector<std::u16string>& texts,
                          const std::function<void(std::u16string&, std::size_t)>& inTwo) {
  for (const std::u16string& text : texts) {
    std::u16string whole = text;
    inTwo(whole, scan::kNotFound);
    for (std::size_t hint = 0; hint <= text.size() + 1; ++hint) {
      std::u16string parts = text;
      inTwo(parts, hint);
      ASSERT_EQ(Show(parts), Show(whole)) << Show(text) << " cut near " << hint;
    }
  }
}

TEST(TwoPartsTest, TagsAreStrippedAlikeWhereverTheTextIsCut) {
  ExpectSameAtEveryCut(Texts(u"<>ab ", 1), StripTagsInTwo);
}

TEST(TwoPartsTest, BraceBlocksAreCutAlikeWhereverTheTextIsCut) {
  ExpectSameAtEveryCut(Texts(u"{}ab", 2), [](std::u16string& text, std::size_t hint) {
    CutBraceBlocksInTwo(text, hint);
  });
  ExpectSameAtEveryCut(Texts(u"{}a|\t", 2), [](std::u16string& text, std::size_t hint) {
    CutBraceBlocksInTwo(text, hint, Blanking{u'|', u'\t'});
  });
}

TEST(TwoPartsTest, BlankingWhileCompactingEqualsBlankingAfterwards) {
  for (const std::u16string& text : Texts(u"{}a|\t!->msnavigto \r\n", 6)) {
    std::u16string fused = text, apart = text;
    CutBraceBlocks(fused, Blanking{u'|', u'\t'});
    CutBraceBlocks(apart);
    BlankUnits(apart, u'|', u'\t');
    EXPECT_EQ(Show(fused), Show(apart)) << Show(text);
    fused = apart = text;
    BlankMarkers(fused, true, Blanking{u'\r', u'\n'});
    BlankMarkers(apart, true);
    BlankUnits(apart, u'\r', u'\n');
    EXPECT_EQ(Show(fused), Show(apart)) << Show(text);
  }
}

TEST(TwoPartsTest, UnitsAreBlankedAlikeWhereverTheTextIsCut) {
  ExpectSameAtEveryCut(Texts(u"|\tab", 3), [](std::u16string& text, std::size_t hint) {
    BlankUnitsInTwo(text, u'|', u'\t', hint);
  });
}

TEST(TwoPartsTest, MarkersAreBlankedAlikeWhereverTheTextIsCut) {
  // Keys, their pieces and overlaps: "!-->", "--->", "msmsnavigation".
  std::vector<std::u16string> texts = Texts(u"!->- msnavigtoMS", 4);
  for (const char* s : {"!-->", "--->", " -->x !--y", "msmsnavigation MSNAVIGATION x",
                        "a !-- b --> c msnavigation d", "-- -->!--->"})
    texts.push_back(u(s));
  for (bool comments : {false, true}) {
    ExpectSameAtEveryCut(texts, [comments](std::u16string& text, std::size_t hint) {
      BlankMarkersInTwo(text, comments, hint);
    });
    ExpectSameAtEveryCut(texts, [comments](std::u16string& text, std::size_t hint) {
      BlankMarkersInTwo(text, comments, hint, Blanking{u'-', u'\r'});
    });
  }
}

TEST(TwoPartsTest, RunsShrinkAlikeWhereverTheTextIsCut) {
  for (std::size_t divisor :
       {std::size_t{2}, std::size_t{3}, kCycleDivisor, static_cast<std::size_t>(-1)}) {
    SCOPED_TRACE(divisor);
    std::vector<std::u16string> texts = Texts(u"  a", 5);
    texts.push_back(std::u16string(40, u' '));
    texts.push_back(u("x") + std::u16string(33, u' ') + u("y "));
    for (const std::u16string& text : texts) {
      std::u16string whole = text;
      const RunReduction one = ShrinkRunsInTwo(whole, u' ', divisor, scan::kNotFound);
      for (std::size_t hint = 0; hint <= text.size() + 1; ++hint) {
        std::u16string parts = text;
        const RunReduction two = ShrinkRunsInTwo(parts, u' ', divisor, hint);
        ASSERT_EQ(Show(parts), Show(whole)) << Show(text) << " cut near " << hint;
        EXPECT_EQ(two.changed, one.changed);
        EXPECT_EQ(two.longest, one.longest);
        EXPECT_EQ(two.longestBefore, one.longestBefore);
      }
    }
  }
}

TEST(TwoPartsTest, EntitiesAreDecodedAlikeWhereverTheTextIsCut) {
  // References, their pieces, doubly escaped ones and ones that vanish.
  static const char* const kPieces[] = {
      "&amp;", "&lt;", "&#39;",    "&#x41;", "&nbsp;", "&",    "#",     ";",      "amp",  "lt",
      " ",     "x",    "&amp;lt;", "&nb",    "sp;",    "&#17", "&#50;", "&para;", "&AMP;"};
  std::mt19937 random(9);
  std::vector<std::u16string> texts;
  for (int k = 0; k < 150; ++k) {
    std::u16string text;
    for (std::size_t i = random() % 14; i > 0; --i)
      text += u(kPieces[random() % std::size(kPieces)]);
    texts.push_back(text);
  }
  for (const std::u16string& text : texts) {
    std::u16string whole = text;
    ApplyEntityTable(whole, {});
    for (std::size_t hint = 0; hint <= text.size() + 1; ++hint) {
      std::u16string parts = text;
      DecodeEntitiesInTwo(parts, hint, 3);
      ASSERT_EQ(Show(parts), Show(whole)) << Show(text) << " cut near " << hint;
    }
  }
}

TEST(TwoPartsTest, LongTextsGoInTwoPartsAndComeOutAsInOne) {
  // Past the length where the passes start a second thread, with the keys
  // all over the text.
  std::u16string text;
  const std::u16string piece =
      u("<p class=\"x\">a | b\t{c}  msnavigation !-- --> &amp;lt; &#39;&nbsp;</p>\n");
  while (text.size() < 2 * kTwoPartUnits) text += piece;
  const auto expectSame = [&text](const std::function<void(std::u16string&, std::size_t)>& inTwo,
                                  const std::function<void(std::u16string&)>& pass) {
    std::u16string whole = text, parts = text;
    inTwo(whole, scan::kNotFound);
    pass(parts);
    EXPECT_EQ(parts.size(), whole.size());
    EXPECT_TRUE(parts == whole);
  };
  expectSame(StripTagsInTwo, StripTags);
  expectSame([](std::u16string& t, std::size_t) { ApplyEntityTable(t, {}); },
             [](std::u16string& t) {
               ApplyEntityTableInBlocks(t, {}, kEntityBlockUnits,
                                        EntityTextAfterThrow::Unspecified);
             });
  expectSame([](std::u16string& t, std::size_t hint) { CutBraceBlocksInTwo(t, hint); },
             [](std::u16string& t) { CutBraceBlocks(t); });
  expectSame(
      [](std::u16string& t, std::size_t hint) {
        BlankMarkersInTwo(t, true, hint, Blanking{u'\n', u'\n'});
      },
      [](std::u16string& t) {
        BlankMarkers(t, true, Blanking{u'\n', u'\n'});
      });
  expectSame([](std::u16string& t, std::size_t hint) { BlankUnitsInTwo(t, u'|', u'\t', hint); },
             [](std::u16string& t) { BlankUnits(t, u'|', u'\t'); });
  expectSame([](std::u16string& t,
                std::size_t hint) { ShrinkRunsInTwo(t, u' ', static_cast<std::size_t>(-1), hint); },
             [](std::u16string& t) { CollapseRuns(t, u' '); });
}

}  // namespace
}  // namespace sievetext
