// The button's properties, their repaints and notifications, and its stored
// property set: what is written, what is read back, defaults and key case.

#include <QApplication>
#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "controls/command.h"
#include "controls/control_registry.h"
#include "controls/property_bag.h"

using namespace sievetext;

namespace {

constexpr std::uint32_t kGrey = 12632256;  // the disabled caption colour

QFont StoredButtonFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSizeF(8.25);
  font.setWeight(QFont::Normal);
  return font;
}

void FocusIn(Command* button) {
  QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
  QCoreApplication::sendEvent(button, &event);
}

}  // namespace

class tst_CommandProperties : public QObject {
  Q_OBJECT

 private slots:
  void newInstance();
  void propertyWritesRepaintAndNotify_data();
  void propertyWritesRepaintAndNotify();
  void visibleZeroMakesTransparentWithoutPainting();
  void visibleReadRepaintsOnlyWhenOpaque();
  void firstReadOfEnabledTurnsANewButtonOn();
  void fontColourReadsTheColourInUse();
  void storedSetRoundTrip();
  void newInstanceSavedAndLoadedKeepsItsCaption();
  void emptyStoredSetGivesDefaults();
  void storedKeysIgnoreCase();
  void badStoredValuesAreSkippedOneByOne();
  void disabledButtonSavesItsOwnCaptionColour();
  void registryCreatesButtonsFromStoredSets();
  void bagStoresOnlyWhatDiffersFromDefault_data();
  void bagStoresOnlyWhatDiffersFromDefault();
};

void tst_CommandProperties::newInstance() {
  QWidget parent;
  Command button(&parent);
  QCOMPARE(button.Caption(), QString("Command"));
  QCOMPARE(button.size(), QSize(105, 28));
  QCOMPARE(button.State(), ButtonState::StateNormal);
  QCOMPARE(button.lastPictureName(), QString("Normal"));
  QCOMPARE(button.FirstRun(), std::uint8_t(0));
  QCOMPARE(button.FontColour(), 0u);
  QCOMPARE(button.Font(), parent.font());
  QVERIFY(!button.GradientInverted());
  QVERIFY(!button.focusLinesShown());
}

void tst_CommandProperties::propertyWritesRepaintAndNotify_data() {
  QTest::addColumn<QString>("property");
  QTest::addColumn<bool>("focused");
  for (const char* name : {"Caption", "Enabled", "Font", "FontColour", "Visible"}) {
    QTest::addRow("%s, hovered", name) << QString(name) << false;
    QTest::addRow("%s, focused", name) << QString(name) << true;
  }
}

void tst_CommandProperties::propertyWritesRepaintAndNotify() {
  // Whatever look the button had, a property write paints the Normal
  // picture; a focused button keeps its focus rectangle.
  QFETCH(QString, property);
  QFETCH(bool, focused);
  Command button;
  button.Initialize();
  if (focused) FocusIn(&button);
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), button.mapToGlobal(QPointF(5, 5)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&button, &move);
  const ButtonState before = button.State();
  QCOMPARE(before, focused ? ButtonState::StateHighLightSelect : ButtonState::StateHighLight);

  QSignalSpy notified(&button, &Command::PropertyChanged);
  const int paints = button.paintCount();
  if (property == "Caption") button.SetCaption("Go");
  if (property == "Enabled") button.SetEnabled(true);
  if (property == "Font") button.SetFont(QFont("DejaVu Serif", 11));
  if (property == "FontColour") button.SetFontColour(0x0000FF);
  if (property == "Visible") button.SetVisible(1);

  QCOMPARE(notified.count(), 1);
  QCOMPARE(notified.at(0).at(0).toString(), property);
  QCOMPARE(button.paintCount(), paints + 1);
  QCOMPARE(button.lastPictureName(), QString("Normal"));
  QCOMPARE(button.State(), before);
  QCOMPARE(button.focusLinesShown(), focused);
}

void tst_CommandProperties::visibleZeroMakesTransparentWithoutPainting() {
  Command button;
  QSignalSpy notified(&button, &Command::PropertyChanged);
  const int paints = button.paintCount();
  button.SetVisible(0);
  QCOMPARE(button.paintCount(), paints);
  QCOMPARE(notified.count(), 1);
  QCOMPARE(button.Visible(), std::uint8_t(0));
  button.SetVisible(255);
  QCOMPARE(button.paintCount(), paints + 1);
  QCOMPARE(button.Visible(), std::uint8_t(255));
}

void tst_CommandProperties::visibleReadRepaintsOnlyWhenOpaque() {
  Command button;
  button.Initialize();
  button.setWidgetUnderPointer([&] { return &button; });
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), button.mapToGlobal(QPointF(5, 5)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&button, &move);
  QCOMPARE(button.lastPictureName(), QString("HighLight"));

  // The hover look is dropped, the state is kept.
  QCOMPARE(button.Visible(), std::uint8_t(255));
  QCOMPARE(button.lastPictureName(), QString("Normal"));
  QCOMPARE(button.State(), ButtonState::StateHighLight);

  button.SetEnabled(false);
  QCOMPARE(button.Visible(), std::uint8_t(255));
  QCOMPARE(button.lastPictureName(), QString("Disable"));

  button.SetVisible(0);
  const int paints = button.paintCount();
  QCOMPARE(button.Visible(), std::uint8_t(0));
  QCOMPARE(button.paintCount(), paints);
}

void tst_CommandProperties::firstReadOfEnabledTurnsANewButtonOn() {
  Command button;
  QCOMPARE(button.FirstRun(), std::uint8_t(0));
  button.SetEnabled(false);
  QCOMPARE(button.lastPictureName(), QString("Disable"));
  const int paints = button.paintCount();
  QVERIFY(button.Enabled());  // forced on, without a repaint
  QCOMPARE(button.FirstRun(), std::uint8_t(1));
  QCOMPARE(button.paintCount(), paints);
  button.SetEnabled(false);
  QVERIFY(!button.Enabled());  // from now on the value stands
  QVERIFY(!button.Enabled());

  // A button loaded from a stored set has FirstRun 1 already.
  Command loaded;
  loaded.ReadProperties(PropertyBag());
  loaded.SetEnabled(false);
  QVERIFY(!loaded.Enabled());
}

void tst_CommandProperties::fontColourReadsTheColourInUse() {
  Command button;
  button.SetFontColour(0x00FF8040);
  QCOMPARE(button.FontColour(), 0x00FF8040u);
  QCOMPARE(button.LastFontColour(), 0x00FF8040u);
  button.SetEnabled(false);
  QCOMPARE(button.FontColour(), kGrey);
  QCOMPARE(button.LastFontColour(), 0x00FF8040u);
  button.SetEnabled(true);
  QCOMPARE(button.FontColour(), 0x00FF8040u);

  // Not a colour value: the colour stays, the host is still told.
  QSignalSpy notified(&button, &Command::PropertyChanged);
  button.SetFontColour(-1);
  button.SetFontColour(0x1000000);
  QCOMPARE(button.FontColour(), 0x00FF8040u);
  QCOMPARE(notified.count(), 2);
}

void tst_CommandProperties::storedSetRoundTrip() {
  QWidget host;
  Command original(&host);
  original.SetCaption("Remove HTML");
  QFont font("DejaVu Serif");
  font.setPointSizeF(11.25);
  font.setBold(true);
  font.setItalic(true);
  original.SetFont(font);
  original.SetFontColour(0x0000FF);
  original.SetVisible(0);
  QVERIFY(original.Enabled());  // the first read sets FirstRun, which then is not stored
  original.SetEnabled(false);

  PropertyBag bag;
  original.WriteProperties(bag);
  QCOMPARE(bag.keys(), QStringList({"enabled", "caption", "font", "fontcolour", "visible"}));

  Command loaded(&host);
  QSignalSpy notified(&loaded, &Command::PropertyChanged);
  loaded.ReadProperties(bag);
  QCOMPARE(notified.count(), 0);
  QVERIFY(!loaded.Enabled());
  QCOMPARE(loaded.Caption(), QString("Remove HTML"));
  QCOMPARE(loaded.Font().family(), font.family());
  QCOMPARE(loaded.Font().pointSizeF(), 11.25);
  QVERIFY(loaded.Font().bold());
  QVERIFY(loaded.Font().italic());
  QCOMPARE(loaded.FirstRun(), std::uint8_t(1));
  QCOMPARE(loaded.LastFontColour(), 0x0000FFu);
  QCOMPARE(loaded.Visible(), std::uint8_t(0));
  QCOMPARE(loaded.lastPictureName(), QString("Disable"));
}

void tst_CommandProperties::newInstanceSavedAndLoadedKeepsItsCaption() {
  // A button never renamed is saved with its caption "Command", which must
  // come back as "Command" and not as the "Command1" a set without a caption
  // gives. FirstRun 0 is saved too, so the loaded button behaves as new.
  Command original;
  PropertyBag bag;
  original.WriteProperties(bag);
  QCOMPARE(bag.keys(), QStringList({"caption", "firstrun"}));
  Command loaded;
  loaded.ReadProperties(bag);
  QCOMPARE(loaded.Caption(), QString("Command"));
  QCOMPARE(loaded.FirstRun(), std::uint8_t(0));
}

void tst_CommandProperties::emptyStoredSetGivesDefaults() {
  QWidget host;
  host.setFont(QFont("DejaVu Sans Mono", 13));
  Command button(&host);
  button.SetFont(QFont("DejaVu Serif", 9));
  button.SetFontColour(0x123456);
  button.SetVisible(0);
  button.ReadProperties(PropertyBag());
  QVERIFY(button.Enabled());
  QCOMPARE(button.Caption(), QString("Command1"));
  QCOMPARE(button.Font(), host.font());
  QCOMPARE(button.FirstRun(), std::uint8_t(1));
  QCOMPARE(button.FontColour(), 0u);
  QCOMPARE(button.Visible(), std::uint8_t(255));
  QCOMPARE(button.lastPictureName(), QString("Normal"));
}

void tst_CommandProperties::storedKeysIgnoreCase() {
  PropertyBag bag;
  bag.WriteProperty("CAPTION", "Readme.txt");
  bag.WriteProperty("fontColour", 255);
  bag.WriteProperty("Visible", "0");
  QCOMPARE(bag.keys(), QStringList({"caption", "fontcolour", "visible"}));
  QCOMPARE(bag.ReadProperty("Caption").toString(), QString("Readme.txt"));
  Command button;
  button.ReadProperties(bag);
  QCOMPARE(button.Caption(), QString("Readme.txt"));
  QCOMPARE(button.FontColour(), 255u);
  QCOMPARE(button.Visible(), std::uint8_t(0));
}

void tst_CommandProperties::badStoredValuesAreSkippedOneByOne() {
  Command button;
  button.SetFontColour(0x00AA00);
  PropertyBag bag;
  bag.WriteProperty("Enabled", "maybe");
  bag.WriteProperty("FirstRun", 300);
  bag.WriteProperty("FontColour", "blue");
  bag.WriteProperty("Visible", 0);
  button.ReadProperties(bag);
  QCOMPARE(button.FontColour(), 0x00AA00u);
  QCOMPARE(button.LastFontColour(), 0x00AA00u);
  QCOMPARE(button.FirstRun(), std::uint8_t(0));
  QCOMPARE(button.Caption(), QString("Command1"));
  QCOMPARE(button.Visible(), std::uint8_t(0));

  PropertyBag numbers;
  numbers.WriteProperty("Enabled", "False");
  numbers.WriteProperty("FontColour", "&HFF");
  numbers.WriteProperty("Visible", 2);  // not a background style: kept
  button.ReadProperties(numbers);
  QCOMPARE(button.LastFontColour(), 0xFFu);
  QCOMPARE(button.Visible(), std::uint8_t(0));
  QCOMPARE(button.State(), ButtonState::StateDisabled);
}

void tst_CommandProperties::disabledButtonSavesItsOwnCaptionColour() {
  Command button;
  button.SetFontColour(0x0000FF);
  button.SetEnabled(false);
  QCOMPARE(button.FontColour(), kGrey);
  PropertyBag bag;
  button.WriteProperties(bag);
  QCOMPARE(bag.ReadProperty("FontColour").toLongLong(), 0x0000FFLL);
  Command loaded;
  loaded.ReadProperties(bag);
  loaded.SetEnabled(true);
  QCOMPARE(loaded.FontColour(), 0x0000FFu);
}

void tst_CommandProperties::registryCreatesButtonsFromStoredSets() {
  // The main window's stored sets: a caption and a font, nothing else.
  QWidget window;
  PropertyBag stored;
  stored.WriteProperty("caption", "Select Input File");
  stored.WriteProperty("font", StoredButtonFont());
  auto* button = qobject_cast<Command*>(CreateControl("Sievetext.Command", &window, &stored));
  QVERIFY(button);
  QCOMPARE(button->parentWidget(), &window);
  QCOMPARE(button->Caption(), QString("Select Input File"));
  QCOMPARE(button->Font().family(), QString("MS Sans Serif"));
  QCOMPARE(button->Font().pointSizeF(), 8.25);
  QCOMPARE(button->Font().weight(), QFont::Normal);
  QVERIFY(button->Enabled());
  QCOMPARE(button->FirstRun(), std::uint8_t(1));
  QCOMPARE(button->FontColour(), 0u);
  QCOMPARE(button->Visible(), std::uint8_t(255));

  auto* plain = qobject_cast<Command*>(CreateControl("SIEVETEXT.COMMAND", &window));
  QVERIFY(plain);
  QCOMPARE(plain->Caption(), QString("Command"));
  QCOMPARE(CreateControl("Sievetext.Other", &window), nullptr);
}

void tst_CommandProperties::bagStoresOnlyWhatDiffersFromDefault_data() {
  QTest::addColumn<QVariant>("value");
  QTest::addColumn<QVariant>("defaultValue");
  QTest::addColumn<bool>("stored");
  QTest::newRow("1 and text 1") << QVariant(1) << QVariant("1") << false;
  QTest::newRow("0 and text 0") << QVariant(0) << QVariant("0") << false;
  QTest::newRow("byte 1 and text 1")
      << QVariant::fromValue<std::uint8_t>(1) << QVariant("1") << false;
  QTest::newRow("short 1 and text 1") << QVariant::fromValue<qint16>(1) << QVariant("1") << false;
  QTest::newRow("0 and text 1") << QVariant(0) << QVariant("1") << true;
  QTest::newRow("255 and text 0") << QVariant(255) << QVariant("0") << true;
  QTest::newRow("true and true") << QVariant(true) << QVariant(true) << false;
  QTest::newRow("false and true") << QVariant(false) << QVariant(true) << true;
  QTest::newRow("same text") << QVariant("Command1") << QVariant("Command1") << false;
  QTest::newRow("text differs only in case")
      << QVariant("command1") << QVariant("Command1") << true;
  QTest::newRow("no default") << QVariant("x") << QVariant() << true;
  QTest::newRow("same font") << QVariant(StoredButtonFont()) << QVariant(StoredButtonFont())
                             << false;
  QTest::newRow("other font") << QVariant(QFont("DejaVu Serif", 20)) << QVariant(StoredButtonFont())
                              << true;
}

void tst_CommandProperties::bagStoresOnlyWhatDiffersFromDefault() {
  QFETCH(QVariant, value);
  QFETCH(QVariant, defaultValue);
  QFETCH(bool, stored);
  PropertyBag bag;
  bag.WriteProperty("Key", "old");
  bag.WriteProperty("Key", value, defaultValue);
  QCOMPARE(bag.contains("KEY"), stored);
  QCOMPARE(bag.ReadProperty("key", "fallback"), stored ? value : QVariant("fallback"));
}

QTEST_MAIN(tst_CommandProperties)
#include "tst_command_properties.moc"
