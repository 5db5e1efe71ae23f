#pragma once

#include <string>

#include "job/prompter.h"

class QWidget;

namespace sievetext {

// The caption of every message box the program shows.
inline constexpr const char* kMessageCaption = "Sievetext";

// Shows the job's messages as modal message boxes over the window: no icon,
// the caption above, plain text, OK (or OK and Cancel for a question).
class QtPrompter final : public Prompter {
 public:
  explicit QtPrompter(QWidget* parent) : parent_(parent) {}

  void say(const std::string& message) override;
  // True only when OK is pressed; Cancel, Escape or closing the box is false.
  bool confirm(const std::string& message) override;

 private:
  QWidget* parent_;
};

}  // namespace sievetext
