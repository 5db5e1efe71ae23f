// The message boxes and the file dialogs, answered by timers queued before
// they open, and the shell's targets.

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <utility>

#include "ui/file_chooser.h"
#include "ui/qt_prompter.h"
#include "ui/shell_open.h"

using namespace sievetext;

namespace {

// Runs `answer` on the next modal widget as soon as it is open.
void WhenModalOpens(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, answer = std::move(answer)] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      answer(modal);
    }
  });
  timer->start();
}

QString WriteFile(const QDir& dir, const QString& name) {
  QFile file(dir.filePath(name));
  if (!file.open(QIODevice::WriteOnly)) return {};
  file.write("x");
  return file.fileName();
}

// Types a name into a file dialog and presses its accept button.
void TypeAndAccept(QWidget* modal, const QString& name) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  QVERIFY(dialog != nullptr);
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(edit != nullptr);
  edit->setText(name);
  static_cast<QDialog*>(dialog)->accept();  // runs the file dialog's own accept
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void messageBoxHasNoIconAndTheProgramsCaption() {
    QWidget owner;
    QtPrompter prompter(&owner);
    QString text, caption;
    QMessageBox::Icon icon = QMessageBox::Information;
    QList<QAbstractButton*> buttons;
    WhenModalOpens([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      text = box->text();
      caption = box->windowTitle();
      icon = box->icon();
      buttons = box->buttons();
      box->button(QMessageBox::Ok)->click();
    });
    prompter.say("Input file is missing");
    QCOMPARE(text, QStringLiteral("Input file is missing"));
    QCOMPARE(caption, QStringLiteral("Sievetext"));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons.size(), 1);
  }

  void messagesAreNeverReadAsMarkup() {
    QWidget owner;
    QtPrompter prompter(&owner);
    Qt::TextFormat format = Qt::RichText;
    WhenModalOpens([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      format = box->textFormat();
      box->button(QMessageBox::Ok)->click();
    });
    prompter.say("RemoveHTML: Error 2: <b>not</b> found");
    QCOMPARE(format, Qt::PlainText);
  }

  void questionIsTrueOnlyForOk_data() {
    QTest::addColumn<int>("answer");  // 0 OK, 1 Cancel, 2 Escape
    QTest::addColumn<bool>("expected");
    QTest::newRow("OK") << 0 << true;
    QTest::newRow("Cancel") << 1 << false;
    QTest::newRow("Escape") << 2 << false;
  }
  void questionIsTrueOnlyForOk() {
    QFETCH(int, answer);
    QFETCH(bool, expected);
    QWidget owner;
    QtPrompter prompter(&owner);
    int buttonCount = 0;
    WhenModalOpens([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      buttonCount = int(box->buttons().size());
      if (answer == 0) box->button(QMessageBox::Ok)->click();
      if (answer == 1) box->button(QMessageBox::Cancel)->click();
      if (answer == 2) QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(prompter.confirm("Output file already exists, overwrite?"), expected);
    QCOMPARE(buttonCount, 2);
  }

  void dialogsAreSetUpForTheirJob() {
    auto input = MakeInputDialog(nullptr);
    QCOMPARE(input->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(input->fileMode(), QFileDialog::AnyFile);
    QCOMPARE(input->nameFilters(),
             QStringList({"HTML files (*.html)", "HTM Files (*.htm)", "All files (*)"}));
    QCOMPARE(input->selectedNameFilter(), QStringLiteral("HTML files (*.html)"));
    QVERIFY(input->defaultSuffix().isEmpty());

    auto output = MakeOutputDialog(nullptr);
    QCOMPARE(output->acceptMode(), QFileDialog::AcceptSave);
    QVERIFY(output->testOption(QFileDialog::DontConfirmOverwrite));
    QCOMPARE(output->nameFilters(), QStringList({"Text files (*.txt)", "All files (*)"}));
    QVERIFY(output->defaultSuffix().isEmpty());
  }

  void inputDialogTakesAFileThatDoesNotExist() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("not-there.htm"));
    WhenModalOpens([&](QWidget* modal) { TypeAndAccept(modal, missing); });
    QWidget owner;
    DialogFileChooser chooser(&owner);
    const std::optional<std::string> chosen = chooser.chooseInput();
    QVERIFY(chosen.has_value());
    QCOMPARE(QString::fromStdString(*chosen), missing);
  }

  void outputDialogTakesAnExistingNameAsTypedWithoutAsking() {
    QTemporaryDir dir;
    const QString existing = WriteFile(QDir(dir.path()), QStringLiteral("result"));
    int modalsSeen = 0;
    WhenModalOpens([&](QWidget* modal) {
      ++modalsSeen;
      TypeAndAccept(modal, existing);
    });
    QWidget owner;
    DialogFileChooser chooser(&owner);
    const std::optional<std::string> chosen = chooser.chooseOutput();
    QVERIFY(chosen.has_value());
    // No extension added, no question asked.
    QCOMPARE(QString::fromStdString(*chosen), existing);
    QCOMPARE(modalsSeen, 1);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  void cancelGivesNoChoice() {
    WhenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    QWidget owner;
    DialogFileChooser chooser(&owner);
    QVERIFY(!chooser.chooseOutput().has_value());
  }

  void shellTargets_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("url");
    QTest::newRow("read-me") << "/opt/sievetext/readme.txt"
                             << "file:///opt/sievetext/readme.txt";
    QTest::newRow("space in path") << "/tmp/my files/readme.txt"
                                   << "file:///tmp/my files/readme.txt";
    QTest::newRow("hash in path") << "/tmp/a#b.txt"
                                  << "file:///tmp/a%23b.txt";
    QTest::newRow("web") << "https://wexa.example.com/sievetext/"
                         << "https://wexa.example.com/sievetext/";
    QTest::newRow("relative file") << "readme.txt"
                                   << "file:readme.txt";
  }
  void shellTargets() {
    QFETCH(QString, target);
    QFETCH(QString, url);
    QCOMPARE(ShellTarget(target.toStdString()).toString(QUrl::FullyEncoded),
             QUrl(url).toString(QUrl::FullyEncoded));
  }

  // The desktop's opener is found on the PATH; a stand-in records what it is
  // given and ends with the status the test chooses.
  void shellOpenReportsOnlyFailures() {
    QTemporaryDir work;
    const QDir dir(work.path());
    QFile opener(dir.filePath("xdg-open"));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    // The status is read before anything is recorded, so once a target shows
    // up in "asked" a new status no longer changes how that opening ends.
    opener.write(
        "#!/bin/sh\ncode=$(cat \"$(dirname \"$0\")/status\")\n"
        "printf '%s\\n' \"$1\" >>\"$(dirname \"$0\")/asked\"\nexit \"$code\"\n");
    opener.close();
    QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toLocal8Bit() + ":" + path);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });
    auto status = [&](const char* code) {
      QFile file(dir.filePath("status"));
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(code);
    };
    auto asked = [&] {  // in any order: each opening runs on its own
      QFile file(dir.filePath("asked"));
      if (!file.open(QIODevice::ReadOnly)) return QStringList();
      QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
      lines.sort();
      return lines;
    };
    const QString readme = WriteFile(dir, "readme.txt");
    int failures = 0;
    auto count = [&] { ++failures; };

    status("0");
    ShellOpen(readme.toStdString(), count);
    ShellOpen("https://wexa.example.com/sievetext/", count);
    QTRY_COMPARE(asked(), (QStringList{readme, "https://wexa.example.com/sievetext/"}));
    QTest::qWait(200);
    QCOMPARE(failures, 0);

    status("3");  // the opener found nothing to open it with
    ShellOpen(readme.toStdString(), count);
    QTRY_COMPARE(failures, 1);

    // A missing file fails at once, without asking the desktop.
    ShellOpen(dir.filePath("gone.txt").toStdString(), count);
    QCOMPARE(failures, 2);
    QCOMPARE(asked().size(), 3);
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
