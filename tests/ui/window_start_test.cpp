// The real program asked for its window where none can be had: a display
// with no server behind it, a window system that is not there. It says why
// in one line and ends with status 2, never with the window system's abort
// (SIGABRT, status 134, a core file).
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/program_launcher.h"
#include "tests/support/temp_folder.h"

namespace sievetext {
namespace {

namespace fs = std::filesystem;

using Environment = std::vector<std::pair<std::string, std::optional<std::string>>>;

class WindowStartTest : public ::testing::Test {
 protected:
  // Runs the program without arguments, which asks for the window, with
  // `window` as the variables that choose the window system.
  testing::Outcome start(Environment window) {
    testing::Launch launch;
    launch.program = SIEVETEXT_PROGRAM;
    launch.workingFolder = temp.path();
    launch.environment = {{"HOME", temp.at("home")},
                          {"XDG_CONFIG_HOME", temp.at("config")},
                          {"DISPLAY", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt},
                          {"QT_QPA_PLATFORM", std::nullopt}};
    for (auto& variable : window) launch.environment.push_back(std::move(variable));
    return testing::Run(launch);
  }

  // The one line said: the start of the message, the reason, the way out.
  static void expectCannotStart(const testing::Outcome& run, const std::string& reason) {
    EXPECT_EQ(run.status, 2) << run.err;
    const std::string head = "sievetext: cannot start the window: ";
    const std::string tail = "; to convert without a window, give INPUT and OUTPUT\n";
    EXPECT_EQ(run.err.rfind(head, 0), 0u) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    ASSERT_GE(run.err.size(), tail.size()) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - tail.size()), tail) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_EQ(run.out, "");
  }

  void TearDown() override {
    EXPECT_FALSE(fs::exists(temp.path() / "config" / "WexaSievetext.ini"))
        << "nothing saved when the window never ran";
  }

  testing::TempFolder temp{"sievetext-window-start"};
};

TEST_F(WindowStartTest, DisplayWithoutAServer) {
  if (fs::exists("/tmp/.X11-unix/X99")) GTEST_SKIP() << "an X server runs on :99";
  expectCannotStart(start({{"DISPLAY", ":99"}}), ":99");
  // Asked for by name, the same.
  expectCannotStart(start({{"DISPLAY", ":99"}, {"QT_QPA_PLATFORM", "xcb"}}), ":99");
  // A display name is shown without its control characters.
  const testing::Outcome odd = start({{"DISPLAY", "\x1b[31m:99"}});
  expectCannotStart(odd, "?[31m:99");
  EXPECT_EQ(odd.err.find('\x1b'), std::string::npos);
}

TEST_F(WindowStartTest, WindowSystemThatIsNotThere) {
  const std::string reason = "no window system \"bogus\" here (QT_QPA_PLATFORM); there are: ";
  const testing::Outcome bogus = start({{"QT_QPA_PLATFORM", "bogus"}});
  expectCannotStart(bogus, reason);
  EXPECT_NE(bogus.err.find("offscreen"), std::string::npos) << "names those there are";
  // With options; and one that is there is tried after one that is not.
  expectCannotStart(start({{"QT_QPA_PLATFORM", "bogus:size=1"}}), reason);
  if (!fs::exists("/tmp/.X11-unix/X99")) {
    expectCannotStart(start({{"QT_QPA_PLATFORM", "bogus;xcb"}, {"DISPLAY", ":99"}}), ":99");
  }
}

}  // namespace
}  // namespace sievetext
