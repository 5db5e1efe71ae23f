#pragma once

#include <map>
#include <string>

#include "settings_store.h"

// An in-memory settings store for window tests.
class FakeSettings final : public sievetext::SettingsStore {
 public:
  std::string read(std::string_view key, std::string_view defaultText) override {
    auto it = values.find(key);
    return it == values.end() ? std::string(defaultText) : it->second;
  }
  void write(std::string_view key, std::string_view text) override {
    values[std::string(key)] = std::string(text);
  }

  std::map<std::string, std::string, std::less<>> values;
};
