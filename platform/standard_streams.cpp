#include "platform/standard_streams.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace sievetext {
namespace {

// The most an unprivileged process may ask a pipe to hold, by default.
constexpr int kPipeBytes = 1 << 20;

// One read(2) that waits out interruptions and a descriptor left
// non-blocking by whoever started us. Returns the bytes read (0 at the end)
// or minus an errno value.
long ReadSome(int fd, char* room, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, room, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd wait{fd, POLLIN, 0};
      ::poll(&wait, 1, -1);
      continue;
    }
    return -static_cast<long>(errno);
  }
}

}  // namespace

ClosedStreams KeepStandardStreamsOpen() {
  ClosedStreams closed;
  bool* flags[] = {&closed.input, &closed.output, &closed.error};
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    *flags[fd] = true;
    // open() takes the lowest free number, which is this one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
  return closed;
}

StandardStreamFileSystem::StandardStreamFileSystem(FileSystem& files, ClosedStreams closed,
                                                   int inputFd, int outputFd)
    : files_(files), closed_(closed), inputFd_(inputFd), outputFd_(outputFd) {}

StandardStreamFileSystem::~StandardStreamFileSystem() {
  if (fifoFd_ >= 0) ::close(fifoFd_);
}

int StandardStreamFileSystem::streamFor(const std::string& path, int& fd) {
  fd = -1;
  if (path == kStandardStreamPath) {
    if (closed_.input) return EBADF;
    fd = inputFd_;
    return 0;
  }
  if (fifoFd_ >= 0 && path == fifoPath_) {
    fd = fifoFd_;
    return 0;
  }
  int descriptor = -1;
  switch (InputStreamOf(path, descriptor)) {
    case InputStream::None:
      return 0;
    case InputStream::Descriptor:
      fd = descriptor;
      return 0;
    case InputStream::Fifo:
      break;
  }
  if (fifoFd_ >= 0) ::close(fifoFd_);
  fifoFd_ = -1;
  if (const int error = OpenFifoForReading(path, fifoFd_)) return error;
  fifoPath_ = path;
  fd = fifoFd_;
  return 0;
}

FileKind StandardStreamFileSystem::kind(const std::string& path) {
  // Answers for reading; the job asks about the output only to know whether
  // to confirm, which the command line always does.
  int descriptor = -1;
  if (path != kStandardStreamPath) {
    const InputStream stream = InputStreamOf(path, descriptor);
    if (stream == InputStream::None) return files_.kind(path);
    if (stream == InputStream::Fifo) return FileKind::Regular;
  } else if (closed_.input) {
    return FileKind::Missing;
  } else {
    descriptor = inputFd_;
  }
  struct stat st {};
  if (::fstat(descriptor, &st) != 0) return FileKind::Missing;
  return S_ISDIR(st.st_mode) ? FileKind::Directory : FileKind::Regular;
}

int StandardStreamFileSystem::size(const std::string& path, std::uint64_t& bytes) {
  int fd = -1;
  if (const int error = streamFor(path, fd)) return error;
  if (fd < 0) return files_.size(path, bytes);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (S_ISREG(st.st_mode)) {
    // Redirected from a file: what is left of it from where it stands.
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    const off_t left = st.st_size - (at > 0 ? at : 0);
    bytes = left > 0 ? static_cast<std::uint64_t>(left) : 0;
    return 0;
  }
  if (const int error = readHead(fd)) return error;
  bytes = head_.size();
  return 0;
}

int StandardStreamFileSystem::readHead(int fd) {
  if (headRead_) return 0;
  // A larger pipe lets the writer run ahead by more than a few pieces, so
  // the two processes wake each other less often. Only an advice: a pipe
  // keeps its size where the system refuses.
  const int pipeBytes = ::fcntl(fd, F_GETPIPE_SZ);
  if (pipeBytes > 0 && pipeBytes < kPipeBytes) ::fcntl(fd, F_SETPIPE_SZ, kPipeBytes);
  // One pipe's worth: enough to tell an empty input from one that is not.
  constexpr std::size_t kHead = std::size_t{64} * 1024;
  head_.resize(kHead);
  const long n = ReadSome(fd, head_.data(), kHead);
  if (n < 0) {
    std::string().swap(head_);
    return static_cast<int>(-n);
  }
  head_.resize(static_cast<std::size_t>(n));
  headRead_ = true;
  headIsAll_ = n == 0;
  return 0;
}

int StandardStreamFileSystem::read(const std::string& path, const ByteSink& use) {
  int fd = -1;
  if (const int error = streamFor(path, fd)) return error;
  if (fd < 0) return files_.read(path, use);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISREG(st.st_mode)) return ReadFromDescriptor(fd, use);
  if (const int error = readHead(fd)) return error;
  // What arrived first, then the rest straight from the descriptor.
  use(head_, headIsAll_);
  const bool done = headIsAll_;
  std::string().swap(head_);
  headRead_ = false;
  headIsAll_ = false;
  return done ? 0 : ReadFromDescriptor(fd, use);
}

int StandardStreamFileSystem::replace(const std::string& path, const ByteSource& next) {
  if (path != kStandardStreamPath) return files_.replace(path, next);
  if (closed_.output) return EBADF;
  for (std::string_view piece = next(); !piece.empty(); piece = next()) {
    if (const int error = WriteToDescriptor(outputFd_, piece)) return error;
  }
  return 0;
}

bool StandardStreamFileSystem::identify(const std::string& path, bool asOutput, FileIdentity& id) {
  if (path != kStandardStreamPath) return files_.identify(path, asOutput, id);
  if (asOutput ? closed_.output : closed_.input) return false;
  struct stat st {};
  if (::fstat(asOutput ? outputFd_ : inputFd_, &st) != 0) return false;
  id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
        S_ISREG(st.st_mode)};
  return true;
}

}  // namespace sievetext
