#pragma once

#include <string>

namespace sievetext::compare {

// What a yield does in a comparison run. The yields are the only window into
// a running conversion, so changing the options or failing at the k-th yield
// checks that both engines yield at the same points in the same order.
enum class YieldAction {
  kCount,          // only count
  kChangeOptions,  // at yield `atYield`, set the options to `newOptions`
  kThrowError,     // at yield `atYield`, throw a ConversionError
  kThrowOther,     // at yield `atYield`, throw something unrecognised
};

struct DiffCase {
  std::u16string input;
  unsigned options = 0;  // mask as in engine_options.h
  YieldAction action = YieldAction::kCount;
  int atYield = 0;
  unsigned newOptions = 0;
  std::string origin;  // how to replay it: seed, generator, index
};

// Runs ExtractText on the fast engine and on the reference and compares the
// returned text, the in/out parameter, the number of yields and the reports
// (operation name and error number). Returns an empty string when they agree,
// otherwise a description that holds everything needed to replay the case.
std::string CompareExtractText(const DiffCase& c);

// The same for ConsolidateChar with the given character text (returned text,
// in/out text, yields, reports), and for CutAllTags.
std::string CompareConsolidateChar(const std::u16string& text, const std::u16string& sChar,
                                   const std::string& origin);
std::string CompareCutAllTags(const std::u16string& text, const std::string& origin);

}  // namespace sievetext::compare
