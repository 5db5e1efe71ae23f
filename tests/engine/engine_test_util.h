#pragma once

// Small helpers shared by the engine's tests.

#include <string>
#include <string_view>
#include <vector>

#include "cSievetext.h"
#include "reference/engine_options.h"

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

inline void setOptions(cSievetext& engine, unsigned options) { SetOptions(engine, options); }

// Widens 8-bit text unit by unit (test texts are ASCII plus \x escapes).
inline std::u16string u(std::string_view s) {
  std::u16string out;
  for (char c : s) out.push_back(static_cast<unsigned char>(c));
  return out;
}

// Readable form for failure messages: CR, LF and tab spelled out, other
// non-ASCII units as \u followed by hex digits.
inline std::string show(const std::u16string& s) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (char16_t c : s) {
    if (c == u'\r')
      out += "\\r";
    else if (c == u'\n')
      out += "\\n";
    else if (c == u'\t')
      out += "\\t";
    else if (c >= 0x20 && c < 0x7F)
      out += static_cast<char>(c);
    else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
    }
  }
  return out;
}

struct Report {
  std::string procedure;
  long number;
  std::string description;
  bool operator==(const Report&) const = default;
};

class RecordingReporter : public ConversionReporter {
 public:
  void report(std::string_view procedure, long number, std::string_view description) override {
    reports.push_back({std::string(procedure), number, std::string(description)});
  }
  std::vector<Report> reports;
};

}  // namespace sievetext::testutil
