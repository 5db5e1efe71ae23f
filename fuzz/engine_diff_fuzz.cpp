// Feeds the fast engine and the literal reference the same input and aborts
// when they disagree in the returned text, the in/out text, the yields or the
// reports.
//
// Input layout: byte 0 and the low three bits of byte 1 are the eleven
// options; the top five bits of byte 1, v, choose what the yield does
// (v % 5: count, change the options to their complement, throw a
// ConversionError, throw something else, change the options at every yield)
// and at which yield (1 + v / 5). The rest
// becomes the text through the quirk vocabulary, so every marker is a byte
// pair away.
//
// The passes that a long text runs in two parts at once are also run on this
// text cut near a place the input chooses, and must give what they give on
// the whole text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/block_sweep.h"
#include "engine/char_map.h"
#include "engine/consolidate.h"
#include "engine/entities/test_entry_points.h"
#include "engine/marker_blanker.h"
#include "engine/pair_cutter.h"
#include "engine/tag_stripper.h"
#include "engine/text_scan.h"
#include "tests/engine/reference/engine_comparison.h"
#include "tests/engine/reference/engine_options.h"
#include "tests/engine/reference/quirk_vocabulary.h"

namespace {

// Keeps one run of the 323-pass reference well below the fuzzer's timeout.
constexpr std::size_t kMaxTextLength = 20000;

// Runs `inTwo` on the text as one part and cut near `hint`; aborts when the
// two differ.
template <class InTwo>
void CheckCut(const std::u16string& text, std::size_t hint, InTwo inTwo) {
  std::u16string whole = text, parts = text;
  inTwo(whole, sievetext::scan::kNotFound);
  inTwo(parts, hint);
  if (whole != parts) {
    std::fprintf(stderr, "a pass in two parts differs from the whole, cut near %zu\n", hint);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sievetext;
  if (size < 2) return 0;
  compare::DiffCase c;
  c.options = (unsigned(data[0]) | (unsigned(data[1]) << 8)) & kAllOptions;
  const unsigned yieldByte = unsigned(data[1]) >> 3;  // 0 to 31
  c.action = static_cast<compare::YieldAction>(yieldByte % 5);
  c.atYield = 1 + int(yieldByte / 5);
  c.newOptions = ~c.options & kAllOptions;
  c.input = quirks::TextFromBytes(data + 2, size - 2);
  if (c.input.size() > kMaxTextLength) return 0;
  c.origin = "fuzz input";

  std::string difference = compare::CompareExtractText(c);
  if (difference.empty()) {
    difference = compare::CompareConsolidateChar(c.input, u" ", "fuzz input");
  }
  if (difference.empty()) difference = compare::CompareCutAllTags(c.input, "fuzz input");
  if (!difference.empty()) {
    std::fprintf(stderr, "%s", difference.c_str());
    std::abort();
  }

  const std::size_t hint = (std::size_t{data[0]} << 8 | data[size - 1]) % (c.input.size() + 1);
  CheckCut(c.input, hint, StripTagsInTwo);
  CheckCut(c.input, hint, [](std::u16string& t, std::size_t h) {
    CutBraceBlocksInTwo(t, h, Blanking{u'|', u'\t'});
  });
  CheckCut(c.input, hint, [](std::u16string& t, std::size_t h) {
    BlankMarkersInTwo(t, true, h, Blanking{u'\r', u'\n'});
  });
  CheckCut(c.input, hint,
           [](std::u16string& t, std::size_t h) { BlankUnitsInTwo(t, u'|', u'\t', h); });
  CheckCut(c.input, hint, [](std::u16string& t, std::size_t h) { DecodeEntitiesInTwo(t, h, 5); });
  CheckCut(c.input, hint, [](std::u16string& t, std::size_t h) {
    const RunReduction r = ShrinkRunsInTwo(t, u' ', 2, h);
    t += static_cast<char16_t>(r.changed);
    t += static_cast<char16_t>(r.longest);
    t += static_cast<char16_t>(r.longestBefore);
  });

  // The block cuts in one sweep, moving by a stretch the input chooses.
  BlockCuts cuts{(c.options & kComments) != 0, (c.options & kScripts) != 0,
                 (c.options & kStyles) != 0, (c.options & kFunctions) != 0, std::nullopt};
  if (c.options & (kPipe | kTabs)) cuts.blanking = Blanking{u'|', u'\t'};
  std::u16string oneByOne = c.input, swept = c.input;
  if (cuts.comments) CutCommentBlocks(oneByOne);
  if (cuts.scripts) CutScriptBlocks(oneByOne);
  if (cuts.styles) CutStyleBlocks(oneByOne);
  if (cuts.braces)
    CutBraceBlocks(oneByOne, cuts.blanking);
  else if (cuts.blanking)
    BlankUnits(oneByOne, u'|', u'\t');
  CutBlocksInOneSweep(swept, cuts, 1 + data[size - 1] % 17);
  if (swept != oneByOne) {
    std::fprintf(stderr, "the block cuts in one sweep differ from the cuts one by one\n");
    std::abort();
  }
  return 0;
}
