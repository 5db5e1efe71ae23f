// Hand-worked results that the fast engine and the literal reference must
// both give, so that a fault in the reference cannot hide behind agreement
// with the fast engine.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/cSievetext.h"
#include "tests/engine/reference/engine_options.h"
#include "tests/engine/reference/reference_sievetext.h"
#include "tests/support/escape.h"

namespace sievetext {
namespace {

using testing::Show;

struct Row {
  unsigned options;
  std::u16string input;
  std::u16string expected;
};

template <class Engine>
class WorkedExamples : public ::testing::Test {};

using Engines = ::testing::Types<cSievetext, ReferenceSievetext>;
TYPED_TEST_SUITE(WorkedExamples, Engines);

TYPED_TEST(WorkedExamples, CutHTML) {
  const std::vector<Row> rows = {
      {0, u"See MSNavigation here", u"See   here"},
      {0, u"x\u212Amsnavigation\u017F", u"x\u212A \u017F"},
      {kComments, u"a<!-- one -->b", u"ab"},
      // The resume position skips the second comment; the markers become spaces.
      {kComments, u"<!-- a --><!-- b -->", u"<  b  "},
      {kComments, u"<!--x-->", u"< x "},
      {kComments | kAllTags, u"<!--x-->", u""},
      {kComments, u"<!-->a<!--->", u"< >a< ->"},
      {kScripts, u"<SCRIPT type=x>f()</Script>", u""},
      {kScripts, u"<script></script>", u""},
      {kScripts, u"a<script b", u"a<script b"},
      // A pair too short to cut is stepped over; later pairs still go.
      {kScripts, u"<script/script>1<script>2</script>", u"<script/script>1"},
      {kStyles, u"<style/style>x<style>p{}</style>y", u"<style/style>xy"},
      {kStyles, u"x<style>p{}</style>y", u"xy"},
      {kFunctions, u"a{b}c{d}e", u"ace"},
      {kFunctions, u"{a{b}c}", u"c}"},
      {kFunctions, u"a}b{c", u"a}b{c"},
      {kPipe | kTabs, u"a|b\tc", u"a b c"},
      {kEntities | kAllTags, u"&lt;b&gt;bold", u"bold"},
      {kScripts | kEntities, u"&lt;script&gt;f()&lt;/script&gt;", u"<script>f()</script>"},
      {kEntities, u"&Eacute;t&eacute;", u"\u00C9t\u00E9"},
      {kEntities, u"&EACUTE;&Eacute", u"&EACUTE;&Eacute"},
      {kEntities, u"&Aacute;", u"\u00C1"},
      {kEntities, u"&COPY;&Reg;&MDASH;&NDASH;", u"(c)(r)&MDASH;-"},
      {kEntities, u"&nbsp;&NBSP;&nbsp&nbspx", u"    x"},
      {kEntities, u"&amp;lt;|&amp;#65;|&amp;eacute;|&amp;amp;", u"<|A|&eacute;|&amp;"},
      {kEntities, u"&#38;#65;|&#38;#33;|&#38;lt;", u"A|&#33;|&lt;"},
      {kEntities, u"a&#10;b", u"a<br>b"},
      {kEntities | kAllTags, u"a&#10;b", u"ab"},
      {kEntities, u"&#x41;&#065;&#128;&#8364;&curren;&uml;&acute;&divide;",
       u"&#x41;&#065;&#128;&#8364;&curren;&uml;&acute;&divide;"},
      {kEntities, u"&#164;&#168;&#180;&#247;", u"\u00A4\u00A8\u00B4\u00F7"},
      {kEntities, u"&#147;Hi&#148;&#149;", u"\"Hi\"o"},
      {kEntities, u"a&not;b&#182;c", u"abc"},
      // Replacements that differ from the usual reading, one group at a time.
      {kEntities, u"&#166;&#173;&brvbar;&shy;&quot;&#9;", u"\u00A6\u00AD|\u00AD\" "},
      {kEntities, u"&cdots;&ldots;&vdots;&frac12;&trade;&sp;&quadsp;&thinsp;&emsp;&ensp;&endash;",
       u"......|1/2(tm)     -"},
      {kEntities, u"&#10;&#32;&#126;&#127;", u"<br> ~&#127;"},
      {kEntities,
       u"&#131;&#133;&#136;&#138;&#139;&#145;&#146;&#147;&#148;&#149;&#150;&#151;&#153;&#155;"
       u"&#159;&#128;&#130;&#152;",
       u"\u0192...\u02C6\u0160\u2039''\"\"o--(tm)\u203A\u0178&#128;&#130;&#152;"},
      {kEntities, u"&#160;&#169;&#172;&#174;&#182;&#188;&#189;&#190;&#255;",
       u" (c)(r)1/41/23/4\u00FF"},
      {kEntities, u"&#258;&#259;&#350;&#351;&#354;&#355;&NBSPx",
       u"\u00C3\u00E3\u00AA\u00BA\u00DE\u00FE x"},
      // "&#38;" runs after "&#37;" and before "&#39;"; "&amp;" before both.
      {kEntities, u"&#38;#37;|&#38;#39;|&#38;#38;|&amp;#38;#65;", u"&#37;|'|&#38;|A"},
      // A reference split by one that decodes to nothing is joined and decoded
      // by a later row; an earlier row has had its turn already.
      {kEntities, u"&#6&not;5;", u"A"},
      {kEntities, u"&l&not;t;", u"&lt;"},
  };
  for (const auto& row : rows) {
    TypeParam engine;
    SetOptions(engine, row.options);
    std::u16string text = row.input;
    const std::u16string result = engine.CutHTML(text);
    EXPECT_EQ(result, row.expected)
        << OptionNames(row.options) << " " << Show(row.input) << " gave " << Show(result);
    EXPECT_EQ(text, row.expected) << "in place: " << Show(row.input);
  }
}

TYPED_TEST(WorkedExamples, ExtractText) {
  const std::vector<Row> rows = {
      {kAllOptions, u"", u""},
      {0, u"   ", u""},
      {0, u"a\r\n\r\nb", u"a \r\n \r\nb"},
      {kBlankLines, u"a\r\n\r\nb", u"a \r\nb"},
      {kAllCRLF, u"a\r\nb", u"a  b"},
      {kAllCRLF | kSpaces, u"a\r\nb", u"a b"},
      {0, u"\n", u""},
      {0, u"\n\nab", u"\r\nab"},
      {0, u"x", u"x"},
      {0, u"\n ab \n", u" ab "},
      {kSpaces | kBlankLines, u"a\n   \n\n\tb", u"a\r\n\tb"},
      {kAllOptions, u"<p>Caf&eacute; &amp; <b>bar</b></p>\r\n<script>x()</script>",
       u"Caf\u00E9 & bar"},
  };
  for (const auto& row : rows) {
    TypeParam engine;
    SetOptions(engine, row.options);
    std::u16string in = row.input;
    EXPECT_EQ(engine.ExtractText(in), row.expected)
        << OptionNames(row.options) << " " << Show(row.input);
  }
}

TYPED_TEST(WorkedExamples, CutAllTags) {
  const std::vector<std::pair<std::u16string, std::u16string>> rows = {
      {u"a<b>c", u"ac"}, {u"a>b", u"a>b"},   {u"a<b", u"a"},
      {u"<x><y>", u""},  {u"<<a>b>", u"b>"}, {u"x < y and y > z", u"x  z"},
  };
  for (const auto& [input, expected] : rows) {
    EXPECT_EQ(TypeParam{}.CutAllTags(input), expected) << Show(input);
  }
}

}  // namespace
}  // namespace sievetext
