#include "check_box_options.h"

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
  // Qt numbers the states differently (Checked is 2, PartiallyChecked 1).
  switch (box(key)->checkState()) {
    case Qt::Unchecked:
      return 0;
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;
  }
  return 0;
}

void CheckBoxOptions::setValue(OptionKey key, int value) {
  QCheckBox* target = box(key);
  if (value == 0) {
    target->setCheckState(Qt::Unchecked);
  } else if (value == 2) {
    target->setTristate(true);
    target->setCheckState(Qt::PartiallyChecked);
  } else {
    target->setCheckState(Qt::Checked);
  }
}

}  // namespace sievetext
