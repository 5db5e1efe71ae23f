#include "job/standard_streams.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <functional>
#include <new>

namespace sievetext {
namespace {

// Fills the given room with the next bytes and returns how many (0 at the
// end), or minus an errno value.
using Fill = std::function<long(char* room, std::size_t size)>;

// Hands what `fill` produces to `use` in pieces of a size that stays in the
// cache, keeping the bytes a piece left unused at the front of the next one.
int FeedPieces(const Fill& fill, const ByteSink& use) {
  constexpr std::size_t kPiece = 256 * 1024;
  std::unique_ptr<char[]> buffer(new char[kPiece]);
  std::size_t kept = 0;
  for (;;) {
    const long n = fill(buffer.get() + kept, kPiece - kept);
    if (n < 0) return static_cast<int>(-n);
    const std::size_t have = kept + static_cast<std::size_t>(n);
    const bool last = n == 0;
    const std::size_t used = use(std::string_view(buffer.get(), have), last);
    if (last) return 0;
    kept = have - used;
    if (kept == kPiece) return EIO;  // the sink took nothing from a full piece
    std::memmove(buffer.get(), buffer.get() + used, kept);
  }
}

// One read(2) that waits out interruptions and a descriptor left
// non-blocking by whoever started us.
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

// Part of standard input, held until the job reads it. Large parts come from
// huge pages: fresh small pages cost far more to touch than the bytes cost
// to read.
class StandardStreamFileSystem::Chunk {
 public:
  static constexpr std::size_t kFirst = 256 * 1024;
  static constexpr std::size_t kLarge = 8 * 1024 * 1024;
  static constexpr std::size_t kHugePage = 2 * 1024 * 1024;

  explicit Chunk(std::size_t capacity) : capacity_(capacity) {
    if (capacity <= kFirst) {
      data_ = new char[capacity];
      return;
    }
    // Map one huge page more than needed so the start can be aligned to one.
    mapSize_ = capacity + kHugePage;
    map_ = ::mmap(nullptr, mapSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map_ == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(map_);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    data_ = reinterpret_cast<char*>(aligned);
    ::madvise(data_, capacity_, MADV_HUGEPAGE);
  }
  Chunk(const Chunk&) = delete;
  Chunk& operator=(const Chunk&) = delete;
  ~Chunk() {
    if (map_ != nullptr) {
      ::munmap(map_, mapSize_);
    } else {
      delete[] data_;
    }
  }

  char* room() { return data_ + used_; }
  std::size_t roomLeft() const { return capacity_ - used_; }
  void grow(std::size_t bytes) { used_ += bytes; }
  std::size_t used() const { return used_; }
  const char* data() const { return data_; }

 private:
  std::size_t capacity_;
  std::size_t used_ = 0;
  char* data_ = nullptr;
  void* map_ = nullptr;
  std::size_t mapSize_ = 0;
};

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

StandardStreamFileSystem::~StandardStreamFileSystem() = default;

FileKind StandardStreamFileSystem::kind(const std::string& path) {
  if (path != kStandardStreamPath) return files_.kind(path);
  // Answers for reading; the job asks about the output only to know whether
  // to confirm, which the command line always does.
  struct stat st {};
  if (closed_.input || ::fstat(inputFd_, &st) != 0) return FileKind::Missing;
  return S_ISDIR(st.st_mode) ? FileKind::Directory : FileKind::Regular;
}

int StandardStreamFileSystem::size(const std::string& path, std::uint64_t& bytes) {
  if (path != kStandardStreamPath) return files_.size(path, bytes);
  if (closed_.input) return EBADF;
  struct stat st {};
  if (::fstat(inputFd_, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (S_ISREG(st.st_mode)) {
    // Redirected from a file: what is left of it from where it stands.
    const off_t at = ::lseek(inputFd_, 0, SEEK_CUR);
    const off_t left = st.st_size - (at > 0 ? at : 0);
    bytes = left > 0 ? static_cast<std::uint64_t>(left) : 0;
    inputIsFile_ = true;
    return 0;
  }
  return slurpInput(bytes);
}

int StandardStreamFileSystem::slurpInput(std::uint64_t& bytes) {
  bytes = 0;
  if (inputRead_) {
    for (const auto& chunk : chunks_) bytes += chunk->used();
    return 0;
  }
  for (;;) {
    if (chunks_.empty() || chunks_.back()->roomLeft() == 0) {
      chunks_.push_back(std::make_unique<Chunk>(chunks_.empty() ? Chunk::kFirst : Chunk::kLarge));
    }
    Chunk& chunk = *chunks_.back();
    const long n = ReadSome(inputFd_, chunk.room(), chunk.roomLeft());
    if (n < 0) {
      chunks_.clear();
      return static_cast<int>(-n);
    }
    if (n == 0) break;
    chunk.grow(static_cast<std::size_t>(n));
    bytes += static_cast<std::uint64_t>(n);
  }
  inputRead_ = true;
  return 0;
}

int StandardStreamFileSystem::read(const std::string& path, const ByteSink& use) {
  if (path != kStandardStreamPath) return files_.read(path, use);
  if (closed_.input) return EBADF;
  if (!inputRead_ && !inputIsFile_) {
    std::uint64_t ignored = 0;
    if (const int error = size(path, ignored)) return error;
  }
  if (inputIsFile_) {
    const int fd = inputFd_;
    return FeedPieces([fd](char* room, std::size_t size) { return ReadSome(fd, room, size); }, use);
  }
  // Hand the held chunks over in order, letting each go once it is used up,
  // so the input is not held twice while it becomes text.
  std::size_t index = 0;
  std::size_t offset = 0;
  const auto fill = [this, &index, &offset](char* room, std::size_t size) -> long {
    std::size_t copied = 0;
    while (copied < size && index < chunks_.size()) {
      const Chunk& chunk = *chunks_[index];
      const std::size_t take = std::min(size - copied, chunk.used() - offset);
      std::memcpy(room + copied, chunk.data() + offset, take);
      copied += take;
      offset += take;
      if (offset == chunk.used()) {
        chunks_[index].reset();
        ++index;
        offset = 0;
      }
    }
    return static_cast<long>(copied);
  };
  const int error = FeedPieces(fill, use);
  chunks_.clear();
  inputRead_ = false;
  return error;
}

int StandardStreamFileSystem::replace(const std::string& path, const ByteSource& next) {
  if (path != kStandardStreamPath) return files_.replace(path, next);
  if (closed_.output) return EBADF;
  for (std::string_view piece = next(); !piece.empty(); piece = next()) {
    if (const int error = WriteToDescriptor(outputFd_, piece)) return error;
  }
  return 0;
}

}  // namespace sievetext
