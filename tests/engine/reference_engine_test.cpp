// The literal reference checked on its own against hand-worked results, so
// that a fault in it cannot hide behind agreement with the fast engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_options.h"
#include "quirk_vocabulary.h"
#include "reference_sievetext.h"

namespace sievetext {
namespace {

struct Row {
  unsigned options;
  std::u16string input;
  std::u16string expected;
};

std::string show(const std::u16string& s) { return "u\"" + quirks::Escape(s) + "\""; }

TEST(ReferenceCutHTML, WorkedExamples) {
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
      // A reference split by one that decodes to nothing is joined and decoded
      // by a later row; an earlier row has had its turn already.
      {kEntities, u"&#6&not;5;", u"A"},
      {kEntities, u"&l&not;t;", u"&lt;"},
  };
  for (const auto& row : rows) {
    ReferenceSievetext engine;
    SetOptions(engine, row.options);
    std::u16string text = row.input;
    std::u16string result = engine.CutHTML(text);
    EXPECT_EQ(result, row.expected) << OptionNames(row.options) << " " << show(row.input)
                                    << " gave " << show(result);
    EXPECT_EQ(text, row.expected) << "in place: " << show(row.input);
  }
}

TEST(ReferenceExtractText, WorkedExamples) {
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
    ReferenceSievetext engine;
    SetOptions(engine, row.options);
    std::u16string in = row.input;
    EXPECT_EQ(engine.ExtractText(in), row.expected) << OptionNames(row.options) << " "
                                                    << show(row.input);
  }
}

TEST(ReferenceConsolidateChar, HalvesInCyclesOfTenAndYieldsAfterEach) {
  struct Case {
    std::u16string text;
    std::u16string sChar;
    std::u16string expected;
    int yields;
  };
  const std::vector<Case> cases = {
      {u"a b", u" ", u"a b", 0},
      {u"a   b", u" ", u"a b", 1},
      {std::u16string(1024, u' '), u" ", u" ", 1},
      {std::u16string(1025, u' '), u" ", u" ", 2},
      {u"\n\n\n", u"\n", u"\n", 1},
      {u"", u" ", u"", 0},
  };
  for (const auto& c : cases) {
    ReferenceSievetext engine;
    int yields = 0;
    engine.yield = [&] { ++yields; };
    std::u16string text = c.text;
    EXPECT_EQ(engine.ConsolidateChar(text, c.sChar), c.expected) << show(c.text);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(yields, c.yields) << show(c.text);
  }
  for (const std::u16string bad : {u"", u"  "}) {
    ReferenceSievetext engine;
    std::u16string text = u"a  b";
    EXPECT_EQ(engine.ConsolidateChar(text, bad), u"");
    EXPECT_EQ(text, u"a  b");
  }
}

TEST(ReferenceCutAllTags, WorkedExamples) {
  const std::vector<std::pair<std::u16string, std::u16string>> rows = {
      {u"a<b>c", u"ac"}, {u"a>b", u"a>b"},   {u"a<b", u"a"},
      {u"<x><y>", u""},  {u"<<a>b>", u"b>"}, {u"x < y and y > z", u"x  z"},
  };
  for (const auto& [input, expected] : rows) {
    EXPECT_EQ(ReferenceSievetext{}.CutAllTags(input), expected) << show(input);
  }
}

TEST(ReferenceYields, AtTheFixedPointsOnly) {
  struct Case {
    unsigned options;
    std::u16string input;
    int yields;
  };
  const std::vector<Case> cases = {
      {kAllOptions, u"", 0},
      {0, u"x", 7},                            // five in the cutter, two in the pipeline
      {kEntities, u"x", 16},                   // and nine inside the entity table
      {kSpaces | kBlankLines, u"a  \n\nb", 9},  // and one per halving cycle
  };
  for (const auto& c : cases) {
    ReferenceSievetext engine;
    SetOptions(engine, c.options);
    int yields = 0;
    engine.yield = [&] { ++yields; };
    std::u16string in = c.input;
    engine.ExtractText(in);
    EXPECT_EQ(yields, c.yields) << OptionNames(c.options) << " " << show(c.input);
  }
}

class Recorder : public ConversionReporter {
 public:
  void report(std::string_view procedure, long number, std::string_view) override {
    names.emplace_back(procedure);
    numbers.push_back(number);
  }
  std::vector<std::string> names;
  std::vector<long> numbers;
};

TEST(ReferenceFailures, EachOperationReportsUnderItsOwnNameAndReturnsItsPromise) {
  // The yield fails at the n-th call: 1 is after the comment stage, 6 the
  // halving cycle of the first space consolidation, 7 and 8 ExtractText's own.
  struct Case {
    int failAt;
    std::u16string expectedResult;
    std::u16string expectedIn;
    const char* procedure;
  };
  const std::vector<Case> cases = {
      {1, u"", u"a  b", "CutHTML"},
      {6, u"", u"a  b", "ConsolidateChar"},
      {7, u"a b", u"a  b", "ExtractText"},
      {8, u"a b", u"a  b", "ExtractText"},
  };
  for (const auto& c : cases) {
    ReferenceSievetext engine;
    SetOptions(engine, kComments | kSpaces);
    Recorder recorder;
    engine.reporter = &recorder;
    int yields = 0;
    engine.yield = [&] {
      if (++yields == c.failAt) throw ConversionError(99, "stop");
    };
    std::u16string in = u"a<!-- x -->  b";
    EXPECT_EQ(engine.ExtractText(in), c.expectedResult) << "fail at " << c.failAt;
    EXPECT_EQ(in, c.expectedIn) << "fail at " << c.failAt;
    ASSERT_EQ(recorder.names.size(), 1u);
    EXPECT_EQ(recorder.names[0], c.procedure);
    EXPECT_EQ(recorder.numbers[0], 99);
  }

  ReferenceSievetext engine;
  Recorder recorder;
  engine.reporter = &recorder;
  engine.yield = [] { throw 1; };
  std::u16string text = u"a  b";
  EXPECT_EQ(engine.ConsolidateChar(text, u" "), u"");
  EXPECT_EQ(text, u"a b");  // the ten passes ran before the failing yield
  ASSERT_EQ(recorder.names.size(), 1u);
  EXPECT_EQ(recorder.names[0], "ConsolidateChar");
  EXPECT_EQ(recorder.numbers[0], kErrorInterrupted);
}

TEST(ReferenceLiteral, ReplaceDoesNotSearchItsOwnOutputAndFoldsAsciiOnly) {
  using literal::Replace;
  EXPECT_EQ(Replace(u"aa", u"a", u"aa", false), u"aaaa");
  EXPECT_EQ(Replace(u"aaa", u"aa", u"a", false), u"aa");
  EXPECT_EQ(Replace(u"<ScRiPt", u"<script", u"-", true), u"-");
  EXPECT_EQ(Replace(u"\u212A\u017F", u"ks", u"-", true), u"\u212A\u017F");
  EXPECT_EQ(literal::InStr(4, u"abc", u"c", false), 0u);
  EXPECT_EQ(literal::InStr(2, u"abab", u"ab", false), 3u);
}

}  // namespace
}  // namespace sievetext
