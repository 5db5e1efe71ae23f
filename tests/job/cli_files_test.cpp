// The built program against hostile but ordinary conditions around its
// files: signals in the middle of a write, a file-size limit, long names,
// permissions and owners, symbolic links, a busy or oversized settings file,
// many copies of the program at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <poll.h>
#include <sstream>
#include <thread>

#include "tests/support/first_run_settings.h"
#include "tests/support/program_launcher.h"
#include "tests/support/sanitizer.h"
#include "tests/support/temp_folder.h"

namespace sievetext {
namespace {

namespace fs = std::filesystem;

// The unprivileged user the owner cases run as.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

using testing::kSanitized;
using testing::kFirstRunSettings;
using testing::Launch;
using testing::Outcome;
using testing::ReadFile;
using testing::RunningProgram;
using testing::WriteFile;

struct stat StatOf(const fs::path& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

// Names in `folder` that start with a dot: temporary files, left or not.
std::vector<std::string> HiddenIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name[0] == '.') names.push_back(name);
  }
  return names;
}

class CliFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prog = root / "prog";
    work = root / "work";
    cfg = root / "cfg";
    fs::create_directories(prog);
    fs::create_directories(work);
    fs::create_directories(cfg);
    fs::copy_file(SIEVETEXT_PROGRAM, prog / "sievetext");
    // The program finds its library beside itself; the build tree it came
    // from may be closed to the second user.
    fs::copy_file(SIEVETEXT_LIBRARY, prog / fs::path(SIEVETEXT_LIBRARY).filename());
    // Open to the second user of the owner cases.
    fs::permissions(root, fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
    fs::permissions(work, fs::perms::all);
    fs::permissions(cfg, fs::perms::all);
    ini = cfg / "WexaSievetext.ini";
  }

  // Starts the program with these arguments, from `work`, with the limits
  // and user `launch` gives; nothing on its standard input and output.
  RunningProgram start(const std::vector<std::string>& arguments, Launch launch = {}) {
    launch.program = (prog / "sievetext").string();
    launch.arguments = arguments;
    launch.workingFolder = work;
    launch.environment = {{"XDG_CONFIG_HOME", cfg.string()},
                          {"HOME", root.string()},
                          {"DISPLAY", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt}};
    launch.outputFile = "/dev/null";
    return RunningProgram(launch);
  }

  // Waits for a started program; its messages go to the test's own log.
  static int finish(RunningProgram& running) {
    const Outcome outcome = running.finish();
    std::cerr << outcome.err;
    return outcome.status;
  }

  int run(const std::vector<std::string>& arguments, const Launch& launch = {}) {
    RunningProgram running = start(arguments, launch);
    return finish(running);
  }

  std::string in(const char* name) const { return (work / name).string(); }

  static bool Root() { return ::geteuid() == 0; }

  testing::TempFolder temp{"sievetext-files"};
  fs::path root = temp.path();
  fs::path prog, work, cfg, ini;
};

// Plain words, so the conversion is quick and the output as long as the input.
std::string Words(std::size_t bytes) {
  std::string text;
  text.reserve(bytes);
  while (text.size() < bytes) text += "words and ";
  return text;
}

TEST_F(CliFilesTest, ASignalDuringTheWriteRemovesTheTemporaryAndEndsByThatSignal) {
  WriteFile(work / "out.txt", "old");
  std::size_t bytes = std::size_t{8} << 20;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    bool caught = false;
    // A machine fast enough to finish before the signal arrives gets a longer
    // file next time.
    for (int attempt = 0; attempt < 4 && !caught; ++attempt, bytes *= 2) {
      WriteFile(work / "in.html", Words(bytes));
      const int watch = ::inotify_init1(IN_CLOEXEC);
      ASSERT_GE(watch, 0);
      ASSERT_GE(::inotify_add_watch(watch, work.c_str(), IN_CREATE), 0);
      RunningProgram running = start({in("in.html"), in("out.txt")});
      // The first file created in the folder is the temporary one.
      pollfd ready{watch, POLLIN, 0};
      ASSERT_EQ(::poll(&ready, 1, 60000), 1) << "no file was created";
      ::kill(running.pid(), signal);
      ::close(watch);
      const int status = finish(running);
      if (status == 0) continue;
      caught = true;
      EXPECT_EQ(status, 128 + signal) << "ends by the signal " << signal;
      // A signal that came after the rename finds the new output complete.
      const std::string output = ReadFile(work / "out.txt");
      if (output != "old") {
        std::string converted = Words(bytes);
        while (converted.back() == ' ') converted.pop_back();
        EXPECT_TRUE(output == converted) << signal << ": a partial output of " << output.size();
      }
      EXPECT_TRUE(HiddenIn(work).empty()) << signal << ": " << HiddenIn(work)[0];
    }
    EXPECT_TRUE(caught) << "never caught the write with signal " << signal;
    WriteFile(work / "out.txt", "old");
  }
}

TEST_F(CliFilesTest, AFileSizeLimitFailsTheWriteWithStatusTwo) {
  WriteFile(work / "in.html", std::string(8192, 'x'));
  WriteFile(work / "out.txt", "old");
  Launch limited;
  limited.fileSizeLimit = 4096;  // SIGXFSZ at its default: the program copes
  EXPECT_EQ(run({in("in.html"), in("out.txt")}, limited), 2);
  EXPECT_EQ(ReadFile(work / "out.txt"), "old");
  EXPECT_TRUE(HiddenIn(work).empty());
}

TEST_F(CliFilesTest, OutputNamesUpToTheFileSystemsLimitWork) {
  WriteFile(work / "in.html", "<b>text</b>");
  for (const std::size_t length : {235u, 245u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".txt";
    EXPECT_EQ(run({in("in.html"), in(name.c_str())}), 0) << length;
    EXPECT_EQ(ReadFile(work / name), "text") << length;
    EXPECT_EQ(run({in("in.html"), in(name.c_str())}), 0) << length << ", replaced";
    fs::remove(work / name);
  }
  EXPECT_EQ(run({in("in.html"), in(std::string(256, 'n').c_str())}), 2);
  EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 1);
}

TEST_F(CliFilesTest, AReplacedFileKeepsItsPermissionsButNotSetuidOrSetgid) {
  WriteFile(work / "in.html", "<b>text</b>");
  const struct {
    mode_t before, after;
  } rows[] = {{06755, 0755}, {0640, 0640}, {0604, 0604}, {02770, 0770}, {01644, 0644}};
  for (const auto& row : rows) {
    WriteFile(work / "out.txt", "old");
    ASSERT_EQ(::chmod((work / "out.txt").c_str(), row.before), 0);
    EXPECT_EQ(run({in("in.html"), in("out.txt")}), 0);
    EXPECT_EQ(ReadFile(work / "out.txt"), "text");
    EXPECT_EQ(StatOf(work / "out.txt").st_mode & 07777, row.after) << std::oct << row.before;
  }
}

TEST_F(CliFilesTest, OwnerAndGroupAreKeptWherePossible) {
  if (!Root()) GTEST_SKIP() << "owner cases need root to hand files to a second user";
  WriteFile(work / "in.html", "<b>text</b>");
  fs::permissions(work / "in.html", fs::perms::all);

  // Root rewriting another user's file gives it back to that user.
  for (const mode_t mode : {mode_t{0666}, mode_t{06755}, mode_t{0600}}) {
    WriteFile(work / "theirs.txt", "old");
    ASSERT_EQ(::chown((work / "theirs.txt").c_str(), kNobody, kNogroup), 0);
    ASSERT_EQ(::chmod((work / "theirs.txt").c_str(), mode), 0);
    EXPECT_EQ(run({in("in.html"), in("theirs.txt")}), 0);
    const struct stat st = StatOf(work / "theirs.txt");
    EXPECT_EQ(st.st_uid, kNobody) << std::oct << mode;
    EXPECT_EQ(st.st_gid, kNogroup) << std::oct << mode;
    EXPECT_EQ(st.st_mode & 07777, mode & 0777) << std::oct << mode;
    EXPECT_EQ(ReadFile(work / "theirs.txt"), "text");
  }

  // A user rewriting root's file (in a folder open to all) cannot give it
  // back: it becomes theirs, and root's group loses what others lack.
  WriteFile(work / "roots.txt", "old");
  ASSERT_EQ(::chmod((work / "roots.txt").c_str(), 0664), 0);
  Launch nobody;
  nobody.user = {{kNobody, kNogroup}};
  EXPECT_EQ(run({in("in.html"), in("roots.txt")}, nobody), 0);
  const struct stat st = StatOf(work / "roots.txt");
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNogroup);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_TRUE(HiddenIn(work).empty());
}

TEST_F(CliFilesTest, SymbolicLinksAreFollowedToTheFileTheyName) {
  WriteFile(work / "in.html", "<b>text</b>");
  fs::create_directory(work / "elsewhere");
  WriteFile(work / "elsewhere" / "target.txt", "old");
  ::chmod((work / "elsewhere" / "target.txt").c_str(), 0640);
  fs::create_symlink("elsewhere/target.txt", work / "link.txt");
  fs::create_symlink("link.txt", work / "chain.txt");

  EXPECT_EQ(run({in("in.html"), in("chain.txt")}), 0);
  EXPECT_TRUE(fs::is_symlink(work / "chain.txt"));
  EXPECT_TRUE(fs::is_symlink(work / "link.txt"));
  EXPECT_EQ(ReadFile(work / "elsewhere" / "target.txt"), "text");
  EXPECT_EQ(StatOf(work / "elsewhere" / "target.txt").st_mode & 07777, 0640u);

  // A dangling link makes its target, when the target's folder exists.
  fs::create_symlink("elsewhere/new.txt", work / "dangling.txt");
  EXPECT_EQ(run({in("in.html"), in("dangling.txt")}), 0);
  EXPECT_TRUE(fs::is_symlink(work / "dangling.txt"));
  EXPECT_EQ(ReadFile(work / "elsewhere" / "new.txt"), "text");
  fs::create_symlink("nowhere/new.txt", work / "astray.txt");
  EXPECT_EQ(run({in("in.html"), in("astray.txt")}), 2);
  EXPECT_TRUE(fs::is_symlink(work / "astray.txt"));

  // What is refused given directly is refused through a link.
  ASSERT_EQ(::mkfifo((work / "fifo").c_str(), 0600), 0);
  fs::create_symlink("fifo", work / "to-fifo.txt");
  fs::create_symlink("elsewhere", work / "to-folder.txt");
  EXPECT_EQ(run({in("in.html"), in("to-fifo.txt")}), 2);
  EXPECT_EQ(run({in("in.html"), in("to-folder.txt")}), 2);
  EXPECT_TRUE(S_ISFIFO(StatOf(work / "fifo").st_mode));
  EXPECT_TRUE(fs::is_symlink(work / "to-fifo.txt"));
  if (Root()) {  // a null device of our own, so no real device is at stake
    ASSERT_EQ(::mknod((work / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    fs::create_symlink("null", work / "to-null.txt");
    EXPECT_EQ(run({in("in.html"), in("to-null.txt")}), 2);
    EXPECT_EQ(run({in("in.html"), in("null")}), 2);
    EXPECT_TRUE(S_ISCHR(StatOf(work / "null").st_mode));
    EXPECT_TRUE(fs::is_symlink(work / "to-null.txt"));
  }
  EXPECT_TRUE(HiddenIn(work).empty());
  EXPECT_TRUE(HiddenIn(work / "elsewhere").empty());
}

// Holds the settings lock as another writer would.
class LockHolder {
 public:
  explicit LockHolder(const fs::path& ini) {
    fd_ = ::open((ini.string() + ".lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    EXPECT_EQ(::flock(fd_, LOCK_EX), 0);
  }
  ~LockHolder() { ::close(fd_); }

 private:
  int fd_ = -1;
};

TEST_F(CliFilesTest, ABusySettingsLockCostsTheSaveNotTheConversion) {
  WriteFile(work / "in.html", "<b>text</b>");
  WriteFile(ini, "[General]\nRemoveTabs=1\n");
  {
    LockHolder other(ini);
    EXPECT_EQ(run({in("in.html"), in("out.txt")}), 0);
  }
  EXPECT_EQ(ReadFile(work / "out.txt"), "text");
  EXPECT_EQ(ReadFile(ini), "[General]\nRemoveTabs=1\n") << "not saved this time";
  EXPECT_EQ(run({in("in.html"), in("out.txt")}), 0);
  EXPECT_NE(ReadFile(ini).find("RemoveTabs=True"), std::string::npos) << "saved once free";
}

TEST_F(CliFilesTest, ConcurrentWritersOfTheSettingsLoseNothing) {
  WriteFile(work / "in.html", "<b>text</b>");
  WriteFile(ini, "[General]\n");
  // Another program adding entries under the same lock, each time with a
  // value the program rewrites, so that every run has something to save.
  std::atomic<bool> stop{false};
  int added = 0;
  std::thread other([&] {
    while (!stop) {
      LockHolder lock(ini);
      std::string text = ReadFile(ini);
      const std::size_t saved = text.find("RemoveTabs=True\n");
      if (saved != std::string::npos) text.replace(saved, 16, "RemoveTabs=1\n");
      if (text.find("RemoveTabs=") == std::string::npos) text += "RemoveTabs=1\n";
      text += "Other" + std::to_string(added) + "=kept\n";
      WriteFile(cfg / "other.tmp", text);
      fs::rename(cfg / "other.tmp", ini);
      ++added;
    }
  });
  std::vector<RunningProgram> runs;
  for (int i = 0; i < 50; ++i) runs.push_back(start({in("in.html"), in("out.txt")}));
  int failures = 0;
  for (RunningProgram& running : runs) failures += finish(running) != 0;
  stop = true;
  other.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "text");
  const std::string text = ReadFile(ini);
  for (int i = 0; i < added; ++i) {
    EXPECT_NE(text.find("Other" + std::to_string(i) + "=kept\n"), std::string::npos)
        << "entry " << i << " of " << added << " lost";
  }
  EXPECT_TRUE(HiddenIn(work).empty());
  EXPECT_TRUE(HiddenIn(cfg).empty());
}

TEST_F(CliFilesTest, ASettingsFilePastOneMebibyteIsNotASettingsFile) {
  WriteFile(work / "in.html", "<b>text</b>");
  // Valid entries, but too many of them: read as empty, so every option is on.
  std::string huge = "[General]\nRemoveAllTags=False\n";
  while (huge.size() <= (std::size_t{1} << 20)) huge += "; filler filler filler filler\n";
  WriteFile(ini, huge);
  EXPECT_EQ(run({in("in.html"), in("out.txt")}), 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "text");
  EXPECT_EQ(ReadFile(ini), huge) << "never overwritten";

  // Exactly 1 MiB is still a settings file.
  huge.resize(std::size_t{1} << 20);
  huge.back() = '\n';
  WriteFile(ini, huge);
  EXPECT_EQ(run({in("in.html"), in("out.txt")}), 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "<b>text</b>");

  // A vast file, or a link to one, is never read: with the address space
  // capped well below its size the program still runs.
  fs::remove(ini);
  {
    std::ofstream sparse(cfg / "vast.ini");
  }
  fs::resize_file(cfg / "vast.ini", std::uintmax_t{3} << 30);
  for (const char* how : {"file", "link"}) {
    if (std::string(how) == "file") {
      fs::rename(cfg / "vast.ini", ini);
    } else {
      fs::rename(ini, cfg / "vast.ini");
      fs::create_symlink("vast.ini", ini);
    }
    Launch capped;
    if (!kSanitized) capped.addressLimit = rlim_t{1} << 30;
    EXPECT_EQ(run({in("in.html"), in("out.txt")}, capped), 0) << how;
    EXPECT_EQ(ReadFile(work / "out.txt"), "text") << how;
    EXPECT_EQ(fs::file_size(cfg / (std::string(how) == "file" ? "WexaSievetext.ini" : "vast.ini")),
              std::uintmax_t{3} << 30)
        << how;
  }
}

TEST_F(CliFilesTest, ALinkedSettingsFileStaysLinkedAndKeepsItsOwner) {
  WriteFile(work / "in.html", "<b>text</b>");
  fs::create_directory(root / "dotfiles");
  WriteFile(root / "dotfiles" / "sievetext.ini", "[General]\nRemoveTabs=1\n");
  fs::create_symlink(root / "dotfiles" / "sievetext.ini", ini);
  if (Root()) {
    ASSERT_EQ(::chown((root / "dotfiles" / "sievetext.ini").c_str(), kNobody, kNogroup), 0);
  }
  ::chmod((root / "dotfiles" / "sievetext.ini").c_str(), 0640);

  EXPECT_EQ(run({in("in.html"), in("out.txt")}), 0);
  EXPECT_TRUE(fs::is_symlink(ini));
  const std::string text = ReadFile(root / "dotfiles" / "sievetext.ini");
  EXPECT_NE(text.find("RemoveTabs=True"), std::string::npos) << text;
  const struct stat st = StatOf(root / "dotfiles" / "sievetext.ini");
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (Root()) {
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNogroup);
  }
  EXPECT_TRUE(HiddenIn(root / "dotfiles").empty());
}

TEST_F(CliFilesTest, FiftyRunsAtOnceOnOneOutputAllSucceedAndLeaveNothing) {
  WriteFile(work / "in.html", "<p>" + Words(256 * 1024) + "</p>");
  WriteFile(work / "out.txt", "old");
  std::vector<RunningProgram> runs;
  for (int i = 0; i < 50; ++i) runs.push_back(start({in("in.html"), in("out.txt")}));
  int failures = 0;
  for (RunningProgram& running : runs) failures += finish(running) != 0;
  EXPECT_EQ(failures, 0);
  std::string expected = Words(256 * 1024);
  while (!expected.empty() && expected.back() == ' ') expected.pop_back();
  EXPECT_EQ(ReadFile(work / "out.txt"), expected);
  EXPECT_TRUE(HiddenIn(work).empty());
  EXPECT_EQ(ReadFile(ini), kFirstRunSettings);
}

}  // namespace
}  // namespace sievetext
