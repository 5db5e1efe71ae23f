// What a screen reader finds of the button through Qt's accessibility: a push
// button named by its caption as shown, its press action and its states.

#include <QAccessible>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "controls/command.h"

using namespace sievetext;

class tst_CommandAccessible : public QObject {
  Q_OBJECT

 private slots:
  void pushButtonNamedByItsShownCaption();
  void pressActionReturnsThenClicksOnceAndTakesTheFocus();
  void disabledButtonIsDisabledAndCannotBePressed();
};

void tst_CommandAccessible::pushButtonNamedByItsShownCaption() {
  QWidget window;
  auto* button = new Command(&window);
  button->SetCaption(QStringLiteral("Re&move && keep"));
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
  QVERIFY(face != nullptr);
  QCOMPARE(face->role(), QAccessible::Button);
  QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Remove & keep"));
  QAccessibleActionInterface* actions = face->actionInterface();
  QVERIFY(actions != nullptr);
  QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
  QCOMPARE(actions->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
           QStringList{QKeySequence(Qt::ALT | Qt::Key_M).toString(QKeySequence::NativeText)});

  button->SetCaption(QStringLiteral("Readme.txt"));
  QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Readme.txt"));
}

void tst_CommandAccessible::pressActionReturnsThenClicksOnceAndTakesTheFocus() {
  QWidget window;
  auto* button = new Command(&window);
  button->setGeometry(10, 10, 141, 35);
  button->SetCaption(QStringLiteral("Remove HTML"));
  button->Initialize();
  auto* elsewhere = new QLineEdit(&window);
  elsewhere->setGeometry(10, 60, 100, 20);
  window.show();
  QApplication::setActiveWindow(&window);
  QVERIFY(QTest::qWaitForWindowActive(&window));
  elsewhere->setFocus();
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
  QVERIFY(face->state().focusable);
  QVERIFY(!face->state().focused);
  QVERIFY(!face->state().disabled);

  // The button's work may wait for the user (a message box, a file
  // dialog); the screen reader's call returns before it starts.
  int clicks = 0;
  bool returned = false;
  connect(button, &Command::Click, &window, [&] {
    ++clicks;
    QVERIFY2(returned, "the press ran inside the screen reader's call");
    QEventLoop box;  // a modal box the user closes later
    QTimer::singleShot(50, &box, &QEventLoop::quit);
    box.exec();
  });
  face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  returned = true;
  QCOMPARE(clicks, 0);
  QTRY_COMPARE(clicks, 1);
  QVERIFY(button->hasFocus());
  QVERIFY(face->state().focused);
  QCOMPARE(button->State(), ButtonState::StateHighLightSelect);
}

void tst_CommandAccessible::disabledButtonIsDisabledAndCannotBePressed() {
  QWidget window;
  auto* button = new Command(&window);
  button->SetEnabled(false);
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
  QVERIFY(face->state().disabled);
  QVERIFY(
      !face->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
  QSignalSpy clicks(button, &Command::Click);
  face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QTest::qWait(20);
  QCOMPARE(clicks.count(), 0);
  // Disabled between the call and the press: still no click.
  button->SetEnabled(true);
  face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  button->SetEnabled(false);
  QTest::qWait(20);
  QCOMPARE(clicks.count(), 0);
  button->SetEnabled(true);
  QVERIFY(!face->state().disabled);
}

QTEST_MAIN(tst_CommandAccessible)
#include "tst_command_accessible.moc"
