#include "ui/set_buttons.h"

#include <QWidget>

#include "controls/command.h"

namespace sievetext {

void SetButtons(QWidget& oForm, bool bInit, bool bEnabled) {
  for (Command* button : oForm.findChildren<Command*>()) {
    if (bInit) {
      button->Initialize();
    } else {
      button->SetEnabled(bEnabled);
    }
  }
}

}  // namespace sievetext
