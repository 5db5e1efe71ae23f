#pragma once

#include <string>

namespace sievetext {

// How the job talks to the user: the window shows message boxes (no icon,
// caption "Sievetext"); the command line shows nothing; tests script answers.
class Prompter {
 public:
  Prompter() = default;
  Prompter(const Prompter&) = delete;
  Prompter& operator=(const Prompter&) = delete;
  virtual ~Prompter() = default;

  // A message with an OK button; returns when it is closed.
  virtual void say(const std::string& message) = 0;
  // A question with OK and Cancel; true only for OK.
  virtual bool confirm(const std::string& message) = 0;
};

}  // namespace sievetext
