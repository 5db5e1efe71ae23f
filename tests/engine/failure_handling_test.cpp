// Failures inside the engine: reported once under the failing operation's
// name, and each operation hands back the text it promises.

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "engine/cSievetext.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using namespace testutil;

// Makes the engine's `atYield`-th yield (1-based) run `fail`.
void FailAtYield(cSievetext& engine, int atYield, const std::function<void()>& fail, int* yields) {
  engine.yield = [=] {
    if (++*yields == atYield) fail();
  };
}

const std::function<void()> kStop = [] { throw ConversionError(42, "stopped"); };

Report StopReportFrom(const char* procedure) { return {procedure, 42, "stopped"}; }

TEST(FailureHandlingTest, EachKindOfFailureIsReportedWithItsNumberAndDescription) {
  const struct {
    std::function<void()> fail;
    long number;
    std::string description;
  } cases[] = {
      {[] { throw ConversionError(-5, "negative"); }, -5, "negative"},
      {[] { throw ConversionError(9, ""); }, 9, ""},
      {[] { throw std::bad_alloc(); }, kErrorOutOfMemory, "Out of memory"},
      {[] { throw std::length_error("basic_string"); }, kErrorOutOfMemory, "Out of memory"},
      {[] { throw std::runtime_error("boom"); }, kErrorInterrupted, "boom"},
      {[] { throw 3; }, kErrorInterrupted, "Conversion interrupted"},
  };
  for (const auto& c : cases) {
    cSievetext engine;
    RecordingReporter reporter;
    engine.reporter = &reporter;
    int yields = 0;
    FailAtYield(engine, 7, c.fail, &yields);  // the last yield, step 9
    std::u16string in = u"a\nb";
    EXPECT_EQ(engine.ExtractText(in), u"a\nb") << "the working text as it stood";
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0], (Report{"ExtractText", c.number, c.description}));
  }
}

TEST(FailureHandlingTest, ExtractTextReturnsItsWorkingTextAsItStood) {
  cSievetext engine;
  engine.RemoveSpaces = true;
  RecordingReporter reporter;
  engine.reporter = &reporter;
  int yields = 0;
  FailAtYield(engine, 7, kStop, &yields);  // step 6; the space cycle was yield 6
  std::u16string in = u"<b>x  \r\ny</b>";
  EXPECT_EQ(engine.ExtractText(in), u"<b>x \ny</b>");
  EXPECT_EQ(in, u"<b>x  \r\ny</b>");
  EXPECT_EQ(reporter.reports, std::vector<Report>{StopReportFrom("ExtractText")});
  EXPECT_EQ(yields, 7);
}

TEST(FailureHandlingTest, CutHtmlReturnsEmptyAndKeepsTheStepsDoneBeforeTheFailure) {
  cSievetext engine;
  engine.RemoveComments = engine.RemoveScripts = engine.RemoveStyles = true;
  RecordingReporter reporter;
  engine.reporter = &reporter;
  int yields = 0;
  FailAtYield(engine, 2, kStop, &yields);  // after the script stage
  std::u16string text = u"<!--ab--><script>s</script><style>t</style>x";
  EXPECT_EQ(engine.CutHTML(text), u"");
  EXPECT_EQ(text, u"<style>t</style>x");
  EXPECT_EQ(reporter.reports, std::vector<Report>{StopReportFrom("CutHTML")});
}

TEST(FailureHandlingTest, ExtractTextGoesOnWithEmptyTextAfterCutHtmlFails) {
  cSievetext engine;
  engine.RemoveScripts = true;
  RecordingReporter reporter;
  engine.reporter = &reporter;
  int yields = 0;
  FailAtYield(engine, 2, kStop, &yields);
  std::u16string in = u"<script>s</script>x";
  EXPECT_EQ(engine.ExtractText(in), u"");
  EXPECT_EQ(in, u"x");
  EXPECT_EQ(yields, 4) << "steps 6 and 9 still yield";
  EXPECT_EQ(reporter.reports, std::vector<Report>{StopReportFrom("CutHTML")});
}

TEST(FailureHandlingTest, AFailureInsideTheEntityTableKeepsTheRowsAppliedBeforeIt) {
  cSievetext engine;
  engine.GenerateSpecialChars = true;
  RecordingReporter reporter;
  engine.reporter = &reporter;
  int yields = 0;
  FailAtYield(engine, 4 + 2, kStop, &yields);  // the table's second yield, before "&eacute;"
  std::u16string text = u"&Ntilde;&eacute;";
  EXPECT_EQ(engine.CutHTML(text), u"");
  EXPECT_EQ(text, u"\u00D1&eacute;");
  EXPECT_EQ(reporter.reports, std::vector<Report>{StopReportFrom("CutHTML")});
}

TEST(FailureHandlingTest, ConsolidateCharLeavesTheTextAsTheCompletedCyclesMadeIt) {
  const struct {
    std::size_t run;
    int failAt;
    std::size_t left;  // ceil(run / 1024^failAt)
  } cases[] = {
      {2000, 1, 2},
      {1024 * 1024 + 1, 1, 1025},
      {1024 * 1024 + 1, 2, 2},
      {1024 * 1024 + 1, 3, 1},
  };
  for (const auto& c : cases) {
    cSievetext engine;
    RecordingReporter reporter;
    engine.reporter = &reporter;
    int yields = 0;
    FailAtYield(engine, c.failAt, kStop, &yields);
    std::u16string text = u"a" + std::u16string(c.run, u' ') + u"b  c";
    EXPECT_EQ(engine.ConsolidateChar(text, u" "), u"");
    // Short runs are done in the first cycle.
    EXPECT_EQ(text, u"a" + std::u16string(c.left, u' ') + u"b c");
    EXPECT_EQ(reporter.reports, std::vector<Report>{StopReportFrom("ConsolidateChar")});
  }
}

TEST(FailureHandlingTest, ExtractTextGoesOnWithEmptyTextAfterConsolidateCharFails) {
  cSievetext engine;
  engine.RemoveSpaces = true;
  RecordingReporter reporter;
  engine.reporter = &reporter;
  int yields = 0;
  FailAtYield(engine, 6, kStop, &yields);  // the space cycle of step 5
  std::u16string in = u"a  b";
  EXPECT_EQ(engine.ExtractText(in), u"");
  EXPECT_EQ(yields, 8);
  EXPECT_EQ(reporter.reports, std::vector<Report>{StopReportFrom("ConsolidateChar")});
}

TEST(FailureHandlingTest, WithoutAReporterFailuresStillGiveTheDocumentedText) {
  cSievetext engine;
  engine.RemoveScripts = true;
  int yields = 0;
  FailAtYield(
      engine, 2, [] { throw std::runtime_error("x"); }, &yields);
  std::u16string in = u"<script>s</script>x";
  EXPECT_EQ(engine.CutHTML(in), u"");
  EXPECT_EQ(in, u"x");
}

}  // namespace
}  // namespace sievetext
