#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/conversion_reporter.h"

namespace sievetext {

// The slow, literal engine the fast one is checked against. Every operation is
// written the obvious way, one whole-text pass at a time, with 1-based
// positions: the comment stage carries its resume position over, the script,
// style and brace stages restart at position 1 after every cut, the entity
// table is one pass per row, and runs are halved in cycles of ten passes.
// Obviousness beats speed here; do not optimise it.
//
// Same fields, callbacks and operations as cSievetext, with the same
// contracts (see cSievetext.h). A script or style pair whose cut condition
// fails is stepped over: the next opener search starts one position after
// it; after a cut the search starts again at position 1.
class ReferenceSievetext {
 public:
  bool RemoveComments = false;
  bool RemoveScripts = false;
  bool RemoveStyles = false;
  bool RemoveFunctions = false;
  bool RemovePipe = false;
  bool RemoveTabs = false;
  bool GenerateSpecialChars = false;
  bool RemoveAllTags = false;
  bool RemoveAllCRLF = false;
  bool RemoveSpaces = false;
  bool RemoveBlankLines = false;

  std::function<void()> yield;
  ConversionReporter* reporter = nullptr;

  std::u16string ExtractText(std::u16string& sIn);
  std::u16string CutHTML(std::u16string& sText);
  std::u16string ConsolidateChar(std::u16string& sText, const std::u16string& sChar);
  std::u16string CutAllTags(const std::u16string& sText) const;

 private:
  void doYield();
  void applyEntityTable(std::u16string& sText);
  void report(const char* procedure);
};

// The literal text primitives the reference is built from, exposed so that
// they can be checked on their own.
namespace literal {

// 1-based position of the first occurrence of `key` in `text` at or after
// `start`, or 0. With `ignoreCase`, only ASCII letters A-Z and a-z are
// matched without regard to case.
std::size_t InStr(std::size_t start, const std::u16string& text, const std::u16string& key,
                  bool ignoreCase);

// One left-to-right pass replacing every non-overlapping occurrence of `key`
// (never empty); the inserted text is not searched again.
std::u16string Replace(const std::u16string& text, std::u16string_view key,
                       std::u16string_view replacement, bool ignoreCase);

// The first `n` code units, and the last `n` code units (clamped).
std::u16string Left(const std::u16string& text, std::size_t n);
std::u16string Right(const std::u16string& text, std::size_t n);

}  // namespace literal
}  // namespace sievetext
