#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sievetext::difftest {

// What a yield does in a differential run. The yields are the only window
// into a running conversion, so changing the options or failing at the k-th
// yield checks that both engines yield at the same points in the same order.
enum class YieldAction {
  kCount,          // only count
  kChangeOptions,  // at yield `atYield`, set the options to `newOptions`
  kThrowError,     // at yield `atYield`, throw a ConversionError
  kThrowOther,     // at yield `atYield`, throw something unrecognised
};

struct DiffCase {
  std::u16string input;
  unsigned options = 0;
  YieldAction action = YieldAction::kCount;
  int atYield = 0;
  unsigned newOptions = 0;
  std::string origin;  // how to replay it: seed, generator, index
};

// Runs ExtractText on both engines and compares the returned text, the
// in/out parameter, the number of yields and the reports (operation name and
// error number). On a mismatch the message holds everything needed to replay.
::testing::AssertionResult SameExtractText(const DiffCase& c);

// The same for ConsolidateChar with the given character text, and for
// CutAllTags.
::testing::AssertionResult SameConsolidateChar(const std::u16string& text,
                                               const std::u16string& sChar,
                                               const std::string& origin);
::testing::AssertionResult SameCutAllTags(const std::u16string& text, const std::string& origin);

// Stops a test after this many failures so that one fault does not flood
// the log; the first ones are the useful ones.
inline constexpr int kMaxReportedFailures = 5;

}  // namespace sievetext::difftest
