#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/engine/reference/engine_comparison.h"

namespace sievetext::difftest {

using compare::DiffCase;
using compare::YieldAction;

inline ::testing::AssertionResult AsResult(const std::string& difference) {
  if (difference.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << difference;
}

inline ::testing::AssertionResult SameExtractText(const DiffCase& c) {
  return AsResult(compare::CompareExtractText(c));
}

inline ::testing::AssertionResult SameConsolidateChar(const std::u16string& text,
                                                      const std::u16string& sChar,
                                                      const std::string& origin) {
  return AsResult(compare::CompareConsolidateChar(text, sChar, origin));
}

inline ::testing::AssertionResult SameCutAllTags(const std::u16string& text,
                                                 const std::string& origin) {
  return AsResult(compare::CompareCutAllTags(text, origin));
}

// Stops a test after this many failures so that one fault does not flood
// the log; the first ones are the useful ones.
inline constexpr int kMaxReportedFailures = 5;

}  // namespace sievetext::difftest
