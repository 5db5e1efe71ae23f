// The button as a widget: Qt's mouse, focus and key events reach the input
// rules, the hover poll is driven by hand through an injected "widget under
// the pointer", and a real timer and real events still end in the same place.

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "controls/command.h"

using namespace sievetext;

namespace {

// A window holding one button, with the pointer placed by the test.
struct Scene {
  QWidget window;
  Command* button = nullptr;
  QWidget* cover = nullptr;  // another window lying over part of the button
  QWidget* pointerOver = nullptr;
  std::unique_ptr<QSignalSpy> clicks;

  Scene() {
    window.resize(300, 200);
    button = new Command(&window);
    button->setGeometry(20, 20, 141, 35);
    cover = new QWidget(&window);
    cover->setGeometry(150, 20, 40, 40);
    button->setWidgetUnderPointer([this] { return pointerOver; });
    clicks = std::make_unique<QSignalSpy>(button, &Command::Click);
  }

  void send(QEvent::Type type, Qt::MouseButton which, QPoint at = QPoint(10, 10)) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(which);
    QMouseEvent event(type, at, button->mapToGlobal(at), which, held, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &event);
  }
  void press(Qt::MouseButton which = Qt::LeftButton) { send(QEvent::MouseButtonPress, which); }
  void release(Qt::MouseButton which = Qt::LeftButton) { send(QEvent::MouseButtonRelease, which); }
  // The pointer moves onto the button (or somewhere else of the window).
  void moveOnto() {
    pointerOver = button;
    send(QEvent::MouseMove, Qt::NoButton);
  }
  void moveOff(QWidget* to) {
    pointerOver = to;
    send(QEvent::MouseMove, Qt::NoButton, QPoint(-30, 5));
  }
  void focus(QEvent::Type type, Qt::FocusReason reason = Qt::MouseFocusReason) {
    QFocusEvent event(type, reason);
    QCoreApplication::sendEvent(button, &event);
  }
  void tick() { button->TmrMouse_Timer(); }
};

}  // namespace

class tst_CommandInput : public QObject {
  Q_OBJECT

 private slots:
  void dragOffTickReleaseCancels();
  void dragOffTickAndBackStillCancels();
  void dragOffReleaseBeforeTickClicks();
  void rightButtonClicksWithoutPressedLook();
  void secondClickOnFocusedButton();
  void clickAfterABoxClosedOverTheButtonCounts();
  void disabledButtonIgnoresInputUntilPollDisables();
  void withoutInitializeNoPollRuns();
  void pointerOverCoveringWindowCountsAsAway();
  void movesOutsideTheButtonAreIgnored();
  void windowActivationIsNotAFocusChange();
  void initializeStartsTheHundredMillisecondPoll();
  void realTimerUndoesHover();
  void realClickAndAccessKey();
  void focusMovedWhileWindowInactiveLeavesOneFocusLook_data();
  void focusMovedWhileWindowInactiveLeavesOneFocusLook();
  void focusLookWithoutTheFocusGoesOnRepaint();
  void pressKeysClickTheFocusedButton_data();
  void pressKeysClickTheFocusedButton();
  void pressKeysNeedAnEnabledButtonAndNoModifier();
};

namespace {

void ShowActive(QWidget& window) {
  window.show();
  QApplication::setActiveWindow(&window);
  QVERIFY(QTest::qWaitForWindowActive(&window));
}

}  // namespace

void tst_CommandInput::dragOffTickReleaseCancels() {
  Scene s;
  s.button->Initialize();
  s.moveOnto();
  s.press();
  s.focus(QEvent::FocusIn);
  s.moveOff(&s.window);
  s.tick();
  s.release();
  QCOMPARE(s.clicks->count(), 0);
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
  QCOMPARE(s.button->lastPictureName(), QString("Selected"));
  QVERIFY(!s.button->LeftButtonDown());
}

void tst_CommandInput::dragOffTickAndBackStillCancels() {
  Scene s;
  s.button->Initialize();
  s.moveOnto();
  s.press();
  s.focus(QEvent::FocusIn);
  s.moveOff(&s.window);
  s.tick();
  s.moveOnto();
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
  s.release();
  QCOMPARE(s.clicks->count(), 0);
}

void tst_CommandInput::dragOffReleaseBeforeTickClicks() {
  Scene s;
  s.button->Initialize();
  s.moveOnto();
  s.press();
  s.focus(QEvent::FocusIn);
  s.moveOff(&s.window);
  s.release();
  QCOMPARE(s.clicks->count(), 1);
  s.tick();
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
}

void tst_CommandInput::rightButtonClicksWithoutPressedLook() {
  Scene s;
  s.button->Initialize();
  s.moveOnto();
  const int paints = s.button->paintCount();
  s.press(Qt::RightButton);
  QCOMPARE(s.button->paintCount(), paints);
  QVERIFY(!s.button->LeftButtonDown());
  s.release(Qt::RightButton);
  QCOMPARE(s.clicks->count(), 1);
  QCOMPARE(s.button->lastPictureName(), QString("HighLight"));
  // Buttons the control does not know (back, forward) do nothing at all.
  s.press(Qt::BackButton);
  s.release(Qt::BackButton);
  QCOMPARE(s.clicks->count(), 1);
}

void tst_CommandInput::secondClickOnFocusedButton() {
  Scene s;
  s.button->Initialize();
  s.moveOnto();
  s.press();
  s.focus(QEvent::FocusIn);
  s.release();
  QCOMPARE(s.button->State(), ButtonState::StateHighLightSelect);
  s.press();
  QCOMPARE(s.button->lastPictureName(), QString("Pressed"));
  QVERIFY(s.button->LeftButtonDown());
  s.release();
  QCOMPARE(s.button->lastPictureName(), QString("HighLightSelect"));
  QCOMPARE(s.clicks->count(), 2);
}

// A click opens a box over the button; the poll sees the pointer on the box.
// The box closes with the pointer still (no move reaches the button), and
// the next click there counts: on the focused button, and on one that takes
// the focus with the click.
void tst_CommandInput::clickAfterABoxClosedOverTheButtonCounts() {
  Scene s;
  s.button->Initialize();
  s.moveOnto();
  s.focus(QEvent::FocusIn);
  s.press();
  s.release();
  QCOMPARE(s.clicks->count(), 1);
  s.pointerOver = s.cover;
  s.tick();
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
  s.pointerOver = s.button;
  s.press();
  QCOMPARE(s.button->lastPictureName(), QString("Pressed"));
  s.release();
  QCOMPARE(s.clicks->count(), 2);
  QCOMPARE(s.button->State(), ButtonState::StateHighLightSelect);

  Scene other;
  other.button->Initialize();
  other.pointerOver = other.button;
  other.focus(QEvent::FocusIn);  // given with the press, before it
  other.press();
  other.release();
  QCOMPARE(other.clicks->count(), 1);
}

void tst_CommandInput::disabledButtonIgnoresInputUntilPollDisables() {
  Scene s;
  s.button->SetEnabled(false);
  s.button->Initialize();  // the state becomes Normal without a paint
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
  QCOMPARE(s.button->lastPictureName(), QString("Disable"));
  const int paints = s.button->paintCount();
  s.moveOnto();
  s.press();
  s.focus(QEvent::FocusIn);
  s.release();
  s.button->AccessKeyPress();
  s.focus(QEvent::FocusOut);
  QCOMPARE(s.button->paintCount(), paints);
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
  QCOMPARE(s.clicks->count(), 0);
  s.tick();  // pointer still over the button
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
  s.moveOff(&s.window);
  s.tick();
  QCOMPARE(s.button->State(), ButtonState::StateDisabled);
  QCOMPARE(s.button->lastPictureName(), QString("Disable"));
  QCOMPARE(s.button->paintCount(), paints + 1);
}

void tst_CommandInput::withoutInitializeNoPollRuns() {
  Scene s;
  QVERIFY(!s.button->TmrMouse()->isActive());
  // A new button is painted as Normal (its state left StateDisabled for it),
  // so the pointer arriving highlights it.
  s.moveOnto();
  QCOMPARE(s.button->State(), ButtonState::StateHighLight);
  s.moveOff(&s.window);
  QTest::qWait(250);
  QCOMPARE(s.button->State(), ButtonState::StateHighLight);
  s.press();
  s.focus(QEvent::FocusIn);
  s.release();
  QCOMPARE(s.clicks->count(), 1);
  s.focus(QEvent::FocusOut);
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
}

void tst_CommandInput::pointerOverCoveringWindowCountsAsAway() {
  Scene s;
  s.button->Initialize();
  s.moveOnto();
  s.pointerOver = s.cover;  // inside the button's rectangle, but another window
  s.tick();
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
  s.moveOnto();
  s.pointerOver = nullptr;  // outside every window of the program
  s.tick();
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
}

void tst_CommandInput::movesOutsideTheButtonAreIgnored() {
  // While a mouse button is held Qt keeps sending moves to the button
  // wherever the pointer is; they must not bring the hover look back.
  Scene s;
  s.button->Initialize();
  s.moveOff(&s.window);
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
  s.focus(QEvent::FocusIn);
  s.moveOff(&s.window);
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
}

void tst_CommandInput::windowActivationIsNotAFocusChange() {
  Scene s;
  s.button->Initialize();
  // The first focus may come with the window's activation.
  s.focus(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
  const int paints = s.button->paintCount();
  // Switching away and back keeps the focused look and paints nothing.
  s.focus(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  s.focus(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
  QCOMPARE(s.button->paintCount(), paints);
  s.focus(QEvent::FocusOut, Qt::TabFocusReason);
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
}

void tst_CommandInput::initializeStartsTheHundredMillisecondPoll() {
  Scene s;
  QTimer* timer = s.button->TmrMouse();
  QCOMPARE(timer->objectName(), QString("TmrMouse"));
  QCOMPARE(timer->interval(), 100);
  QVERIFY(!timer->isActive());
  timer->setInterval(700);
  s.button->Initialize();
  QVERIFY(timer->isActive());
  QCOMPARE(timer->interval(), 100);
}

void tst_CommandInput::realTimerUndoesHover() {
  Scene s;
  s.button->Initialize();
  s.moveOnto();
  QCOMPARE(s.button->State(), ButtonState::StateHighLight);
  s.pointerOver = nullptr;
  QTRY_COMPARE_WITH_TIMEOUT(s.button->State(), ButtonState::StateNormal, 1000);
}

void tst_CommandInput::realClickAndAccessKey() {
  // Qt's own event delivery: a click gives the focus and clicks; Alt and the
  // access key click too. The pointer lookup stays injected so that the
  // poll does not depend on where the real cursor is.
  Scene s;
  s.button->SetCaption("Re&move");
  s.button->Initialize();
  s.window.show();
  QApplication::setActiveWindow(&s.window);
  QVERIFY(QTest::qWaitForWindowActive(&s.window));
  s.pointerOver = s.button;

  QTest::mouseMove(s.button, QPoint(10, 10));
  QTest::mouseClick(s.button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  QCOMPARE(s.clicks->count(), 1);
  QVERIFY(s.button->hasFocus());
  QCOMPARE(s.button->State(), ButtonState::StateHighLightSelect);

  s.button->clearFocus();
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
  QTest::keyClick(&s.window, Qt::Key_M, Qt::AltModifier);
  QCOMPARE(s.clicks->count(), 2);
  QVERIFY(s.button->hasFocus());
  QCOMPARE(s.button->State(), ButtonState::StateHighLightSelect);
  QCOMPARE(s.button->lastPictureName(), QString("HighLightSelect"));

  // A disabled button drops its access key.
  s.button->SetEnabled(false);
  QTest::keyClick(&s.window, Qt::Key_M, Qt::AltModifier);
  QCOMPARE(s.clicks->count(), 2);
}

void tst_CommandInput::focusMovedWhileWindowInactiveLeavesOneFocusLook_data() {
  QTest::addColumn<bool>("toButton");
  QTest::newRow("to another button") << true;
  QTest::newRow("to another control") << false;
}

// The focus moved while a message box was up (a click on the inactive window,
// say). No focus events come for that, so the first button kept its
// Selected look next to the new one.
void tst_CommandInput::focusMovedWhileWindowInactiveLeavesOneFocusLook() {
  QFETCH(bool, toButton);
  Scene s;
  s.button->Initialize();
  QWidget* next = nullptr;
  if (toButton) {
    auto* other = new Command(&s.window);
    other->Initialize();
    next = other;
  } else {
    next = new QLineEdit(&s.window);
  }
  next->setGeometry(20, 80, 141, 35);
  ShowActive(s.window);
  s.button->setFocus(Qt::TabFocusReason);
  QCOMPARE(s.button->State(), ButtonState::StateSelected);

  QWidget messageBox;
  ShowActive(messageBox);
  // The button is still its window's focus, so it keeps the look meanwhile.
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
  next->setFocus(Qt::MouseFocusReason);
  messageBox.hide();
  ShowActive(s.window);

  QVERIFY(next->hasFocus());
  QCOMPARE(s.button->State(), ButtonState::StateNormal);
  QVERIFY(!s.button->focusLinesShown());
  if (toButton) QCOMPARE(static_cast<Command*>(next)->State(), ButtonState::StateSelected);
  // Later focus changes work as before.
  s.button->setFocus(Qt::TabFocusReason);
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
}

void tst_CommandInput::focusLookWithoutTheFocusGoesOnRepaint() {
  Scene s;
  s.button->Initialize();
  auto* holder = new QLineEdit(&s.window);
  holder->setGeometry(20, 80, 141, 35);
  ShowActive(s.window);
  holder->setFocus();
  s.focus(QEvent::FocusIn);  // a focus event for a focus the button does not hold
  QCOMPARE(s.button->State(), ButtonState::StateSelected);
  s.button->update();
  QTRY_COMPARE(s.button->State(), ButtonState::StateNormal);
  QCOMPARE(s.button->lastPictureName(), QString("Normal"));
}

void tst_CommandInput::pressKeysClickTheFocusedButton_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier);
  QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
  QTest::newRow("Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
}

void tst_CommandInput::pressKeysClickTheFocusedButton() {
  QFETCH(int, key);
  QFETCH(int, modifiers);
  Scene s;
  s.button->Initialize();
  ShowActive(s.window);
  s.button->setFocus(Qt::TabFocusReason);
  const int paints = s.button->paintCount();
  QTest::keyClick(s.button, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  QCOMPARE(s.clicks->count(), 1);
  QVERIFY(s.button->hasFocus());
  QCOMPARE(s.button->State(), ButtonState::StateHighLightSelect);
  // Pressed, then HighLightSelect.
  QCOMPARE(s.button->paintCount(), paints + 2);
  QCOMPARE(s.button->lastPictureName(), QString("HighLightSelect"));
  // A held key repeats its press; that is still one click.
  QKeyEvent repeat(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), QString(), true);
  QCoreApplication::sendEvent(s.button, &repeat);
  QCOMPARE(s.clicks->count(), 1);
}

void tst_CommandInput::pressKeysNeedAnEnabledButtonAndNoModifier() {
  Scene s;
  s.button->Initialize();
  ShowActive(s.window);
  s.button->setFocus(Qt::TabFocusReason);
  QTest::keyClick(s.button, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClick(s.button, Qt::Key_A);
  QCOMPARE(s.clicks->count(), 0);
  s.button->SetEnabled(false);
  QTest::keyClick(s.button, Qt::Key_Space);
  QCOMPARE(s.clicks->count(), 0);
}

QTEST_MAIN(tst_CommandInput)
#include "tst_command_input.moc"
