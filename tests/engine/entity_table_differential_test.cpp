// Checks the one-sweep applier against the row-by-row reference on generated
// texts built from the pieces that make the table's cascades interesting.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "entity_reference.h"
#include "entity_table.h"

namespace sievetext {
namespace {

using testing::ReferenceApplyEntityTable;

std::string printable(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

char16_t flipCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 32);
  if (c >= u'A' && c <= u'Z') return char16_t(c + 32);
  return c;
}

class TextGenerator {
 public:
  explicit TextGenerator(unsigned seed) : rng_(seed) {}

  std::u16string text(std::size_t maxPieces = 14) {
    std::u16string out;
    const std::size_t pieces = pick(maxPieces) + 1;
    for (std::size_t i = 0; i < pieces; ++i) out += piece();
    return out;
  }

 private:
  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  std::u16string anyKey() {
    const auto rows = EntityRows();
    return std::u16string(rows[pick(rows.size())].key);
  }

  std::u16string piece() {
    static const std::u16string_view kSplitters[] = {u"&not;",  u"&para;", u"&#172;",
                                                     u"&#182;", u"&NOT;",  u"&Para;"};
    static const std::u16string_view kEscapes[] = {u"&amp;", u"&#38;", u"&AMP;", u"&amp;amp;"};
    static const std::u16string_view kSmall[] = {
        u"&",          u"#",      u";",  u"3",  u"8",      u"6",      u"5",      u"1",
        u"0",          u"a",      u"m",  u"p",  u"l",      u"t",      u"n",      u"b",
        u"s",          u"N",      u"B",  u" ",  u"\u00E9", u"\u212A", u"\u0130", u"\u017F",
        u"\U0001F600", u"\xD800", u"&#", u"&&", u";;"};
    std::u16string key = anyKey();
    switch (pick(12)) {
      case 0:
      case 1:
        return key;
      case 2:  // wrong letter case, one unit or all
        if (pick(2) == 0) {
          for (char16_t& c : key) c = flipCase(c);
        } else {
          const std::size_t at = 1 + pick(key.size() - 1);
          key[at] = flipCase(key[at]);
        }
        return key;
      case 3:  // without its ';', or cut short
        return key.substr(0, 1 + pick(key.size() - 1));
      case 4:  // doubly escaped
        return std::u16string(kEscapes[pick(std::size(kEscapes))]) + key.substr(1);
      case 5: {  // a vanishing reference inside a key
        const std::size_t at = 1 + pick(key.size() - 1);
        return key.substr(0, at) + std::u16string(kSplitters[pick(std::size(kSplitters))]) +
               key.substr(at);
      }
      case 6: {  // a numeric reference that may or may not have a row
        std::string digits = std::to_string(pick(pick(2) == 0 ? 400 : 40));
        return u"&#" + std::u16string(digits.begin(), digits.end()) + (pick(4) ? u";" : u"");
      }
      case 7: {  // a key whose digits or letters come from references decoded earlier
        std::u16string out = u"&";
        for (char16_t c : key.substr(1)) {
          if (pick(3) == 0) {
            std::string code = std::to_string(static_cast<int>(c));
            out += u"&#" + std::u16string(code.begin(), code.end()) + u";";
          } else {
            out += c;
          }
        }
        return out;
      }
      case 8:
      case 9:
      case 10:
        return std::u16string(kSmall[pick(std::size(kSmall))]);
      default:
        return std::u16string(kSplitters[pick(std::size(kSplitters))]);
    }
  }

  std::mt19937 rng_;
};

struct YieldStop {};

// Runs `apply` with a yield that throws on call number `stopAt` (never when it
// is past the nine calls) and returns the text as it was left.
template <typename Apply>
std::u16string runStoppingAt(Apply apply, std::u16string text, int stopAt, int* calls) {
  *calls = 0;
  try {
    apply(text, [&] {
      if ((*calls)++ == stopAt) throw YieldStop{};
    });
  } catch (const YieldStop&) {
  }
  return text;
}

TEST(EntityTableDifferentialTest, MatchesRowByRowReferenceOnGeneratedTexts) {
  constexpr int kCases = 50000;
  TextGenerator gen(20261207);
  std::mt19937 stops(7);
  for (int i = 0; i < kCases; ++i) {
    const std::u16string input = gen.text();
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    std::u16string actual = input;
    ApplyEntityTable(actual, {});
    if (actual != expected) {
      FAIL() << "input: " << printable(input) << "\n got: " << printable(actual)
             << "\nwant: " << printable(expected);
    }

    // Every tenth text also stops at a random yield, where the text must show
    // exactly the rows before that yield.
    if (i % 10 == 0) {
      const int stopAt = static_cast<int>(stops() % 10);
      int refCalls = 0, calls = 0;
      const std::u16string refState =
          runStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
      const std::u16string state = runStoppingAt(ApplyEntityTable, input, stopAt, &calls);
      if (state != refState) {
        FAIL() << "input: " << printable(input) << " stopped at yield " << stopAt
               << "\n got: " << printable(state) << "\nwant: " << printable(refState);
      }
      ASSERT_EQ(calls, refCalls);
    }
  }
}

TEST(EntityTableDifferentialTest, MatchesRowByRowReferenceOnLongGeneratedTexts) {
  // Long texts put many interacting references into every stage at once.
  TextGenerator gen(4242);
  for (int i = 0; i < 300; ++i) {
    const std::u16string input = gen.text(600);
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    std::u16string actual = input;
    ApplyEntityTable(actual, {});
    if (actual != expected) FAIL() << "input: " << printable(input);
    if (i % 10 == 0) {
      const int stopAt = i / 10 % 9;
      int refCalls = 0, calls = 0;
      const std::u16string refState =
          runStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
      const std::u16string state = runStoppingAt(ApplyEntityTable, input, stopAt, &calls);
      if (state != refState) FAIL() << "input: " << printable(input) << " stopped at " << stopAt;
    }
  }
}

TEST(EntityTableDifferentialTest, ThrowingYieldLeavesTheRowsBeforeIt) {
  const std::u16string input =
      u"&Ntilde;&eacute;&uuml;&mdash;&#36;&#75;&#116;&#167;&#210;&amp;amp;&#38;#65;&#3&not;8;#66;";
  for (int stopAt = 0; stopAt < 9; ++stopAt) {
    int refCalls = 0, calls = 0;
    const std::u16string refState =
        runStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
    const std::u16string state = runStoppingAt(ApplyEntityTable, input, stopAt, &calls);
    EXPECT_EQ(printable(state), printable(refState)) << "stopped at yield " << stopAt;
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
  s = u"&";
  for (int i = 0; i < 500; ++i) s += u"&not;";
  s += u"#65;&";
  for (int i = 0; i < 500; ++i) s += u"&#182;&para;";
  inputs.push_back(s + u"nbsp");
  for (const std::u16string& input : inputs) {
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    std::u16string actual = input;
    ApplyEntityTable(actual, {});
    EXPECT_EQ(printable(actual), printable(expected));
  }
}

TEST(EntityTableDifferentialTest, BlockByBlockMatchesTheReference) {
  // Small blocks put many cuts into short texts: every cut must be one that no
  // key can reach across, and a yield that throws between two blocks must
  // still leave exactly the rows before it, in every block.
  TextGenerator gen(9090);
  std::vector<std::u16string> inputs;
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
        FAIL() << "input: " << printable(input) << " in blocks of " << blockUnits
               << "\n got: " << printable(actual) << "\nwant: " << printable(expected);
      }
      // Keeping nothing for a throwing yield must not change the result.
      std::u16string unkept = input;
      int unkeptCalls = 0;
      ApplyEntityTableInBlocks(unkept, [&] { ++unkeptCalls; }, blockUnits,
                               EntityTextAfterThrow::Unspecified);
      if (unkept != expected || unkeptCalls != 9) {
        FAIL() << "input: " << printable(input) << " in blocks of " << blockUnits
               << ", nothing kept\n got: " << printable(unkept) << "\nwant: " << printable(expected);
      }
      const int stopAt = n++ % 10;
      int refCalls = 0, calls = 0;
      const std::u16string refState =
          runStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
      const std::u16string state = runStoppingAt(blocked, input, stopAt, &calls);
      if (state != refState) {
        FAIL() << "input: " << printable(input) << " in blocks of " << blockUnits
               << ", stopped at yield " << stopAt << "\n got: " << printable(state)
               << "\nwant: " << printable(refState);
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
  TextGenerator gen(4242);
  s.clear();
  while (s.size() < 20000) s += u"&&" + gen.text(8);
  inputs.push_back(s);
  for (const std::u16string& input : inputs) {
    std::u16string expected = input;
    ReferenceApplyEntityTable(expected, {});
    for (const std::size_t blockUnits : {2, 16, 100, 1000}) {
      std::u16string actual = input;
      ApplyEntityTableInBlocks(actual, {}, blockUnits, EntityTextAfterThrow::Unspecified);
      ASSERT_TRUE(actual == expected) << "in blocks of " << blockUnits << "\ninput: "
                                      << printable(input).substr(0, 200);
    }
  }
}

TEST(EntityTableDifferentialTest, TextOfManyBlocksMatchesTheReference) {
  // Long enough for several blocks of the size used in earnest, with the
  // yields falling between blocks.
  TextGenerator gen(31337);
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
        runStoppingAt(ReferenceApplyEntityTable, input, stopAt, &refCalls);
    const std::u16string state = runStoppingAt(ApplyEntityTable, input, stopAt, &calls);
    EXPECT_TRUE(state == refState) << "stopped at yield " << stopAt;
    EXPECT_EQ(calls, refCalls);
  }
}

}  // namespace
}  // namespace sievetext
