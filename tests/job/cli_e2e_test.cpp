// Runs the built program as a user would: a copy of it in a temporary folder
// (relative paths are resolved against the program's own folder), settings in
// a temporary XDG_CONFIG_HOME, no display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace sievetext {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Spit(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sievetext-cli-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = pattern;
    prog = root / "prog";
    work = root / "work";
    fs::create_directories(prog);
    fs::create_directories(work);
    fs::create_directories(root / "home");
    fs::copy_file(SIEVETEXT_PROGRAM, prog / "sievetext");
    ini = root / "cfg" / "WexaSievetext.ini";
  }
  void TearDown() override {
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_directory() && !entry.is_symlink())
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    }
    fs::remove_all(root);
  }

  // Runs the program from the folder `work` with these arguments. A non-zero
  // `fileSizeLimit` makes every write past that many bytes fail.
  Result run(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = 0) {
    int out[2], err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      ::close(out[0]);
      ::close(err[0]);
      if (::chdir(work.c_str()) != 0) ::_exit(120);
      ::setenv("XDG_CONFIG_HOME", (root / "cfg").c_str(), 1);
      ::setenv("HOME", (root / "home").c_str(), 1);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      if (fileSizeLimit != 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = fileSizeLimit;
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      const std::string program = (prog / "sievetext").string();
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    // Never hang the suite: a program that blocks (on a FIFO, say) is killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wstatus, 0);
        ADD_FAILURE() << "the program did not finish";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Result result;
    result.out = ReadAll(out[0]);
    result.err = ReadAll(err[0]);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return result;
  }

  // The eleven keys as a first run leaves them.
  static std::string AllTrue() {
    return "[General]\nGenerateSpecialChars=True\nRemoveAllCRLF=True\nRemoveAllTags=True\n"
           "RemoveBlankLines=True\nRemoveComments=True\nRemoveFunctions=True\nRemovePipe=True\n"
           "RemoveScripts=True\nRemoveSpaces=True\nRemoveStyles=True\nRemoveTabs=True\n";
  }
  std::size_t entriesIn(const fs::path& folder) const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
    return n;
  }

  fs::path root, prog, work, ini;
};

TEST_F(CliTest, RelativePathsAreTakenFromTheProgramsFolder) {
  Spit(prog / "in.html", "<p>Hello</p>");
  Spit(work / "in.html", "wrong file");
  fs::create_directory(prog / "sub");
  Spit(prog / "sub" / "in.html", "<b>Sub</b>");

  const Result first = run({"in.html", "out.txt"});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(Slurp(prog / "out.txt"), "Hello");
  EXPECT_FALSE(fs::exists(work / "out.txt"));
  EXPECT_TRUE(first.out.empty() && first.err.empty()) << "nothing is shown";

  EXPECT_EQ(run({"sub/in.html", (work / "abs.txt").string()}).status, 0);
  EXPECT_EQ(Slurp(work / "abs.txt"), "Sub");
  EXPECT_EQ(run({(work / "in.html").string(), (work / "w.txt").string(), "ignored"}).status, 0);
  EXPECT_EQ(Slurp(work / "w.txt"), "wrong file");
}

TEST_F(CliTest, ChecksStopSilentlyWithStatusOne) {
  Spit(prog / "in.html", "text");
  Spit(prog / ".hidden.html", "text");
  Spit(prog / "empty.html", "");
  Spit(prog / "kept.txt", "old");
  fs::create_directory(prog / "folder.html");
  ASSERT_EQ(::mkfifo((prog / "fifo.html").c_str(), 0600), 0);
  const struct {
    const char* name;
    std::vector<std::string> arguments;
  } rows[] = {
      {"one path", {"in.html"}},
      {"empty output", {"in.html", ""}},
      {"empty input", {"", "kept.txt"}},
      {"missing input", {"none.html", "kept.txt"}},
      {"input is a folder", {"folder.html", "kept.txt"}},
      {"input is a FIFO", {"fifo.html", "kept.txt"}},
      {"hidden input", {".hidden.html", "kept.txt"}},
      {"input of 0 bytes", {"empty.html", "kept.txt"}},
      {"quoted path", {"\"in.html\"", "kept.txt"}},
  };
  for (const auto& row : rows) {
    const Result result = run(row.arguments);
    EXPECT_EQ(result.status, 1) << row.name;
    EXPECT_EQ(result.out + result.err, "") << row.name;
    EXPECT_EQ(Slurp(prog / "kept.txt"), "old") << row.name;
  }
  EXPECT_EQ(entriesIn(prog), 7u) << "nothing created";
}

TEST_F(CliTest, ReplacesTheOutputWholeWithoutAsking) {
  Spit(prog / "in.html", "<i>new</i>");
  Spit(prog / "out.txt", std::string(10000, 'o'));
  Spit(prog / ".hidden.txt", "old");
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  EXPECT_EQ(Slurp(prog / "out.txt"), "new");
  EXPECT_EQ(run({"in.html", ".hidden.txt"}).status, 0);
  EXPECT_EQ(Slurp(prog / ".hidden.txt"), "new");

  // Output equal to input: the input is replaced by its conversion.
  EXPECT_EQ(run({"in.html", "in.html"}).status, 0);
  EXPECT_EQ(Slurp(prog / "in.html"), "new");

  // A result with no text at all still replaces the output: a 0-byte file.
  Spit(prog / "tags.html", "<html><body><br></body></html>");
  EXPECT_EQ(run({"tags.html", "out.txt"}).status, 0);
  EXPECT_TRUE(fs::exists(prog / "out.txt"));
  EXPECT_EQ(fs::file_size(prog / "out.txt"), 0u);
  EXPECT_EQ(entriesIn(prog), 5u) << "no temporary file left";
}

TEST_F(CliTest, ReadsLegacyAndUnicodeEncodingsAndWritesUtf8) {
  const struct {
    const char* name;
    std::string in;
    std::string out;
  } rows[] = {
      {"utf-8", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
      {"utf-8 mark", "\xEF\xBB\xBFna\xC3\xAFve", "na\xC3\xAFve"},
      {"windows-1252", "caf\xE9 \x80 \x93q\x94", "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D"},
      {"mixed", "\xE9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
      {"utf-16le", std::string("\xFF\xFE<\0b\0>\0\xE9\0\x3D\xD8\x00\xDE", 14), "\xC3\xA9\xF0\x9F\x98\x80"},
      {"utf-16be", std::string("\xFE\xFF\0h\0i", 6), "hi"},
      {"utf-16 odd byte", std::string("\xFF\xFEh\0i", 5), "h\xEF\xBF\xBD"},
      {"utf-16 lone surrogate", std::string("\xFF\xFE" "a\0\x00\xD8" "b\0", 8), "a\xEF\xBF\xBD" "b"},
  };
  for (const auto& row : rows) {
    Spit(prog / "in.html", row.in);
    EXPECT_EQ(run({"in.html", "out.txt"}).status, 0) << row.name;
    EXPECT_EQ(Slurp(prog / "out.txt"), row.out) << row.name;
  }
}

TEST_F(CliTest, FailedWritesLeaveTheOldOutputAndExitTwo) {
  Spit(prog / "in.html", std::string(4096, 'x'));
  Spit(prog / "out.txt", "old");

  const Result tooBig = run({"in.html", "out.txt"}, /*fileSizeLimit=*/1024);
  EXPECT_EQ(tooBig.status, 2);
  EXPECT_EQ(tooBig.out + tooBig.err, "") << "nothing is shown";
  EXPECT_EQ(Slurp(prog / "out.txt"), "old");

  fs::create_directory(prog / "dir");
  Spit(prog / "dir" / "inside", "kept");
  EXPECT_EQ(run({"in.html", "dir"}).status, 2);
  EXPECT_EQ(Slurp(prog / "dir" / "inside"), "kept");
  EXPECT_EQ(entriesIn(prog / "dir"), 1u);

  EXPECT_EQ(run({"in.html", "no-such-folder/out.txt"}).status, 2);

  if (::geteuid() != 0) {  // root writes into read-only folders
    fs::create_directory(prog / "ro");
    Spit(prog / "ro" / "out.txt", "old");
    fs::permissions(prog / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(run({"in.html", "ro/out.txt"}).status, 2);
    fs::permissions(prog / "ro", fs::perms::owner_all);
    EXPECT_EQ(Slurp(prog / "ro" / "out.txt"), "old");
    EXPECT_EQ(entriesIn(prog / "ro"), 1u);
  }
  EXPECT_EQ(entriesIn(prog), 4u) << "no temporary file left";
}

TEST_F(CliTest, FirstRunStoresElevenTrueKeysAndConvertsWithAllOptions) {
  Spit(prog / "in.html", "<script>x()</script>a&amp;b  |  {f}  c");
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  EXPECT_EQ(Slurp(ini), AllTrue());
  EXPECT_EQ(Slurp(prog / "out.txt"), "a&b c");

  // A run that stops at a check saves the options all the same.
  fs::remove(ini);
  EXPECT_EQ(run({"none.html", "out.txt"}).status, 1);
  EXPECT_EQ(Slurp(ini), AllTrue());
}

TEST_F(CliTest, StoredFormsAreReadAndWrittenBackAsTrueOrFalse) {
  const struct {
    const char* stored;
    const char* saved;
  } rows[] = {
      {"True", "True"}, {"true", "True"},   {"TRUE", "True"},   {"1", "True"},  {"-1", "True"},
      {"False", "False"}, {"false", "False"}, {"FALSE", "False"}, {"0", "False"}, {"", "False"},
      {"yes", "False"},
  };
  Spit(prog / "in.html", "<b>bold</b>");
  fs::create_directories(ini.parent_path());
  for (const auto& row : rows) {
    // All options on but RemoveAllTags, which holds the form under test.
    std::string stored = AllTrue();
    const std::string key = "RemoveAllTags=True\n";
    stored.replace(stored.find(key), key.size(), std::string("RemoveAllTags=") + row.stored + "\n");
    Spit(ini, stored);
    EXPECT_EQ(run({"in.html", "out.txt"}).status, 0) << row.stored;
    std::string expected = AllTrue();
    expected.replace(expected.find(key), key.size(), std::string("RemoveAllTags=") + row.saved + "\n");
    EXPECT_EQ(Slurp(ini), expected) << row.stored;
    EXPECT_EQ(Slurp(prog / "out.txt"), std::string(row.saved) == "True" ? "bold" : "<b>bold</b>")
        << row.stored;
  }
}

TEST_F(CliTest, SettingsFileKeepsOtherEntriesAndSurvivesBeingUnreadable) {
  Spit(prog / "in.html", "<b>x</b>");
  fs::create_directories(ini.parent_path());
  const std::string mine =
      "; edited by hand\n[Window]\nGeometry=1,2\n\n[General]\nRemoveTabs=0\nMine=keep me\n";
  Spit(ini, mine);
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  const std::string text = Slurp(ini);
  EXPECT_EQ(text.rfind("; edited by hand\n[Window]\nGeometry=1,2\n\n[General]\nRemoveTabs=False\n"
                       "Mine=keep me\nGenerateSpecialChars=True\n",
                       0),
            0u)
      << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '='), 13);
  EXPECT_EQ(text.find("%General"), std::string::npos);

  // A settings "file" that cannot be read: every option on, nothing broken.
  fs::remove(ini);
  fs::create_directory(ini);
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  EXPECT_EQ(Slurp(prog / "out.txt"), "x");
  EXPECT_TRUE(fs::is_directory(ini));

  // A malformed file reads as empty and is left for its owner to mend.
  fs::remove(ini);
  Spit(ini, "[General]\nRemoveAllTags=False\nnot a setting\n");
  EXPECT_EQ(run({"in.html", "out.txt"}).status, 0);
  EXPECT_EQ(Slurp(prog / "out.txt"), "x");
  EXPECT_EQ(Slurp(ini), "[General]\nRemoveAllTags=False\nnot a setting\n");
}

TEST_F(CliTest, HelpVersionAndMissingWindow) {
  for (const char* flag : {"--help", "-h"}) {
    const Result help = run({flag});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: sievetext INPUT OUTPUT"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find(prog.string() + "/"), std::string::npos) << "names the program's folder";
    EXPECT_NE(help.out.find(ini.string()), std::string::npos) << "names the settings file";
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
  }
  const Result version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Wexa Sievetext 1.0.20\n");

  // Not alone: an ordinary (missing) input path.
  EXPECT_EQ(run({"--help", "out.txt"}).status, 1);
  EXPECT_FALSE(fs::exists(ini.parent_path() / "out.txt"));

  // Without arguments the window module is needed; this folder has none, as
  // when only the command-line package is installed.
  fs::remove(ini);
  const Result window = run({});
  EXPECT_EQ(window.status, 2);
  EXPECT_EQ(window.err.rfind("sievetext: the window is not installed", 0), 0u) << window.err;
  EXPECT_NE(window.err.find("package sievetext-gui"), std::string::npos) << window.err;
  EXPECT_FALSE(fs::exists(ini)) << "nothing saved when the window never ran";

  // A module that is there but cannot be loaded is a different fault.
  Spit(prog / "libsievetext_gui.so", "not a library");
  const Result broken = run({});
  EXPECT_EQ(broken.status, 2);
  EXPECT_EQ(broken.err.rfind("cannot start the window: ", 0), 0u) << broken.err;
  EXPECT_FALSE(fs::exists(ini));
}

}  // namespace
}  // namespace sievetext
