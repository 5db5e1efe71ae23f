// ExtractText's own steps: CR and LF handling, blank lines, spaces, trimming.

#include <gtest/gtest.h>

#include <string>

#include "engine/cSievetext.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using namespace testutil;

struct ExtractCase {
  unsigned options;
  std::u16string in;
  std::u16string out;
};

void ExpectExtracts(const std::vector<ExtractCase>& cases) {
  for (const ExtractCase& c : cases) {
    SCOPED_TRACE("input: " + Show(c.in.substr(0, 60)) + " options: " + std::to_string(c.options));
    cSievetext engine;
    SetOptions(engine, c.options);
    std::u16string in = c.in;
    EXPECT_EQ(Show(engine.ExtractText(in)), Show(c.out));
  }
}

TEST(ExtractTextTest, TurnsLineBreaksIntoCrLfAndCrIntoSpaces) {
  ExpectExtracts({
      {0, u(""), u("")},
      {0, u("a\r\n\r\nb"), u("a \r\n \r\nb")},
      {0, u("a\nb"), u("a\r\nb")},
      {0, u("a\rb"), u("a b")},
      {0, u("a\r\r\nb\n\rc"), u("a  \r\nb\r\n c")},
      {kAllCRLF, u("a\r\nb"), u("a  b")},
      {kAllCRLF | kSpaces, u("a\r\nb"), u("a b")},
      {kAllCRLF | kBlankLines, u("a\n\n\nb"), u("a   b")},
  });
}

TEST(ExtractTextTest, RemovesBlankLinesOnlyWhenNothingButOneSpaceIsLeftOnThem) {
  ExpectExtracts({
      {kBlankLines, u("a\r\n\r\nb"), u("a \r\nb")},
      {kBlankLines, u("a\n\nb"), u("a\r\nb")},
      {kBlankLines, u("a\n \n \n\n \nb"), u("a\r\nb")},
      {kBlankLines, u("a\n  \nb"), u("a\r\n  \r\nb")},
      {kBlankLines | kSpaces, u("a\n  \nb"), u("a\r\nb")},
      {kBlankLines | kSpaces, u("a\n\t\nb"), u("a\r\n\t\r\nb")},
      {kBlankLines, u("a") + std::u16string(3000, u'\n') + u("b"), u("a\r\nb")},
      {kBlankLines | kSpaces, u("a \r\n \r\n\r\n  b  \r\n"), u("a \r\n b ")},
  });
}

TEST(ExtractTextTest, CollapsesSpacesBeforeAndAfterTheBlankLineSteps) {
  ExpectExtracts({
      {kSpaces, u("a    b"), u("a b")},
      {kSpaces, u("a") + std::u16string(5000, u' ') + u("b"), u("a b")},
      {0, u("a    b"), u("a    b")},
      {kSpaces, u("a\t\tb"), u("a\t\tb")},
  });
}

TEST(ExtractTextTest, TrimsSpacesThenOneLineBreakAtEachEnd) {
  ExpectExtracts({
      {0, u("     "), u("")},
      {0, u("  a  "), u("a")},
      {0, u("\n"), u("")},
      {0, u("\n\nx"), u("\r\nx")},
      {0, u("x\n\n"), u("x\r\n")},
      {0, u(" \n a \n "), u(" a ")},
      {0, u("\n \n"), u(" ")},
      {0, u("x"), u("x")},
      {0, u("\ta\t"), u("\ta\t")},
      {0, u("\r"), u("")},
      {0, u("\r\n"), u("")},
      {0, u("a\r\n"), u("a ")},
  });
}

TEST(ExtractTextTest, LeavesTheCutTextInTheArgument) {
  cSievetext engine;
  engine.RemoveAllTags = true;
  std::u16string in = u"<p>a\r\n</p>";
  EXPECT_EQ(engine.ExtractText(in), u"a ");
  EXPECT_EQ(in, u"a\r\n");
}

TEST(ExtractTextTest, KeepsNonAsciiTextAndSurrogatePairsIntact) {
  ExpectExtracts({
      {kAllTags | kSpaces, u"<b>\u00E9t\u00E9</b>  \xD83D\xDE00 \u212A",
       u"\u00E9t\u00E9 \xD83D\xDE00 \u212A"},
  });
}

}  // namespace
}  // namespace sievetext
