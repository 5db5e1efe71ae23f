#include "ini_settings_store.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "file_system.h"

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

// Where to write: through a symbolic link to the file it names, so that a
// linked settings file stays linked.
std::string WriteTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  }
  return path;
}

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
  PosixFileSystem files;
  std::string text;
  const int error = files.readWhole(path_, text);
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

  // Apply the writes to the file as it is now, so that entries another
  // program changed since we read it are kept.
  IniDocument doc;
  if (!load(doc)) return;
  bool changed = false;
  for (const auto& [key, text] : pending) changed |= doc.set(kSection, key, text);
  doc_ = doc;
  loaded_ = true;
  if (!changed) return;

  MakeParentFolders(path_);
  ReplaceFileAtomically(WriteTarget(path_), doc.text(), /*syncBeforeRename=*/true);
}

}  // namespace sievetext
