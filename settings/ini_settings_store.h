#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/ini_document.h"
#include "settings/settings_store.h"

namespace sievetext {

// The per-user settings file: section [General] of an INI file. Reads it once,
// on first use; collects writes and puts them in the file on sync(), in one
// atomic replacement, and only when the file's content would change. Several
// programs may save at once: sync() reads the file again and replaces it
// under an advisory lock, and gives up saving (silently) when the lock is
// not to be had within about a second. An unreadable or malformed file, or
// one larger than 1 MiB, reads as if it held no keys and is never written
// over; a failed write leaves the file as it was and is not reported.
class IniSettingsStore final : public SettingsStore {
 public:
  explicit IniSettingsStore(std::string path);

  // ${XDG_CONFIG_HOME:-$HOME/.config}/WexaSievetext.ini. A relative or empty
  // XDG_CONFIG_HOME is ignored; without HOME the password database's home is
  // used.
  static std::string DefaultPath();

  std::string read(std::string_view key, std::string_view defaultText) override;
  void write(std::string_view key, std::string_view text) override;
  void sync() override;

  const std::string& path() const { return path_; }

 private:
  // Reads the file into `doc`; false when it exists but cannot be used.
  [[nodiscard]] bool load(IniDocument& doc) const;

  std::string path_;
  bool loaded_ = false;
  IniDocument doc_;
  std::vector<std::pair<std::string, std::string>> pending_;
};

}  // namespace sievetext
