// Every letter of a caption stays legible: drawn unsmoothed at small sizes,
// a letter must not be pulled into its neighbour's place (a kerned "i" under
// an "F" lost its dot, and "File" read "Fle"). Run once at the normal scale
// and once with QT_SCALE_FACTOR=2.

#include <QApplication>
#include <QPainter>
#include <QTest>

#include "controls/caption_layout.h"
#include "controls/command.h"

using namespace sievetext;

namespace {

// The main window's buttons: their font, sizes and captions.
QFont ButtonFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSizeF(8.25);
  return font;
}

bool IsInk(QRgb pixel) { return (pixel & 0xFFFFFF) == 0; }  // the caption is black

}  // namespace

class tst_CommandCaption : public QObject {
  Q_OBJECT

 private slots:
  void eachLetterInkInItsOwnColumns_data();
  void eachLetterInkInItsOwnColumns();
};

void tst_CommandCaption::eachLetterInkInItsOwnColumns_data() {
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QSize>("size");
  QTest::newRow("Select Input File") << "Select Input File" << QSize(141, 35);
  QTest::newRow("Select Output File") << "Select Output File" << QSize(141, 35);
  QTest::newRow("Remove HTML") << "Remove HTML" << QSize(141, 51);
  QTest::newRow("Readme.txt") << "Readme.txt" << QSize(139, 33);
  QTest::newRow("Visit Website") << "Visit Website" << QSize(139, 35);
  // Letters that kern in many fonts.
  QTest::newRow("pairs") << "AV To Fi Ty We" << QSize(141, 35);
}

void tst_CommandCaption::eachLetterInkInItsOwnColumns() {
  QFETCH(QString, caption);
  QFETCH(QSize, size);
  QWidget window;
  auto* button = new Command(&window);
  button->resize(size);
  button->SetFont(ButtonFont());
  button->SetCaption(caption);

  // What reaches the screen, sampled back to the button's own pixels.
  const QImage shown = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const int scale = shown.width() / size.width();
  QCOMPARE(shown.size(), size * scale);
  if (qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2) QCOMPARE(scale, 2);
  auto ink = [&](int x, int y) { return IsInk(shown.pixel(x * scale, y * scale)); };

  // Each letter's cell is its advance: the columns from its own start to the
  // next letter's start on a one-line caption centred in the button.
  const QFont font = CaptionFont(ButtonFont());
  const QImage probe(size, QImage::Format_RGB32);
  const QFontMetrics metrics(font, &probe);
  QVERIFY(metrics.horizontalAdvance(caption) <= size.width() - 8);
  const int left = 4 + (size.width() - 8 - metrics.horizontalAdvance(caption)) / 2;
  const int baseline = CaptionTop(size.height(), metrics.height()) + metrics.ascent();

  for (int i = 0; i < caption.size(); ++i) {
    if (caption[i] == u' ') continue;
    const int start = left + metrics.horizontalAdvance(caption.left(i));
    const int end = left + metrics.horizontalAdvance(caption.left(i + 1));
    // The letter drawn alone at the start of its cell.
    QImage alone(size, QImage::Format_RGB32);
    alone.fill(Qt::white);
    {
      QPainter painter(&alone);
      painter.setRenderHint(QPainter::TextAntialiasing, false);
      painter.setFont(font);
      painter.setPen(Qt::black);
      painter.drawText(QPoint(start, baseline), QString(caption[i]));
    }
    int inkInCell = 0;
    for (int y = 0; y < size.height(); ++y) {
      for (int x = 0; x < size.width(); ++x) {
        const bool mine = IsInk(alone.pixel(x, y));
        if (mine) {
          QVERIFY2(ink(x, y), qPrintable(QStringLiteral("letter %1 (\"%2\") lost its pixel %3,%4")
                                             .arg(i)
                                             .arg(caption[i])
                                             .arg(x)
                                             .arg(y)));
        }
        if (x >= start && x < end) {
          inkInCell += mine;
          QVERIFY2(ink(x, y) == mine,
                   qPrintable(QStringLiteral("cell of letter %1 (\"%2\") differs at %3,%4")
                                  .arg(i)
                                  .arg(caption[i])
                                  .arg(x)
                                  .arg(y)));
        }
      }
    }
    QVERIFY2(inkInCell > 0, qPrintable(QStringLiteral("letter %1 has no ink in its cell").arg(i)));
  }
}

QTEST_MAIN(tst_CommandCaption)
#include "tst_command_caption.moc"
