#pragma once

#include <functional>
#include <string>

#include "engine/conversion_reporter.h"

namespace sievetext {

// The conversion engine: turns one whole HTML document, held as UTF-16 code
// units, into plain text by literal cuts and replacements. It reads no files
// and touches no window; it talks to the outside only through `yield` and
// `reporter`.
//
// Every option field is read at the moment its step comes, so a yield that
// changes a field changes the rest of the running conversion.
class cSievetext {
 public:
  // The eleven options, all off on a new instance.
  bool RemoveComments = false;   // cut <!-- ... --> blocks; later turn leftover markers into spaces
  bool RemoveScripts = false;    // cut <script ... /script> blocks
  bool RemoveStyles = false;     // cut <style ... /style> blocks
  bool RemoveFunctions = false;  // cut { ... } blocks (no nesting)
  bool RemovePipe = false;       // "|" becomes a space
  bool RemoveTabs = false;       // tab becomes a space
  bool GenerateSpecialChars = false;  // decode character entities by the fixed table
  bool RemoveAllTags = false;         // delete every "<" ... ">" span
  bool RemoveAllCRLF = false;         // join all lines into one
  bool RemoveSpaces = false;          // collapse runs of spaces
  bool RemoveBlankLines = false;      // drop empty lines

  // Called at the fixed points of a conversion so that the host can process
  // pending events. Empty means "do nothing". It may change the option fields;
  // if it throws, the running operation reports the failure and returns as
  // documented below.
  std::function<void()> yield;

  // Where failures go; null means they are dropped (the returned text still
  // follows the rules below).
  ConversionReporter* reporter = nullptr;

  // Whole pipeline. `sIn` is cut in place (it holds the cut text afterwards).
  // Empty input gives empty output without any yield. On a failure in its own
  // steps it reports "ExtractText" and returns the working text as it stood;
  // a failure inside CutHTML or ConsolidateChar is reported by them and the
  // pipeline goes on with the empty text they return.
  std::u16string ExtractText(std::u16string& sIn);

  // The same pipeline for a host that needs no copy of the input: `sText`
  // goes in and comes out holding what ExtractText would return for it (the
  // same yields and reports, too). Nothing else of the size of the text is
  // allocated; the text grows by one unit per line break kept at the end, so
  // room reserved beforehand (up to twice the length) spares a reallocation.
  // Should that reallocation fail, "ExtractText" is reported and the text is
  // left as it stood before the line breaks were widened.
  void ExtractTextInPlace(std::u16string& sText);

  // Mark-up cutter. Changes `sText` in place and returns a copy of the result.
  // On failure reports "CutHTML" and returns empty text; `sText` keeps the
  // steps completed before the failure.
  std::u16string CutHTML(std::u16string& sText);

  // Collapses every run of the single character `sChar` into one, in cycles
  // that each shrink a run of n to ceil(n / 1024) (ten halving passes) and
  // then yield, for as long as a doubled `sChar` is left. Returns
  // empty text when `sChar` is not exactly one code unit (leaving `sText`
  // alone) or when `sText` is empty. On failure reports "ConsolidateChar",
  // returns empty text and leaves `sText` as far as the halving had got.
  std::u16string ConsolidateChar(std::u16string& sText, const std::u16string& sChar);

  // Deletes every span from a "<" through the next ">" (an unclosed "<" eats
  // the rest). Exact code-unit comparison; no nesting, quoting or entities.
  std::u16string CutAllTags(const std::u16string& sText) const;
};

}  // namespace sievetext
