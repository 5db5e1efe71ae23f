#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/cleanup_on_signal.h"
#include "platform/file_system.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_folder.h"

namespace sievetext {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  std::string at(const char* name) const { return (folder / name).string(); }
  std::string contents(const char* name) const { return testing::ReadFile(folder / name); }
  std::size_t entries() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
    return n;
  }
  mode_t modeOf(const char* name) const {
    struct stat st {};
    ::stat(at(name).c_str(), &st);
    return st.st_mode & 07777;
  }

  testing::TempFolder temp{"sievetext-fs"};
  fs::path folder = temp.path();
  PosixFileSystem files;
};

TEST_F(PosixFileSystemTest, TellsWhatAPathNames) {
  std::ofstream(folder / "file") << "x";
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  fs::create_symlink(folder / "file", folder / "link");
  fs::create_symlink(folder / "none", folder / "dangling");
  EXPECT_EQ(files.kind(at("file")), FileKind::Regular);
  EXPECT_EQ(files.kind(at("link")), FileKind::Regular);
  EXPECT_EQ(files.kind(folder.string()), FileKind::Directory);
  EXPECT_EQ(files.kind(at("fifo")), FileKind::Other);
  EXPECT_EQ(files.kind(at("dangling")), FileKind::Missing);
  EXPECT_EQ(files.kind(at("none")), FileKind::Missing);
}

TEST_F(PosixFileSystemTest, ReadsRegularFilesOnlyAndNeverBlocks) {
  std::ofstream(folder / "file", std::ios::binary) << std::string("a\0b", 3);
  std::string bytes;
  EXPECT_EQ(files.readWhole(at("file"), bytes), 0);
  EXPECT_EQ(bytes, std::string("a\0b", 3));
  std::uint64_t size = 0;
  EXPECT_EQ(files.size(at("file"), size), 0);
  EXPECT_EQ(size, 3u);

  // A FIFO with no writer would block a plain open for ever.
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  EXPECT_EQ(files.readWhole(at("fifo"), bytes), EINVAL);
  EXPECT_EQ(files.readWhole(folder.string(), bytes), EISDIR);
  EXPECT_EQ(files.readWhole(at("none"), bytes), ENOENT);
  EXPECT_EQ(files.size(at("none"), size), ENOENT);
}

TEST_F(PosixFileSystemTest, LongFilesArriveWholeAndInOrderAndAStoppedReadEnds) {
  // Long enough to be read a piece ahead on a second thread.
  std::string written(9 * 1024 * 1024 + 5, '\0');
  for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<char>(i * 7 + i / 4099);
  std::ofstream(folder / "long", std::ios::binary) << written;
  std::string bytes;
  int lasts = 0;
  EXPECT_EQ(files.read(at("long"),
                       [&](std::string_view piece, bool last) {
                         EXPECT_EQ(lasts, 0) << "nothing after the last piece";
                         bytes.append(piece);
                         lasts += last;
                       }),
            0);
  EXPECT_EQ(lasts, 1);
  EXPECT_TRUE(bytes == written);

  // A caller that gives up half-way (its own failure) stops the reading too.
  std::size_t pieces = 0;
  EXPECT_THROW(static_cast<void>(files.read(at("long"),
                                            [&](std::string_view, bool) {
                                              if (++pieces == 3) throw std::runtime_error("enough");
                                            })),
               std::runtime_error);
  EXPECT_EQ(pieces, 3u);
}

TEST_F(PosixFileSystemTest, ReplaceCreatesAndReplacesWhole) {
  const mode_t oldMask = ::umask(027);
  EXPECT_EQ(files.replaceWhole(at("out"), "first, longer text"), 0);
  ::umask(oldMask);
  EXPECT_EQ(contents("out"), "first, longer text");
  EXPECT_EQ(modeOf("out"), 0640u) << "a new file honours the umask";

  ::chmod(at("out").c_str(), 06754);
  EXPECT_EQ(files.replaceWhole(at("out"), "second"), 0);
  EXPECT_EQ(contents("out"), "second");
  EXPECT_EQ(modeOf("out"), 0754u) << "a replaced file keeps its permissions but setuid and setgid";

  EXPECT_EQ(files.replaceWhole(at("out"), ""), 0);
  EXPECT_EQ(contents("out"), "");
  EXPECT_EQ(entries(), 1u);

  PosixFileSystem syncing(true);
  EXPECT_EQ(syncing.replaceWhole(at("out"), "synced"), 0);
  EXPECT_EQ(contents("out"), "synced");
}

TEST_F(PosixFileSystemTest, FailedReplaceLeavesTheOldFileAndNoTemporary) {
  std::ofstream(folder / "out") << "old";
  {
    testing::FileSizeLimit limit(4);
    EXPECT_EQ(files.replaceWhole(at("out"), "far too long for the limit"), EFBIG);
  }
  EXPECT_EQ(contents("out"), "old");
  EXPECT_EQ(entries(), 1u);

  EXPECT_EQ(files.replaceWhole(at("missing-folder/out"), "x"), ENOENT);

  fs::create_directory(folder / "dir");
  std::ofstream(folder / "dir" / "keep") << "kept";
  EXPECT_EQ(files.replaceWhole(at("dir"), "x"), EISDIR);
  EXPECT_EQ(contents("dir/keep"), "kept");

  // A FIFO, device or socket is never swapped for a file: the settings'
  // replacement refuses it, and the output writes a FIFO in place, as the
  // shell does, once a reader comes.
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  EXPECT_EQ(ReplaceFileAtomically(at("fifo"), "x", false), EINVAL);
  std::string arrived;
  std::thread reader([&] { arrived = contents("fifo"); });
  EXPECT_EQ(files.replaceWhole(at("fifo"), "through"), 0);
  reader.join();
  EXPECT_EQ(arrived, "through");
  EXPECT_EQ(files.kind(at("fifo")), FileKind::Other);
  EXPECT_EQ(entries(), 3u);
}

TEST_F(PosixFileSystemTest, TemporaryNamesHaveOneShortLength) {
  // Whatever the output's name, the temporary one beside it is the same
  // short length, so a name of the folder's maximum length can be replaced.
  std::vector<std::string> seen;
  for (const std::string& name : {std::string("o"), std::string(255, 'n')}) {
    EXPECT_EQ(files.replace(at(name.c_str()),
                            [&, done = false]() mutable {
                              for (const auto& entry : fs::directory_iterator(folder)) {
                                const std::string found = entry.path().filename().string();
                                if (found[0] == '.') seen.push_back(found);
                              }
                              if (done) return std::string_view();
                              done = true;
                              return std::string_view("x");
                            }),
              0);
  }
  ASSERT_EQ(seen.size(), 4u);
  for (const std::string& name : seen) EXPECT_EQ(name.size(), seen[0].size()) << name;
  EXPECT_LT(seen[0].size(), 32u);
  EXPECT_NE(seen[0], seen[2]);
  EXPECT_EQ(entries(), 2u);
}

TEST_F(PosixFileSystemTest, LiveTemporariesAreRemovedOnDemandAndTheOldFileStays) {
  std::ofstream(folder / "a") << "old a";
  std::ofstream(folder / "b") << "old b";
  // Two writes in flight at once (as two threads would have them); the
  // process ends in the middle of the inner one.
  int inFlight = 0;
  const int outer = files.replace(at("a"), [&, pieces = 0]() mutable {
    if (pieces++ == 1) {
      const int inner = files.replace(at("b"), [&, calls = 0]() mutable {
        if (calls++ == 1) {
          inFlight = LiveTemporaryCount();
          RemoveLiveTemporaries();
        }
        return calls < 3 ? std::string_view("new") : std::string_view();
      });
      EXPECT_EQ(inner, ENOENT);
    }
    return pieces < 4 ? std::string_view("new") : std::string_view();
  });
  EXPECT_EQ(inFlight, 2);
  EXPECT_EQ(outer, ENOENT);
  EXPECT_EQ(contents("a"), "old a");
  EXPECT_EQ(contents("b"), "old b");
  EXPECT_EQ(entries(), 2u);
  EXPECT_EQ(LiveTemporaryCount(), 0);

  // The table is free again: many writes in a row still register.
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(files.replace(at("a"),
                            [&, done = false]() mutable {
                              EXPECT_EQ(LiveTemporaryCount(), 1);
                              if (done) return std::string_view();
                              done = true;
                              return std::string_view("new");
                            }),
              0);
  }
  EXPECT_EQ(contents("a"), "new");
}

// A batch keeps its folders open and a job remembers what it looked at; both
// must still see the job's own writes, and neither may follow a link that a
// fresh look would refuse or lead elsewhere.
TEST_F(PosixFileSystemTest, KeptFoldersAndRememberedLookupsStayTrue) {
  const KeptFolders kept;
  fs::create_directory(folder / "pages");
  std::ofstream(folder / "pages" / "a.html") << "page";
  const std::string page = at("pages/a.html");
  const std::string out = at("pages/a.txt");
  {
    const LookupMemo memo;
    EXPECT_EQ(files.kind(page), FileKind::Regular);
    EXPECT_EQ(files.kind(out), FileKind::Missing);
    std::uint64_t bytes = 0;
    EXPECT_EQ(files.size(page, bytes), 0);
    EXPECT_EQ(bytes, 4u);
    // Writing forgets what was seen: the new file is there at once.
    EXPECT_EQ(files.replaceWhole(out, "text"), 0);
    EXPECT_EQ(files.kind(out), FileKind::Regular);
    EXPECT_EQ(files.size(out, bytes), 0);
    EXPECT_EQ(bytes, 4u);
  }
  // A new job looks afresh: another process removed the output meanwhile.
  fs::remove(folder / "pages" / "a.txt");
  {
    const LookupMemo memo;
    EXPECT_EQ(files.kind(out), FileKind::Missing);
  }

  // The folder swapped for a link elsewhere once the batch has opened it:
  // the batch goes on in the folder it opened, never where the link leads.
  fs::create_directory(folder / "elsewhere");
  fs::rename(folder / "pages", folder / "moved");
  fs::create_directory_symlink(folder / "elsewhere", folder / "pages");
  EXPECT_EQ(files.replaceWhole(out, "again"), 0);
  EXPECT_EQ(contents("moved/a.txt"), "again");
  EXPECT_FALSE(fs::exists(folder / "elsewhere" / "a.txt"));

  // A name that is a link is followed afresh each time, not remembered.
  fs::create_directory(folder / "links");
  std::ofstream(folder / "links" / "one") << "1";
  std::ofstream(folder / "links" / "two") << "22";
  fs::create_symlink("one", folder / "links" / "page");
  const LookupMemo memo;
  std::uint64_t bytes = 0;
  EXPECT_EQ(files.size(at("links/page"), bytes), 0);
  EXPECT_EQ(bytes, 1u);
  fs::remove(folder / "links" / "page");
  fs::create_symlink("two", folder / "links" / "page");
  EXPECT_EQ(files.size(at("links/page"), bytes), 0);
  EXPECT_EQ(bytes, 2u);
}

// Thousands of folders, each opened once: the oldest are let go, so the
// batch never runs out of descriptors, and every write still lands.
TEST_F(PosixFileSystemTest, KeptFoldersAreFewWhateverTheBatch) {
  const KeptFolders kept;
  const auto open = [] {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
  };
  const std::size_t before = open();
  for (int i = 0; i < 200; ++i) {
    const fs::path sub = folder / std::to_string(i);
    fs::create_directory(sub);
    const LookupMemo memo;
    EXPECT_EQ(files.replaceWhole((sub / "a.txt").string(), "x"), 0);
  }
  EXPECT_LE(open(), before + 20);
  for (int i = 0; i < 200; ++i)
    EXPECT_EQ(testing::ReadFile(folder / std::to_string(i) / "a.txt"), "x");
}

// Threads of a batch share the kept folders, each with its own memory of
// what it looked at, while folders come and go from the table.
TEST_F(PosixFileSystemTest, KeptFoldersServeManyThreadsAtOnce) {
  const KeptFolders kept;
  constexpr int kFolders = 24;  // more than are kept, so entries are let go meanwhile
  for (int i = 0; i < kFolders; ++i) fs::create_directory(folder / std::to_string(i));
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < 50; ++k) {
        const LookupMemo memo;
        const fs::path out = folder / std::to_string((t * 7 + k) % kFolders) /
                             (std::to_string(t) + "-" + std::to_string(k));
        EXPECT_EQ(files.kind(out.string()), FileKind::Missing);
        EXPECT_EQ(files.replaceWhole(out.string(), "x"), 0);
        EXPECT_EQ(files.kind(out.string()), FileKind::Regular);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::size_t written = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    written += entry.is_regular_file();
  EXPECT_EQ(written, 200u);
}

}  // namespace
}  // namespace sievetext
