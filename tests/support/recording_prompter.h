#pragma once

#include <deque>
#include <string>
#include <vector>

#include "job/prompter.h"

namespace sievetext::testing {

// Records what the job says and asks, apart and in order, and answers its
// questions from a script (OK when the script runs out).
class RecordingPrompter final : public Prompter {
 public:
  void say(const std::string& message) override {
    said.push_back(message);
    transcript.push_back(message);
  }
  bool confirm(const std::string& message) override {
    asked.push_back(message);
    transcript.push_back(message);
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<std::string> said;
  std::vector<std::string> asked;
  std::vector<std::string> transcript;  // what was said and asked, in order
  std::deque<bool> answers;
};

}  // namespace sievetext::testing
