#include "settings/ini_settings_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/file_system.h"

namespace sievetext {
namespace {

constexpr std::string_view kSection = "General";
constexpr const char* kFileName = "WexaSievetext.ini";

// Creates the folders on the way to `path`'s folder, private to the user as
// a configuration folder should be.
void MakeParentFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}

// A settings file is a few hundred bytes; anything past this is not one.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;

// Reads the regular file at `path` into `text`, never past kMaxFileBytes:
// EFBIG when it holds more.
int ReadBoundedFile(const std::string& path, std::string& text) {
  text.clear();
  int fd = -1;
  if (const int error = OpenForReading(path, fd)) return error;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (st.st_size > static_cast<off_t>(kMaxFileBytes)) return EFBIG;
  char buffer[16 * 1024];
  while (text.size() <= kMaxFileBytes) {
    const std::size_t want = std::min(sizeof buffer, kMaxFileBytes + 1 - text.size());
    const ssize_t n = ::read(fd, buffer, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return EFBIG;  // grew since the check
}

// The advisory lock that writers of the settings file take around reading
// it and putting the new one in place: flock(2) on a file beside it, named
// after it with ".lock" added. The lock file is left in place, as removing a
// lock file others may be waiting on would let two writers in at once.
class SettingsLock {
 public:
  explicit SettingsLock(const std::string& settingsPath) {
    const std::string path = settingsPath + ".lock";
    // Without blocking: a FIFO there must not hold the program up.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
    fd_ = ::open(path.c_str(), kFlags | O_CREAT, 0666);
    if (fd_ < 0) fd_ = ::open(path.c_str(), kFlags);
    // A folder where no lock file can be made (read-only, with the settings
    // linked elsewhere) is written unlocked, as before locking existed.
    if (fd_ < 0) return;
    // Only a regular file is a lock; anything else there (a FIFO, a device)
    // means the options are not saved this time.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      busy_ = true;
      return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
      if (errno != EWOULDBLOCK && errno != EINTR) return;  // no locking there
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    busy_ = true;
  }
  ~SettingsLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;

  // False when another writer held the lock for longer than we wait.
  bool mayWrite() const { return !busy_; }

 private:
  static constexpr std::chrono::milliseconds kPatience{1000};
  int fd_ = -1;
  bool busy_ = false;
};

}  // namespace

IniSettingsStore::IniSettingsStore(std::string path) : path_(std::move(path)) {}

std::string IniSettingsStore::DefaultPath() {
  std::string folder;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    folder = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* user = ::getpwuid(::getuid());
      home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == '\0') return {};
    folder = std::string(home) + "/.config";
  }
  if (folder.back() != '/') folder += '/';
  return folder + kFileName;
}

bool IniSettingsStore::load(IniDocument& doc) const {
  if (path_.empty()) return false;
  std::string text;
  const int error = ReadBoundedFile(path_, text);
  if (error == ENOENT) {
    doc = IniDocument();
    return true;
  }
  return error == 0 && doc.parse(text);
}

std::string IniSettingsStore::read(std::string_view key, std::string_view defaultText) {
  for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
    if (it->first == key) return it->second;
  }
  if (!loaded_) {
    if (!load(doc_)) doc_ = IniDocument();
    loaded_ = true;
  }
  if (auto value = doc_.get(kSection, key)) return *value;
  return std::string(defaultText);
}

void IniSettingsStore::write(std::string_view key, std::string_view text) {
  pending_.emplace_back(std::string(key), std::string(text));
}

void IniSettingsStore::sync() {
  if (pending_.empty()) return;
  std::vector<std::pair<std::string, std::string>> pending;
  pending.swap(pending_);
  if (path_.empty()) return;

  // Apply the writes to the file as it is now, under the lock, so that
  // entries another program changed since we read it are kept.
  MakeParentFolders(path_);
  SettingsLock lock(path_);
  if (!lock.mayWrite()) return;
  IniDocument doc;
  if (!load(doc)) return;
  bool changed = false;
  for (const auto& [key, text] : pending) changed |= doc.set(kSection, key, text);
  doc_ = doc;
  loaded_ = true;
  if (!changed) return;
  // Through a symbolic link to the file it names, so that a linked settings
  // file stays linked, and with its owner kept. A failure is not reported
  // (see SettingsStore::sync): the file is then left as it was.
  static_cast<void>(ReplaceFileAtomically(path_, doc.text(), /*syncBeforeRename=*/true));
}

}  // namespace sievetext
