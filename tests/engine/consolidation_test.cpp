// ConsolidateChar: runs collapse to one unit in cycles of ten halving passes,
// with a yield after each cycle.

#include <gtest/gtest.h>

#include <string>

#include "engine/cSievetext.h"
#include "engine/consolidate.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using testutil::Show;
using testutil::u;

std::u16string RunOf(std::size_t n, char16_t c) { return std::u16string(n, c); }

TEST(ConsolidationTest, CollapsesEveryRunAndYieldsOncePerCycle) {
  const struct {
    std::u16string text;
    char16_t c;
    std::u16string out;
    int yields;
  } cases[] = {
      {u("a   b  c d"), u' ', u("a b c d"), 1},
      {u("ab c"), u' ', u("ab c"), 0},
      {u("  x  "), u' ', u(" x "), 1},
      {u("\n\n\n"), u'\n', u("\n"), 1},
      {u("  \n\n  "), u'\n', u("  \n  "), 1},
      {u("a") + RunOf(1024, u' ') + u("b"), u' ', u("a b"), 1},
      {u("a") + RunOf(1025, u' ') + u("b") + RunOf(3, u' '), u' ', u("a b "), 2},
      {RunOf(std::size_t{1024} * 1024, u'x'), u'x', u("x"), 2},
      {RunOf(std::size_t{1024} * 1024 + 1, u'x'), u'x', u("x"), 3},
      {u("\t\t\t"), u' ', u("\t\t\t"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Show(c.text.substr(0, 40)));
    cSievetext engine;
    int yields = 0;
    engine.yield = [&] { ++yields; };
    std::u16string text = c.text;
    const std::u16string result = engine.ConsolidateChar(text, std::u16string(1, c.c));
    EXPECT_EQ(Show(result), Show(c.out));
    EXPECT_EQ(text, result);
    EXPECT_EQ(yields, c.yields);
  }
}

TEST(ConsolidationTest, GivesEmptyTextForEmptyTextOrACharacterNotOneUnitLong) {
  cSievetext engine;
  int yields = 0;
  engine.yield = [&] { ++yields; };
  std::u16string empty;
  EXPECT_EQ(engine.ConsolidateChar(empty, u" "), u"");
  for (const std::u16string& bad : {std::u16string(), std::u16string(u"  ")}) {
    std::u16string text = u"a   b";
    EXPECT_EQ(engine.ConsolidateChar(text, bad), u"");
    EXPECT_EQ(text, u"a   b") << "left alone";
  }
  EXPECT_EQ(yields, 0);
}

TEST(ConsolidationTest, OnePassCollapseReportsTheLongestRunAtEveryBlockOffset) {
  for (std::size_t lead = 0; lead < 18; ++lead) {
    for (std::size_t len : {1, 2, 3, 7, 8, 9, 16, 17, 1024, 1025, 3000}) {
      std::u16string text =
          std::u16string(lead, u'x') + RunOf(len, u' ') + u"y  z" + RunOf(lead % 3, u' ');
      const std::u16string expected =
          std::u16string(lead, u'x') + u" y z" + (lead % 3 ? u" " : u"");
      const std::size_t longest = CollapseRuns(text, u' ');
      EXPECT_EQ(text, expected) << lead << " " << len;
      EXPECT_EQ(longest, std::max<std::size_t>(len, 2)) << lead << " " << len;
    }
  }
  std::u16string none = u"abc";
  EXPECT_EQ(CollapseRuns(none, u' '), 0u);
  std::u16string single = u"a b";
  EXPECT_EQ(CollapseRuns(single, u' '), 1u);
  EXPECT_EQ(CyclesNeeded(1), 0u);
  EXPECT_EQ(CyclesNeeded(1025), 2u);
}

}  // namespace
}  // namespace sievetext
