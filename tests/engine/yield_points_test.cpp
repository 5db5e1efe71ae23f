// Where the engine yields, and that each step reads its option only when it
// comes, so a yield that changes an option changes the rest of the run.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/cSievetext.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using namespace testutil;

TEST(YieldPointsTest, YieldsAtTheFixedPointsAndOncePerConsolidationCycle) {
  const struct {
    unsigned options;
    std::u16string in;
    int yields;
  } cases[] = {
      {~0u, u(""), 0},
      {0, u("a"), 7},  // five in CutHTML, two in ExtractText
      {kEntities, u("a"), 16},
      {kSpaces, u("a  b"), 8},
      {kSpaces, u("a") + std::u16string(2000, u' ') + u("b"), 9},
      {kBlankLines, u("a\n\n\nb"), 8},
      {kBlankLines | kAllCRLF, u("a\n\n\nb"), 7},
      {kBlankLines | kSpaces, u("a \n \n b"), 7},
      {kFunctions | kSpaces | kBlankLines, u("{  \n\n}"), 7},  // cut to nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Show(c.in.substr(0, 20)) + " options " + std::to_string(c.options));
    cSievetext engine;
    SetOptions(engine, c.options);
    int yields = 0;
    engine.yield = [&] { ++yields; };
    std::u16string in = c.in;
    engine.ExtractText(in);
    EXPECT_EQ(yields, c.yields);
  }
}

TEST(YieldPointsTest, CutHtmlYieldsFiveTimesWhateverTheOptionsButNotForEmptyText) {
  for (unsigned options : {0u, ~0u & ~unsigned(kEntities)}) {
    cSievetext engine;
    SetOptions(engine, options);
    int yields = 0;
    engine.yield = [&] { ++yields; };
    std::u16string text = u"x";
    engine.CutHTML(text);
    EXPECT_EQ(yields, 5);
    std::u16string empty;
    engine.CutHTML(empty);
    EXPECT_EQ(yields, 5);
  }
}

TEST(YieldPointsTest, AnOptionChangedDuringAYieldActsOnTheStepsAfterIt) {
  using Change = std::function<void(cSievetext&)>;
  const struct {
    unsigned options;
    int atYield;  // 1-based
    Change change;
    std::u16string in;
    std::u16string out;
  } cases[] = {
      {0, 1, [](cSievetext& e) { e.RemoveScripts = true; }, u("<script>x</script>y"), u("y")},
      {0, 2, [](cSievetext& e) { e.RemoveScripts = true; }, u("<script>x</script>y"),
       u("<script>x</script>y")},
      {0, 2, [](cSievetext& e) { e.RemoveStyles = true; }, u("<style>x</style>y"), u("y")},
      {0, 3, [](cSievetext& e) { e.RemoveStyles = true; }, u("<style>x</style>y"),
       u("<style>x</style>y")},
      {0, 3, [](cSievetext& e) { e.RemoveFunctions = e.RemovePipe = e.RemoveTabs = true; },
       u("{x}a|b\tc"), u("a b c")},
      {0, 4, [](cSievetext& e) { e.RemoveFunctions = e.RemovePipe = e.RemoveTabs = true; },
       u("{x}a|b\tc"), u("{x}a|b\tc")},
      {0, 4, [](cSievetext& e) { e.GenerateSpecialChars = true; }, u("&amp;"), u("&")},
      {0, 5, [](cSievetext& e) { e.GenerateSpecialChars = true; }, u("&amp;"), u("&amp;")},
      {0, 5, [](cSievetext& e) { e.RemoveAllTags = e.RemoveComments = true; }, u("<b>x!--"),
       u("x")},
      {kComments, 1, [](cSievetext& e) { e.RemoveComments = false; }, u("<!--ab-->x!--"),
       u("x!--")},
      {0, 5, [](cSievetext& e) { e.RemoveAllCRLF = e.RemoveSpaces = true; }, u("a \nb"), u("a b")},
      // The yield of step 6 comes after the first space step and before the
      // blank lines.
      {0, 6, [](cSievetext& e) { e.RemoveBlankLines = true; }, u("a\n\nb"), u("a\r\nb")},
      {0, 6, [](cSievetext& e) { e.RemoveSpaces = true; }, u("a  b"), u("a b")},
      {0, 6, [](cSievetext& e) { e.RemoveAllCRLF = true; }, u("a\nb"), u("a\r\nb")},
      // Yield 7 is the one after the LF consolidation cycle.
      {kBlankLines, 7, [](cSievetext& e) { e.RemoveSpaces = true; }, u("a\n\nb  c"), u("a\r\nb c")},
      {kBlankLines, 8, [](cSievetext& e) { e.RemoveSpaces = true; }, u("a\n\nb  c"),
       u("a\r\nb  c")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Show(c.in) + " changed at yield " + std::to_string(c.atYield));
    cSievetext engine;
    SetOptions(engine, c.options);
    int yields = 0;
    engine.yield = [&] {
      if (++yields == c.atYield) c.change(engine);
    };
    std::u16string in = c.in;
    EXPECT_EQ(Show(engine.ExtractText(in)), Show(c.out));
  }
}

TEST(YieldPointsTest, AYieldHookMayReplaceItselfWhileItRuns) {
  cSievetext engine;
  engine.GenerateSpecialChars = true;
  int first = 0, second = 0;
  engine.yield = [&] {
    ++first;
    engine.yield = [&] { ++second; };
  };
  std::u16string in = u"a";
  EXPECT_EQ(engine.ExtractText(in), u"a");
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 15);
}

}  // namespace
}  // namespace sievetext
