// ConsolidateChar: runs collapse to one unit in cycles of ten halving passes,
// with a yield after each cycle.

#include <gtest/gtest.h>

#include <string>

#include "cSievetext.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using testutil::show;
using testutil::u;

std::u16string run(std::size_t n, char16_t c) { return std::u16string(n, c); }

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
      {u("a") + run(1024, u' ') + u("b"), u' ', u("a b"), 1},
      {u("a") + run(1025, u' ') + u("b") + run(3, u' '), u' ', u("a b "), 2},
      {run(1024 * 1024, u'x'), u'x', u("x"), 2},
      {run(1024 * 1024 + 1, u'x'), u'x', u("x"), 3},
      {u("\t\t\t"), u' ', u("\t\t\t"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(show(c.text.substr(0, 40)));
    cSievetext engine;
    int yields = 0;
    engine.yield = [&] { ++yields; };
    std::u16string text = c.text;
    const std::u16string result = engine.ConsolidateChar(text, std::u16string(1, c.c));
    EXPECT_EQ(show(result), show(c.out));
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

}  // namespace
}  // namespace sievetext
