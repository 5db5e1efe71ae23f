#include "platform/file_system.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// openat2 (Linux 5.6) where the system headers have it; elsewhere (the
// WebAssembly build) every path takes the walk.
#if __has_include(<linux/openat2.h>) && defined(SYS_openat2)
#include <linux/openat2.h>
#define SIEVETEXT_HAVE_OPENAT2 1
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/cleanup_on_signal.h"

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

// An open descriptor, closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// The names of `path` from left to right, "" and "." left out (but a
// trailing "/" asks for a folder, so it ends the list with ".").
std::vector<std::string> NamesOf(std::string_view path) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t slash = path.find('/', at);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string_view name = path.substr(at, slash - at);
    if (!name.empty() && name != ".") names.emplace_back(name);
    at = slash + 1;
  }
  if (!path.empty() && path.back() == '/' && !names.empty()) names.emplace_back(".");
  return names;
}

// True when the open folder `folder` is this process's own descriptor
// folder (/proc/self/fd, which /dev/fd and /dev/stdout lead to).
bool IsOwnDescriptorFolder(int folder) {
  struct stat here {};
  if (::fstat(folder, &here) != 0 || !S_ISDIR(here.st_mode)) return false;
  for (const char* own : {"/proc/self/fd", "/proc/thread-self/fd"}) {
    struct stat st {};
    if (::stat(own, &st) == 0 && st.st_dev == here.st_dev && st.st_ino == here.st_ino) return true;
  }
  return false;
}

// The number `name` spells, when it names a descriptor this process has open.
int OpenDescriptorNamed(const std::string& name) {
  int fd = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), fd);
  if (error != std::errc() || end != name.data() + name.size() || fd < 0) return -1;
  return ::fcntl(fd, F_GETFD) != -1 ? fd : -1;
}

// Where a path leads: the open folder that holds its last name and that
// name, which is not a symbolic link (or was not when looked at) and need
// not exist; or, when the path names one of this process's open descriptors
// (/dev/stdout, /dev/fd/N), that descriptor.
struct PathEnd {
  UniqueFd own;  // the folder, when opened for this path alone
  std::string name;
  int descriptor = -1;
  // What `name` is (not followed), when the walk has just looked: saves
  // asking again for the same answer.
  bool known = false;
  struct stat st {};
  // Or the folder as KeptFolders holds it.
  std::shared_ptr<const UniqueFd> kept;
  // `name` was not there when the walk looked.
  bool missing = false;

  int folder() const { return kept ? kept->get() : own.get(); }
};

}  // namespace

// The folders KeptFolders keeps open, by the path that led to each (as
// given, so "a/b" and "a//b" are two entries), most recent last.
class FolderTable {
 public:
  std::shared_ptr<const UniqueFd> find(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (auto& [key, fd] : entries_) {
      if (key == path) return fd;
    }
    return nullptr;
  }
  std::shared_ptr<const UniqueFd> add(const std::string& path, UniqueFd fd) {
    auto kept = std::make_shared<const UniqueFd>(std::move(fd));
    std::lock_guard lock(mutex_);
    // The oldest goes; a path still using it keeps it open until done.
    if (entries_.size() >= kEntries) entries_.erase(entries_.begin());
    entries_.emplace_back(path, kept);
    return kept;
  }

 private:
  // Enough for the folders of a batch; few enough that descriptors for the
  // files themselves never run short.
  static constexpr std::size_t kEntries = 16;
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::shared_ptr<const UniqueFd>>> entries_;
};

namespace {

std::atomic<FolderTable*> gKeptFolders{nullptr};

// What this thread has found at the end of the paths it followed through a
// kept folder while a LookupMemo lives on it.
struct Lookups {
  struct Entry {
    std::string path;
    int error = 0;  // 0: `st` holds what was there; ENOENT: nothing was
    struct stat st {};
  };
  bool active = false;
  std::vector<Entry> entries;

  const Entry* find(const std::string& path) const {
    if (!active) return nullptr;
    for (const Entry& entry : entries) {
      if (entry.path == path) return &entry;
    }
    return nullptr;
  }
  void note(const std::string& path, int error, const struct stat& st) {
    // A job asks about two paths, and a style sheet or two.
    if (active && entries.size() < 8) entries.push_back({path, error, st});
  }
  void forget() { entries.clear(); }
};
thread_local Lookups tLookups;

// Follows `path` name by name, each relative to the open folder before it,
// so that no path the system is given is longer than one name and a folder
// swapped for a link on the way cannot lead elsewhere. A symbolic link is
// followed where the system's rule for sticky folders that everybody may
// write to (such as /tmp) allows it whatever that rule's setting: the link
// belongs to this process's user or to the folder's owner. Any other link
// there could have been planted by another user to turn the write elsewhere:
// EACCES.
int Resolve(const std::string& path, PathEnd& end) {
  if (path.empty()) return ENOENT;
  std::vector<std::string> names;
  UniqueFd folder;
  // The folder the walk starts from, when KeptFolders holds it; dropped
  // once the walk moves on.
  std::shared_ptr<const UniqueFd> kept;
  // Whether what the first look finds goes into the thread's LookupMemo.
  bool remember = false;
  // Most paths have no link on the way to their last name: the system then
  // opens the folder in one call, or KeptFolders already has it. Anything
  // else (a link, a path longer than the system takes, a system without
  // openat2) takes the walk below.
#if defined(SIEVETEXT_HAVE_OPENAT2)
  const std::size_t slash = path.rfind('/');
  const std::string last = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (slash != 0 && !last.empty() && last != "." && last != "..") {
    const std::string parent = slash == std::string::npos ? "." : path.substr(0, slash);
    FolderTable* const table = gKeptFolders.load(std::memory_order_acquire);
    if (table != nullptr) kept = table->find(parent);
    if (!kept) {
      open_how how{};
      how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
      how.resolve = RESOLVE_NO_SYMLINKS;
      const long fd = ::syscall(SYS_openat2, AT_FDCWD, parent.c_str(), &how, sizeof how);
      if (fd >= 0 && table != nullptr) {
        kept = table->add(parent, UniqueFd(static_cast<int>(fd)));
      } else if (fd >= 0) {
        folder = UniqueFd(static_cast<int>(fd));
      }
    }
    if (kept || folder.get() >= 0) names.push_back(last);
    if (kept) {
      if (const Lookups::Entry* seen = tLookups.find(path)) {
        end = {UniqueFd(), last, -1, seen->error == 0, seen->st, std::move(kept), seen->error != 0};
        return 0;
      }
      remember = tLookups.active;
    }
  }
#endif
  const auto at = [&folder, &kept] { return kept ? kept->get() : folder.get(); };
  if (at() < 0) {
    names = NamesOf(path);
    std::reverse(names.begin(), names.end());  // the next name is at the back
    folder = UniqueFd(::open(path.front() == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) return errno;
  }
  if (names.empty()) {
    end = {std::move(folder), ".", -1, false, {}, nullptr, false};
    return 0;
  }
  int hops = 0;
  for (;;) {
    std::string name = std::move(names.back());
    names.pop_back();
    const bool last = names.empty();
    struct stat st {};
    if (::fstatat(at(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT || !last) return errno;
      if (remember) tLookups.note(path, ENOENT, st);
      end = {std::move(folder), std::move(name), -1, false, {}, std::move(kept), true};
      return 0;
    }
    if (!S_ISLNK(st.st_mode)) {
      if (last) {
        if (remember) tLookups.note(path, 0, st);
        end = {std::move(folder), std::move(name), -1, true, st, std::move(kept), false};
        return 0;
      }
      if (!S_ISDIR(st.st_mode)) return ENOTDIR;
      UniqueFd next(::openat(at(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (next.get() < 0) return errno;
      folder = std::move(next);
      kept.reset();
      continue;
    }
    remember = false;  // a link: followed afresh each time
    if (++hops > 40) return ELOOP;
    struct stat holder {};
    if (::fstat(at(), &holder) != 0) return errno;
    if ((holder.st_mode & S_ISVTX) && (holder.st_mode & S_IWOTH) && st.st_uid != ::geteuid() &&
        st.st_uid != holder.st_uid) {
      return EACCES;
    }
    if (last && IsOwnDescriptorFolder(at())) {
      if (const int fd = OpenDescriptorNamed(name); fd >= 0) {
        end = {std::move(folder), std::move(name), fd, false, {}, std::move(kept), false};
        return 0;
      }
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(at(), name.c_str(), target.data(), target.size());
    if (n < 0) return errno;
    if (n == 0) return ENOENT;
    if (static_cast<std::size_t>(n) == target.size()) return ENAMETOOLONG;
    target.resize(static_cast<std::size_t>(n));
    const std::vector<std::string> more = NamesOf(target);
    names.insert(names.end(), more.rbegin(), more.rend());
    if (target.front() == '/') {
      folder = UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (folder.get() < 0) return errno;
      kept.reset();
    }
    // A link to "/" or to its own folder.
    if (names.empty()) names.emplace_back(".");
  }
}

// Ten characters from the kernel's random source, or from the clock and the
// thread should it fail; O_EXCL settles any clash.
std::string RandomName() {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[10];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    std::uint64_t mix =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(::getpid()) << 32) ^ reinterpret_cast<std::uintptr_t>(&mix);
    for (unsigned char& byte : bytes) {
      mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
      byte = static_cast<unsigned char>(mix >> 56);
    }
  }
  std::string name = ".sievetext-";
  for (const unsigned char byte : bytes) name += kAlphabet[byte % (sizeof kAlphabet - 1)];
  return name;
}

// Creates a new, empty hidden file in the open folder `folder` and
// registers it for removal should the process be ended while it exists. Its
// name has the same short length whatever the output is called, so any name
// the folder accepts can be replaced. Once the process is ending, nothing is
// created: EINTR.
int CreateTemporary(int folder, std::string& tempName, int& fd,
                    std::optional<LiveTemporary>& registration) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName = RandomName();
    TemporaryCreation creation;
    if (!creation.allowed()) return EINTR;
    // 0666 so the umask decides, as for any new file.
    fd = ::openat(folder, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                  0666);
    if (fd >= 0) {
      registration.emplace(folder, tempName);
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

// Writes what `next` hands out to `fd` as it comes.
int WriteAll(int fd, const ByteSource& next) {
  for (std::string_view piece = next(); !piece.empty(); piece = next()) {
    if (const int error = WriteToDescriptor(fd, piece)) return error;
  }
  return 0;
}

// The replacement itself, once the path has led to `end`. With `inPlace`, a
// FIFO or character device there (a terminal, /dev/null) is written through
// an ordinary open, as a shell's ">" would, and one of this process's
// descriptors through that descriptor.
int Replace(PathEnd& end, const ByteSource& next, bool syncBeforeRename, bool inPlace) {
  if (end.descriptor >= 0) {
    if (!inPlace) return EINVAL;
    struct stat st {};
    if (::fstat(end.descriptor, &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    return WriteAll(end.descriptor, next);
  }
  const int folder = end.folder();
  const char* name = end.name.c_str();
  // What was there is about to change.
  tLookups.forget();
  struct stat old = end.st;
  bool hadFile = end.known;
  if (!end.known && !end.missing) {
    hadFile = ::fstatat(folder, name, &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!hadFile && errno != ENOENT) return errno;
  }
  if (hadFile && S_ISDIR(old.st_mode)) return EISDIR;
  if (hadFile && S_ISLNK(old.st_mode)) return ELOOP;  // made a link since it was looked at
  if (hadFile && inPlace && (S_ISFIFO(old.st_mode) || S_ISCHR(old.st_mode))) {
    // A FIFO waits for its reader, as it does for the shell.
    UniqueFd fd(::openat(folder, name, O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) return errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (S_ISREG(st.st_mode)) return EAGAIN;  // swapped meanwhile: not truncated in place
    return WriteAll(fd.get(), next);
  }
  // A block device or socket is never swapped for a plain file, nor written.
  if (hadFile && !S_ISREG(old.st_mode)) return EINVAL;
  if (hadFile) {
    // Replaced only where an ordinary open for writing would be allowed: a
    // read-only file stays as it is.
    UniqueFd probe(
        ::openat(folder, name, O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (probe.get() < 0) return errno;
  }

  std::string tempName;
  int fd = -1;
  std::optional<LiveTemporary> registration;
  if (const int error = CreateTemporary(folder, tempName, fd, registration)) return error;
  FdCloser closer(fd);
  int error = hadFile ? KeepOwnerAndMode(fd, old) : 0;
  try {
    for (std::string_view piece; !error && !(piece = next()).empty();)
      error = WriteToDescriptor(fd, piece);
  } catch (...) {
    ::unlinkat(folder, tempName.c_str(), 0);
    throw;
  }
  if (!error && syncBeforeRename && ::fsync(fd) != 0) error = errno;
  const int closeError = closer.close();
  if (!error) error = closeError;
  // Fails with ENOENT when the file was removed meanwhile because the
  // process is ending: the old file then stays.
  if (!error && ::renameat(folder, tempName.c_str(), folder, name) != 0) error = errno;
  if (error) ::unlinkat(folder, tempName.c_str(), 0);
  return error;
}

}  // namespace

KeptFolders::KeptFolders() : table_(std::make_unique<FolderTable>()) {
  FolderTable* expected = nullptr;
  // Only one at a time; a second keeps nothing.
  if (!gKeptFolders.compare_exchange_strong(expected, table_.get(), std::memory_order_acq_rel))
    table_.reset();
}

KeptFolders::~KeptFolders() {
  if (table_) gKeptFolders.store(nullptr, std::memory_order_release);
}

LookupMemo::LookupMemo() {
  tLookups.forget();
  tLookups.active = true;
}

LookupMemo::~LookupMemo() {
  tLookups.active = false;
  tLookups.forget();
}

int ReplaceFileAtomically(const std::string& path, const ByteSource& next, bool syncBeforeRename) {
  PathEnd end;
  if (const int error = Resolve(path, end)) return error;
  return Replace(end, next, syncBeforeRename, /*inPlace=*/false);
}

int ReplaceFileAtomically(const std::string& path, std::string_view bytes, bool syncBeforeRename) {
  return ReplaceFileAtomically(path, WholeSource(bytes), syncBeforeRename);
}

int WriteOutputFile(const std::string& path, const ByteSource& next, bool syncBeforeRename) {
  PathEnd end;
  if (const int error = Resolve(path, end)) return error;
  return Replace(end, next, syncBeforeRename, /*inPlace=*/true);
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

namespace {

// What `path` leads to, links followed under the rule of Resolve.
int StatPath(const std::string& path, struct stat& st) {
  PathEnd end;
  if (const int error = Resolve(path, end)) return error;
  if (end.descriptor >= 0) return ::fstat(end.descriptor, &st) == 0 ? 0 : errno;
  if (end.known) {
    st = end.st;
    return 0;
  }
  if (end.missing) return ENOENT;
  return ::fstatat(end.folder(), end.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

}  // namespace

FileKind PosixFileSystem::kind(const std::string& path) {
  struct stat st {};
  if (StatPath(path, st) != 0) return FileKind::Missing;
  if (S_ISREG(st.st_mode)) return FileKind::Regular;
  if (S_ISDIR(st.st_mode)) return FileKind::Directory;
  return FileKind::Other;
}

int PosixFileSystem::size(const std::string& path, std::uint64_t& bytes) {
  struct stat st {};
  if (const int error = StatPath(path, st)) return error;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  bytes = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

bool PosixFileSystem::identify(const std::string& path, bool, FileIdentity& id) {
  struct stat st {};
  if (StatPath(path, st) != 0) return false;
  id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
        S_ISREG(st.st_mode)};
  return true;
}

int OpenForReading(const std::string& path, int& fd) {
  fd = -1;
  PathEnd end;
  if (const int error = Resolve(path, end)) return error;
  if (end.descriptor >= 0) return EINVAL;  // a stream: see standard_streams.h
  fd = ::openat(end.folder(), end.name.c_str(),
                O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
  return fd >= 0 ? 0 : errno;
}

int PosixFileSystem::read(const std::string& path, const ByteSink& use) {
  // Non-blocking so that a FIFO put in the file's place since the check
  // cannot hang the open; it is then refused below.
  int fd = -1;
  if (const int error = OpenForReading(path, fd)) return error;
  FdCloser closer(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;

  return ReadFromDescriptor(fd, use);
}

InputStream InputStreamOf(const std::string& path, int& descriptor) {
  descriptor = -1;
  PathEnd end;
  if (Resolve(path, end) != 0) return InputStream::None;
  if (end.descriptor >= 0) {
    descriptor = end.descriptor;
    return InputStream::Descriptor;
  }
  struct stat st = end.st;
  if (end.missing ||
      (!end.known && ::fstatat(end.folder(), end.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)) {
    return InputStream::None;
  }
  return S_ISFIFO(st.st_mode) ? InputStream::Fifo : InputStream::None;
}

int OpenFifoForReading(const std::string& path, int& fd) {
  fd = -1;
  PathEnd end;
  if (const int error = Resolve(path, end)) return error;
  if (end.descriptor >= 0) return EINVAL;
  // Blocks until a writer opens it, as for any reader of a FIFO.
  for (;;) {
    fd = ::openat(end.folder(), end.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd >= 0 || errno != EINTR) break;
  }
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
    return EINVAL;
  }
  return 0;
}

int OpenFolder(const std::string& path, int& fd) {
  fd = -1;
  PathEnd end;
  if (const int error = Resolve(path, end)) return error;
  if (end.descriptor >= 0) return ENOTDIR;
  if (end.missing) return ENOENT;
  if (end.known && !S_ISDIR(end.st.st_mode)) return ENOTDIR;
  fd = ::openat(end.folder(), end.name.c_str(),
                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  return fd >= 0 ? 0 : errno;
}

int MakeFolders(const std::string& folder) {
  tLookups.forget();
  PathEnd end;
  int error = Resolve(folder, end);
  if (error == ENOENT) {
    // A missing folder on the way: make its parent first.
    const std::size_t slash = folder.find_last_not_of('/') == std::string::npos
                                  ? std::string::npos
                                  : folder.rfind('/', folder.find_last_not_of('/'));
    if (slash == std::string::npos || slash == 0) return ENOENT;
    if ((error = MakeFolders(folder.substr(0, slash))) != 0) return error;
    error = Resolve(folder, end);
  }
  if (error) return error;
  if (end.descriptor >= 0) return ENOTDIR;
  if (::mkdirat(end.folder(), end.name.c_str(), 0777) == 0) return 0;
  error = errno;
  struct stat st {};
  // Made by another job meanwhile, or there all along.
  if (error == EEXIST) {
    return ::fstatat(end.folder(), end.name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode) ? 0
                                                                                         : ENOTDIR;
  }
  return error;
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
  return WriteOutputFile(path, next, syncBeforeRename_);
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
