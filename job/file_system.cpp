#include "file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

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

int WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    // Large single writes are split by the kernel anyway; keep each call
    // within what every platform accepts.
    const std::size_t chunk = left < (std::size_t{1} << 30) ? left : (std::size_t{1} << 30);
    const ssize_t n = ::write(fd, p, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return 0;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a new, empty, uniquely named hidden file in `folder`.
int CreateTemporary(const std::string& folder, const std::string& name, std::string& tempPath,
                    int& fd) {
  static unsigned counter = 0;
  const auto now = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%ld.%llx.%u.tmp", static_cast<long>(::getpid()),
                  now + static_cast<unsigned long long>(attempt) * 7919, counter++);
    tempPath = folder + "/." + name + suffix;
    // 0666 so the umask decides, as for any new file.
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

}  // namespace

int ReplaceFileAtomically(const std::string& path, const ByteSource& next, bool syncBeforeRename) {
  struct stat old {};
  const bool hadFile = ::stat(path.c_str(), &old) == 0;
  if (hadFile && S_ISDIR(old.st_mode)) return EISDIR;
  struct stat self {};
  if (::lstat(path.c_str(), &self) == 0 &&
      (S_ISCHR(self.st_mode) || S_ISBLK(self.st_mode) || S_ISFIFO(self.st_mode) ||
       S_ISSOCK(self.st_mode))) {
    return EINVAL;
  }

  std::string tempPath;
  int fd = -1;
  if (const int error = CreateTemporary(FolderOf(path), NameOf(path), tempPath, fd)) return error;
  FdCloser closer(fd);
  int error = 0;
  if (hadFile && S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 07777) != 0) error = errno;
  try {
    for (std::string_view piece; !error && !(piece = next()).empty();) error = WriteAll(fd, piece);
  } catch (...) {
    ::unlink(tempPath.c_str());
    throw;
  }
  if (!error && syncBeforeRename && ::fsync(fd) != 0) error = errno;
  const int closeError = closer.close();
  if (!error) error = closeError;
  if (!error && ::rename(tempPath.c_str(), path.c_str()) != 0) error = errno;
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
  return read(path, [&bytes](std::string_view piece, bool) {
    bytes.append(piece);
    return piece.size();
  });
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

  // Pieces of a size that stays in the processor's cache: the caller turns
  // them into text right away, so the file is never held twice.
  constexpr std::size_t kPiece = 256 * 1024;
  std::unique_ptr<char[]> buffer(new char[kPiece]);
  std::size_t kept = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.get() + kept, kPiece - kept);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    const std::size_t have = kept + static_cast<std::size_t>(n);
    const bool last = n == 0;
    const std::size_t used = use(std::string_view(buffer.get(), have), last);
    if (last) return 0;
    kept = have - used;
    if (kept == kPiece) return EIO;  // the sink took nothing from a full piece
    std::memmove(buffer.get(), buffer.get() + used, kept);
  }
}

int PosixFileSystem::replace(const std::string& path, const ByteSource& next) {
  return ReplaceFileAtomically(path, next, syncBeforeRename_);
}

}  // namespace sievetext
