#pragma once

#include <array>

#include "settings/options.h"

class QCheckBox;
class QWidget;

namespace sievetext {

// The window's eleven option check boxes seen as the job's live copy of the
// options. Values follow the job's convention: 0 unticked, 1 ticked.
class CheckBoxOptions final : public OptionBoxes {
 public:
  // Finds the check boxes among the window's children by their names
  // ("chk" followed by the option's name).
  explicit CheckBoxOptions(const QWidget& window);

  int value(OptionKey key) const override;
  void setValue(OptionKey key, int value) override;

  QCheckBox* box(OptionKey key) const { return boxes_[static_cast<int>(key)]; }

 private:
  std::array<QCheckBox*, kOptions.size()> boxes_{};
};

}  // namespace sievetext
