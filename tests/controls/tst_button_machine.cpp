// The button's input rules, row by row, on the state machine alone: a host
// that records every face painted and every Click.

#include <QStringList>
#include <QTest>

#include "button_machine.h"

namespace {

class RecordingHost : public ButtonMachineHost {
 public:
  bool enabled = true;
  QStringList painted;
  int clicks = 0;

  bool isEnabledForInput() const override { return enabled; }
  void DrawButton(FacePicture picture) override {
    const std::string_view name = FacePictureName(picture);
    painted << QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
  }
  void raiseClick() override { ++clicks; }
};

// Runs a space-separated list of inputs against the machine.
void run(ButtonMachine& machine, RecordingHost& host, const QString& steps) {
  for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
    if (step == "init") machine.setState(ButtonState::StateNormal);
    else if (step == "disable") host.enabled = false;
    else if (step == "move") machine.pointerMoved();
    else if (step == "pressL") machine.mousePressed(kLeftButton);
    else if (step == "pressR") machine.mousePressed(kRightButton);
    else if (step == "releaseL") machine.mouseReleased(kLeftButton);
    else if (step == "releaseR") machine.mouseReleased(kRightButton);
    else if (step == "releaseM") machine.mouseReleased(kMiddleButton);
    else if (step == "focusIn") machine.focusGained();
    else if (step == "focusOut") machine.focusLost();
    else if (step == "key") machine.accessKeyPressed();
    else if (step == "away") machine.tick(PointerPlace::Elsewhere);
    else if (step == "parent") machine.tick(PointerPlace::ParentWindow);
    else if (step == "over") machine.tick(PointerPlace::OwnWindow);
    else QFAIL(qPrintable("unknown step " + step));
  }
}

}  // namespace

class tst_ButtonMachine : public QObject {
  Q_OBJECT

 private slots:
  void transitions_data();
  void transitions();
};

void tst_ButtonMachine::transitions_data() {
  QTest::addColumn<QString>("setup");
  QTest::addColumn<QString>("input");
  QTest::addColumn<ButtonState>("state");
  QTest::addColumn<QString>("painted");
  QTest::addColumn<bool>("leftDown");
  QTest::addColumn<int>("clicks");

  using S = ButtonState;
  const S normal = S::StateNormal, high = S::StateHighLight, sel = S::StateSelected,
          hls = S::StateHighLightSelect, dis = S::StateDisabled;

  // Setups: "init" = Normal, "init move" = HighLight, "init focusIn" =
  // Selected, "init focusIn move" = HighLightSelect.
  QTest::newRow("Normal, move: highlight") << "init" << "move" << high << "HighLight" << false << 0;
  QTest::newRow("HighLight, move: nothing") << "init move" << "move" << high << "" << false << 0;
  QTest::newRow("Selected, move: highlight-select")
      << "init focusIn" << "move" << hls << "HighLightSelect" << false << 0;
  QTest::newRow("Selected with left down, move: nothing")
      << "init focusIn pressL" << "move" << sel << "" << true << 0;
  QTest::newRow("Normal, left press") << "init" << "pressL" << normal << "Pressed" << true << 0;
  QTest::newRow("Selected, left press") << "init focusIn" << "pressL" << sel << "Pressed" << true << 0;
  QTest::newRow("HighLightSelect, left press")
      << "init focusIn move" << "pressL" << hls << "Pressed" << true << 0;
  QTest::newRow("right press paints nothing") << "init move" << "pressR" << high << "" << false << 0;
  QTest::newRow("HighLight, left release: Normal face, click")
      << "init move pressL" << "releaseL" << high << "Normal" << false << 1;
  QTest::newRow("HighLightSelect, left release")
      << "init focusIn move pressL" << "releaseL" << hls << "HighLightSelect" << false << 1;
  QTest::newRow("Normal, left release clicks") << "init pressL" << "releaseL" << normal << "" << false << 1;
  QTest::newRow("HighLight, right release clicks") << "init move" << "releaseR" << high << "" << false << 1;
  QTest::newRow("Normal, middle release clicks") << "init" << "releaseM" << normal << "" << false << 1;
  QTest::newRow("Selected, left release: no click")
      << "init focusIn pressL" << "releaseL" << sel << "" << false << 0;
  QTest::newRow("Selected, right release: no click, left stays down")
      << "init focusIn pressL" << "releaseR" << sel << "" << true << 0;
  QTest::newRow("HighLight, focus in: Pressed face")
      << "init move" << "focusIn" << hls << "Pressed" << false << 0;
  QTest::newRow("Normal, focus in") << "init" << "focusIn" << sel << "Selected" << false << 0;
  QTest::newRow("HighLightSelect, focus in") << "init focusIn move" << "focusIn" << sel << "Selected" << false << 0;
  QTest::newRow("HighLight, focus out") << "init move" << "focusOut" << normal << "Normal" << false << 0;
  QTest::newRow("Selected, focus out") << "init focusIn" << "focusOut" << normal << "Normal" << false << 0;
  QTest::newRow("Normal, focus out: nothing") << "init" << "focusOut" << normal << "" << false << 0;
  QTest::newRow("Normal, access key")
      << "init" << "key" << hls << "Pressed HighLightSelect" << false << 1;
  QTest::newRow("Selected, access key")
      << "init focusIn" << "key" << hls << "Pressed HighLightSelect" << false << 1;
  QTest::newRow("access key while left is down lets go of it")
      << "init focusIn move pressL" << "key" << hls << "Pressed HighLightSelect" << false << 1;
  QTest::newRow("HighLight, poll") << "init move" << "away" << normal << "Normal" << false << 0;
  QTest::newRow("HighLight, poll over parent") << "init move" << "parent" << normal << "Normal" << false << 0;
  QTest::newRow("HighLightSelect, poll") << "init focusIn move" << "away" << sel << "Selected" << false << 0;
  QTest::newRow("HighLight, pointer still over it") << "init move" << "over" << high << "" << false << 0;
  QTest::newRow("Normal, poll: nothing") << "init" << "away" << normal << "" << false << 0;
  QTest::newRow("Selected, poll: nothing") << "init focusIn" << "away" << sel << "" << false << 0;
  QTest::newRow("disabled, poll: Disable face")
      << "init move disable" << "away" << dis << "Disable" << false << 0;
  QTest::newRow("disabled, poll over own window: nothing")
      << "init move disable" << "over" << high << "" << false << 0;
  QTest::newRow("disabled ignores every input")
      << "init disable" << "move pressL focusIn releaseL releaseR key focusOut" << normal << ""
      << false << 0;
  QTest::newRow("disabled with left down: release leaves it down")
      << "init move pressL disable" << "releaseL" << high << "" << true << 0;

  // Whole gestures.
  QTest::newRow("typical click, then pointer leaves, then focus leaves")
      << "init" << "move pressL focusIn releaseL away focusOut" << normal
      << "HighLight Pressed Pressed HighLightSelect Selected Normal" << false << 1;
  QTest::newRow("drag off, poll, release: no click")
      << "init move pressL focusIn" << "away releaseL" << sel << "Selected" << false << 0;
  QTest::newRow("drag off, poll, drag back, release: no click")
      << "init move pressL focusIn" << "away move releaseL" << sel << "Selected" << false << 0;
  QTest::newRow("drag off and release before the poll: click")
      << "init move pressL focusIn" << "releaseL away" << sel << "HighLightSelect Selected" << false
      << 1;
  QTest::newRow("second click on a focused button")
      << "init move pressL focusIn releaseL" << "pressL releaseL" << hls
      << "Pressed HighLightSelect" << false << 1;
  QTest::newRow("without polls a highlight stays")
      << "init" << "move pressL releaseL" << high << "HighLight Pressed Normal" << false << 1;
}

void tst_ButtonMachine::transitions() {
  QFETCH(QString, setup);
  QFETCH(QString, input);
  QFETCH(ButtonState, state);
  QFETCH(QString, painted);
  QFETCH(bool, leftDown);
  QFETCH(int, clicks);

  RecordingHost host;
  ButtonMachine machine(host);
  run(machine, host, setup);
  host.painted.clear();
  host.clicks = 0;
  run(machine, host, input);

  QCOMPARE(machine.state(), state);
  QCOMPARE(host.painted.join(u' '), painted);
  QCOMPARE(machine.leftButtonDown(), leftDown);
  QCOMPARE(host.clicks, clicks);
}

QTEST_GUILESS_MAIN(tst_ButtonMachine)
#include "tst_button_machine.moc"
