#pragma once

#include <string>
#include <string_view>

namespace sievetext {

// The per-user store of application "WexaSievetext", section "General": keys
// map to text values.
class SettingsStore {
 public:
  SettingsStore() = default;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;
  virtual ~SettingsStore() = default;

  // The stored text, or `defaultText` when the key has no entry (or the store
  // cannot be read).
  virtual std::string read(std::string_view key, std::string_view defaultText) = 0;
  // Stores the text under the key. A failure changes nothing and is not reported.
  virtual void write(std::string_view key, std::string_view text) = 0;
  // Makes the writes so far last (a file-backed store writes its file here,
  // once, and only when something changed). A failure is not reported.
  virtual void sync() {}
};

}  // namespace sievetext
