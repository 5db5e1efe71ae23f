#pragma once

// Small helpers shared by the engine's tests.

#include <string>
#include <string_view>
#include <vector>

#include "cSievetext.h"

namespace sievetext::testutil {

// One bit per option field, in declaration order.
enum Option : unsigned {
  kComments = 1u << 0,
  kScripts = 1u << 1,
  kStyles = 1u << 2,
  kFunctions = 1u << 3,
  kPipe = 1u << 4,
  kTabs = 1u << 5,
  kEntities = 1u << 6,
  kAllTags = 1u << 7,
  kAllCRLF = 1u << 8,
  kSpaces = 1u << 9,
  kBlankLines = 1u << 10,
};

inline void setOptions(cSievetext& engine, unsigned options) {
  engine.RemoveComments = (options & kComments) != 0;
  engine.RemoveScripts = (options & kScripts) != 0;
  engine.RemoveStyles = (options & kStyles) != 0;
  engine.RemoveFunctions = (options & kFunctions) != 0;
  engine.RemovePipe = (options & kPipe) != 0;
  engine.RemoveTabs = (options & kTabs) != 0;
  engine.GenerateSpecialChars = (options & kEntities) != 0;
  engine.RemoveAllTags = (options & kAllTags) != 0;
  engine.RemoveAllCRLF = (options & kAllCRLF) != 0;
  engine.RemoveSpaces = (options & kSpaces) != 0;
  engine.RemoveBlankLines = (options & kBlankLines) != 0;
}

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
    if (c == u'\r') out += "\\r";
    else if (c == u'\n') out += "\\n";
    else if (c == u'\t') out += "\\t";
    else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
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
