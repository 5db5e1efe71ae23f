// The literal reference on its own: halving cycles, yield points, failures
// and the literal replace it is built from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/reference/engine_options.h"
#include "tests/engine/reference/quirk_vocabulary.h"
#include "tests/engine/reference/reference_sievetext.h"
#include "tests/support/escape.h"
#include "tests/support/recording_reporter.h"

namespace sievetext {
namespace {

using testing::Show;

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
    EXPECT_EQ(engine.ConsolidateChar(text, c.sChar), c.expected) << Show(c.text);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(yields, c.yields) << Show(c.text);
  }
  for (const std::u16string bad : {u"", u"  "}) {
    ReferenceSievetext engine;
    std::u16string text = u"a  b";
    EXPECT_EQ(engine.ConsolidateChar(text, bad), u"");
    EXPECT_EQ(text, u"a  b");
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
      {0, u"x", 7},                             // five in the cutter, two in the pipeline
      {kEntities, u"x", 16},                    // and nine inside the entity table
      {kSpaces | kBlankLines, u"a  \n\nb", 9},  // and one per halving cycle
  };
  for (const auto& c : cases) {
    ReferenceSievetext engine;
    SetOptions(engine, c.options);
    int yields = 0;
    engine.yield = [&] { ++yields; };
    std::u16string in = c.input;
    engine.ExtractText(in);
    EXPECT_EQ(yields, c.yields) << OptionNames(c.options) << " " << Show(c.input);
  }
}

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
    testing::RecordingReporter recorder;
    engine.reporter = &recorder;
    int yields = 0;
    engine.yield = [&] {
      if (++yields == c.failAt) throw ConversionError(99, "stop");
    };
    std::u16string in = u"a<!-- x -->  b";
    EXPECT_EQ(engine.ExtractText(in), c.expectedResult) << "fail at " << c.failAt;
    EXPECT_EQ(in, c.expectedIn) << "fail at " << c.failAt;
    EXPECT_EQ(recorder.reports, (std::vector<testing::Report>{{c.procedure, 99, "stop"}}));
  }

  ReferenceSievetext engine;
  testing::RecordingReporter recorder;
  engine.reporter = &recorder;
  engine.yield = [] { throw 1; };
  std::u16string text = u"a  b";
  EXPECT_EQ(engine.ConsolidateChar(text, u" "), u"");
  EXPECT_EQ(text, u"a b");  // the ten passes ran before the failing yield
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].procedure, "ConsolidateChar");
  EXPECT_EQ(recorder.reports[0].number, kErrorInterrupted);
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
