// Closing the window while a long output is being written: the process ends
// at the write's next yield with the options saved, the old output as it was
// and no temporary file left. The closing runs in a child process, since it
// really ends the process.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/ui/close_in_child.h"

using namespace sievetext;

namespace {

constexpr const char* kChildSwitch = "--close-during-write";

// Longer than one stretch between two yields of the write, as text and as
// output: the conversion leaves plain words as they are.
constexpr qsizetype kInputBytes = qsizetype{40} << 20;

QStringList HiddenIn(const QString& folder) {
  return QDir(folder)
      .entryList(QDir::Hidden | QDir::Files | QDir::System | QDir::NoDotAndDotDot)
      .filter(QRegularExpression(QStringLiteral("^\\.")));
}

// The child: converts the files in `folder` with the real job and closes the
// window at the first yield that finds the output being written (a hidden
// file in the folder).
int CloseDuringWrite(const QString& folder) {
  return testing::ConvertAndClose(folder, {"chkRemoveTabs"}, [&folder](frmMain& window) {
    auto* watch = new QTimer(&window);
    watch->setInterval(0);
    QObject::connect(watch, &QTimer::timeout, &window, [&window, folder] {
      if (!HiddenIn(folder).isEmpty()) window.close();
    });
    watch->start();
  });
}

}  // namespace

class CloseDuringWriteTest : public QObject {
  Q_OBJECT

 private slots:
  void closingWhileTheOutputIsWrittenLeavesTheOldOutput() {
    QTemporaryDir work;
    QVERIFY(work.isValid());
    {
      QFile input(work.filePath("in.html"));
      QVERIFY(input.open(QIODevice::WriteOnly));
      const QByteArray words("words and ");
      QByteArray chunk;
      while (chunk.size() < (1 << 20)) chunk += words;
      for (qsizetype written = 0; written < kInputBytes; written += chunk.size())
        input.write(chunk);
    }
    const QString saved = testing::CloseInChild(kChildSwitch, work.path(), 300000);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(HiddenIn(work.path()), QStringList());
    QVERIFY2(saved.contains("RemoveTabs=False"), qPrintable(saved));
    QCOMPARE(saved.count(QStringLiteral("=True")), 10);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && qstrcmp(argv[1], kChildSwitch) == 0) {
    return CloseDuringWrite(QString::fromLocal8Bit(argv[2]));
  }
  CloseDuringWriteTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "close_during_write_test.moc"
