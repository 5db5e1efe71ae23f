// The button's behaviour: its properties and stored set, the hover poll,
// mouse, keyboard and focus. How it looks is painted in command_face.cpp.
#include "controls/command.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcut>
#include <QTimer>
#include <limits>

#include "controls/command_accessible.h"
#include "controls/face_pictures.h"
#include "controls/property_bag.h"

namespace sievetext {

namespace {

constexpr int kPollIntervalMs = 100;
const QString kDefaultCaption = QStringLiteral("Command");
// A stored set without a caption reads as this one.
const QString kStoredCaptionDefault = QStringLiteral("Command1");

// Qt's mouse buttons as the control's button codes; 0 for buttons it does
// not know (those are ignored).
int ButtonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return kLeftButton;
    case Qt::RightButton:
      return kRightButton;
    case Qt::MiddleButton:
      return kMiddleButton;
    default:
      return 0;
  }
}

// The widget under the mouse pointer, as the poll sees it by default.
QWidget* WidgetAtCursor() { return QApplication::widgetAt(QCursor::pos()); }

}  // namespace

Command::Command(QWidget* parent) : QWidget(parent), widgetUnderPointer_(WidgetAtCursor) {
  InstallCommandAccessibility();
  for (int i = 0; i < kFacePictureCount; ++i) {
    pictures_[static_cast<std::size_t>(i)] = LoadFacePicture(static_cast<FacePicture>(i));
  }
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  resize(kDefaultButtonWidth, kDefaultButtonHeight);

  tmrMouse_ = new QTimer(this);
  tmrMouse_->setObjectName(QStringLiteral("TmrMouse"));
  tmrMouse_->setInterval(kPollIntervalMs);
  connect(tmrMouse_, &QTimer::timeout, this, &Command::TmrMouse_Timer);

  accessShortcut_ = new QShortcut(this);
  accessShortcut_->setContext(Qt::WindowShortcut);
  accessShortcut_->setEnabled(false);
  connect(accessShortcut_, &QShortcut::activated, this, &Command::takeFocusAndPress);

  caption_ = kDefaultCaption;
  SetEnabled(true);
}

Command::~Command() = default;

void Command::SetCaption(const QString& New_Caption) {
  caption_ = New_Caption;
  emit PropertyChanged(QStringLiteral("Caption"));
  RefreshButton();
  QAccessibleEvent named(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&named);
}

bool Command::Enabled() {
  if (firstRun_ == 0) {
    firstRun_ = 1;
    enabled_ = true;
  }
  return enabled_;
}

void Command::SetEnabled(bool New_Enabled) {
  const bool was = enabled_;
  enabled_ = New_Enabled;
  emit PropertyChanged(QStringLiteral("Enabled"));
  RefreshButton();
  if (was != enabled_) {
    QAccessible::State changed;
    changed.disabled = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
  }
}

void Command::SetFont(const QFont& New_Font) {
  setFont(New_Font);
  emit PropertyChanged(QStringLiteral("Font"));
  RefreshButton();
}

void Command::SetFontColour(qint64 New_FontColour) {
  setForeColour(New_FontColour);
  lastFontColour_ = foreColour_;
  emit PropertyChanged(QStringLiteral("FontColour"));
  RefreshButton();
}

std::uint8_t Command::Visible() {
  if (!opaque_) return 0;
  RefreshButton();
  return 255;
}

void Command::SetVisible(std::uint8_t New_Visible) {
  if (New_Visible != 0) {
    opaque_ = true;
    RefreshButton();
  } else {
    opaque_ = false;
  }
  emit PropertyChanged(QStringLiteral("Visible"));
}

void Command::Initialize() {
  machine_.setState(ButtonState::StateNormal);
  tmrMouse_->start();
  tmrMouse_->setInterval(kPollIntervalMs);
}

void Command::ReadProperties(const PropertyBag& bag) {
  // Each key on its own: a value that does not convert leaves its member
  // alone and the next key is still read.
  if (const auto enabled = ToBoolean(bag.ReadProperty(QStringLiteral("Enabled"), true))) {
    enabled_ = *enabled;
  }
  const QVariant caption = bag.ReadProperty(QStringLiteral("Caption"), kStoredCaptionDefault);
  if (caption.canConvert<QString>()) caption_ = caption.toString();
  const QVariant storedFont = bag.ReadProperty(QStringLiteral("Font"), ambientFont());
  if (storedFont.typeId() == QMetaType::QFont) {
    setFont(storedFont.value<QFont>());
  } else if (storedFont.typeId() == QMetaType::QString) {
    QFont parsed;
    if (parsed.fromString(storedFont.toString())) setFont(parsed);
  }
  if (const auto firstRun =
          ToWholeNumber(bag.ReadProperty(QStringLiteral("FirstRun"), "1"), 0, 255)) {
    firstRun_ = static_cast<std::uint8_t>(*firstRun);
  }
  if (const auto colour =
          ToWholeNumber(bag.ReadProperty(QStringLiteral("FontColour"), "0"),
                        std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max())) {
    setForeColour(*colour);
  }
  lastFontColour_ = foreColour_;
  if (const auto style = ToWholeNumber(bag.ReadProperty(QStringLiteral("Visible"), "1"), 0, 1)) {
    opaque_ = *style == 1;
  }
  RefreshButton();
}

void Command::WriteProperties(PropertyBag& bag) {
  bag.WriteProperty(QStringLiteral("Enabled"), enabled_, true);
  // Compared with the default a stored set reads back, so that every caption,
  // "Command" included, survives a save and a load.
  bag.WriteProperty(QStringLiteral("Caption"), caption_, kStoredCaptionDefault);
  bag.WriteProperty(QStringLiteral("FirstRun"), firstRun_, "1");
  bag.WriteProperty(QStringLiteral("Font"), font(), ambientFont());
  // The chosen caption colour, not the grey a disabled button shows, so that
  // a button saved while disabled gets its own colour back when enabled.
  bag.WriteProperty(QStringLiteral("FontColour"), static_cast<qint32>(lastFontColour_), "0");
  bag.WriteProperty(QStringLiteral("Visible"), static_cast<qint16>(opaque_ ? 1 : 0), "1");
  RefreshButton();
}

QString Command::lastPictureName() const {
  const std::string_view name = FacePictureName(lastPicture_);
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

void Command::setWidgetUnderPointer(PointerLookup lookup) {
  widgetUnderPointer_ = lookup ? std::move(lookup) : PointerLookup(WidgetAtCursor);
}

QSize Command::sizeHint() const { return QSize(kDefaultButtonWidth, kDefaultButtonHeight); }

void Command::TmrMouse_Timer() {
  QWidget* under = widgetUnderPointer_();
  if (under == this) {
    machine_.tick(PointerPlace::OwnWindow);
  } else if (under == parentWidget()) {
    machine_.tick(PointerPlace::ParentWindow);
  } else {
    machine_.tick(PointerPlace::Elsewhere);
  }
}

void Command::AccessKeyPress() { machine_.accessKeyPressed(); }

void Command::takeFocusAndPress() {
  if (!hasFocus() && focusPolicy() != Qt::NoFocus) setFocus(Qt::ShortcutFocusReason);
  AccessKeyPress();
}

bool Command::ownsFocus() const { return window()->focusWidget() == this; }

void Command::dropStaleFocus() {
  // A hidden button shows nothing; it is checked again when it is painted.
  if (!isVisible()) return;
  const ButtonState state = machine_.state();
  const bool focusLook =
      state == ButtonState::StateSelected || state == ButtonState::StateHighLightSelect;
  if ((!focused_ && !focusLook) || ownsFocus()) return;
  focused_ = false;
  machine_.focusLost();
}

void Command::dropStaleFocusOfOthers() {
  for (Command* other : window()->findChildren<Command*>()) {
    if (other != this) other->dropStaleFocus();
  }
}

void Command::raiseClick() { emit Click(); }

void Command::setAccessKeys(const QString& keys) {
  if (keys == accessKeys_) return;
  accessKeys_ = keys;
  if (keys.isEmpty()) {
    accessShortcut_->setKey(QKeySequence());
    accessShortcut_->setEnabled(false);
    return;
  }
  // Qt's key codes for printable Latin-1 characters are their upper-case code points.
  const int key = static_cast<int>(keys.at(0).toUpper().unicode());
  accessShortcut_->setKey(
      QKeySequence(QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(key))));
  accessShortcut_->setEnabled(true);
}

bool Command::setForeColour(qint64 value) {
  if (value < 0 || value > 0xFFFFFF) return false;
  foreColour_ = static_cast<std::uint32_t>(value);
  return true;
}

QFont Command::ambientFont() const {
  return parentWidget() ? parentWidget()->font() : QApplication::font();
}

void Command::resizeEvent(QResizeEvent*) { RefreshButton(); }

void Command::mousePressEvent(QMouseEvent* event) {
  // A press lands on the button, so the pointer is over it, whether or not a
  // move said so first: a box that closes over a still pointer sends none,
  // and the poll has taken the hover look away while the box lay there.
  machine_.pointerMoved();
  if (const int code = ButtonCode(event->button())) machine_.mousePressed(code);
}

void Command::mouseMoveEvent(QMouseEvent* event) {
  // While a button is held Qt keeps sending moves from anywhere; only moves
  // over the button count.
  if (rect().contains(event->position().toPoint())) machine_.pointerMoved();
}

void Command::mouseReleaseEvent(QMouseEvent* event) {
  if (const int code = ButtonCode(event->button())) machine_.mouseReleased(code);
}

void Command::focusInEvent(QFocusEvent*) {
  // The window getting activated again gives back a focus the button never
  // lost as far as its looks go; the first activation of a window is a real
  // focus gain.
  if (focused_) return;
  focused_ = true;
  machine_.focusGained();
  dropStaleFocusOfOthers();
}

void Command::focusOutEvent(QFocusEvent* event) {
  // Another application or a popup taking over is not a focus change of the
  // button: when the window comes back the focus is still here.
  if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
    return;
  }
  focused_ = false;
  machine_.focusLost();
}

void Command::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  const bool pressKey = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
  if (!pressKey || modifiers != Qt::NoModifier || !enabled_) {
    QWidget::keyPressEvent(event);
    return;
  }
  // A held key presses once.
  if (!event->isAutoRepeat()) AccessKeyPress();
  event->accept();
}

bool Command::event(QEvent* event) {
  // Sent to every widget of a window that becomes active, after its focus
  // widget is known and before that widget hears of the focus.
  if (event->type() == QEvent::WindowActivate) dropStaleFocus();
  return QWidget::event(event);
}

}  // namespace sievetext
