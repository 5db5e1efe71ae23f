// CutHTML stage by stage: each row is options, input, and the exact result.

#include <gtest/gtest.h>

#include <string>

#include "engine/cSievetext.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using namespace testutil;

struct CutCase {
  unsigned options;
  std::u16string in;
  std::u16string out;
};

void ExpectCuts(const std::vector<CutCase>& cases) {
  for (const CutCase& c : cases) {
    SCOPED_TRACE("input: " + Show(c.in));
    cSievetext engine;
    SetOptions(engine, c.options);
    std::u16string text = c.in;
    const std::u16string result = engine.CutHTML(text);
    EXPECT_EQ(Show(result), Show(c.out));
    EXPECT_EQ(Show(text), Show(c.out)) << "the text is cut in place too";
  }
}

TEST(CommentCuttingTest, CutsBlocksWithTwoUnitsBetweenTheMarkersAndBlanksLeftovers) {
  ExpectCuts({
      {kComments, u("a<!-- one -->b"), u("ab")},
      {kComments, u("<!--ab-->"), u("")},
      // Too short to cut; the leftover markers become spaces afterwards.
      {kComments, u("<!--x-->"), u("< x ")},
      {kComments, u("<!---->"), u("<  ")},
      {kComments, u("<!-->"), u("< >")},
      {kComments, u("<!--->"), u("< ->")},
      {kComments | kAllTags, u("<!--x-->"), u("")},
      // Leftover markers anywhere, "!--" before "-->".
      {kComments, u("a!--b-->c!-->d"), u("a b c >d")},
      {0, u("a<!-- one -->b"), u("a<!-- one -->b")},
      {kComments, u("<!-- never closed"), u("<  never closed")},
  });
}

TEST(CommentCuttingTest, SkipsAsManyUnitsAfterACutAsTheOpenerStoodBeforeItsCloser) {
  ExpectCuts({
      // The second comment starts inside the skipped units and stays.
      {kComments, u("<!-- a --><!-- b -->"), u("<  b  ")},
      // e - h is 6 here: a comment starting 5 units after the cut stays,
      // one starting 6 units after it goes.
      {kComments, u("<!--ab-->12345<!--cd-->"), u("12345< cd ")},
      {kComments, u("<!--ab-->123456<!--cd-->"), u("123456")},
      // A resume position past the end ends the stage.
      {kComments, u("<!--abcdefgh-->x<!--y z-->"), u("x< y z ")},
      // After a block too short to cut, searching resumes at its closer.
      {kComments, u("<!---->a<!--bc-->"), u("<  a")},
      {kComments, u("<!--><!--ab-->"), u("< >")},
  });
}

TEST(ScriptCuttingTest, CutsBlocksInAnyAsciiCaseWhenTheCloserIsFarEnough) {
  ExpectCuts({
      {kScripts, u("<SCRIPT type=x>f()</Script>"), u("")},
      {kScripts, u("<script></script>"), u("")},
      {kScripts, u("a<scripting>x</script>b"), u("ab")},
      {kScripts, u("<script>x"), u("<script>x")},
      {kScripts, u("x/script><script>"), u("x/script><script>")},
      // The closer 9 units after the "<" is cut; 7 and 8 are not.
      {kScripts, u("<script>x/script>"), u("")},
      {kScripts, u("<script/script>"), u("<script/script>")},
      {kScripts, u("<script>/script>"), u("<script>/script>")},
      // A kept pair does not stop later pairs from being cut.
      {kScripts, u("a<script/script>b<script>c</script>d<script>/script>e<script>f</script>"),
       u("a<script/script>bd<script>/script>e")},
      {0, u("<script>x</script>"), u("<script>x</script>")},
  });
  // Only ASCII letters fold: a long s is not an "s".
  cSievetext engine;
  engine.RemoveScripts = true;
  std::u16string longS = u"<\u017Fcript>x</script>y";
  EXPECT_EQ(engine.CutHTML(longS), u"<\u017Fcript>x</script>y");
}

TEST(ScriptCuttingTest, FindsOpenersThatACutJoinsTogether) {
  ExpectCuts({
      {kScripts, u("<scr<script>a</script>ipt>b</script>c"), u("c")},
      {kScripts, u("<script/script><scr<script>a</script>ipt>bb/script>c"), u("<script/script>c")},
      // Regression: the second cut joins "<sc", kept from before the first
      // cut, with "ript" into a new opener, which must be found even though
      // the search had already moved past that "<".
      {kScripts, u("<sc<scr<script>aa/script>ipt>bb/script>ript>cc/script>"), u("")},
      {kScripts, u("<<script>a</script>script>b</script>"), u("")},
  });
}

TEST(StyleCuttingTest, CutsBlocksInAnyAsciiCaseWhenTheCloserIsFarEnough) {
  ExpectCuts({
      {kStyles, u("x<style>p{}</style>y"), u("xy")},
      {kStyles, u("<STYLE>a</sTyLe>b"), u("b")},
      {kStyles, u("<style>/style>"), u("")},
      {kStyles, u("<style/style>x<style>y</style>"), u("<style/style>x")},
      {kStyles, u("<sty<style>a</style>le>b</style>c"), u("c")},
      {kStyles, u("<style>x"), u("<style>x")},
      {kScripts, u("<style>x</style>"), u("<style>x</style>")},
  });
}

TEST(BraceCuttingTest, CutsFromABraceToTheFirstClosingBrace) {
  ExpectCuts({
      {kFunctions, u("a{b}c{d}e"), u("ace")},
      {kFunctions, u("{a{b}c}"), u("c}")},
      {kFunctions, u("a}b{c"), u("a}b{c")},
      {kFunctions, u("{}{{{"), u("{{{")},
      {kFunctions, u("x{\r\n}y{"), u("xy{")},
  });
}

TEST(MarkupCutterTest, BlanksPipesTabsAndNavigationMarkers) {
  ExpectCuts({
      {kPipe | kTabs, u("a|b\tc"), u("a b c")},
      {kPipe, u("a|b\tc"), u("a b\tc")},
      {kTabs, u("a|b\tc"), u("a|b c")},
      // "msnavigation" goes whatever the options, in any ASCII case.
      {0, u("See MSNavigation here"), u("See   here")},
      {0, u("xmsnavigationy msnavigatio"), u("x y msnavigatio")},
      {0, u(""), u("")},
  });
  cSievetext engine;
  std::u16string longS = u"m\u017Fnavigation MSNAVIGATIONmsnavigation";
  EXPECT_EQ(engine.CutHTML(longS), u"m\u017Fnavigation   ");
}

TEST(MarkupCutterTest, DecodesEntitiesBeforeStrippingTagsButAfterCuttingScripts) {
  ExpectCuts({
      {kEntities | kAllTags, u("&lt;b&gt;bold"), u("bold")},
      {kEntities | kAllTags, u("a&#10;b"), u("ab")},
      {kScripts | kEntities, u("&lt;script&gt;f()&lt;/script&gt;"), u("<script>f()</script>")},
      {kAllTags, u("a<b>c<d"), u("ac")},
      {kComments | kScripts | kStyles | kFunctions | kAllTags,
       u("<p>Hi<!-- c --><script>s()</script><style>p{}</style>{x} there</p>"), u("Hi there")},
  });
}

}  // namespace
}  // namespace sievetext
