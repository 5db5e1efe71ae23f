#include "tests/engine/reference/engine_comparison.h"

#include <new>
#include <sstream>
#include <stdexcept>

#include "engine/cSievetext.h"
#include "tests/engine/reference/engine_options.h"
#include "tests/engine/reference/quirk_vocabulary.h"
#include "tests/engine/reference/reference_sievetext.h"
#include "tests/support/escape.h"
#include "tests/support/recording_reporter.h"

namespace sievetext::compare {
namespace {

using testing::RecordingReporter;
using testing::Report;

struct Outcome {
  std::u16string result;
  std::u16string inOut;
  int yields = 0;
  std::vector<Report> reports;
};

// Runs ExtractText, or with `inPlace` the fast engine's ExtractTextInPlace
// (whose text then stands for both the result and the in/out parameter).
// Without `hook` the engine gets no yield hook at all.
template <class Engine>
Outcome RunExtract(const DiffCase& c, bool inPlace = false, bool hook = true) {
  Engine engine;
  SetOptions(engine, c.options);
  RecordingReporter reporter;
  engine.reporter = &reporter;
  Outcome out;
  if (hook)
    engine.yield = [&] {
      ++out.yields;
      if (c.action == YieldAction::kChangeOptionsAtEveryYield) {
        SetOptions(engine, (c.newOptions * 0x9E37u + unsigned(out.yields) * 0x2F1u) & kAllOptions);
        return;
      }
      if (out.yields != c.atYield) return;
      switch (c.action) {
        case YieldAction::kCount:
        case YieldAction::kChangeOptionsAtEveryYield:
          break;
        case YieldAction::kChangeOptions:
          SetOptions(engine, c.newOptions);
          break;
        case YieldAction::kThrowError:
          throw ConversionError(1234, "stopped by the test");
        case YieldAction::kThrowOther:
          throw 42;
      }
    };
  out.inOut = c.input;
  if constexpr (requires { engine.ExtractTextInPlace(out.inOut); }) {
    if (inPlace) {
      engine.ExtractTextInPlace(out.inOut);
      out.result = out.inOut;
      out.reports = reporter.reports;
      return out;
    }
  }
  out.result = engine.ExtractText(out.inOut);
  out.reports = reporter.reports;
  return out;
}

std::string DescribeReports(const std::vector<Report>& reports) {
  std::string s = "[";
  for (const Report& r : reports) s += " " + r.procedure + "#" + std::to_string(r.number);
  return s + " ]";
}

std::string ActionName(YieldAction a) {
  switch (a) {
    case YieldAction::kCount:
      return "count";
    case YieldAction::kChangeOptions:
      return "change options";
    case YieldAction::kThrowError:
      return "throw ConversionError";
    case YieldAction::kThrowOther:
      return "throw int";
    case YieldAction::kChangeOptionsAtEveryYield:
      return "change options at every yield";
  }
  return "?";
}

std::string Compare(const Outcome& fast, const Outcome& ref, const std::string& header) {
  std::ostringstream why;
  if (fast.result != ref.result) {
    why << "  returned text differs\n    fast: " << testing::Show(fast.result)
        << "\n    ref:  " << testing::Show(ref.result) << "\n";
  }
  if (fast.inOut != ref.inOut) {
    why << "  in/out parameter differs\n    fast: " << testing::Show(fast.inOut)
        << "\n    ref:  " << testing::Show(ref.inOut) << "\n";
  }
  if (fast.yields != ref.yields) {
    why << "  yield count differs: fast " << fast.yields << ", ref " << ref.yields << "\n";
  }
  if (fast.reports != ref.reports) {
    why << "  reports differ: fast " << DescribeReports(fast.reports) << ", ref "
        << DescribeReports(ref.reports) << "\n";
  }
  if (why.str().empty()) return {};
  return header + why.str();
}

}  // namespace

std::string CompareExtractText(const DiffCase& c) {
  Outcome fast = RunExtract<cSievetext>(c);
  Outcome ref = RunExtract<ReferenceSievetext>(c);
  std::ostringstream header;
  header << "ExtractText mismatch (" << c.origin << ")\n  options: " << OptionNames(c.options)
         << " (0x" << std::hex << c.options << std::dec << ")\n";
  if (c.action == YieldAction::kChangeOptionsAtEveryYield) {
    header << "  " << ActionName(c.action) << ", seed mask 0x" << std::hex << c.newOptions
           << std::dec << "\n";
  } else if (c.action != YieldAction::kCount) {
    header << "  at yield " << c.atYield << ": " << ActionName(c.action);
    if (c.action == YieldAction::kChangeOptions) header << " to " << OptionNames(c.newOptions);
    header << "\n";
  }
  header << "  input: " << testing::Show(c.input) << "\n";
  std::string copying = Compare(fast, ref, header.str());
  if (!copying.empty()) return copying;
  // In place, the text ends up as the result; the input is not kept.
  Outcome inPlace = RunExtract<cSievetext>(c, true);
  Outcome refInPlace = ref;
  refInPlace.inOut = ref.result;
  std::string inPlaceDifference = Compare(inPlace, refInPlace, "In place: " + header.str());
  if (!inPlaceDifference.empty() || c.action != YieldAction::kCount) return inPlaceDifference;
  // With no yield hook at all the engine takes the paths that need none.
  for (const bool inPlaceMode : {false, true}) {
    Outcome bare = RunExtract<cSievetext>(c, inPlaceMode, false);
    const Outcome& expected = inPlaceMode ? refInPlace : ref;
    bare.yields = expected.yields;
    std::string difference = Compare(
        bare, expected,
        std::string("Without a yield hook") + (inPlaceMode ? ", in place: " : ": ") + header.str());
    if (!difference.empty()) return difference;
  }
  return {};
}

std::string CompareConsolidateChar(const std::u16string& text, const std::u16string& sChar,
                                   const std::string& origin) {
  auto run = [&](auto engine) {
    Outcome out;
    RecordingReporter reporter;
    engine.reporter = &reporter;
    engine.yield = [&] { ++out.yields; };
    out.inOut = text;
    out.result = engine.ConsolidateChar(out.inOut, sChar);
    out.reports = reporter.reports;
    return out;
  };
  Outcome fast = run(cSievetext{});
  Outcome ref = run(ReferenceSievetext{});
  return Compare(fast, ref,
                 "ConsolidateChar mismatch (" + origin + ")\n  sChar: " + testing::Show(sChar) +
                     "\n  input: " + testing::Show(text) + "\n");
}

std::string CompareCutAllTags(const std::u16string& text, const std::string& origin) {
  Outcome fast;
  Outcome ref;
  fast.result = cSievetext{}.CutAllTags(text);
  ref.result = ReferenceSievetext{}.CutAllTags(text);
  return Compare(fast, ref,
                 "CutAllTags mismatch (" + origin + ")\n  input: " + testing::Show(text) + "\n");
}

}  // namespace sievetext::compare
