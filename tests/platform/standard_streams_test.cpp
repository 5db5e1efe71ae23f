#include "platform/standard_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "job/convert.h"
#include "tests/support/memory_file_system.h"

namespace sievetext {
namespace {

// A pipe whose write end is fed by a thread, as a shell pipeline would, in
// writes of `chunk` bytes.
class FedPipe {
 public:
  explicit FedPipe(std::string bytes, std::size_t chunk = std::string::npos) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    readFd = fds[0];
    writer_ = std::thread([fd = fds[1], bytes = std::move(bytes), chunk] {
      for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        // A reader that stops early ends the writing.
        if (WriteToDescriptor(fd, std::string_view(bytes).substr(at, chunk)) != 0) break;
      }
      ::close(fd);
    });
  }
  ~FedPipe() {
    writer_.join();
    ::close(readFd);
  }
  int readFd = -1;

 private:
  std::thread writer_;
};

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7919 % 26));
  return bytes;
}

// Reads the way the job does: the size first, then the content.
int ReadLikeTheJob(FileSystem& files, std::uint64_t& size, std::string& bytes) {
  if (const int error = files.size("-", size)) return error;
  return files.read("-", [&bytes](std::string_view piece, bool) { bytes.append(piece); });
}

TEST(StandardStreamsTest, PipedInputOfEverySizeComesThroughWhole) {
  MemoryFileSystem memory;
  // Around the first piece, and well past it.
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{64} * 1024,
                           std::size_t{64 * 1024 + 1}, std::size_t{19 * 1024 * 1024 + 3}}) {
    const std::string sent = Pattern(size);
    FedPipe pipe(sent);
    StandardStreamFileSystem files(memory, {}, pipe.readFd, 1);
    EXPECT_EQ(files.kind("-"), FileKind::Regular);
    std::uint64_t length = 0;
    std::string received;
    ASSERT_EQ(ReadLikeTheJob(files, length, received), 0) << size;
    // Only an estimate, but never 0 for an input that is not empty.
    EXPECT_EQ(length == 0, size == 0) << size;
    EXPECT_LE(length, size);
    EXPECT_TRUE(received == sent) << size;
  }
}

// A page whose every line holds sequences of two, three and four bytes and a
// legacy byte, so that the pieces of a pipe cut them everywhere.
std::string MixedPage(std::size_t size) {
  const std::string line =
      "<p class=x>caf\xC3\xA9 &amp; \xE2\x82\xAC"
      "5 \xF0\x9F\x98\x80 \x93quoted\x94</p>\n";
  std::string page;
  while (page.size() < size) page += line;
  page.resize(size);
  return page;
}

cSievetext ConvertingEngine() {
  cSievetext engine;
  engine.RemoveAllTags = engine.GenerateSpecialChars = true;
  return engine;
}

// Converts standard input that comes from `fd` as the job does.
std::string ConvertStandardInput(int fd) {
  MemoryFileSystem memory;
  StandardStreamFileSystem files(memory, {}, fd, 1);
  std::uint64_t length = 0;
  EXPECT_EQ(files.size("-", length), 0);
  cSievetext engine = ConvertingEngine();
  EXPECT_EQ(ConvertFile(engine, files, "-", length, "out").status, ConvertStatus::Written);
  return memory.files["out"];
}

TEST(StandardStreamsTest, PipedInputConvertsAsTheSameBytesFromAFile) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4097},
                           std::size_t{300 * 1024 + 5}, std::size_t{19 * 1024 * 1024 + 3}}) {
    const std::string page = MixedPage(size);
    char name[] = "/tmp/sievetext-stdin-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::unlink(name);
    ASSERT_EQ(WriteToDescriptor(fd, page), 0);
    ::lseek(fd, 0, SEEK_SET);
    const std::string fromFile = ConvertStandardInput(fd);
    ::close(fd);
    // Writes of an odd size, so sequences are cut across reads.
    FedPipe pipe(page, 4093);
    const std::string fromPipe = ConvertStandardInput(pipe.readFd);
    EXPECT_TRUE(fromPipe == fromFile) << size;
    cSievetext engine = ConvertingEngine();
    EXPECT_TRUE(fromFile == ConvertBytes(engine, page)) << size;
  }
}

TEST(StandardStreamsTest, InputRedirectedFromAFileIsReadFromWhereItStands) {
  char name[] = "/tmp/sievetext-stdin-XXXXXX";
  const int fd = ::mkstemp(name);
  ASSERT_GE(fd, 0);
  ::unlink(name);
  const std::string content = Pattern(std::size_t{300} * 1024);
  ASSERT_EQ(WriteToDescriptor(fd, content), 0);
  ::lseek(fd, 5, SEEK_SET);
  MemoryFileSystem memory;
  StandardStreamFileSystem files(memory, {}, fd, 1);
  std::uint64_t length = 0;
  std::string received;
  ASSERT_EQ(ReadLikeTheJob(files, length, received), 0);
  EXPECT_EQ(length, content.size() - 5);
  EXPECT_TRUE(received == content.substr(5));
  ::close(fd);
}

TEST(StandardStreamsTest, OtherPathsPassThroughAndDashWritesToTheOutput) {
  MemoryFileSystem memory;
  memory.files["/a.html"] = "page";
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  StandardStreamFileSystem files(memory, {}, 0, fds[1]);
  std::string bytes;
  EXPECT_EQ(files.readWhole("/a.html", bytes), 0);
  EXPECT_EQ(bytes, "page");
  EXPECT_EQ(files.replaceWhole("/b.txt", "text"), 0);
  EXPECT_EQ(memory.files["/b.txt"], "text");
  EXPECT_EQ(files.replaceWhole("-", "to stdout"), 0);
  EXPECT_EQ(memory.files.count("-"), 0u) << "no file named -";
  ::close(fds[1]);
  char buffer[64] = {};
  EXPECT_EQ(::read(fds[0], buffer, sizeof buffer), 9);
  EXPECT_EQ(std::string(buffer), "to stdout");
  ::close(fds[0]);
}

TEST(StandardStreamsTest, FailedAndClosedStreamsAreErrorsNotSuccess) {
  MemoryFileSystem memory;
  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  StandardStreamFileSystem toFull(memory, {}, 0, full);
  EXPECT_EQ(toFull.replaceWhole("-", "x"), ENOSPC);
  ::close(full);

  ClosedStreams closed;
  closed.input = closed.output = true;
  StandardStreamFileSystem none(memory, closed, 0, 1);
  EXPECT_EQ(none.kind("-"), FileKind::Missing);
  std::uint64_t size = 0;
  EXPECT_EQ(none.size("-", size), EBADF);
  EXPECT_EQ(none.replaceWhole("-", "x"), EBADF);
}

TEST(StandardStreamsTest, ClosedDescriptorsAreReopenedAndReported) {
  // In a child, so this process keeps its own streams.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(1);
    const ClosedStreams closed = KeepStandardStreamsOpen();
    const bool reopened = ::fcntl(1, F_GETFD) != -1;
    // The next file opened must not take descriptor 1.
    const int fd = ::open("/dev/null", O_RDONLY);
    ::_exit(closed.output && !closed.input && !closed.error && reopened && fd > 2 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace sievetext
