// Runs the built program on large inputs, hostile ones included, and checks
// its peak memory as the system counts it for the finished child: at most
// four times the input plus 64 MiB on any input, two and a half times plus
// 32 MiB on ordinary pages. Not timed: only memory is measured.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/first_run_settings.h"
#include "tests/support/program_launcher.h"
#include "tests/support/repeat_to.h"
#include "tests/support/sanitizer.h"
#include "tests/support/temp_folder.h"

namespace sievetext {
namespace {

namespace fs = std::filesystem;

using testing::kSanitized;
using testing::RepeatTo;

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kInputBytes = 24 * kMiB;

class MemoryBoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kSanitized) GTEST_SKIP() << "a sanitizer's own memory would be counted";
    fs::create_directories(root / "cfg");
    // All eleven options on, as a first run leaves them.
    std::ofstream(root / "cfg" / "WexaSievetext.ini") << testing::kFirstRunSettings;
  }

  // Converts `bytes` with the real program; returns its peak resident size
  // in bytes, or 0 when it did not succeed.
  std::size_t peakOf(const std::string& bytes) {
    const fs::path input = root / "in.html";
    const fs::path output = root / "out.txt";
    std::ofstream(input, std::ios::binary) << bytes;
    testing::Launch launch;
    launch.program = SIEVETEXT_PROGRAM;
    launch.arguments = {input.string(), output.string()};
    launch.environment = {{"XDG_CONFIG_HOME", (root / "cfg").string()},
                          {"DISPLAY", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt}};
    const testing::Outcome outcome = testing::Run(launch);
    fs::remove(input);
    fs::remove(output);
    if (outcome.status != 0) {
      ADD_FAILURE() << "the program failed, status " << outcome.status << ": " << outcome.err;
      return 0;
    }
    return outcome.peakBytes;
  }

  // The bound for any input: four times the input and 64 MiB.
  void expectWithinFourTimes(const char* name, const std::string& page) {
    const std::size_t peak = peakOf(page);
    EXPECT_GT(peak, 0u) << name;
    EXPECT_LE(peak, 4 * kInputBytes + 64 * kMiB)
        << name << ": peak " << peak / kMiB << " MiB for " << kInputBytes / kMiB << " MiB";
  }

  testing::TempFolder temp{"sievetext-memory"};
  fs::path root = temp.path();
};

TEST_F(MemoryBoundTest, HostileInputsStayWithinFourTimesTheInput) {
  const struct {
    const char* name;
    std::string unit;
  } inputs[] = {
      // Runs of '&' that each end in a reference: every '&' can depend on the
      // ones after it, so no block boundary is obvious.
      {"ampersand chains", "&&&&&&&&&&amp;"},
      {"one long ampersand chain", std::string(4000, '&') + "amp;"},
      {"nothing but references",
       "&amp;lt;&eacute;&#65;&nbsp;&#38;#38;&copy;&nbsp&l&not;t;&NBSP;&#210;"},
      {"line breaks only", "\n"},
      {"unclosed comments", "<!--"},
      {"open braces", "{"},
  };
  for (const auto& in : inputs) {
    expectWithinFourTimes(in.name, RepeatTo(in.unit, kInputBytes));
  }
}

TEST_F(MemoryBoundTest, AReferenceWaitingBehindVanishingOnesStaysWithinFourTimesTheInput) {
  // The start of a reference, then references that decode to nothing (alone,
  // or only once the ones after them are decoded), then the reference's end:
  // what the first '&' comes to see is known only at the very end.
  const struct {
    const char* name;
    std::string unit;
  } inputs[] = {
      {"vanishing references", "&para;&not;"},
      {"references vanishing in turn", "&#17&#50;&#59;&amp;para;"},
  };
  for (const auto& in : inputs) {
    expectWithinFourTimes(in.name, "&nb" + RepeatTo(in.unit, kInputBytes - 6) + "sp;");
  }
}

TEST_F(MemoryBoundTest, PagesStayWithinTwoAndAHalfTimesTheInput) {
  const std::string page =
      "<html><head><title>A page</title><style>p { margin: 0 }</style>\n"
      "<script>function f(a) { return a && a.b; }</script></head>\n<body>\n"
      "<!-- navigation --><div class=\"nav\"><a href=\"i.html\">Home</a> | About</div>\n"
      "<p>Caf&eacute; na&iuml;ve &amp; r&eacute;sum&eacute; &mdash; &lt;tag&gt; x&nbsp;=&nbsp;1\n"
      "\twith a tab, some   spaces and\r\nline breaks.</p>\n\n\n<pre>if (a &lt; b) {}</pre>\n"
      "</body></html>\n";
  const std::size_t peak = peakOf(RepeatTo(page, kInputBytes));
  EXPECT_GT(peak, 0u);
  EXPECT_LE(peak, kInputBytes * 5 / 2 + 32 * kMiB) << "peak " << peak / kMiB << " MiB";
}

}  // namespace
}  // namespace sievetext
