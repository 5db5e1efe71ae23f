// The block cuts in one sweep leave what the cuts leave one after another,
// whatever stretch the sweep moves by: the stretches cut every marker, every
// block and every joined opener at every place.

#include "engine/block_sweep.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "engine/char_map.h"
#include "engine/pair_cutter.h"
#include "engine/text_scan.h"
#include "engine_test_util.h"

namespace sievetext {
namespace {

using testutil::Show;
using testutil::u;

// The cuts one after another, each over the whole text.
std::u16string OneByOne(std::u16string text, const BlockCuts& cuts) {
  if (cuts.comments) CutCommentBlocks(text);
  if (cuts.scripts) CutScriptBlocks(text);
  if (cuts.styles) CutStyleBlocks(text);
  if (cuts.braces)
    CutBraceBlocksInTwo(text, scan::kNotFound, cuts.blanking);
  else if (cuts.blanking)
    BlankUnitsInTwo(text, cuts.blanking->a, cuts.blanking->b, scan::kNotFound);
  return text;
}

// One of the 32 sets of cuts, a bit each.
BlockCuts CutsFor(unsigned mask) {
  BlockCuts cuts{(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0, std::nullopt};
  if (mask & 16) cuts.blanking = Blanking{u'|', u'\t'};
  return cuts;
}

// Texts made of markers, their pieces and the units around them.
std::vector<std::u16string> Texts() {
  static const char* const kPieces[] = {
      "<!--",   "-->",     "<!",      "--",       "-",        ">",    "<",   "!",    "<!-->",
      "<!--->", "<script", "<SCRIPT", "/script>", "/SCRIPT>", "<scr", "ipt", "<s",   "cript",
      "ript>",  "<style",  "<StYlE",  "/style>",  "<sty",     "le",   "/st", "yle>", "{",
      "}",      "|",       "\t",      "x",        " ",        "ab",   "\n",  "s",    "t",
  };
  std::mt19937 random(11);
  std::vector<std::u16string> texts = {u(""), u("x")};
  for (int k = 0; k < 1500; ++k) {
    std::u16string text;
    const std::size_t pieces = random() % (k < 1000 ? 12 : 40);
    for (std::size_t i = 0; i < pieces; ++i) text += u(kPieces[random() % std::size(kPieces)]);
    if (random() % 8 == 0) text += u"\u00E9\u20AC";  // units outside ASCII
    texts.push_back(text);
  }
  // Openers joined together by cuts, several times over.
  texts.push_back(u("<s<s<scriptXXXXX/script>criptYYYYY/script>criptZZZZZ/script>tail"));
  texts.push_back(u("<st<sty<styleAAAA/style>leBBBB/style>yleCCCC/style>"));
  texts.push_back(u("<!--a--><scr<!--b-->ipt>x</script>{<|>}\t|"));
  texts.push_back(u("<scr<script>1234567/script>ipt>abcdefgh/script>!"));
  texts.push_back(std::u16string(300, u's') + u("<script>abcdefghij/script>") +
                  std::u16string(200, u'<'));
  return texts;
}

TEST(BlockSweepTest, LeavesWhatTheCutsLeaveOneAfterAnotherAtEveryStretch) {
  const std::vector<std::u16string> texts = Texts();
  for (unsigned mask = 0; mask < 32; ++mask) {
    const BlockCuts cuts = CutsFor(mask);
    for (const std::u16string& text : texts) {
      const std::u16string expected = OneByOne(text, cuts);
      for (std::size_t stretch : {1, 2, 3, 5, 7, 13, 64, 100000}) {
        std::u16string swept = text;
        CutBlocksInOneSweep(swept, cuts, stretch);
        ASSERT_EQ(Show(swept), Show(expected))
            << "input " << Show(text) << ", cuts " << mask << ", stretch " << stretch;
      }
    }
  }
}

TEST(BlockSweepTest, TwoThreadsLeaveWhatOneLeaves) {
  // The last cuts on a second thread, on texts of every length.
  std::vector<std::u16string> texts = Texts();
  texts.resize(250);
  texts.push_back(Texts().back());
  for (unsigned mask = 0; mask < 32; ++mask) {
    const BlockCuts cuts = CutsFor(mask);
    for (const std::u16string& text : texts) {
      const std::u16string expected = OneByOne(text, cuts);
      for (std::size_t stretch : {1, 3, 64}) {
        std::u16string swept = text;
        CutBlocksInOneSweep(swept, cuts, stretch, 0);
        ASSERT_EQ(Show(swept), Show(expected))
            << "input " << Show(text) << ", cuts " << mask << ", stretch " << stretch;
      }
    }
  }
}

TEST(BlockSweepTest, LongTextsComeOutAsFromTheCutsOneByOne) {
  // Several stretches long, with blocks that span stretches.
  std::u16string text;
  std::mt19937 random(5);
  while (text.size() < 3 * kSweepStretchUnits) {
    switch (random() % 6) {
      case 0:
        text += u("<!-- a comment -->");
        break;
      case 1:
        text += u("<script>") + std::u16string(random() % 70000, u'x') + u("</script>");
        break;
      case 2:
        text += u("<style>p{}</style>");
        break;
      case 3:
        text += u("{ a | b\t}");
        break;
      case 4:
        text += u("<scr<script>x</script>ipt>q</script><sty<style>a</style>le>b</style>");
        break;
      default:
        text += std::u16string(random() % 5000, u'y');
        break;
    }
  }
  const BlockCuts all{true, true, true, true, Blanking{u'|', u'\t'}};
  const std::u16string expected = OneByOne(text, all);
  for (std::size_t twoThreadUnits : {kTwoPartUnits, std::size_t{0}}) {
    // Short stretches keep the two threads working side by side.
    for (std::size_t stretch : {kSweepStretchUnits, std::size_t{61}, std::size_t{7}}) {
      std::u16string swept = text;
      CutBlocksInOneSweep(swept, all, stretch, twoThreadUnits);
      EXPECT_TRUE(swept == expected) << twoThreadUnits << " " << stretch;
    }
  }
}

}  // namespace
}  // namespace sievetext
