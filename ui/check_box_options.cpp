#include "ui/check_box_options.h"

#include <QCheckBox>
#include <QString>
#include <QWidget>
#include <stdexcept>

namespace sievetext {

CheckBoxOptions::CheckBoxOptions(const QWidget& window) {
  for (const OptionInfo& option : kOptions) {
    const QString name = QStringLiteral("chk") +
                         QString::fromUtf8(option.name.data(), qsizetype(option.name.size()));
    auto* box = window.findChild<QCheckBox*>(name);
    if (box == nullptr) throw std::logic_error("missing option check box " + name.toStdString());
    boxes_[static_cast<int>(option.key)] = box;
  }
}

int CheckBoxOptions::value(OptionKey key) const {
  // The boxes are two-state; a partial tick would read as ticked.
  return box(key)->checkState() == Qt::Unchecked ? 0 : 1;
}

void CheckBoxOptions::setValue(OptionKey key, int value) {
  box(key)->setCheckState(value == 0 ? Qt::Unchecked : Qt::Checked);
}

}  // namespace sievetext
