// Closing the window while a long output is being written: the process ends
// at the write's next yield with the options saved, the old output as it was
// and no temporary file left. The closing runs in a child process, since it
// really ends the process.

#include <QCheckBox>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

#include "controls/command.h"
#include "ui/frmMain.h"
#include "job/ini_settings_store.h"
#include "job/option_transfer.h"
#include "job/remove_html.h"

using namespace sievetext;

namespace {

constexpr const char* kChildSwitch = "--close-during-write";

// Longer than one stretch between two yields of the write, as text and as
// output: the conversion leaves plain words as they are.
constexpr qsizetype kInputBytes = qsizetype{40} << 20;

class EchoPrompter final : public Prompter {
 public:
  void say(const std::string& message) override { echo(message); }
  bool confirm(const std::string& message) override {
    echo(message);
    return true;
  }

 private:
  static void echo(const std::string& message) {
    std::printf("%s\n", message.c_str());
    std::fflush(stdout);
  }
};

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList hiddenIn(const QString& folder) {
  return QDir(folder).entryList(QDir::Hidden | QDir::Files | QDir::System | QDir::NoDotAndDotDot)
      .filter(QRegularExpression(QStringLiteral("^\\.")));
}

// The child: converts the files in `folder` with the real job and closes the
// window at the first yield that finds the output being written (a hidden
// file in the folder), with the real ending of the process. Returning from
// here means the process did not end.
int closeDuringWrite(const QString& folder) {
  ProcessState state;
  state.sAppPath = folder.toStdString() + "/";
  state.oRemover = std::make_unique<cSievetext>();
  state.sInputFile = (folder + "/in.html").toStdString();
  state.sOutputFile = (folder + "/out.txt").toStdString();
  IniSettingsStore store((folder + "/WexaSievetext.ini").toStdString());
  frmMain window(state, store);
  EchoPrompter prompter;
  window.setPrompter(prompter);
  LoadOptions(store, window.optionBoxes());
  window.findChild<QCheckBox*>("chkRemoveTabs")->setChecked(false);
  window.show();
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, &window, [&] {
    if (!hiddenIn(folder).isEmpty()) window.close();
  });
  watch.start();
  emit window.findChild<Command*>("cmdRemoveHTML")->Click();
  return 3;
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
      for (qsizetype written = 0; written < kInputBytes; written += chunk.size()) input.write(chunk);
    }
    {
      QFile output(work.filePath("out.txt"));
      QVERIFY(output.open(QIODevice::WriteOnly));
      output.write("old output");
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {kChildSwitch, work.path()});
    QVERIFY(child.waitForFinished(300000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    // Asked about the output, then closed: no "Done".
    QCOMPARE(child.readAllStandardOutput(), QByteArray(kOverwriteQuestion) + "\n");
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(readAll(work.filePath("out.txt")), QByteArray("old output"));
    QCOMPARE(hiddenIn(work.path()), QStringList());
    const QString saved = QString::fromUtf8(readAll(work.filePath("WexaSievetext.ini")));
    QVERIFY2(saved.contains("RemoveTabs=False"), qPrintable(saved));
    QCOMPARE(saved.count(QStringLiteral("=True")), 10);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && qstrcmp(argv[1], kChildSwitch) == 0) {
    return closeDuringWrite(QString::fromLocal8Bit(argv[2]));
  }
  CloseDuringWriteTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "close_during_write_test.moc"
