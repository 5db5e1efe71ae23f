// CutAllTags: everything from a "<" through the next ">" goes.

#include <gtest/gtest.h>

#include "engine/cSievetext.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using testutil::Show;
using testutil::u;

TEST(TagStripperTest, DeletesEverySpanFromAnOpeningToTheNextClosingBracket) {
  const struct {
    std::u16string in, out;
  } cases[] = {
      {u("a<b>c"), u("ac")},
      {u("a>b"), u("a>b")},
      {u("a<b"), u("a")},
      {u("<a><b>"), u("")},
      {u("<<a>b>"), u("b>")},
      {u("<a href=\">\">x"), u("\">x")},
      {u("x < y and y > z"), u("x  z")},
      {u(""), u("")},
      {u("\r\n<br>\t"), u("\r\n\t")},
      // Only U+003C and U+003E are brackets.
      {u"a\uFF1Cb\uFF1Ec\u2039d\u203A", u"a\uFF1Cb\uFF1Ec\u2039d\u203A"},
      {u"\xD83D\xDE00<\xD83D\xDE00>\xD83D\xDE00", u"\xD83D\xDE00\xD83D\xDE00"},
  };
  const cSievetext engine;
  for (const auto& c : cases) {
    const std::u16string in = c.in;
    EXPECT_EQ(Show(engine.CutAllTags(in)), Show(c.out)) << Show(c.in);
    EXPECT_EQ(in, c.in) << "the argument is not changed";
  }
}

TEST(TagStripperTest, HandlesLongTextsAcrossEveryBlockBoundary) {
  // Brackets at every offset around the scanner's block size.
  const cSievetext engine;
  for (std::size_t lead = 0; lead < 40; ++lead) {
    for (std::size_t inner = 0; inner < 40; inner += 7) {
      std::u16string in(lead, u'a');
      in += u'<';
      in += std::u16string(inner, u'b');
      in += u'>';
      in += std::u16string(lead, u'c');
      EXPECT_EQ(engine.CutAllTags(in), std::u16string(lead, u'a') + std::u16string(lead, u'c'));
    }
  }
}

}  // namespace
}  // namespace sievetext
