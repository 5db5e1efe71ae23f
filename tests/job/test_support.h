#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "prompter.h"
#include "settings_store.h"

namespace sievetext::testing {

// Records what the job says and answers its questions from a script
// (OK when the script runs out).
class RecordingPrompter final : public Prompter {
 public:
  void say(const std::string& message) override { said.push_back(message); }
  bool confirm(const std::string& message) override {
    asked.push_back(message);
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<std::string> said;
  std::vector<std::string> asked;
  std::deque<bool> answers;
};

// Settings in a map.
class MemorySettingsStore final : public SettingsStore {
 public:
  std::string read(std::string_view key, std::string_view defaultText) override {
    const auto it = values.find(std::string(key));
    return it == values.end() ? std::string(defaultText) : it->second;
  }
  void write(std::string_view key, std::string_view text) override {
    values[std::string(key)] = std::string(text);
  }
  void sync() override { ++syncs; }

  std::map<std::string, std::string> values;
  int syncs = 0;
};

}  // namespace sievetext::testing
