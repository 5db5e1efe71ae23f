#pragma once

#include <QAccessibleWidget>

namespace sievetext {

class Command;

// What assistive technology sees of a Command: a push button named by its
// caption as shown (access marks resolved), disabled while the button's own
// Enabled is false, focused while it holds the keyboard focus, with a press
// action that works like the access key. The press action returns at once;
// the press itself follows from the event loop.
class CommandAccessible : public QAccessibleWidget {
 public:
  explicit CommandAccessible(Command* button);

  QString text(QAccessible::Text t) const override;
  QAccessible::State state() const override;

  QStringList actionNames() const override;
  void doAction(const QString& actionName) override;
  QStringList keyBindingsForAction(const QString& actionName) const override;

 private:
  Command* button() const;
};

// Registers the interface with Qt's accessibility; safe to call repeatedly.
void InstallCommandAccessibility();

}  // namespace sievetext
