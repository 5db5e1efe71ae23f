#pragma once

#include <map>
#include <string>
#include <string_view>

#include "settings/settings_store.h"

namespace sievetext::testing {

// Settings in a map; counts the syncs.
class MemorySettingsStore final : public SettingsStore {
 public:
  std::string read(std::string_view key, std::string_view defaultText) override {
    const auto it = values.find(key);
    return it == values.end() ? std::string(defaultText) : it->second;
  }
  void write(std::string_view key, std::string_view text) override {
    values[std::string(key)] = std::string(text);
  }
  void sync() override { ++syncs; }

  std::map<std::string, std::string, std::less<>> values;
  int syncs = 0;
};

}  // namespace sievetext::testing
