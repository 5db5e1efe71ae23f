#include "controls/control_registry.h"

#include "controls/command.h"
#include "controls/property_bag.h"

namespace sievetext {

namespace {

QWidget* CreateCommand(QWidget* parent, const PropertyBag* stored) {
  auto* button = new Command(parent);
  if (stored) button->ReadProperties(*stored);
  return button;
}

struct Registration {
  const char* progId;
  QWidget* (*create)(QWidget* parent, const PropertyBag* stored);
};

constexpr Registration kControls[] = {
    {kCommandProgId, &CreateCommand},
};

}  // namespace

QWidget* CreateControl(const QString& progId, QWidget* parent, const PropertyBag* stored) {
  for (const Registration& r : kControls) {
    if (progId.compare(QLatin1String(r.progId), Qt::CaseInsensitive) == 0) {
      return r.create(parent, stored);
    }
  }
  return nullptr;
}

}  // namespace sievetext
