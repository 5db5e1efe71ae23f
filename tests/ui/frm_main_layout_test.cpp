// The main window's look: title, every control's place, caption, font and
// focus order, the colours and pictures.

#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStyleOptionButton>
#include <QtTest>

#include "controls/command.h"
#include "tests/support/memory_settings_store.h"
#include "ui/frmMain.h"

using namespace sievetext;

namespace {

struct ControlRow {
  const char* name;
  const char* container;         // object name of the parent
  const char* caption;           // as shown (nullptr: no caption)
  int left, top, width, height;  // twips
};

// Every control: its container, caption and place in twips. Captions are
// what the user sees.
const ControlRow kControls[] = {
    {"Frame1", "frmMain", "Options", 60, 30, 4425, 2265},
    {"chkRemoveComments", "Frame1", "Remove Comments (<!-- -->)", 120, 300, 3255, 195},
    {"chkRemoveScripts", "Frame1", "Remove Scripts (<SCRIPT> </SCRIPT>)", 120, 510, 4275, 195},
    {"chkRemoveStyles", "Frame1", "Remove Styles(<STYLE> </STYLE>)", 120, 720, 3885, 195},
    {"chkRemoveFunctions", "Frame1", "Remove functions ( { } )", 120, 930, 3885, 195},
    {"chkRemovePipe", "Frame1", "Remove pipe character '|'", 120, 1140, 3885, 195},
    {"chkRemoveTabs", "Frame1", "Remove TAB characters", 120, 1350, 4215, 195},
    {"chkGenerateSpecialChars", "Frame1", "Generate foreign & special characters", 120, 1560, 4125,
     195},
    {"chkRemoveAllTags", "Frame1", "Remove all tags < >", 120, 1770, 3225, 195},
    {"chkLayout", "Frame1", "Reading mode - as a browser shows it", 120, 1980, 4275, 195},
    {"Frame2", "frmMain", "Whitespace removal", 30, 2310, 4455, 1185},
    {"chkRemoveSpaces", "Frame2", "Remove Spaces", 150, 270, 3255, 195},
    {"chkRemoveBlankLines", "Frame2", "Remove Blank Lines", 150, 480, 3405, 195},
    {"chkRemoveAllCRLF", "Frame2", "Remove all lines - extract only words", 150, 690, 4095, 195},
    {"cmdSelectInput", "frmMain", "Select Input File", 4590, 120, 2115, 525},
    {"cmdSelectOutput", "frmMain", "Select Output File", 4590, 720, 2115, 525},
    {"cmdRemoveHTML", "frmMain", "Remove HTML", 4590, 1440, 2115, 765},
    {"cmdReadme", "frmMain", "Readme.txt", 4620, 2400, 2085, 495},
    {"cmdWebsite", "frmMain", "Visit Website", 4620, 2970, 2085, 525},
    {"Text1", "frmMain", nullptr, 90, 3570, 2745, 255},
    {"Shape1", "frmMain", nullptr, 30, 3630, 2715, 255},
};

QRect FromTwips(int left, int top, int width, int height) {
  return {left / 15, top / 15, width / 15, height / 15};
}

// What a label shows: "&&" is one "&", a single "&" marks an access key.
QString ShownText(const QString& caption) {
  QString shown = caption;
  return shown.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// Where a check box draws its caption.
QRect CaptionRoom(const QCheckBox& box) {
  QStyleOptionButton option;
  option.initFrom(&box);
  option.text = box.text();
  return box.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &box);
}

// How much white a check box draws beside its tick: the caption is white on
// the window's blue, whose red is 102.
qint64 CaptionInk(QCheckBox& box) {
  const QImage image = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const int scale = image.width() / box.width();
  qint64 ink = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = CaptionRoom(box).left() * scale; x < image.width(); ++x)
      ink += std::max(0, qRed(image.pixel(x, y)) - 102);
  return ink;
}

}  // namespace

class LayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    state_ = ProcessState{};
    state_.sAppPath = "/opt/sievetext/";
    window_ = std::make_unique<frmMain>(state_, settings_);
  }
  void cleanup() {
    window_.reset();
    QFont::removeSubstitutions(QStringLiteral("Verdana"));
  }

  void titleComesFromTheVersion() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Wexa Sievetext v1.0 Build 20"));
  }

  void windowIsFixedSizeWithoutMaximise() {
    QCOMPARE(window_->size(), QSize(454, 262));
    QCOMPARE(window_->minimumSize(), window_->maximumSize());
    const Qt::WindowFlags flags = window_->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QCOMPARE(window_->windowIcon().availableSizes().value(0), QSize(32, 32));
  }

  void controlsStandAtTheirPlacesWithTheirCaptions_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kControls)); ++i) QTest::newRow(kControls[i].name) << i;
  }
  void controlsStandAtTheirPlacesWithTheirCaptions() {
    QFETCH(int, row);
    const ControlRow& c = kControls[row];
    auto* widget = window_->findChild<QWidget*>(QString::fromLatin1(c.name));
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget()->objectName(), QString::fromLatin1(c.container));
    QCOMPARE(widget->geometry(), FromTwips(c.left, c.top, c.width, c.height));
    if (c.caption == nullptr) return;
    const QString expected = QString::fromUtf8(c.caption);
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
      QCOMPARE(ShownText(box->text()), expected);
      QVERIFY(!box->isTristate());
      QCOMPARE(box->checkState(), Qt::Unchecked);
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
      QCOMPARE(frame->title(), expected);
    } else if (auto* button = qobject_cast<Command*>(widget)) {
      QCOMPARE(button->Caption(), expected);
    } else {
      QFAIL("unexpected kind of control");
    }
  }

  // Each option's caption is drawn whole in its row, at any scale and in
  // whatever font the machine has for the option font: the font's line fits
  // the row's height, the caption fits beside the tick, and the row shows as
  // much of every letter as a row with room to spare does.
  void checkBoxCaptionsAreDrawnWhole_data() {
    QTest::addColumn<QString>("optionFont");  // stands in for the option font; "" as installed
    QTest::newRow("as installed") << QString();
    // A line of 1.36 em: 15 px of the 13 px row at the designed size.
    QTest::newRow("taller font") << QStringLiteral("Open Sans");
  }
  void checkBoxCaptionsAreDrawnWhole() {
    QFETCH(QString, optionFont);
    if (!optionFont.isEmpty()) {
      QFont::insertSubstitution(QStringLiteral("Verdana"), optionFont);
      window_ = std::make_unique<frmMain>(state_, settings_);
      QVERIFY2(QFontInfo(window_->findChild<QCheckBox*>()->font()).family() == optionFont,
               "the font is missing; scripts/install-deps.sh installs it");
    }
    const QList<QCheckBox*> boxes = window_->findChildren<QCheckBox*>();
    QCOMPARE(boxes.size(), 12);
    for (QCheckBox* box : boxes) {
      const QString name = box->objectName();
      const QString text = ShownText(box->text());
      QCOMPARE(box->height(), 13);
      const QRect room = CaptionRoom(*box);
      const QFontMetricsF metrics(box->font(), box);
      QVERIFY2(metrics.height() <= room.height(),
               qPrintable(QStringLiteral("%1: a line is %2 px high in a row of %3 px")
                              .arg(name)
                              .arg(metrics.height())
                              .arg(room.height())));
      QVERIFY2(metrics.horizontalAdvance(text) <= room.width(),
               qPrintable(QStringLiteral("%1: %2 px of text in %3 px beside the tick")
                              .arg(name)
                              .arg(metrics.horizontalAdvance(text))
                              .arg(room.width())));
      // The same box 20 px higher draws its caption 10 px lower, whole.
      QCheckBox roomy(box->text(), box->parentWidget());
      roomy.setFont(box->font());
      roomy.setGeometry(box->geometry().adjusted(0, 0, 0, 20));
      const qint64 shown = CaptionInk(*box);
      const qint64 whole = CaptionInk(roomy);
      QVERIFY2(
          shown == whole,
          qPrintable(
              QStringLiteral("%1: %2 of %3 parts of ink shown").arg(name).arg(shown).arg(whole)));
    }
  }

  void noCaptionDefinesAnAccessKey() {
    for (QCheckBox* box : window_->findChildren<QCheckBox*>())
      QVERIFY2(!box->text().remove(QStringLiteral("&&")).contains(QLatin1Char('&')),
               qPrintable(box->objectName()));
  }

  // The reading mode, the first frame's last box, follows its other boxes.
  void tabPutsRemoveFunctionsAfterTheWhitespaceBoxesWhichRunUpwards() {
    const QStringList expected = {"chkRemoveComments",
                                  "chkRemoveScripts",
                                  "chkRemoveStyles",
                                  "chkRemovePipe",
                                  "chkRemoveTabs",
                                  "chkGenerateSpecialChars",
                                  "chkRemoveAllTags",
                                  "chkLayout",
                                  "chkRemoveAllCRLF",
                                  "chkRemoveBlankLines",
                                  "chkRemoveSpaces",
                                  "chkRemoveFunctions",
                                  "Text1",
                                  "cmdSelectInput",
                                  "cmdSelectOutput",
                                  "cmdRemoveHTML",
                                  "cmdReadme",
                                  "cmdWebsite"};
    // Walk the focus chain once around, keeping what Tab can reach.
    QStringList order;
    QWidget* start = window_->findChild<QWidget*>(QStringLiteral("chkRemoveComments"));
    QWidget* w = start;
    do {
      if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
      w = w->nextInFocusChain();
    } while (w != start);
    QCOMPARE(order, expected);
  }

  void fontsAndColours() {
    for (const char* name : {"Frame1", "Frame2", "chkRemoveComments", "chkRemoveAllCRLF"}) {
      auto* widget = window_->findChild<QWidget*>(QString::fromLatin1(name));
      const QFont font = widget->font();
      QCOMPARE(font.family(), QStringLiteral("Verdana"));
      // An option box may have a smaller size where the machine's font does
      // not fit its row (checkBoxCaptionsAreDrawnWhole).
      if (qobject_cast<QCheckBox*>(widget))
        QVERIFY(font.pointSizeF() <= 8.25);
      else
        QCOMPARE(font.pointSizeF(), 8.25);
      QVERIFY(font.bold());
      QVERIFY(font.italic());
      QCOMPARE(widget->palette().color(QPalette::WindowText), QColor(Qt::white));
      QCOMPARE(widget->palette().color(QPalette::Window), QColor(102, 175, 230));
    }
    auto* text = window_->findChild<QLineEdit*>(QStringLiteral("Text1"));
    QCOMPARE(text->font().family(), QStringLiteral("Arial"));
    QCOMPARE(text->font().pointSizeF(), 8.25);
    QVERIFY(text->font().bold());
    QVERIFY(!text->font().italic());
    QCOMPARE(text->palette().color(QPalette::Base), QColor(92, 197, 231));
    QVERIFY(!text->text().isEmpty());
    for (Command* button : window_->findChildren<Command*>()) {
      QCOMPARE(button->font().family(), QStringLiteral("MS Sans Serif"));
      QCOMPARE(button->font().pointSizeF(), 8.25);
      QVERIFY(!button->font().bold());
    }
  }

  void paintsMosaicFramesAndShadow() {
    const QImage image = window_->grab().toImage();
    if (qEnvironmentVariableIsSet("SIEVETEXT_DUMP"))
      image.save(qEnvironmentVariable("SIEVETEXT_DUMP"));
    QCOMPARE(image.size(), QSize(454, 262));
    const QImage mosaic(QStringLiteral(":/sievetext/background.png"));
    QCOMPARE(mosaic.size(), QSize(789, 461));
    // Outside every control the unscaled mosaic shows: compare a strip right
    // of the notice.
    for (int x = 200; x < 300; x += 7)
      QCOMPARE(image.pixelColor(x, 250).rgb(), mosaic.pixelColor(x, 250).rgb());
    // Inside a frame, beside the end of its shortest caption, the plain
    // window colour.
    QCOMPARE(image.pixelColor(250, 126).rgb(), QColor(102, 175, 230).rgb());
    // The navy edge below and left of the notice.
    QCOMPARE(image.pixelColor(3, 250).rgb(), QColor(0, 0, 128).rgb());
    QCOMPARE(image.pixelColor(100, 257).rgb(), QColor(0, 0, 128).rgb());
  }

  void screenReadersFindTheButtonsByCaption() {
    for (const char* name :
         {"cmdSelectInput", "cmdSelectOutput", "cmdRemoveHTML", "cmdReadme", "cmdWebsite"}) {
      auto* button = window_->findChild<Command*>(QString::fromLatin1(name));
      QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
      QVERIFY(face != nullptr);
      QCOMPARE(face->role(), QAccessible::Button);
      QCOMPARE(face->text(QAccessible::Name), button->Caption());
    }
  }

  // Screen readers announce the reading mode by its caption, as a check
  // box, with what it does; Tab reaches it.
  void readingModeBoxIsAccessible() {
    auto* box = window_->findChild<QCheckBox*>(QStringLiteral("chkLayout"));
    QVERIFY(box != nullptr);
    QVERIFY(box->focusPolicy() & Qt::TabFocus);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(box);
    QVERIFY(face != nullptr);
    QCOMPARE(face->role(), QAccessible::CheckBox);
    QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Reading mode - as a browser shows it"));
    QVERIFY(face->text(QAccessible::Description).contains(QStringLiteral("as a browser shows it")));
    QCOMPARE(box->toolTip(), face->text(QAccessible::Description));
    QVERIFY(!face->state().checked);
  }

  void loadHandlerInitialisesEveryButton() {
    const QList<Command*> buttons = window_->findChildren<Command*>();
    QCOMPARE(buttons.size(), 5);
    for (Command* button : buttons) {
      QCOMPARE(button->State(), ButtonState::StateNormal);
      QVERIFY(button->TmrMouse()->isActive());
      QCOMPARE(button->TmrMouse()->interval(), 100);
    }
  }

 private:
  ProcessState state_;
  testing::MemorySettingsStore settings_;
  std::unique_ptr<frmMain> window_;
};

QTEST_MAIN(LayoutTest)
#include "frm_main_layout_test.moc"
