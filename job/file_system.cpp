#include "job/file_system.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "job/cleanup_on_signal.h"

namespace sievetext {
namespace {

// Closes a descriptor on every way out unless released.
class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;
  ~FdCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Closes now and reports the result: a failed close can mean lost data.
  int close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links from `path` to the name that is to be replaced: the
// last name on the way that is not a link (it need not exist). A link's
// relative target is taken from the link's own folder.
int FinalTarget(const std::string& path, std::string& target) {
  target = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    char link[PATH_MAX];
    const ssize_t n = ::readlink(target.c_str(), link, sizeof link);
    if (n < 0) return errno;
    if (n == 0) return ENOENT;
    if (static_cast<std::size_t>(n) == sizeof link) return ENAMETOOLONG;
    const std::string_view to(link, static_cast<std::size_t>(n));
    if (to.front() == '/') {
      target.assign(to);
    } else {
      const std::string folder = FolderOf(target);
      target = (folder == "/" ? folder : folder + "/") + std::string(to);
    }
  }
  return ELOOP;
}

// Ten characters from the kernel's random source, or from the clock and the
// thread should it fail; O_EXCL settles any clash.
std::string RandomName() {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[10];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    std::uint64_t mix = static_cast<std::uint64_t>(
                            std::chrono::steady_clock::now().time_since_epoch().count()) ^
                        (static_cast<std::uint64_t>(::getpid()) << 32) ^
                        reinterpret_cast<std::uintptr_t>(&mix);
    for (unsigned char& byte : bytes) {
      mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
      byte = static_cast<unsigned char>(mix >> 56);
    }
  }
  std::string name = ".sievetext-";
  for (const unsigned char byte : bytes) name += kAlphabet[byte % (sizeof kAlphabet - 1)];
  return name;
}

// Creates a new, empty hidden file in `folder` and registers it for removal
// should the process be ended while it exists. Its name has the same short
// length whatever the output is called, so any name the folder accepts can be
// replaced.
int CreateTemporary(const std::string& folder, std::string& tempPath, int& fd,
                    std::optional<LiveTemporary>& registration) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = (folder == "/" ? folder : folder + "/") + RandomName();
    CleanupSignalsHeld held;
    // 0666 so the umask decides, as for any new file.
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) {
      registration.emplace(tempPath);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Gives the new file the old one's owner and group where this process may
// (it runs as root, or owns the file), and the old permission bits without
// setuid and setgid. A group that could not be kept gets no more access than
// everybody else, since the file now belongs to one of ours instead.
int KeepOwnerAndMode(int fd, const struct stat& old) {
  struct stat now {};
  if (::fstat(fd, &now) != 0) return errno;
  mode_t mode = old.st_mode & 0777;
  if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
    const uid_t me = ::geteuid();
    // Without the right to give the file away, the group alone can still be
    // kept when this process belongs to it.
    const bool kept = me == 0 || old.st_uid == me
                          ? ::fchown(fd, old.st_uid, old.st_gid) == 0
                          : ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
    if (!kept && now.st_gid != old.st_gid) mode = (mode & ~mode_t{070}) | ((mode & 07) << 3);
  }
  return ::fchmod(fd, mode) == 0 ? 0 : errno;
}

}  // namespace

int ReplaceFileAtomically(const std::string& path, const ByteSource& next, bool syncBeforeRename) {
  std::string target;
  if (const int error = FinalTarget(path, target)) return error;
  struct stat old {};
  const bool hadFile = ::lstat(target.c_str(), &old) == 0;
  if (hadFile && S_ISDIR(old.st_mode)) return EISDIR;
  // A device, FIFO or socket is never swapped for a plain file.
  if (hadFile && !S_ISREG(old.st_mode)) return EINVAL;
  if (!hadFile && errno != ENOENT) return errno;

  std::string tempPath;
  int fd = -1;
  std::optional<LiveTemporary> registration;
  if (const int error = CreateTemporary(FolderOf(target), tempPath, fd, registration)) return error;
  FdCloser closer(fd);
  int error = hadFile ? KeepOwnerAndMode(fd, old) : 0;
  try {
    for (std::string_view piece; !error && !(piece = next()).empty();) error = WriteToDescriptor(fd, piece);
  } catch (...) {
    ::unlink(tempPath.c_str());
    throw;
  }
  if (!error && syncBeforeRename && ::fsync(fd) != 0) error = errno;
  const int closeError = closer.close();
  if (!error) error = closeError;
  // Fails with ENOENT when the file was removed meanwhile because the
  // process is ending: the old file then stays.
  if (!error && ::rename(tempPath.c_str(), target.c_str()) != 0) error = errno;
  if (error) ::unlink(tempPath.c_str());
  return error;
}

int ReplaceFileAtomically(const std::string& path, std::string_view bytes, bool syncBeforeRename) {
  return ReplaceFileAtomically(path, WholeSource(bytes), syncBeforeRename);
}

ByteSource WholeSource(std::string_view bytes) {
  return [bytes, done = false]() mutable {
    if (done) return std::string_view();
    done = true;
    return bytes;
  };
}

int FileSystem::readWhole(const std::string& path, std::string& bytes) {
  bytes.clear();
  return read(path, [&bytes](std::string_view piece, bool) { bytes.append(piece); });
}

int FileSystem::replaceWhole(const std::string& path, std::string_view bytes) {
  return replace(path, WholeSource(bytes));
}

FileKind PosixFileSystem::kind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return FileKind::Missing;
  if (S_ISREG(st.st_mode)) return FileKind::Regular;
  if (S_ISDIR(st.st_mode)) return FileKind::Directory;
  return FileKind::Other;
}

int PosixFileSystem::size(const std::string& path, std::uint64_t& bytes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  bytes = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

int PosixFileSystem::read(const std::string& path, const ByteSink& use) {
  // Non-blocking so that a FIFO put in the file's place since the check
  // cannot hang the open; it is then refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno;
  FdCloser closer(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;

  return ReadFromDescriptor(fd, use);
}

namespace {

// Pieces of a size that stays in the processor's cache: the caller turns
// them into text right away, so the file is never held twice.
constexpr std::size_t kReadPiece = std::size_t{256} * 1024;
// Regular files from this size on are read a piece ahead on a second thread.
constexpr std::uint64_t kReadAheadBytes = 8 << 20;

// One read of up to `size` bytes into `buffer`: the bytes read (0 at the
// end) or minus an errno value. Waits on a descriptor without blocking (a
// pipe) until there is something to read.
ssize_t ReadPiece(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd ready{fd, POLLIN, 0};
      if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return -errno;
      continue;
    }
    return -errno;
  }
}

// ReadFromDescriptor for a long regular file: a second thread reads each
// piece while the caller is still using the one before, so that the system's
// copying and the caller's work overlap. Two buffers take turns. Nothing when
// no thread can be started; nothing has been read then.
std::optional<int> ReadAhead(int fd, const ByteSink& use) {
  struct Slot {
    std::unique_ptr<char[]> bytes{new char[kReadPiece]};
    ssize_t result = 0;  // as ReadPiece
    bool full = false;
  };
  Slot slots[2];
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;

  std::thread reader;
  const auto readAll = [&] {
    for (std::size_t k = 0;; ++k) {
      Slot& slot = slots[k % 2];
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return !slot.full || stop; });
        if (stop) return;
      }
      const ssize_t result = ReadPiece(fd, slot.bytes.get(), kReadPiece);
      {
        std::lock_guard lock(mutex);
        slot.result = result;
        slot.full = true;
      }
      changed.notify_all();
      if (result <= 0) return;
    }
  };
  try {
    reader = std::thread(readAll);
  } catch (const std::system_error&) {
    return std::nullopt;
  }
  // Stops and joins the reader however the caller's work ends.
  struct Joiner {
    std::thread& reader;
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& stop;
    ~Joiner() {
      {
        std::lock_guard lock(mutex);
        stop = true;
      }
      changed.notify_all();
      reader.join();
    }
  } joiner{reader, mutex, changed, stop};

  for (std::size_t k = 0;; ++k) {
    Slot& slot = slots[k % 2];
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return slot.full; });
    }
    if (slot.result < 0) return static_cast<int>(-slot.result);
    const auto n = static_cast<std::size_t>(slot.result);
    use(std::string_view(slot.bytes.get(), n), n == 0);
    if (n == 0) return 0;
    {
      std::lock_guard lock(mutex);
      slot.full = false;
    }
    changed.notify_all();
  }
}

}  // namespace

int ReadFromDescriptor(int fd, const ByteSink& use) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_size) >= kReadAheadBytes) {
    if (const std::optional<int> result = ReadAhead(fd, use)) return *result;
  }
  std::unique_ptr<char[]> buffer(new char[kReadPiece]);
  for (;;) {
    const ssize_t n = ReadPiece(fd, buffer.get(), kReadPiece);
    if (n < 0) return static_cast<int>(-n);
    use(std::string_view(buffer.get(), static_cast<std::size_t>(n)), n == 0);
    if (n == 0) return 0;
  }
}

int PosixFileSystem::replace(const std::string& path, const ByteSource& next) {
  return ReplaceFileAtomically(path, next, syncBeforeRename_);
}

int WriteToDescriptor(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const std::size_t chunk = left < (std::size_t{1} << 30) ? left : (std::size_t{1} << 30);
    const ssize_t n = ::write(fd, p, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd wait{fd, POLLOUT, 0};
        ::poll(&wait, 1, -1);
        continue;
      }
      return errno;
    }
    if (n == 0) return EIO;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace sievetext
