// The button's input rules, row by row, on the state machine alone: a host
// that records every face painted and every Click.

#include <QHash>
#include <QStringList>
#include <QTest>
#include <functional>

#include "controls/button_machine.h"

using namespace sievetext;

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
void Run(ButtonMachine& machine, RecordingHost& host, const QString& steps) {
  const QHash<QString, std::function<void()>> inputs = {
      {"init", [&] { machine.setState(ButtonState::StateNormal); }},
      {"disable", [&] { host.enabled = false; }},
      {"move", [&] { machine.pointerMoved(); }},
      {"pressL", [&] { machine.mousePressed(kLeftButton); }},
      {"pressR", [&] { machine.mousePressed(kRightButton); }},
      {"releaseL", [&] { machine.mouseReleased(kLeftButton); }},
      {"releaseR", [&] { machine.mouseReleased(kRightButton); }},
      {"releaseM", [&] { machine.mouseReleased(kMiddleButton); }},
      {"focusIn", [&] { machine.focusGained(); }},
      {"focusOut", [&] { machine.focusLost(); }},
      {"key", [&] { machine.accessKeyPressed(); }},
      {"away", [&] { machine.tick(PointerPlace::Elsewhere); }},
      {"parent", [&] { machine.tick(PointerPlace::ParentWindow); }},
      {"over", [&] { machine.tick(PointerPlace::OwnWindow); }},
  };
  for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
    QVERIFY2(inputs.contains(step), qPrintable("unknown step " + step));
    inputs[step]();
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
  const auto row = [](const char* name, const char* setup, const char* input, S state,
                      const char* painted, bool leftDown, int clicks) {
    QTest::newRow(name) << QString(setup) << QString(input) << state << QString(painted) << leftDown
                        << clicks;
  };
  const S normal = S::StateNormal, high = S::StateHighLight, sel = S::StateSelected,
          hls = S::StateHighLightSelect, dis = S::StateDisabled;

  // clang-format off
  // Setups: "init" is Normal, "init move" HighLight, "init focusIn" Selected,
  // "init focusIn move" HighLightSelect.
  row("Normal, move: highlight", "init", "move", high, "HighLight", false, 0);
  row("HighLight, move: nothing", "init move", "move", high, "", false, 0);
  row("Selected, move", "init focusIn", "move", hls, "HighLightSelect", false, 0);
  row("Selected, left down, move: nothing", "init focusIn pressL", "move", sel, "", true, 0);
  row("Normal, left press", "init", "pressL", normal, "Pressed", true, 0);
  row("Selected, left press", "init focusIn", "pressL", sel, "Pressed", true, 0);
  row("HighLightSelect, left press", "init focusIn move", "pressL", hls, "Pressed", true, 0);
  row("right press paints nothing", "init move", "pressR", high, "", false, 0);
  row("HighLight, left release", "init move pressL", "releaseL", high, "Normal", false, 1);
  row("HighLightSelect, left release", "init focusIn move pressL", "releaseL", hls, "HighLightSelect", false, 1);
  row("Normal, left release", "init pressL", "releaseL", normal, "", false, 1);
  row("HighLight, right release", "init move", "releaseR", high, "", false, 1);
  row("Normal, middle release", "init", "releaseM", normal, "", false, 1);
  row("Selected, left release: no click", "init focusIn pressL", "releaseL", sel, "", false, 0);
  row("Selected, right release: no click", "init focusIn pressL", "releaseR", sel, "", true, 0);
  row("HighLight, focus in", "init move", "focusIn", hls, "Pressed", false, 0);
  row("Normal, focus in", "init", "focusIn", sel, "Selected", false, 0);
  row("HighLightSelect, focus in", "init focusIn move", "focusIn", sel, "Selected", false, 0);
  row("HighLight, focus out", "init move", "focusOut", normal, "Normal", false, 0);
  row("Selected, focus out", "init focusIn", "focusOut", normal, "Normal", false, 0);
  row("Normal, focus out: nothing", "init", "focusOut", normal, "", false, 0);
  row("Normal, access key", "init", "key", hls, "Pressed HighLightSelect", false, 1);
  row("Selected, access key", "init focusIn", "key", hls, "Pressed HighLightSelect", false, 1);
  row("access key lets go of the left button", "init focusIn move pressL", "key", hls, "Pressed HighLightSelect", false, 1);
  row("HighLight, poll", "init move", "away", normal, "Normal", false, 0);
  row("HighLight, poll over the parent", "init move", "parent", normal, "Normal", false, 0);
  row("HighLightSelect, poll", "init focusIn move", "away", sel, "Selected", false, 0);
  row("HighLight, pointer still over it", "init move", "over", high, "", false, 0);
  row("Normal, poll: nothing", "init", "away", normal, "", false, 0);
  row("Selected, poll: nothing", "init focusIn", "away", sel, "", false, 0);
  row("disabled, poll", "init move disable", "away", dis, "Disable", false, 0);
  row("disabled, pointer still over it", "init move disable", "over", high, "", false, 0);
  row("disabled ignores input", "init disable", "move pressL focusIn releaseL releaseR key focusOut", normal, "", false, 0);
  row("disabled keeps the left button down", "init move pressL disable", "releaseL", high, "", true, 0);

  // Whole gestures.
  row("click, pointer leaves, focus leaves", "init", "move pressL focusIn releaseL away focusOut", normal,
      "HighLight Pressed Pressed HighLightSelect Selected Normal", false, 1);
  row("without polls a highlight stays", "init", "move pressL releaseL", high, "HighLight Pressed Normal", false, 1);
  // clang-format on
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
  Run(machine, host, setup);
  host.painted.clear();
  host.clicks = 0;
  Run(machine, host, input);

  QCOMPARE(machine.state(), state);
  QCOMPARE(host.painted.join(u' '), painted);
  QCOMPARE(machine.leftButtonDown(), leftDown);
  QCOMPARE(host.clicks, clicks);
}

QTEST_GUILESS_MAIN(tst_ButtonMachine)
#include "tst_button_machine.moc"
