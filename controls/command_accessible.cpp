#include "controls/command_accessible.h"

#include <QKeySequence>
#include <QMetaObject>

#include "controls/caption_layout.h"
#include "controls/command.h"

namespace sievetext {

CommandAccessible::CommandAccessible(Command* button)
    : QAccessibleWidget(button, QAccessible::Button) {}

Command* CommandAccessible::button() const { return static_cast<Command*>(widget()); }

QString CommandAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Name) return ResolveAccessMarks(button()->Caption()).text;
  return QAccessibleWidget::text(t);
}

QAccessible::State CommandAccessible::state() const {
  QAccessible::State st = QAccessibleWidget::state();
  // The button's own flag, not QWidget's: a disabled Command is still a
  // live widget that can hold the focus.
  if (!button()->reactsToInput()) st.disabled = true;
  return st;
}

QStringList CommandAccessible::actionNames() const {
  QStringList names;
  if (button()->reactsToInput()) names << pressAction();
  names << QAccessibleWidget::actionNames();
  return names;
}

void CommandAccessible::doAction(const QString& actionName) {
  if (actionName == pressAction()) {
    // The press runs from the event loop, once this call has returned: the
    // button's work may open a box or a file dialog and wait for the user,
    // and the screen reader that asked must not wait with it.
    Command* pressed = button();
    QMetaObject::invokeMethod(
        pressed,
        [pressed] {
          if (pressed->reactsToInput()) pressed->takeFocusAndPress();
        },
        Qt::QueuedConnection);
    return;
  }
  QAccessibleWidget::doAction(actionName);
}

QStringList CommandAccessible::keyBindingsForAction(const QString& actionName) const {
  if (actionName != pressAction() || button()->accessKeys().isEmpty()) {
    return QAccessibleWidget::keyBindingsForAction(actionName);
  }
  const QKeySequence key(QStringLiteral("Alt+") + button()->accessKeys().toUpper());
  return {key.toString(QKeySequence::NativeText)};
}

namespace {

QAccessibleInterface* CommandFactory(const QString& className, QObject* object) {
  if (className != QLatin1String(Command::staticMetaObject.className()) || !object) return nullptr;
  auto* button = qobject_cast<Command*>(object);
  return button ? new CommandAccessible(button) : nullptr;
}

}  // namespace

void InstallCommandAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&CommandFactory);
    return true;
  }();
  (void)installed;
}

}  // namespace sievetext
