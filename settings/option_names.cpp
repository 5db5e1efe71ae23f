#include "settings/option_names.h"

namespace sievetext {
namespace {

bool SameLettersIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::span<const OptionInfo> OptionsNamed(std::string_view name) {
  if (SameLettersIgnoringCase(name, "all")) return kOptions;
  for (std::size_t i = 0; i < kOptions.size(); ++i) {
    if (SameLettersIgnoringCase(name, kOptions[i].name)) return std::span(kOptions).subspan(i, 1);
  }
  return {};
}

void ApplyOptionEdits(const std::vector<OptionEdit>& edits, OptionBoxes& boxes) {
  for (const OptionEdit& edit : edits) {
    for (const OptionInfo& option : edit.options) boxes.setValue(option.key, edit.on ? 1 : 0);
  }
}

}  // namespace sievetext
