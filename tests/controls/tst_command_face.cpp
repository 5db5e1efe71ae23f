// How the button's face is painted: frame pieces copied and stretched from
// the face picture, the gradient, the caption with its access key, and the
// dotted focus rectangle. Pixels are read from the persistent image (and the
// image as shown, for the focus lines).

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QTest>
#include <set>

#include "controls/caption_layout.h"
#include "controls/command.h"
#include "controls/face_gradient.h"
#include "controls/face_pictures.h"
#include "controls/frame_geometry.h"

using namespace sievetext;

namespace {

QRgb Inverted(QRgb c) { return qRgb(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c)); }

void Send(Command& button, QEvent::Type type) {
  if (type == QEvent::MouseMove) {
    QMouseEvent e(type, QPointF(5, 5), button.mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&button, &e);
  } else {
    QFocusEvent e(type, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&button, &e);
  }
}

// A button of the given size, painted with `caption`.
void Prepare(Command& button, QSize size, const QString& caption) {
  button.resize(size);
  button.SetCaption(caption);
  QCOMPARE(button.image().size(), size);
}

// Pixels where two images differ.
QList<QPoint> Differences(const QImage& a, const QImage& b) {
  QList<QPoint> found;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) found << QPoint(x, y);
  return found;
}

QFont CaptionFont() {
  QFont font("DejaVu Sans");
  font.setPixelSize(12);
  return font;
}

}  // namespace

class tst_CommandFace : public QObject {
  Q_OBJECT

 private slots:
  void facePicturesLoad();
  void cornersAreCopiedAndCentreIsGradient();
  void edgesAreStretchedFromTheirSourcePieces();
  void oversizedAndTinyButtons();
  void gradientRows_data();
  void gradientRows();
  void gradientDirectionFollowsState();
  void captionColourEnabledAndDisabled();
  void focusLinesInvertDottedPixels();
  void accessKeysOfCaptions_data();
  void accessKeysOfCaptions();
  void accessMarkUnderlinesOneLetter();
  void accessKeyStaysWhenCaptionLosesItsMark();
  void captionTopRoundsHalfToEven_data();
  void captionTopRoundsHalfToEven();
  void captionWrapsBetweenWords();
  void captionIsClippedToItsRectangle();
};

void tst_CommandFace::facePicturesLoad() {
  std::set<size_t> looks;
  for (int i = 0; i < kFacePictureCount; ++i) {
    const QImage picture = LoadFacePicture(static_cast<FacePicture>(i));
    QCOMPARE(picture.size(), QSize(64, 25));
    looks.insert(qHashBits(picture.constBits(), static_cast<size_t>(picture.sizeInBytes())));
  }
  QCOMPARE(looks.size(), std::size_t(kFacePictureCount));  // six different pictures
  QCOMPARE(QColor(LoadFacePicture(FacePicture::Normal).pixel(0, 12)), QColor(0, 60, 116));
  QCOMPARE(QColor(LoadFacePicture(FacePicture::Disable).pixel(0, 12)), QColor(201, 199, 186));
}

void tst_CommandFace::cornersAreCopiedAndCentreIsGradient() {
  // 2115 x 765 twips.
  Command button;
  Prepare(button, QSize(141, 51), QString());
  const QImage face = button.image();
  const QImage picture = LoadFacePicture(FacePicture::Normal);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      QCOMPARE(face.pixel(x, y), picture.pixel(x, y));
      QCOMPARE(face.pixel(137 + x, y), picture.pixel(60 + x, y));
      QCOMPARE(face.pixel(137 + x, 47 + y), picture.pixel(60 + x, 21 + y));
      QCOMPARE(face.pixel(x, 47 + y), picture.pixel(x, 21 + y));
    }
  }
  QImage gradient(141, 51, QImage::Format_ARGB32_Premultiplied);
  gradient.fill(Qt::black);
  DrawGradient(gradient, false);
  QCOMPARE(face.copy(4, 4, 133, 43), gradient.copy(4, 4, 133, 43));
}

void tst_CommandFace::edgesAreStretchedFromTheirSourcePieces() {
  // A picture whose every pixel tells where it came from.
  QImage picture(64, 25, QImage::Format_RGB32);
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 64; ++x) picture.setPixel(x, y, qRgb(x * 3, y * 10, 7));
  QImage face(141, 51, QImage::Format_ARGB32_Premultiplied);
  face.fill(Qt::white);
  PaintFrame(face, picture, NextFrameSizes({}, face.width(), face.height()));
  const auto sourceOf = [&](int x, int y) {
    const QRgb c = face.pixel(x, y);
    return QPoint(qRed(c) / 3, qGreen(c) / 10);
  };

  // Top and bottom edges: 56 columns stretched over 133, rows unscaled.
  for (const auto& [targetY, sourceY] : {std::pair{0, 0}, std::pair{47, 21}}) {
    for (int row = 0; row < 4; ++row) {
      QList<int> columns;
      for (int x = 4; x < 137; ++x) {
        const QPoint from = sourceOf(x, targetY + row);
        QCOMPARE(from.y(), sourceY + row);
        if (columns.isEmpty() || columns.last() != from.x()) columns << from.x();
      }
      QCOMPARE(columns.size(), 56);  // every source column, in order, none skipped
      QCOMPARE(columns.first(), 4);
      QCOMPARE(columns.last(), 59);
    }
  }
  // Side edges: 17 rows stretched over 43, columns unscaled.
  for (const auto& [targetX, sourceX] : {std::pair{0, 0}, std::pair{137, 60}}) {
    for (int column = 0; column < 4; ++column) {
      QList<int> rows;
      for (int y = 4; y < 47; ++y) {
        const QPoint from = sourceOf(targetX + column, y);
        QCOMPARE(from.x(), sourceX + column);
        if (rows.isEmpty() || rows.last() != from.y()) rows << from.y();
      }
      QCOMPARE(rows.size(), 17);
      QCOMPARE(rows.first(), 4);
      QCOMPARE(rows.last(), 20);
    }
  }
  // The centre gets no piece.
  QCOMPARE(face.copy(4, 4, 133, 43), [] {
    QImage white(133, 43, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    return white;
  }());
}

void tst_CommandFace::oversizedAndTinyButtons() {
  // Wider than 32,767 twips: the sizes taken from the width cannot be worked
  // out, so the right-hand pieces stay where the previous paint put them
  // (x = 141 - 4 for a button first painted 141 pixels wide), while the
  // height still counts.
  Command wide;
  Prepare(wide, QSize(141, 30), QString());
  wide.resize(2200, 40);
  wide.SetCaption(QString());
  const QImage picture = LoadFacePicture(FacePicture::Normal);
  for (int x = 0; x < 4; ++x) {
    QCOMPARE(wide.image().pixel(137 + x, 1), picture.pixel(60 + x, 1));
    QCOMPARE(wide.image().pixel(137 + x, 37), picture.pixel(60 + x, 22));
  }
  // Where the full width would put the corner, the gradient shows instead.
  QCOMPARE(wide.image().pixel(2197, 2), wide.image().pixel(1000, 2));
  // The sizes are unit arithmetic on the previous values, side by side.
  const FrameSizes kept = NextFrameSizes({1, 2, 3, 4}, 2185, 2184);
  QCOMPARE(kept.widthLess120, 1);
  QCOMPARE(kept.widthLess60, 2);
  QCOMPARE(kept.heightLess120, 2184 * 15 - 120);
  QCOMPARE(kept.heightLess60, 2184 * 15 - 60);
  // Too small for edges or a caption rectangle: painted without them.
  Command tiny;
  Prepare(tiny, QSize(6, 5), "Remove HTML");
  tiny.setFocus();
  Send(tiny, QEvent::FocusIn);
  QCOMPARE(tiny.shownImage().size(), QSize(6, 5));
  Command empty;
  Prepare(empty, QSize(0, 0), "x");
}

void tst_CommandFace::gradientRows_data() {
  QTest::addColumn<bool>("inverted");
  QTest::addColumn<QColor>("top");
  QTest::addColumn<QColor>("bottom");
  QTest::newRow("light at the top") << false << QColor(255, 255, 255) << QColor(198, 197, 215);
  QTest::newRow("dark at the top") << true << QColor(198, 197, 215) << QColor(255, 255, 255);
}

void tst_CommandFace::gradientRows() {
  QFETCH(bool, inverted);
  QFETCH(QColor, top);
  QFETCH(QColor, bottom);
  QImage image(10, 9, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::magenta);
  DrawGradient(image, inverted);
  for (int x = 0; x < 9; ++x) {
    QCOMPARE(QColor(image.pixel(x, 0)), top);
    QCOMPARE(QColor(image.pixel(x, 7)), bottom);
    QCOMPARE(QColor(image.pixel(x, 8)), QColor(Qt::magenta));  // bottom row left alone
  }
  for (int y = 0; y < 9; ++y) QCOMPARE(QColor(image.pixel(9, y)), QColor(Qt::magenta));
  // Each channel moves steadily between the two.
  for (int y = 1; y < 8; ++y) {
    const int step = qBlue(image.pixel(0, y)) - qBlue(image.pixel(0, y - 1));
    QVERIFY(inverted ? step >= 0 : step <= 0);
  }
  const GradientColour dark = ParseGradientConstant(kGradientDark);
  QCOMPARE(dark.red, 0xC600);
  QCOMPARE(dark.green, 0xC500);
  QCOMPARE(dark.blue, 0xD700);
}

void tst_CommandFace::gradientDirectionFollowsState() {
  const auto lightOnTop = [](const Command& b) {
    return qRed(b.image().pixel(20, 4)) > qRed(b.image().pixel(20, b.height() - 6));
  };
  // Focus arriving on an idle button, then the pointer: light stays on top.
  Command a;
  Prepare(a, QSize(141, 51), QString());
  a.Initialize();
  Send(a, QEvent::MouseMove);
  QVERIFY(a.GradientInverted());
  QVERIFY(!lightOnTop(a));
  Send(a, QEvent::FocusOut);
  QVERIFY(lightOnTop(a));
  Send(a, QEvent::FocusIn);
  Send(a, QEvent::MouseMove);
  QCOMPARE(a.State(), ButtonState::StateHighLightSelect);
  QVERIFY(lightOnTop(a));
  // Focus arriving while highlighted: dark stays on top.
  Command b;
  Prepare(b, QSize(141, 51), QString());
  b.Initialize();
  Send(b, QEvent::MouseMove);
  Send(b, QEvent::FocusIn);
  QCOMPARE(b.State(), ButtonState::StateHighLightSelect);
  QVERIFY(!lightOnTop(b));
  // Disabling keeps the direction of the last enabled paint.
  b.SetEnabled(false);
  QVERIFY(!lightOnTop(b));
}

void tst_CommandFace::captionColourEnabledAndDisabled() {
  for (const bool enabled : {true, false}) {
    Command button;
    button.SetFont(CaptionFont());
    button.SetFontColour(0x0000FF);  // red
    button.SetEnabled(enabled);
    Prepare(button, QSize(141, 35), QString());
    const QImage blank = button.image();
    button.SetCaption("MWM");
    const QList<QPoint> letters = Differences(blank, button.image());
    QVERIFY(letters.size() > 20);
    const QColor expected = enabled ? QColor(255, 0, 0) : QColor(192, 192, 192);
    for (const QPoint& p : letters) QCOMPARE(QColor(button.image().pixel(p)), expected);
  }
}

void tst_CommandFace::focusLinesInvertDottedPixels() {
  QWidget window;
  Command* button = new Command(&window);
  button->move(10, 10);
  Prepare(*button, QSize(41, 20), QString());
  button->Initialize();
  QCOMPARE(button->shownImage(), button->image());
  window.show();
  QApplication::setActiveWindow(&window);
  QVERIFY(QTest::qWaitForWindowActive(&window));
  button->setFocus();
  QCOMPARE(button->State(), ButtonState::StateSelected);

  const QImage face = button->image();
  const QImage shown = button->shownImage();
  const int w = 41, h = 20;
  std::set<std::pair<int, int>> dots;
  for (int y = 4; y < h - 4; y += 2) dots.insert({4, y}), dots.insert({w - 5, y});
  for (int x = 4; x < w - 4; x += 2) dots.insert({x, 4}), dots.insert({x, h - 5});
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const QRgb want = dots.count({x, y}) ? Inverted(face.pixel(x, y)) : face.pixel(x, y);
      QCOMPARE(shown.pixel(x, y), want);
    }
  }
  // What reaches the screen is the face with the lines.
  QTRY_COMPARE(button->grab().toImage().convertToFormat(QImage::Format_RGB32),
               shown.convertToFormat(QImage::Format_RGB32));

  // Shown in StateHighLightSelect too, hidden in the other states.
  Send(*button, QEvent::MouseMove);
  QCOMPARE(button->State(), ButtonState::StateHighLightSelect);
  QVERIFY(button->focusLinesShown());
  Send(*button, QEvent::FocusOut);
  QVERIFY(!button->focusLinesShown());
  Send(*button, QEvent::MouseMove);
  QCOMPARE(button->State(), ButtonState::StateHighLight);
  QVERIFY(!button->focusLinesShown());
  button->SetEnabled(false);
  QVERIFY(!button->focusLinesShown());
}

void tst_CommandFace::accessKeysOfCaptions_data() {
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<QString>("key");
  QTest::newRow("letter") << "Re&move"
                          << "Remove"
                          << "m";
  QTest::newRow("mark at the end") << "Save&"
                                   << "Save"
                                   << "";
  QTest::newRow("doubled mark") << "A&&B"
                                << "A&B"
                                << "&";
  QTest::newRow("first mark counts") << "&Open &Close"
                                     << "Open Close"
                                     << "O";
}

void tst_CommandFace::accessKeysOfCaptions() {
  QFETCH(QString, caption);
  QFETCH(QString, shown);
  QFETCH(QString, key);
  QCOMPARE(ResolveAccessMarks(caption).text, shown);
  Command button;
  button.SetCaption("X&y");  // some other key first: it must be replaced
  button.SetCaption(caption);
  QCOMPARE(button.accessKeys(), key);
  // The marks change nothing else of the face than the underline.
  Command plain;
  plain.SetCaption(QString(shown).replace("&", "&&"));
  const QList<QPoint> diff = Differences(plain.image(), button.image());
  if (ResolveAccessMarks(caption).underlined.empty()) QVERIFY(diff.isEmpty());
}

void tst_CommandFace::accessMarkUnderlinesOneLetter() {
  Command marked, plain;
  for (Command* b : {&marked, &plain}) {
    b->SetFont(CaptionFont());
    b->resize(141, 35);
  }
  marked.SetCaption("Re&move");
  plain.SetCaption("Remove");
  const QList<QPoint> diff = Differences(plain.image(), marked.image());
  QVERIFY(!diff.isEmpty());
  QFont sharp = CaptionFont();
  sharp.setStyleStrategy(QFont::NoAntialias);
  const QFontMetrics metrics(sharp, &marked.image());
  const int left =
      4 + (133 - metrics.horizontalAdvance("Remove")) / 2 + metrics.horizontalAdvance("Re");
  const int right = left + metrics.horizontalAdvance("m");
  const int baseline = CaptionTop(35, metrics.height()) + metrics.ascent();
  for (const QPoint& p : diff) {
    QVERIFY2(p.x() >= left && p.x() < right, qPrintable(QString::number(p.x())));
    QVERIFY(p.y() > baseline - 1 && p.y() <= baseline + metrics.descent());
    QCOMPARE(QColor(marked.image().pixel(p)), QColor(Qt::black));
  }
}

void tst_CommandFace::accessKeyStaysWhenCaptionLosesItsMark() {
  Command button;
  button.SetCaption("&Open");
  QCOMPARE(button.accessKeys(), QString("O"));
  button.SetCaption("Open");
  QCOMPARE(button.accessKeys(), QString("O"));
  button.SetEnabled(false);
  QCOMPARE(button.accessKeys(), QString());
}

void tst_CommandFace::captionTopRoundsHalfToEven_data() {
  QTest::addColumn<int>("height");
  QTest::addColumn<int>("block");
  QTest::addColumn<int>("top");
  QTest::newRow("even remainder") << 28 << 14 << 7;
  QTest::newRow("5.5 goes up to 6") << 25 << 14 << 6;
  QTest::newRow("6.5 goes down to 6") << 27 << 14 << 6;
  QTest::newRow("taller block, -1.5 gives -2") << 11 << 14 << -2;
  QTest::newRow("taller block, -2.5 gives -2") << 9 << 14 << -2;
  QTest::newRow("no lines") << 28 << 0 << 14;
}

void tst_CommandFace::captionTopRoundsHalfToEven() {
  QFETCH(int, height);
  QFETCH(int, block);
  QFETCH(int, top);
  QCOMPARE(CaptionTop(height, block), top);
}

void tst_CommandFace::captionWrapsBetweenWords() {
  QImage device(10, 10, QImage::Format_ARGB32_Premultiplied);
  const QFontMetrics metrics(CaptionFont(), &device);
  const QString text = "Select Input File";
  const int width = metrics.horizontalAdvance("Select Input") - 1;
  const auto lines = WrapCaption(text, metrics, width);
  QStringList got;
  for (const CaptionLine& line : lines) got << text.mid(line.start, line.length);
  QCOMPARE(got, QStringList({"Select", "Input File"}));

  const auto one = WrapCaption("Remove HTML", metrics, 1000);
  QCOMPARE(one.size(), std::size_t(1));
  const auto longWord = WrapCaption("Readme.txt now", metrics, 5);
  QCOMPARE(longWord.size(), std::size_t(2));  // a word too wide keeps its own line
  QCOMPARE(WrapCaption("a\r\nb\nc", metrics, 1000).size(), std::size_t(3));
  QVERIFY(WrapCaption("", metrics, 1000).empty());
}

void tst_CommandFace::captionIsClippedToItsRectangle() {
  Command blank, tall;
  for (Command* b : {&blank, &tall}) {
    b->SetFont(CaptionFont());
    b->resize(60, 20);
  }
  blank.SetCaption(QString());
  tall.SetCaption("WWWWWWWWWW one two three four five six");
  const QList<QPoint> diff = Differences(blank.image(), tall.image());
  QVERIFY(!diff.isEmpty());
  for (const QPoint& p : diff) QVERIFY(p.x() >= 4 && p.x() < 56);
}

QTEST_MAIN(tst_CommandFace)
#include "tst_command_face.moc"
