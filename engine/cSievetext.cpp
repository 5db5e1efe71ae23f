#include "engine/cSievetext.h"

#include <cstddef>
#include <functional>
#include <optional>

#include "engine/block_sweep.h"
#include "engine/char_map.h"
#include "engine/consolidate.h"
#include "engine/entities/apply_table.h"
#include "engine/failure_guard.h"
#include "engine/line_endings.h"
#include "engine/marker_blanker.h"
#include "engine/pair_cutter.h"
#include "engine/tag_stripper.h"
#include "engine/text_scan.h"

namespace sievetext {
namespace {

constexpr std::string_view kExtractText = "ExtractText";
constexpr std::string_view kCutHTML = "CutHTML";
constexpr std::string_view kConsolidateChar = "ConsolidateChar";

// Calls the engine's current yield hook. A copy is called so that a hook may
// replace itself while it runs.
void YieldNow(const cSievetext& engine) {
  if (const std::function<void()> hook = engine.yield) hook();
}

// The line breaks that ExtractText blanks first of all: CR always, and LF
// too when all lines are to be joined.
Blanking LineBreakBlanking(const cSievetext& engine) {
  return {u'\r', engine.RemoveAllCRLF ? u'\n' : u'\r'};
}

// The pipes and tabs to be blanked, if any.
std::optional<Blanking> PipeAndTabBlanking(const cSievetext& engine) {
  const bool pipes = engine.RemovePipe;
  const bool tabs = engine.RemoveTabs;
  if (!pipes && !tabs) return std::nullopt;
  return Blanking{pipes ? u'|' : u'\t', tabs ? u'\t' : u'|'};
}

// The steps of CutHTML after the empty-text check, in place. Each option is
// read as its step comes, since a yield may change it. `afterThrow` tells
// whether the caller looks at the text when a yield throws. With
// `blankLineBreaks`, ExtractText's first step after CutHTML is done in the
// same pass as CutHTML's last: nothing can run between the two.
void CutMarkup(cSievetext& engine, std::u16string& text,
               EntityTextAfterThrow afterThrow = EntityTextAfterThrow::RowsBefore,
               bool blankLineBreaks = false) {
  if (!engine.yield) {
    // Without a yield nothing can change an option between the block cuts,
    // so they all go in one sweep.
    CutBlocksInOneSweep(text, {engine.RemoveComments, engine.RemoveScripts, engine.RemoveStyles,
                               engine.RemoveFunctions, PipeAndTabBlanking(engine)});
  } else {
    if (engine.RemoveComments) CutCommentBlocks(text);
    YieldNow(engine);
    if (engine.RemoveScripts) CutScriptBlocks(text);
    YieldNow(engine);
    if (engine.RemoveStyles) CutStyleBlocks(text);
    YieldNow(engine);
    // Braces, pipes and tabs in one pass: no yield comes between the steps.
    const bool braces = engine.RemoveFunctions;
    const std::optional<Blanking> blanking = PipeAndTabBlanking(engine);
    if (braces)
      CutBraceBlocks(text, blanking);
    else if (blanking)
      BlankUnits(text, blanking->a, blanking->b);
  }
  YieldNow(engine);
  if (engine.GenerateSpecialChars) {
    // Without a hook there is nothing to yield to: the table then keeps no
    // copies for a throwing yield, and where the text is dropped if memory
    // runs out, it may work on a long text in two parts at once.
    std::function<void()> yield;
    if (engine.yield) yield = [&engine] { YieldNow(engine); };
    ApplyEntityTable(text, yield, afterThrow);
  }
  YieldNow(engine);
  if (engine.RemoveAllTags) StripTags(text);
  if (blankLineBreaks)
    BlankMarkers(text, engine.RemoveComments, LineBreakBlanking(engine));
  else
    BlankMarkers(text, engine.RemoveComments);
}

// ConsolidateChar's work on a non-empty text, in place: a cycle (ten halving
// passes, each run of n becoming ceil(n / 1024)) and a yield, as long as a
// doubled unit is left. After each cycle the text is exactly what the passes
// leave, also when a yield then fails.
void Consolidate(cSievetext& engine, std::u16string& text, char16_t c) {
  RunReduction cycle = ShrinkRuns(text, c);
  if (!cycle.changed) return;
  for (;;) {
    YieldNow(engine);
    if (cycle.longest < 2) return;
    cycle = ShrinkRuns(text, c);
  }
}

// ConsolidateChar as ExtractText uses it: T := ConsolidateChar(T, c), where a
// failure is reported under that operation's name and leaves empty text.
// Nothing can see the working text between the cycles, and a failure empties
// it, so all cycles are done in one pass and their yields follow.
void ConsolidateStep(cSievetext& engine, std::u16string& text, char16_t c) {
  if (text.empty()) return;
  if (!RunReported(engine.reporter, kConsolidateChar, [&] {
        for (std::size_t cycles = CyclesNeeded(CollapseRuns(text, c)); cycles != 0; --cycles)
          YieldNow(engine);
      }))
    text.clear();
}

// ExtractText's steps after CutHTML, on the working text; the line breaks
// are already blanked when `lineBreaksBlanked`.
void FinishExtract(cSievetext& engine, std::u16string& text, bool lineBreaksBlanked = false) {
  if (!lineBreaksBlanked) {
    const Blanking breaks = LineBreakBlanking(engine);
    BlankUnits(text, breaks.a, breaks.b);
  }
  if (engine.RemoveSpaces) ConsolidateStep(engine, text, u' ');
  YieldNow(engine);
  if (engine.RemoveBlankLines) {
    JoinBlankLineChains(text);
    ConsolidateStep(engine, text, u'\n');
  }
  if (engine.RemoveSpaces) ConsolidateStep(engine, text, u' ');
  YieldNow(engine);
  FinishLines(text);
}

}  // namespace

std::u16string cSievetext::ExtractText(std::u16string& sIn) {
  std::u16string text;
  if (sIn.empty()) return text;
  try {
    // CutHTML works on sIn in place; its result is the copy that starts the
    // working text. A failure there is reported by it and leaves text empty.
    if (!RunReported(reporter, kCutHTML, [&] {
          CutMarkup(*this, sIn);
          // Room for the CR that each remaining LF may get at the end.
          text.reserve(sIn.size() + scan::CountUnit(sIn.data(), 0, sIn.size(), u'\n'));
          text = sIn;
        }))
      text.clear();
    FinishExtract(*this, text);
    return text;
  } catch (...) {
    ReportCurrentFailure(reporter, kExtractText);
    return text;
  }
}

void cSievetext::ExtractTextInPlace(std::u16string& sText) {
  if (sText.empty()) return;
  try {
    // A failure inside CutHTML leaves the working text empty, so what a
    // throwing yield leaves in it is never looked at.
    if (!RunReported(reporter, kCutHTML,
                     [&] { CutMarkup(*this, sText, EntityTextAfterThrow::Unspecified, true); }))
      sText.clear();
    FinishExtract(*this, sText, true);
  } catch (...) {
    ReportCurrentFailure(reporter, kExtractText);
  }
}

std::u16string cSievetext::CutHTML(std::u16string& sText) {
  std::u16string result;
  if (sText.empty()) return result;
  // A failure is reported and leaves the result empty.
  if (!RunReported(reporter, kCutHTML, [&] {
        CutMarkup(*this, sText);
        result = sText;
      }))
    result.clear();
  return result;
}

std::u16string cSievetext::ConsolidateChar(std::u16string& sText, const std::u16string& sChar) {
  std::u16string result;
  if (sChar.size() != 1 || sText.empty()) return result;
  // A failure is reported and leaves the result empty.
  if (!RunReported(reporter, kConsolidateChar, [&] {
        Consolidate(*this, sText, sChar[0]);
        result = sText;
      }))
    result.clear();
  return result;
}

std::u16string cSievetext::CutAllTags(const std::u16string& sText) const {
  std::u16string result = sText;
  StripTags(result);
  return result;
}

}  // namespace sievetext
