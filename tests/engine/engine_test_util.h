#pragma once

// Small helpers shared by the engine's tests.

#include <string>
#include <string_view>
#include <vector>

#include "engine/cSievetext.h"
#include "tests/engine/reference/engine_options.h"
#include "tests/support/escape.h"
#include "tests/support/recording_reporter.h"

namespace sievetext::testutil {

// One bit per option field, in declaration order (shared with the reference).
using sievetext::kAllCRLF;
using sievetext::kAllTags;
using sievetext::kBlankLines;
using sievetext::kComments;
using sievetext::kEntities;
using sievetext::kFunctions;
using sievetext::kPipe;
using sievetext::kScripts;
using sievetext::kSpaces;
using sievetext::kStyles;
using sievetext::kTabs;

using sievetext::SetOptions;

// Widens 8-bit text unit by unit (test texts are ASCII plus \x escapes).
inline std::u16string u(std::string_view s) {
  std::u16string out;
  for (char c : s) out.push_back(static_cast<unsigned char>(c));
  return out;
}

using testing::RecordingReporter;
using testing::Report;
using testing::Show;

}  // namespace sievetext::testutil
