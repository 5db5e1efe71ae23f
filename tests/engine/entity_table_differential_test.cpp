// Checks the one-sweep applier against the row-by-row reference on generated
// texts built from the pieces that make the table's cascades interesting.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/entities/test_entry_points.h"
#include "tests/engine/entity_reference.h"
#include "tests/support/entity_texts.h"
#include "tests/support/escape.h"
#include "tests/support/throwing_yield.h"

namespace sievetext {
namespace {

using testing::ReferenceApplyEntityTable;

using testing::EntityTextGenerator;
using testing::RunStoppingAt;
using testing::Show;

// ApplyEntityTable as the program calls it, for RunStoppingAt.
void ApplyKeepingRowsBefore(std::u16string& text, const std::function<void()>& yield) {
  ApplyEntityTable(text, yield);
}

// Decodes each input in blocks of each size, keeping no copies, and checks it
// against the reference; a failure shows the first `shown` units of the input.
void ExpectStreamingMatchesReference(const std::vector<std::u16string>& inputs,
                                     std::initializer_list<std::size_t> blockSizes,
                                     std::size_t shown) {
  for (const std::u16string& input : inputs) {
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    for (const std::size_t blockUnits : blockSizes) {
      std::u16string actual = input;
      ApplyEntityTableInBlocks(actual, {}, blockUnits, EntityTextAfterThrow::Unspecified);
      ASSERT_TRUE(actual == expected)
          << "in blocks of " << blockUnits << "\ninput: " << Show(input).substr(0, shown);
    }
  }
}

TEST(EntityTableDifferentialTest, MatchesRowByRowReferenceOnGeneratedTexts) {
  constexpr int kCases = 50000;
  EntityTextGenerator gen(20261207);
  std::mt19937 stops(7);
  for (int i = 0; i < kCases; ++i) {
    const std::u16string input = gen.text();
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    std::u16string actual = input;
    ApplyEntityTable(actual, {});
    if (actual != expected) {
      FAIL() << "input: " << Show(input) << "\n got: " << Show(actual)
             << "\nwant: " << Show(expected);
    }

    // Every tenth text also stops at a random yield, where the text must show
    // exactly the rows before that yield.
    if (i % 10 == 0) {
      const int stopAt = static_cast<int>(stops() % 10);
      int refCalls = 0, calls = 0;
      const std::u16string refState =
          RunStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
      const std::u16string state = RunStoppingAt(ApplyKeepingRowsBefore, input, stopAt, &calls);
      if (state != refState) {
        FAIL() << "input: " << Show(input) << " stopped at yield " << stopAt
               << "\n got: " << Show(state) << "\nwant: " << Show(refState);
      }
      ASSERT_EQ(calls, refCalls);
    }
  }
}

TEST(EntityTableDifferentialTest, MatchesRowByRowReferenceOnLongGeneratedTexts) {
  // Long texts put many interacting references into every stage at once.
  EntityTextGenerator gen(4242);
  for (int i = 0; i < 300; ++i) {
    const std::u16string input = gen.text(600);
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    std::u16string actual = input;
    ApplyEntityTable(actual, {});
    if (actual != expected) FAIL() << "input: " << Show(input);
    if (i % 10 == 0) {
      const int stopAt = i / 10 % 9;
      int refCalls = 0, calls = 0;
      const std::u16string refState =
          RunStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
      const std::u16string state = RunStoppingAt(ApplyKeepingRowsBefore, input, stopAt, &calls);
      if (state != refState) FAIL() << "input: " << Show(input) << " stopped at " << stopAt;
    }
  }
}

TEST(EntityTableDifferentialTest, ThrowingYieldLeavesTheRowsBeforeIt) {
  const std::u16string input =
      u"&Ntilde;&eacute;&uuml;&mdash;&#36;&#75;&#116;&#167;&#210;&amp;amp;&#38;#65;&#3&not;8;#66;";
  for (int stopAt = 0; stopAt < 9; ++stopAt) {
    int refCalls = 0, calls = 0;
    const std::u16string refState =
        RunStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
    const std::u16string state = RunStoppingAt(ApplyKeepingRowsBefore, input, stopAt, &calls);
    EXPECT_EQ(Show(state), Show(refState)) << "stopped at yield " << stopAt;
    EXPECT_EQ(calls, stopAt + 1);
  }
}

TEST(EntityTableDifferentialTest, YieldsNineTimesWhateverTheText) {
  for (std::u16string text :
       {std::u16string(), std::u16string(u"plain"), std::u16string(u"&amp;&lt;&#65;")}) {
    int calls = 0;
    ApplyEntityTable(text, [&] { ++calls; });
    EXPECT_EQ(calls, 9);
  }
}

TEST(EntityTableDifferentialTest, LongChainsAndDenseReferencesMatchTheReference) {
  // Inputs far longer than the generated ones, where parts interact across
  // many '&': splitter runs that join pieces, long runs of bare '&', and
  // escapes nested several levels deep.
  std::vector<std::u16string> inputs;
  std::u16string s;
  for (int i = 0; i < 400; ++i) s += u"&";
  s += u"&#3&not;8;#65;";
  inputs.push_back(s);
  // Each '&' here sees a key only once the one after it is gone, at a later row.
  inputs.push_back(s + u"&#1&#17&pa&not;ra;2;82;");
  s.clear();
  for (int i = 0; i < 300; ++i) s += u"&#3&not;&para;&#172;8;";
  inputs.push_back(s + u"#65;");
  s.clear();
  for (int i = 0; i < 200; ++i) s += u"&amp;amp;#38;#38;lt;&&#35;&#51;&#56;;#65;";
  inputs.push_back(s);
  s.assign(1, u'&');
  for (int i = 0; i < 500; ++i) s += u"&not;";
  s += u"#65;&";
  for (int i = 0; i < 500; ++i) s += u"&#182;&para;";
  inputs.push_back(s + u"nbsp");
  for (const std::u16string& input : inputs) {
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    std::u16string actual = input;
    ApplyEntityTable(actual, {});
    EXPECT_EQ(Show(actual), Show(expected));
  }
}

TEST(EntityTableDifferentialTest, BlockByBlockMatchesTheReference) {
  // Small blocks put many cuts into short texts: every cut must be one that no
  // key can reach across, and a yield that throws between two blocks must
  // still leave exactly the rows before it, in every block.
  EntityTextGenerator gen(9090);
  std::vector<std::u16string> inputs;
  inputs.reserve(400);
  for (int i = 0; i < 400; ++i) inputs.push_back(gen.text(i % 4 == 0 ? 400 : 60));
  // No cut at all for a long way: decoded whole.
  std::u16string noCut;
  for (int i = 0; i < 200; ++i) noCut += u"&#65;&amp;";
  inputs.push_back(noCut);
  inputs.push_back(u"x " + noCut + u"\u00E9&eacute;" + noCut);

  int n = 0;
  for (const std::u16string& input : inputs) {
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    for (const std::size_t blockUnits : {1, 3, 8, 40}) {
      const auto blocked = [blockUnits](std::u16string& text, const std::function<void()>& y) {
        ApplyEntityTableInBlocks(text, y, blockUnits);
      };
      std::u16string actual = input;
      blocked(actual, {});
      if (actual != expected) {
        FAIL() << "input: " << Show(input) << " in blocks of " << blockUnits
               << "\n got: " << Show(actual) << "\nwant: " << Show(expected);
      }
      // Keeping nothing for a throwing yield must not change the result.
      std::u16string unkept = input;
      int unkeptCalls = 0;
      ApplyEntityTableInBlocks(
          unkept, [&] { ++unkeptCalls; }, blockUnits, EntityTextAfterThrow::Unspecified);
      if (unkept != expected || unkeptCalls != 9) {
        FAIL() << "input: " << Show(input) << " in blocks of " << blockUnits
               << ", nothing kept\n got: " << Show(unkept) << "\nwant: " << Show(expected);
      }
      const int stopAt = n++ % 10;
      int refCalls = 0, calls = 0;
      const std::u16string refState =
          RunStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
      const std::u16string state = RunStoppingAt(blocked, input, stopAt, &calls);
      if (state != refState) {
        FAIL() << "input: " << Show(input) << " in blocks of " << blockUnits
               << ", stopped at yield " << stopAt << "\n got: " << Show(state)
               << "\nwant: " << Show(refState);
      }
      ASSERT_EQ(calls, refCalls);
    }
  }
}

TEST(EntityTableDifferentialTest, StretchesWithoutACutMatchTheReferenceInSmallBlocks) {
  // No place to cut for a long way: each stretch is decoded as if the text
  // ended there and only what that end cannot have touched is kept, so long
  // dependency chains, references that only form once the ones after them
  // are gone, and chains of bare '&' cross many such ends.
  std::vector<std::u16string> inputs;
  std::u16string s;
  for (int i = 0; i < 300; ++i) s += u"&&&&&&&&&&amp;";
  inputs.push_back(s + u"&#1&#17&pa&not;ra;2;82;");
  s = u"&l";
  for (int i = 0; i < 400; ++i) s += i % 2 ? u"&para;" : u"&not;";
  inputs.push_back(s + u"t;" + s + u"t");
  s.clear();
  for (int i = 0; i < 400; ++i) s += u"&";
  for (int i = 0; i < 50; ++i) s += u"&#3&not;8;#65;&#1&#17&pa&not;ra;2;82;&amp;amp;lt;&";
  inputs.push_back(s);
  EntityTextGenerator gen(4242);
  s.clear();
  while (s.size() < 20000) s += u"&&" + gen.text(8);
  inputs.push_back(s);
  ExpectStreamingMatchesReference(inputs, {2, 16, 100, 1000}, 200);
}

TEST(EntityTableDifferentialTest, ReferencesThatVanishBeforeAWaitingOneMatchTheReference) {
  // A '&' that waits for what follows a long stretch of references that come
  // out empty (alone, or once the ones after them are decoded): the stretch
  // is folded while it waits, which must not change what the '&' comes to
  // see, nor what the stretch leaves behind for the '&' before it.
  const std::u16string_view pieces[] = {u"&nb",   u"sp;",   u"&para;", u"&not;",  u"&#17", u"&#50;",
                                        u"&#59;", u"&amp;", u"&#38;",  u"para;",  u"&l",   u"t;",
                                        u"&",     u"x",     u"&#172;", u"&#182;", u"&pa",  u"ra;"};
  std::mt19937 pick(1207);
  std::vector<std::u16string> inputs;
  for (const std::u16string_view run :
       {u"&para;&not;", u"&#17&#50;&#59;", u"&amp;para;", u"&#38;#182;&#1&#55;2;"}) {
    std::u16string s = u"&nb";
    for (int i = 0; i < 500; ++i) s += run;
    inputs.push_back(s);
    inputs.back().append(u"sp;").append(s).append(u"s");
  }
  for (int i = 0; i < 300; ++i) {
    std::u16string s;
    const std::size_t length = 50 + pick() % 1500;
    // Mostly vanishing pieces, so that long stretches come out empty.
    while (s.size() < length) s += pieces[pick() % 4 == 0 ? pick() % 18 : 2 + pick() % 6];
    inputs.push_back(s);
  }
  ExpectStreamingMatchesReference(inputs, {1, 7, 64, 500}, 300);
}

TEST(EntityTableDifferentialTest, ReferencesTakenOnTheirOwnMatchTheReferenceWhereverTheTextEnds) {
  // Most '&' are decoded on their own, as the text goes by; the others, from
  // the first that depends on its neighbours to the next place where the text
  // can be cut, by the full decoder. Each text puts a reference that can stand
  // alone next to ones that cannot (windows that stop at a '&' that may go,
  // references that form once others are gone), and small blocks end the
  // text or a block inside every one of them.
  const std::u16string_view alone[] = {u"&lt;",     u"&nbsp", u"&amp;x",    u"&AMP;#38;",
                                       u"&eacute;", u"&zz;",  u"&amp;amp;", u"&#65;",
                                       u"&nbsp;",   u"&",     u"&not;x",    u"&#8217;"};
  const std::u16string_view with[] = {u"&#3&#54;;",      u"&amp;lt;",    u"&amp&lt;",
                                      u"&#38;#65;",      u"l&amp;t;",    u"&&",
                                      u"#116;",          u"&l&not;t;",   u"&#1&#17&pa&not;ra;2;82;",
                                      u"&#3&not;8;#65;", u"&nb&para;sp;"};
  std::vector<std::u16string> inputs;
  for (const std::u16string_view a : alone) {
    for (const std::u16string_view b : with) {
      inputs.push_back(std::u16string(a) + std::u16string(b));
      inputs.push_back(std::u16string(b) + u" " + std::u16string(a) + std::u16string(a));
      inputs.push_back(u"x" + std::u16string(a) + std::u16string(b) + std::u16string(a) + u";");
    }
  }
  for (const std::size_t blockUnits : {1, 2, 3, 5, 9, 1000}) {
    for (const std::u16string& input : inputs) {
      std::u16string expected = input;
      ReferenceApplyEntityTable(expected, {});
      std::u16string kept = input;
      ApplyEntityTableInBlocks(kept, {}, blockUnits);
      ASSERT_TRUE(kept == expected) << "in blocks of " << blockUnits << ": " << Show(input);
    }
    ExpectStreamingMatchesReference(inputs, {blockUnits}, 100);
  }
}

TEST(EntityTableDifferentialTest, TextOfManyBlocksMatchesTheReference) {
  // Long enough for several blocks of the size used in earnest, with the
  // yields falling between blocks.
  EntityTextGenerator gen(31337);
  std::u16string input;
  while (input.size() < 3 * kEntityBlockUnits) input += gen.text(200);
  std::u16string expected = input;
  ReferenceApplyEntityTable(expected, {});
  std::u16string actual = input;
  int calls = 0;
  ApplyEntityTable(actual, [&] { ++calls; });
  EXPECT_TRUE(actual == expected);
  EXPECT_EQ(calls, 9);
  for (const int stopAt : {1, 6}) {
    int refCalls = 0;
    const std::u16string refState =
        RunStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
    const std::u16string state = RunStoppingAt(ApplyKeepingRowsBefore, input, stopAt, &calls);
    EXPECT_TRUE(state == refState) << "stopped at yield " << stopAt;
    EXPECT_EQ(calls, refCalls);
  }
}

}  // namespace
}  // namespace sievetext
