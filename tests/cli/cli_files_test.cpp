// The built program against hostile but ordinary conditions around its
// files: signals in the middle of a write, a file-size limit, long names,
// permissions and owners, symbolic links, a busy or oversized settings file,
// many copies of the program at once.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
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

using testing::kFirstRunSettings;
using testing::kSanitized;
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

  // Runs the program with standard output and error captured.
  Outcome capture(const std::vector<std::string>& arguments, Launch launch = {}) {
    launch.program = (prog / "sievetext").string();
    launch.arguments = arguments;
    launch.workingFolder = work;
    launch.environment = environment();
    return testing::Run(launch);
  }

  // Runs `script` with sh in `work`, the program being "$0".
  Outcome shell(const std::string& script, Launch launch = {}) {
    launch.program = "/bin/sh";
    launch.arguments = {"-c", script, (prog / "sievetext").string()};
    launch.workingFolder = work;
    launch.environment = environment();
    return testing::Run(launch);
  }

  std::vector<std::pair<std::string, std::optional<std::string>>> environment() const {
    return {{"XDG_CONFIG_HOME", cfg.string()},
            {"HOME", root.string()},
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt}};
  }

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

  // A user rewriting root's file (writable by all, in a folder open to all)
  // cannot give it back: it becomes theirs, and root's group loses what
  // others lack.
  WriteFile(work / "roots.txt", "old");
  ASSERT_EQ(::chmod((work / "roots.txt").c_str(), 0676), 0);
  Launch nobody;
  nobody.user = {{kNobody, kNogroup}};
  EXPECT_EQ(run({in("in.html"), in("roots.txt")}, nobody), 0);
  const struct stat st = StatOf(work / "roots.txt");
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNogroup);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
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
  fs::create_symlink("elsewhere", work / "to-folder.txt");
  EXPECT_EQ(run({in("in.html"), in("to-folder.txt")}), 2);
  EXPECT_TRUE(fs::is_symlink(work / "to-folder.txt"));
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
  runs.reserve(50);
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
  { std::ofstream sparse(cfg / "vast.ini"); }
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
  WriteFile(work / "in.html", "<p>" + Words(std::size_t{256} * 1024) + "</p>");
  WriteFile(work / "out.txt", "old");
  std::vector<RunningProgram> runs;
  runs.reserve(50);
  for (int i = 0; i < 50; ++i) runs.push_back(start({in("in.html"), in("out.txt")}));
  int failures = 0;
  for (RunningProgram& running : runs) failures += finish(running) != 0;
  EXPECT_EQ(failures, 0);
  std::string expected = Words(std::size_t{256} * 1024);
  while (!expected.empty() && expected.back() == ' ') expected.pop_back();
  EXPECT_EQ(ReadFile(work / "out.txt"), expected);
  EXPECT_TRUE(HiddenIn(work).empty());
  EXPECT_EQ(ReadFile(ini), kFirstRunSettings);
}

// Lets a test thread that still waits to open the FIFO at `path` go, should
// the program never have opened its end: opens the other end without
// blocking. For reading, the descriptor is returned, to be closed once the
// writer is done (its bytes fit the pipe); for writing it is closed at once.
int ReleaseFifo(const fs::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0 && flags == O_WRONLY) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Runs `command` as the second user, as that user would have typed it.
int AsNobody(const std::string& command) {
  return std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups " + command).c_str());
}

TEST_F(CliFilesTest, LinksAnotherUserPlantedInASharedStickyFolderAreNotFollowed) {
  if (!Root()) GTEST_SKIP() << "the planted links need root and a second user";
  WriteFile(work / "in.html", "<b>attacker's text</b>");
  const fs::path shared = root / "shared";  // as /tmp is
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  fs::create_directory(root / "etc");
  WriteFile(root / "etc" / "victim", "precious");
  // The second user's links to root's files, and to where root may write.
  const std::string victim = (root / "etc" / "victim").string();
  ASSERT_EQ(AsNobody("ln -s " + victim + " " + (shared / "report.txt").string()), 0);
  ASSERT_EQ(AsNobody("ln -s " + (root / "etc" / "new").string() + " " +
                     (shared / "dangling.txt").string()),
            0);
  ASSERT_EQ(AsNobody("ln -s " + (root / "etc").string() + " " + (shared / "texts").string()), 0);
  ASSERT_EQ(AsNobody("ln -s " + victim + " " + (shared / "WexaSievetext.ini").string()), 0);
  ASSERT_EQ(StatOf(shared / "report.txt").st_uid, kNobody);

  for (const char* name : {"report.txt", "dangling.txt"}) {
    const Outcome refused = capture({in("in.html"), (shared / name).string()});
    EXPECT_EQ(refused.status, 2) << name;
    EXPECT_EQ(refused.err, "sievetext: " + (shared / name).string() +
                               ": RemoveHTML: Error 13: Permission denied\n");
  }
  EXPECT_EQ(ReadFile(root / "etc" / "victim"), "precious");
  EXPECT_FALSE(fs::exists(root / "etc" / "new"));
  // -d through a planted link to a folder, and the settings file.
  EXPECT_EQ(run({"-d", (shared / "texts").string(), in("in.html")}), 2);
  EXPECT_FALSE(fs::exists(root / "etc" / "in.txt"));
  const Outcome converted = [&] {
    Launch launch;
    launch.program = (prog / "sievetext").string();
    launch.arguments = {in("in.html"), in("out.txt")};
    launch.workingFolder = work;
    launch.environment = environment();
    launch.environment[0].second = shared.string();
    return testing::Run(launch);
  }();
  EXPECT_EQ(converted.status, 0) << "the settings read as defaults";
  EXPECT_EQ(ReadFile(root / "etc" / "victim"), "precious");

  // A link of the caller's own, or of the folder's owner, is followed.
  fs::create_symlink(victim, shared / "mine.txt");
  EXPECT_EQ(run({in("in.html"), (shared / "mine.txt").string()}), 0);
  EXPECT_EQ(ReadFile(root / "etc" / "victim"), "attacker's text");
  EXPECT_TRUE(fs::is_symlink(shared / "mine.txt"));
}

TEST_F(CliFilesTest, AnOutputThatIsNotARegularFileIsWrittenInPlace) {
  WriteFile(work / "in.html", "<b>text</b>");
  // The shell's other output stays around the text, in the one log file.
  for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    const Outcome logged = shell(std::string("{ echo header; \"$0\" in.html ") + name +
                                 "; echo footer; } > log.txt; echo $? >> log.txt");
    EXPECT_EQ(logged.err, "") << name;
    EXPECT_EQ(ReadFile(work / "log.txt"), "header\ntextfooter\n0\n") << name;
  }
  // Into a pipe.
  const Outcome piped = capture({in("in.html"), "/dev/stdout"});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, "text");
  // Another descriptor, opened for appending by the shell.
  WriteFile(work / "three.txt", "before ");
  EXPECT_EQ(shell("\"$0\" in.html /dev/fd/3 3>>three.txt").status, 0);
  EXPECT_EQ(ReadFile(work / "three.txt"), "before text");

  // A FIFO gets the text once its reader comes, and stays a FIFO.
  ASSERT_EQ(::mkfifo((work / "fifo").c_str(), 0600), 0);
  fs::create_symlink("fifo", work / "to-fifo.txt");
  for (const char* name : {"fifo", "to-fifo.txt"}) {
    std::string arrived;
    std::atomic<bool> done{false};
    std::thread reader([&] {
      arrived = ReadFile(work / "fifo");
      done = true;
    });
    EXPECT_EQ(run({in("in.html"), in(name)}), 0) << name;
    while (!done) ReleaseFifo(work / "fifo", O_WRONLY);
    reader.join();
    EXPECT_EQ(arrived, "text") << name;
  }
  EXPECT_TRUE(S_ISFIFO(StatOf(work / "fifo").st_mode));
  EXPECT_EQ(run({in("in.html"), "/dev/null"}), 0);
  if (Root()) {  // a null device of our own, so no real device is at stake
    ASSERT_EQ(::mknod((work / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    fs::create_symlink("null", work / "to-null.txt");
    EXPECT_EQ(run({in("in.html"), in("to-null.txt")}), 0);
    EXPECT_TRUE(S_ISCHR(StatOf(work / "null").st_mode));
    EXPECT_TRUE(fs::is_symlink(work / "to-null.txt"));
  }
  EXPECT_TRUE(HiddenIn(work).empty());
}

TEST_F(CliFilesTest, InputsThatAreStreamsAreReadAsStreams) {
  Launch fed;
  fed.input = "<b>from a pipe</b>";
  for (const char* name : {"/dev/stdin", "/dev/fd/0", "/proc/self/fd/0"}) {
    const Outcome piped = capture({name, "-"}, fed);
    EXPECT_EQ(piped.status, 0) << name << piped.err;
    EXPECT_EQ(piped.out, "from a pipe") << name;
  }
  // Redirected from a file, from where the shell left it.
  WriteFile(work / "page.html", "<b>from a file</b>");
  EXPECT_EQ(shell("\"$0\" /dev/stdin out.txt < page.html").status, 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "from a file");
  // A FIFO waits for its writer.
  ASSERT_EQ(::mkfifo((work / "fifo.html").c_str(), 0600), 0);
  std::atomic<bool> written{false};
  std::thread writer([&] {
    WriteFile(work / "fifo.html", "<b>from a FIFO</b>");
    written = true;
  });
  EXPECT_EQ(run({in("fifo.html"), in("out.txt")}), 0);
  std::vector<int> released;
  while (!written) released.push_back(ReleaseFifo(work / "fifo.html", O_RDONLY));
  writer.join();
  for (const int fd : released) {
    if (fd >= 0) ::close(fd);
  }
  EXPECT_EQ(ReadFile(work / "out.txt"), "from a FIFO");
  // An empty stream is an empty input.
  Launch empty;
  empty.input = "";
  const Outcome nothing = capture({"/dev/stdin", "out.txt"}, empty);
  EXPECT_EQ(nothing.status, 1);
  EXPECT_EQ(nothing.err, "sievetext: /dev/stdin: Input file is empty!\n");
  // A process substitution, where bash is to be had.
  if (fs::exists("/bin/bash")) {
    Launch bash;
    bash.program = "/bin/bash";
    bash.arguments = {"-c", "\"$0\" <(printf '<b>substituted</b>') -",
                      (prog / "sievetext").string()};
    bash.workingFolder = work;
    bash.environment = environment();
    const Outcome substituted = testing::Run(bash);
    EXPECT_EQ(substituted.status, 0) << substituted.err;
    EXPECT_EQ(substituted.out, "substituted");
  }
}

TEST_F(CliFilesTest, AnOutputThatIsTheInputIsRefusedInEveryForm) {
  const std::string page = "<b>the only copy</b>";
  WriteFile(work / "page.html", page);
  fs::create_hard_link(work / "page.html", work / "hard.txt");
  fs::create_symlink("page.html", work / "soft.txt");
  fs::create_directory(work / "sub");
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"page.html", "page.html"},
           {"page.html", "./sub/../page.html"},
           {"page.html", "hard.txt"},
           {"page.html", "soft.txt"},
           {"soft.txt", "hard.txt"},
       }) {
    const Outcome refused = capture(arguments);
    EXPECT_EQ(refused.status, 1) << arguments[1];
    EXPECT_EQ(refused.err, "sievetext: " + arguments[1] + ": Output file is the input file\n");
  }
  fs::create_hard_link(work / "page.html", work / "page.txt");
  EXPECT_EQ(run({"-d", ".", "page.txt"}), 1);
  EXPECT_EQ(run({"-d", ".", "page.html"}), 1);
  EXPECT_EQ(run({"page.html", "/dev/stdout"}), 0) << "standard output elsewhere is fine";
  EXPECT_EQ(shell("\"$0\" page.html /dev/stdout >> page.html").status, 1);
  EXPECT_EQ(shell("\"$0\" page.html - >> page.html").status, 1);
  EXPECT_EQ(ReadFile(work / "page.html"), page);
  EXPECT_TRUE(HiddenIn(work).empty());
}

TEST_F(CliFilesTest, AnOutputTheCallerMayNotWriteIsNotReplaced) {
  WriteFile(work / "in.html", "<b>text</b>");
  WriteFile(work / "locked.txt", "kept");
  ASSERT_EQ(::chmod((work / "locked.txt").c_str(), 0444), 0);
  Launch launch;
  // Root may write any file; the second user may not write this one.
  if (Root()) {
    ASSERT_EQ(::chown((work / "locked.txt").c_str(), kNobody, kNogroup), 0);
    launch.user = {{kNobody, kNogroup}};
  }
  const Outcome refused = capture({in("in.html"), in("locked.txt")}, launch);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err,
            "sievetext: " + in("locked.txt") + ": RemoveHTML: Error 13: Permission denied\n");
  EXPECT_EQ(ReadFile(work / "locked.txt"), "kept");
  EXPECT_EQ(StatOf(work / "locked.txt").st_mode & 07777, 0444u);
  EXPECT_TRUE(HiddenIn(work).empty());
}

// Makes `depth` nested folders named `name` below the open folder `at`,
// with a page at the bottom; a path to it is longer than the system takes.
void MakeDeepPage(int at, const std::string& name, int depth) {
  int folder = ::dup(at);
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(::mkdirat(folder, name.c_str(), 0755), 0);
    const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(folder);
    folder = next;
  }
  const int page = ::openat(folder, "page.html", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(page, "<b>deep</b>", 11), 11);
  ::close(page);
  ::close(folder);
}

// Reads the file at the end of `depth` folders `name` below `at`.
std::string ReadDeep(int at, const std::string& name, int depth, const char* file) {
  int folder = ::dup(at);
  for (int i = 0; i < depth && folder >= 0; ++i) {
    const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(folder);
    folder = next;
  }
  std::string text;
  const int fd = folder >= 0 ? ::openat(folder, file, O_RDONLY) : -1;
  char buffer[256];
  for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  if (fd >= 0) ::close(fd);
  if (folder >= 0) ::close(folder);
  return text;
}

// Removes what is below the open folder `at`, however deep.
void RemoveBelow(int at) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(::dup(at)), &::closedir);
  std::vector<std::string> names;
  while (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  for (const std::string& name : names) {
    const int sub = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (sub >= 0) {
      RemoveBelow(sub);
      ::close(sub);
      ::unlinkat(at, name.c_str(), AT_REMOVEDIR);
    } else {
      ::unlinkat(at, name.c_str(), 0);
    }
  }
}

TEST_F(CliFilesTest, EveryPageTheWalkCannotReachIsReported) {
  fs::create_directories(work / "site" / "locked" / "inner");
  WriteFile(work / "site" / "a.html", "<b>a</b>");
  WriteFile(work / "site" / "locked" / "b.html", "<b>b</b>");
  ASSERT_EQ(::chmod((work / "site" / "locked").c_str(), 0444), 0);  // listed, not entered
  fs::permissions(work / "site", fs::perms::all);
  Launch launch;
  if (Root()) {  // root enters any folder; the second user cannot
    launch.user = {{kNobody, kNogroup}};
  }
  const Outcome walked = capture({"-r", "-d", "out", "site"}, launch);
  EXPECT_EQ(walked.status, 2);
  EXPECT_EQ(walked.err,
            "sievetext: site/locked/b.html: Permission denied\n"
            "sievetext: site/locked/inner: cannot read the folder: Permission denied\n");
  EXPECT_EQ(ReadFile(work / "out" / "a.txt"), "a") << "the reachable pages are converted";
  ::chmod((work / "site" / "locked").c_str(), 0755);

  // Past the longest path the system takes, folders are walked one by one.
  fs::create_directory(work / "deep");
  const int deep = ::open((work / "deep").c_str(), O_RDONLY | O_DIRECTORY);
  const std::string name(200, 'd');
  MakeDeepPage(deep, name, 24);
  const Outcome long_ = capture({"-r", "-d", "text", "deep"});
  EXPECT_EQ(long_.status, 0) << long_.err.substr(0, 300);
  const int text = ::open((work / "text").c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_EQ(ReadDeep(text, name, 24, "page.txt"), "deep");
  for (const int folder : {deep, text}) {
    if (folder < 0) continue;
    RemoveBelow(folder);
    ::close(folder);
  }
}

TEST_F(CliFilesTest, AnInterruptedBatchLeavesNoTemporaryWhateverTheThreads) {
  fs::create_directory(work / "pages");
  for (int i = 0; i < 200; ++i) {
    WriteFile(work / "pages" / ("p" + std::to_string(i) + ".html"),
              "<p>" + Words(std::size_t{64} * 1024) + "</p>");
  }
  int interrupted = 0;
  for (int round = 0; round < 10; ++round) {
    const int signal = round % 2 ? SIGTERM : SIGINT;
    fs::remove_all(work / "out");
    fs::create_directory(work / "out");
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (work / "out").c_str(), IN_CREATE), 0);
    RunningProgram running =
        start({"-j", round < 5 ? "4" : "16", "-r", "-d", in("out"), in("pages")});
    // Some temporaries made and renamed, others on their way.
    pollfd ready{watch, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 60000), 1) << "no file was created";
    std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
    ::kill(running.pid(), signal);
    ::close(watch);
    const int status = finish(running);
    interrupted += status == 128 + signal;
    EXPECT_TRUE(status == 0 || status == 128 + signal) << status;
    const std::vector<std::string> left = HiddenIn(work / "out");
    EXPECT_TRUE(left.empty()) << "round " << round << ": " << left.size() << " left, " << left[0];
  }
  EXPECT_GT(interrupted, 0);
}

TEST_F(CliFilesTest, ASettingsLockThatIsNotAFileCostsTheSaveAndNeverHangs) {
  WriteFile(work / "in.html", "<b>text</b>");
  WriteFile(ini, "[General]\nRemoveTabs=1\n");
  ASSERT_EQ(::mkfifo((ini.string() + ".lock").c_str(), 0600), 0);
  Launch quick;
  quick.deadline = std::chrono::seconds(20);
  EXPECT_EQ(run({in("in.html"), in("out.txt")}, quick), 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "text");
  EXPECT_EQ(ReadFile(ini), "[General]\nRemoveTabs=1\n") << "not saved this time";
}

TEST_F(CliFilesTest, SettingsWithAByteOrderMarkAreReadAndAFileWithANulIsNot) {
  WriteFile(work / "in.html", "<b>text</b>");
  const std::string marked = "\xEF\xBB\xBF[General]\r\nRemoveAllTags=False\r\n";
  WriteFile(ini, marked);
  EXPECT_EQ(run({in("in.html"), in("out.txt")}), 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "<b>text</b>");
  const std::string saved = ReadFile(ini);
  EXPECT_EQ(saved.rfind(marked, 0), 0u) << "the mark and the entry are kept: " << saved;

  const std::string withNul = std::string("[General]\nRemoveAllTags=False\n\0\n", 32);
  WriteFile(ini, withNul);
  EXPECT_EQ(run({in("in.html"), in("out.txt")}), 0);
  EXPECT_EQ(ReadFile(work / "out.txt"), "text") << "read as defaults";
  EXPECT_EQ(ReadFile(ini), withNul) << "never overwritten";
}

TEST_F(CliFilesTest, OnePathAloneWritesStandardOutputAndUsageLinesAreSafe) {
  WriteFile(work / "in.html", "<b>text</b>");
  const Outcome alone = capture({"in.html"});
  EXPECT_EQ(alone.status, 0);
  EXPECT_EQ(alone.out, "text");
  EXPECT_EQ(alone.err, "");

  const Outcome usage = capture({"--without=\x1b]2;owned\x07", "in.html"});
  EXPECT_EQ(usage.status, 1);
  EXPECT_EQ(usage.err.rfind("sievetext: unknown option name '?]2;owned?' (one of ", 0), 0u)
      << usage.err;
  EXPECT_EQ(usage.err.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace sievetext
