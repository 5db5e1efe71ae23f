// What the main window does: options in and out of the settings store, the
// conversion job's messages, the file choosers, the read-me and web-site
// buttons, the guard against a second conversion, and closing.

#include <QCheckBox>
#include <QDialog>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>
#include <deque>
#include <optional>

#include "controls/command.h"
#include "job/remove_html.h"
#include "platform/file_system.h"
#include "settings/ini_settings_store.h"
#include "settings/option_transfer.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompter.h"
#include "tests/ui/close_in_child.h"
#include "ui/frmMain.h"
#include "ui/shell_open.h"

using namespace sievetext;

namespace {

// Hands out scripted choices; nullopt is a cancelled dialog.
class FakeChooser final : public FileChooser {
 public:
  std::optional<std::string> chooseInput() override { return next(); }
  std::optional<std::string> chooseOutput() override { return next(); }
  std::deque<std::optional<std::string>> choices;

 private:
  std::optional<std::string> next() {
    if (choices.empty()) return std::nullopt;
    auto choice = choices.front();
    choices.pop_front();
    return choice;
  }
};

// The real files, with one yield after the input has been read: the point
// where a long conversion would be running inside the engine.
class YieldingFileSystem final : public FileSystem {
 public:
  explicit YieldingFileSystem(cSievetext& engine) : engine_(engine) {}
  FileKind kind(const std::string& path) override { return real_.kind(path); }
  int size(const std::string& path, std::uint64_t& bytes) override {
    return real_.size(path, bytes);
  }
  int read(const std::string& path, const ByteSink& use) override {
    const int error = real_.read(path, use);
    if (engine_.yield) engine_.yield();
    return error;
  }
  int replace(const std::string& path, const ByteSource& next) override {
    return real_.replace(path, next);
  }

 private:
  PosixFileSystem real_;
  cSievetext& engine_;
};

void RunYieldingJob(ProcessState& state, OptionBoxes& boxes, Prompter& prompter) {
  YieldingFileSystem files(*state.oRemover);
  const OptionValues options = ReadOptions(boxes);
  JobContext ctx{*state.oRemover, options, files, prompter};
  (void)RemoveHTML({state.sInputFile, state.sOutputFile, state.layout}, ctx);
}

using testing::ReadAll;

// A message box, as far as the window can tell: `open` runs while it is up.
class BoxPrompter final : public Prompter {
 public:
  explicit BoxPrompter(std::function<void()> open) : open_(std::move(open)) {}
  void say(const std::string&) override {
    ++shown;
    open_();
  }
  bool confirm(const std::string&) override {
    ++shown;
    open_();
    return false;
  }
  int shown = 0;

 private:
  std::function<void()> open_;
};

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

void Click(frmMain& window, const char* name) {
  emit window.findChild<Command*>(QString::fromLatin1(name))->Click();
}

QCheckBox* Box(frmMain& window, const char* name) {
  return window.findChild<QCheckBox*>(QString::fromLatin1(name));
}

QStringList TickedBoxes(frmMain& window) {
  QStringList ticked;
  for (QCheckBox* b : window.findChildren<QCheckBox*>())
    if (b->isChecked()) ticked << b->objectName();
  ticked.sort();
  return ticked;
}

const QStringList kAllBoxes = {"chkGenerateSpecialChars", "chkRemoveAllCRLF",  "chkRemoveAllTags",
                               "chkRemoveBlankLines",     "chkRemoveComments", "chkRemoveFunctions",
                               "chkRemovePipe",           "chkRemoveScripts",  "chkRemoveSpaces",
                               "chkRemoveStyles",         "chkRemoveTabs"};

constexpr const char* kChildSwitch = "--close-during-conversion";

}  // namespace

class BehaviourTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QVERIFY(dir_.isValid());
    state_ = ProcessState{};
    state_.sAppPath = dir_.path().toStdString() + "/";
    state_.oRemover = std::make_unique<cSievetext>();
    settings_.values.clear();
    prompter_.said.clear();
    prompter_.asked.clear();
    prompter_.transcript.clear();
    prompter_.answers.clear();
    chooser_.choices.clear();
    opened_.clear();
    terminations_ = 0;
    window_ = std::make_unique<frmMain>(state_, settings_);
    window_->setPrompter(prompter_);
    window_->setFileChooser(chooser_);
    openFails_ = false;
    window_->setShellOpener([this](const std::string& target, const std::function<void()>& failed) {
      opened_.push_back(target);
      if (openFails_) failed();
    });
    window_->setTerminator([this] { ++terminations_; });
  }
  void cleanup() { window_.reset(); }

  void storedFormsLoadIntoTheBoxes_data() {
    QTest::addColumn<QString>("stored");  // "<none>" for a missing key
    QTest::addColumn<bool>("ticked");
    QTest::newRow("missing") << "<none>" << true;
    for (const char* text : {"True", "true", "TRUE", "1", "-1"})
      QTest::newRow(text) << text << true;
    for (const char* text : {"False", "false", "FALSE", "0", "", "yes"})
      QTest::newRow(*text ? text : "empty") << text << false;
  }
  void storedFormsLoadIntoTheBoxes() {
    QFETCH(QString, stored);
    QFETCH(bool, ticked);
    for (const OptionInfo& option : kOptions) settings_.values[std::string(option.name)] = "False";
    if (stored == "<none>") {
      settings_.values.erase("RemoveTabs");
    } else {
      settings_.values["RemoveTabs"] = stored.toStdString();
    }
    LoadOptions(settings_, window_->optionBoxes());
    QCOMPARE(TickedBoxes(*window_), ticked ? QStringList{"chkRemoveTabs"} : QStringList{});
  }

  void untickedBoxesStayUntickedAfterClosingAndStartingAgain() {
    const QString path = dir_.filePath("config/WexaSievetext.ini");
    {
      IniSettingsStore store(path.toStdString());
      frmMain window(state_, store);
      window.setTerminator([this] { ++terminations_; });
      LoadOptions(store, window.optionBoxes());
      QCOMPARE(TickedBoxes(window), kAllBoxes);  // first run: everything on
      Box(window, "chkRemoveStyles")->click();
      Box(window, "chkRemoveAllCRLF")->click();
      window.close();
      QCOMPARE(terminations_, 1);
    }
    const QString saved = QString::fromUtf8(ReadAll(path));
    QCOMPARE(saved.count(QStringLiteral("=True")), 9);
    QCOMPARE(saved.count(QStringLiteral("=False")), 3);  // and the reading mode's
    QVERIFY(saved.contains(QStringLiteral("\nLayout=False\n")));
    QVERIFY(saved.contains(QStringLiteral("[General]")));

    state_.oRemover = std::make_unique<cSievetext>();
    IniSettingsStore store(path.toStdString());
    frmMain window(state_, store);
    LoadOptions(store, window.optionBoxes());
    QStringList expected = kAllBoxes;
    expected.removeAll("chkRemoveStyles");
    expected.removeAll("chkRemoveAllCRLF");
    QCOMPARE(TickedBoxes(window), expected);
  }

  void closingSavesTheBoxesAndEndsTheProgram() {
    Box(*window_, "chkRemovePipe")->setChecked(true);
    window_->close();
    QCOMPARE(terminations_, 1);
    QCOMPARE(settings_.values.size(), size_t(12));
    QCOMPARE(settings_.values["RemovePipe"], std::string("True"));
    QCOMPARE(settings_.values["RemoveTabs"], std::string("False"));
    QCOMPARE(settings_.values["Layout"], std::string("False"));
    QCOMPARE(settings_.syncs, 1);
    QVERIFY(state_.oRemover == nullptr);
  }

  // The reading mode is off in a file an older program wrote; it is saved
  // under its own key after the eleven, which keep their keys, order and
  // values, in the one write of the file at the end, and loads again.
  void readingModeIsSavedAfterTheElevenOptionsAndLoadedAgain() {
    const QString path = dir_.filePath("mode/WexaSievetext.ini");
    QVERIFY(QDir().mkpath(dir_.filePath("mode")));
    WriteAll(path, "[General]\nRemoveTabs=False\nOther=kept\n");
    {
      IniSettingsStore store(path.toStdString());
      frmMain window(state_, store);
      window.setTerminator([this] { ++terminations_; });
      LoadOptions(store, window.optionBoxes());
      window.setLayoutMode(LoadLayout(store));
      QVERIFY(!Box(window, "chkLayout")->isChecked());
      Box(window, "chkLayout")->click();
      window.close();
    }
    QString expected = "[General]\nRemoveTabs=False\nOther=kept\n";
    for (const OptionInfo& option : kOptions) {
      if (option.name != "RemoveTabs")
        expected +=
            QString::fromUtf8(option.name.data(), qsizetype(option.name.size())) + "=True\n";
    }
    expected += "Layout=True\n";
    QCOMPARE(QString::fromUtf8(ReadAll(path)), expected);

    IniSettingsStore store(path.toStdString());
    QVERIFY(LoadLayout(store));
  }

  // With the box ticked, Remove HTML converts in the layout mode: the
  // paragraphs come out on lines of their own; without it, as always.
  void removeHtmlUsesTheReadingModeWhileItsBoxIsTicked() {
    QTemporaryDir work;
    WriteAll(work.filePath("in.html"), "<p>one</p><p>two &amp; three</p>");
    state_.sInputFile = work.filePath("in.html").toStdString();
    state_.sOutputFile = work.filePath("out.txt").toStdString();
    LoadOptions(settings_, window_->optionBoxes());  // a first start: all ticked
    Box(*window_, "chkRemoveAllCRLF")->click();
    prompter_.answers = {true, true, true};

    Click(*window_, "cmdRemoveHTML");
    QCOMPARE(ReadAll(work.filePath("out.txt")), QByteArray("onetwo & three"));
    Box(*window_, "chkLayout")->click();
    QVERIFY(window_->layoutMode());
    Click(*window_, "cmdRemoveHTML");
    QCOMPARE(ReadAll(work.filePath("out.txt")), QByteArray("one\r\ntwo & three"));
    window_->setLayoutMode(false);
    Click(*window_, "cmdRemoveHTML");
    QCOMPARE(ReadAll(work.filePath("out.txt")), QByteArray("onetwo & three"));
    QCOMPARE(prompter_.said, (std::vector<std::string>{kDoneMessage, kDoneMessage, kDoneMessage}));
  }

  // Every message of the conversion job, reached through the window.
  void removeHtmlMessages_data() {
    QTest::addColumn<QString>("input");  // file name in the folder, "" for none chosen
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("inputBytes");  // "<none>": no such file
    QTest::addColumn<QByteArray>("outputBytes");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QByteArray>("outputAfter");

    const QByteArray none("<none>");
    const QByteArray page("Hello");
    const QByteArray old("old output");
    QTest::newRow("nothing chosen")
        << ""
        << "" << none << none << QList<bool>{} << QStringList{kNoInputMessage} << none;
    QTest::newRow("no output chosen")
        << "in.html"
        << "" << page << none << QList<bool>{} << QStringList{kNoOutputMessage} << none;
    QTest::newRow("input missing")
        << "in.html"
        << "out.txt" << none << none << QList<bool>{} << QStringList{kInputMissingMessage} << none;
    QTest::newRow("input empty") << "in.html"
                                 << "out.txt" << QByteArray() << none << QList<bool>{}
                                 << QStringList{kInputEmptyMessage} << none;
    QTest::newRow("written") << "in.html"
                             << "out.txt" << page << none << QList<bool>{}
                             << QStringList{kDoneMessage} << QByteArray("Hello");
    QTest::newRow("overwrite, OK")
        << "in.html"
        << "out.txt" << page << old << QList<bool>{true}
        << QStringList{kOverwriteQuestion, kDoneMessage} << QByteArray("Hello");
    QTest::newRow("overwrite, Cancel")
        << "in.html"
        << "out.txt" << page << old << QList<bool>{false} << QStringList{kOverwriteQuestion} << old;
    QTest::newRow("empty input, OK to overwrite")
        << "in.html"
        << "out.txt" << QByteArray() << old << QList<bool>{true}
        << QStringList{kOverwriteQuestion, kInputEmptyMessage} << old;
  }
  void removeHtmlMessages() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QByteArray, inputBytes);
    QFETCH(QByteArray, outputBytes);
    QFETCH(QList<bool>, answers);
    QFETCH(QStringList, said);
    QFETCH(QByteArray, outputAfter);
    QTemporaryDir work;
    auto path = [&](const QString& name) {
      return name.isEmpty() ? QString() : work.filePath(name);
    };
    if (inputBytes != "<none>") WriteAll(path(input), inputBytes);
    if (outputBytes != "<none>") WriteAll(path(output), outputBytes);
    state_.sInputFile = path(input).toStdString();
    state_.sOutputFile = path(output).toStdString();
    for (bool answer : answers) prompter_.answers.push_back(answer);

    Click(*window_, "cmdRemoveHTML");

    QStringList actual;
    for (const std::string& message : prompter_.transcript)
      actual << QString::fromStdString(message);
    QCOMPARE(actual, said);
    if (!output.isEmpty()) {
      const QByteArray after = ReadAll(path(output));
      QCOMPARE(after == "<missing>" ? QByteArray("<none>") : after, outputAfter);
    }
  }

  void runtimeErrorIsReportedUnderTheJobsName() {
    QTemporaryDir work;
    WriteAll(work.filePath("in.html"), "text");
    QVERIFY(QDir(work.path()).mkdir("out.txt"));
    state_.sInputFile = work.filePath("in.html").toStdString();
    state_.sOutputFile = work.filePath("out.txt").toStdString();
    Click(*window_, "cmdRemoveHTML");
    QCOMPARE(prompter_.transcript.size(), size_t(1));
    const QString message = QString::fromStdString(prompter_.transcript[0]);
    QVERIFY2(QRegularExpression("^RemoveHTML: Error -?[0-9]+: .+$").match(message).hasMatch(),
             qPrintable(message));
  }

  void choosersKeepTheEarlierChoiceOnCancel() {
    chooser_.choices = {"/data/first.html", std::nullopt, "/data/out.txt", std::nullopt};
    Click(*window_, "cmdSelectInput");
    QCOMPARE(state_.sInputFile, std::string("/data/first.html"));
    Click(*window_, "cmdSelectInput");
    QCOMPARE(state_.sInputFile, std::string("/data/first.html"));
    Click(*window_, "cmdSelectOutput");
    Click(*window_, "cmdSelectOutput");
    QCOMPARE(state_.sOutputFile, std::string("/data/out.txt"));
    QVERIFY(prompter_.transcript.empty());
  }

  void cancelledOutputChoiceIsReportedByRemoveHtml() {
    QTemporaryDir work;
    WriteAll(work.filePath("in.html"), "text");
    chooser_.choices = {work.filePath("in.html").toStdString(), std::nullopt};
    Click(*window_, "cmdSelectInput");
    Click(*window_, "cmdSelectOutput");
    Click(*window_, "cmdRemoveHTML");
    QCOMPARE(prompter_.transcript, std::vector<std::string>{kNoOutputMessage});
  }

  // The read-me opens as plain text in the window's own viewer; only the
  // web site goes to the desktop. (Without a desktop environment the opener
  // takes the read-me for HTML and may start this program on it.)
  void readmeShowsAsPlainTextAndTheWebsiteGoesToTheDesktop() {
    const QString readme = QString::fromStdString(state_.sAppPath) + "readme.txt";
    WriteAll(readme, "Sievetext\n<p>Tags &amp; entities as written</p>\ncaf\xC3\xA9 \xE9");
    // The real opener, with an xdg-open that notes what it is given.
    struct RestorePath {
      QByteArray path = qgetenv("PATH");
      ~RestorePath() { qputenv("PATH", path); }
    } restorePath;
    QTemporaryDir bin;
    const QString noted = bin.filePath("opened");
    WriteAll(bin.filePath("xdg-open"), "#!/bin/sh\necho \"$1\" >> '" + noted.toUtf8() + "'\n");
    QFile::setPermissions(bin.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner);
    qputenv("PATH", bin.path().toUtf8());
    window_->setShellOpener(&ShellOpen);
    Click(*window_, "cmdReadme");
    Click(*window_, "cmdWebsite");
    QTRY_VERIFY(QFile::exists(noted));
    QTest::qWait(100);
    QCOMPARE(ReadAll(noted), QByteArray(kWebsiteAddress) + "\n");

    const QList<QDialog*> viewers = window_->findChildren<QDialog*>("readmeViewer");
    QCOMPARE(viewers.size(), 1);
    QVERIFY(viewers[0]->isVisible());
    QVERIFY(!viewers[0]->isModal());
    auto* text = viewers[0]->findChild<QPlainTextEdit*>("readmeText");
    QVERIFY(text->isReadOnly());
    QCOMPARE(
        text->toPlainText(),
        QString::fromUtf8("Sievetext\n<p>Tags &amp; entities as written</p>\ncaf\u00E9 \u00E9"));
    // Again: the same viewer, with the file as it is now.
    WriteAll(readme, "changed");
    Click(*window_, "cmdReadme");
    QCOMPARE(window_->findChildren<QDialog*>("readmeViewer").size(), 1);
    QCOMPARE(text->toPlainText(), QString("changed"));
    QVERIFY(prompter_.transcript.empty());
  }

  // With nothing to show or nothing on the desktop to open it, the user is
  // told what to open by hand instead of nothing happening.
  void failedOpeningSaysThePathOrAddress() {
    QFile::remove(dir_.filePath("readme.txt"));
    openFails_ = true;
    Click(*window_, "cmdReadme");
    Click(*window_, "cmdWebsite");
    // Not a file that can be read: a folder of that name.
    QVERIFY(QDir(dir_.path()).mkdir("readme.txt"));
    Click(*window_, "cmdReadme");
    const std::string readmeFailed =
        "The read-me file could not be opened:\n" + state_.sAppPath + "readme.txt";
    QCOMPARE(prompter_.transcript,
             (std::vector<std::string>{
                 readmeFailed, std::string("The web site could not be opened:\n") + kWebsiteAddress,
                 readmeFailed}));
    QCOMPARE(opened_, std::vector<std::string>{kWebsiteAddress});
    QVERIFY(window_->findChild<QDialog*>("readmeViewer") == nullptr);
  }

  void choosersShowTheChosenFilesAsTooltips() {
    auto* input = window_->findChild<Command*>("cmdSelectInput");
    auto* output = window_->findChild<Command*>("cmdSelectOutput");
    QCOMPARE(input->toolTip(), QString("No file chosen"));
    QCOMPARE(output->toolTip(), QString("No file chosen"));
    chooser_.choices = {"/data/page.html", std::nullopt, "/data/<b>odd</b>.txt"};
    Click(*window_, "cmdSelectInput");
    QCOMPARE(input->toolTip(), QString("/data/page.html"));
    Click(*window_, "cmdSelectInput");  // cancelled: the choice stays
    QCOMPARE(input->toolTip(), QString("/data/page.html"));
    QCOMPARE(output->toolTip(), QString("No file chosen"));
    // A name that looks like mark-up is shown as it is.
    Click(*window_, "cmdSelectOutput");
    QTextDocument shown;
    shown.setHtml(output->toolTip());
    QCOMPARE(shown.toPlainText(), QString("/data/<b>odd</b>.txt"));
  }

  // Started to open a file: the window comes up with it chosen as the input.
  void presetInputFileIsShownAndConverted() {
    QTemporaryDir work;
    WriteAll(work.filePath("page.html"), "<p>opened with</p>");
    window_.reset();
    state_.sInputFile = work.filePath("page.html").toStdString();
    window_ = std::make_unique<frmMain>(state_, settings_);
    window_->setPrompter(prompter_);
    window_->setFileChooser(chooser_);
    LoadOptions(settings_, window_->optionBoxes());
    QCOMPARE(window_->findChild<Command*>("cmdSelectInput")->toolTip(), work.filePath("page.html"));
    chooser_.choices = {work.filePath("out.txt").toStdString()};
    Click(*window_, "cmdSelectOutput");
    Click(*window_, "cmdRemoveHTML");
    QCOMPARE(prompter_.transcript, std::vector<std::string>{kDoneMessage});
    QCOMPARE(ReadAll(work.filePath("out.txt")), QByteArray("opened with"));
  }

  void droppedFileBecomesTheInput() {
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkdir("folder"));
    WriteAll(work.filePath("first.html"), "a");
    WriteAll(work.filePath("second.html"), "b");
    QVERIFY(QFile::link(work.filePath("first.html"), work.filePath("link.html")));
    const QUrl folder = QUrl::fromLocalFile(work.filePath("folder"));
    const QUrl missing = QUrl::fromLocalFile(work.filePath("gone.html"));
    const QUrl remote("https://example.com/page.html");
    auto file = [&](const char* name) { return QUrl::fromLocalFile(work.filePath(name)); };
    state_.sInputFile = "/earlier/choice.html";

    // Nothing to take: the drop is refused and the choice stays.
    for (const QList<QUrl>& urls : {QList<QUrl>{folder}, QList<QUrl>{remote, missing}}) {
      QVERIFY(!drop(urls));
      QCOMPARE(state_.sInputFile, std::string("/earlier/choice.html"));
    }
    QMimeData text;
    text.setText(work.filePath("first.html"));
    QVERIFY(!drop(text));

    // The first regular file wins, past folders and addresses.
    QVERIFY(drop({folder, remote, file("second.html"), file("first.html")}));
    QCOMPARE(state_.sInputFile, work.filePath("second.html").toStdString());
    QCOMPARE(window_->findChild<Command*>("cmdSelectInput")->toolTip(),
             work.filePath("second.html"));
    // A link to a file counts as the file it names, kept under its own name.
    QVERIFY(drop({file("link.html")}));
    QCOMPARE(state_.sInputFile, work.filePath("link.html").toStdString());
    QVERIFY(prompter_.transcript.empty());
    // No control keeps a drop for itself, so a drop anywhere reaches the window.
    for (QWidget* child : window_->findChildren<QWidget*>())
      QVERIFY2(!child->acceptDrops(), qPrintable(child->objectName()));
  }

  // "You have not selected the input file." comes up over "Remove HTML";
  // while it is open the button's poll finds the box under the pointer. The
  // box closes and the user clicks again without moving the mouse: that
  // click converts (here: says the same again) like the first.
  void clickAfterAMessageBoxClosedOverRemoveHtmlCounts() {
    auto* button = window_->findChild<Command*>("cmdRemoveHTML");
    QWidget box;
    QWidget* under = button;
    button->setWidgetUnderPointer([&under] { return under; });
    BoxPrompter boxes([&] {
      under = &box;
      button->TmrMouse_Timer();
      under = button;
    });
    window_->setPrompter(boxes);
    window_->show();
    QApplication::setActiveWindow(window_.get());
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTest::mouseMove(button, QPoint(30, 20));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 20));
    QCOMPARE(boxes.shown, 1);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 20));
    QCOMPARE(boxes.shown, 2);
  }

  // A source that deletes what was moved would lose the user's file: every
  // drop is taken as a copy, or as a link where no copy is offered, and a
  // drag that can only move is refused.
  void dropsAreTakenAsCopiesOrLinksNeverMoves() {
    QTemporaryDir work;
    WriteAll(work.filePath("page.html"), "a");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(work.filePath("page.html"))});
    struct Offer {
      Qt::DropActions offered;
      Qt::KeyboardModifiers keys;  // Shift proposes a move where one is offered
      Qt::DropAction taken;
    };
    for (const Offer& offer :
         {Offer{Qt::CopyAction | Qt::MoveAction, Qt::ShiftModifier, Qt::CopyAction},
          Offer{Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::NoModifier, Qt::CopyAction},
          Offer{Qt::MoveAction | Qt::LinkAction, Qt::ShiftModifier, Qt::LinkAction},
          Offer{Qt::MoveAction, Qt::NoModifier, Qt::IgnoreAction}}) {
      state_.sInputFile = "/earlier/choice.html";
      const QPoint at(100, 100);
      QDragEnterEvent enter(at, offer.offered, &data, Qt::LeftButton, offer.keys);
      QCoreApplication::sendEvent(window_.get(), &enter);
      QDragMoveEvent move(at, offer.offered, &data, Qt::LeftButton, offer.keys);
      QCoreApplication::sendEvent(window_.get(), &move);
      QDropEvent dropped(QPointF(at), offer.offered, &data, Qt::LeftButton, offer.keys);
      QCoreApplication::sendEvent(window_.get(), &dropped);
      const bool taken = offer.taken != Qt::IgnoreAction;
      for (QDropEvent* event :
           {static_cast<QDropEvent*>(&enter), static_cast<QDropEvent*>(&move), &dropped}) {
        QCOMPARE(event->isAccepted(), taken);
        if (taken) QCOMPARE(event->dropAction(), offer.taken);
      }
      QCOMPARE(state_.sInputFile, taken ? work.filePath("page.html").toStdString()
                                        : std::string("/earlier/choice.html"));
    }
  }

  void secondClickDuringAConversionIsIgnored() {
    QTemporaryDir work;
    WriteAll(work.filePath("in.html"), "<b>text</b>");
    state_.sInputFile = work.filePath("in.html").toStdString();
    state_.sOutputFile = work.filePath("out.txt").toStdString();
    window_->setJobRunner(&RunYieldingJob);
    bool ranInside = false;
    Qt::CursorShape cursorInside = Qt::ArrowCursor;
    QTimer::singleShot(0, window_.get(), [&] {
      ranInside = window_->conversionRunning();
      cursorInside = window_->cursor().shape();
      Click(*window_, "cmdRemoveHTML");  // arrives in the middle of the first
    });
    Click(*window_, "cmdRemoveHTML");
    QVERIFY(ranInside);
    QCOMPARE(cursorInside, Qt::BusyCursor);
    QCOMPARE(prompter_.transcript, std::vector<std::string>{kDoneMessage});
    QVERIFY(!window_->conversionRunning());
    QCOMPARE(window_->cursor().shape(), Qt::ArrowCursor);
    // Once finished, the button works again.
    prompter_.answers = {false};
    Click(*window_, "cmdRemoveHTML");
    QCOMPARE(prompter_.transcript.back(), std::string(kOverwriteQuestion));
  }

  void closingDuringAConversionSavesOptionsAndLeavesTheOutput() {
    QTemporaryDir work;
    WriteAll(work.filePath("in.html"), "<p>new text</p>");
    const QString saved = testing::CloseInChild(kChildSwitch, work.path(), 30000);
    if (QTest::currentTestFailed()) return;
    QVERIFY2(saved.contains("RemoveTabs=False") && saved.contains("RemovePipe=False"),
             qPrintable(saved));
    QCOMPARE(saved.count(QStringLiteral("=True")), 9);
  }

 private:
  // Drags `data` onto the window and drops it; true when the window took it.
  bool drop(const QMimeData& data) {
    const QPoint at(100, 100);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_.get(), &dropped);
    return dropped.isAccepted();
  }
  bool drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    return drop(data);
  }

  QTemporaryDir dir_;
  bool openFails_ = false;
  ProcessState state_;
  testing::MemorySettingsStore settings_;
  testing::RecordingPrompter prompter_;
  FakeChooser chooser_;
  std::vector<std::string> opened_;
  int terminations_ = 0;
  std::unique_ptr<frmMain> window_;
};

// The child half of the close test: closes the window at the conversion's
// first yield.
static int CloseDuringConversion(const QString& folder) {
  return testing::ConvertAndClose(folder, {"chkRemoveTabs", "chkRemovePipe"}, [](frmMain& window) {
    window.setJobRunner(&RunYieldingJob);
    QTimer::singleShot(0, &window, [&window] { window.close(); });
  });
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 3 && qstrcmp(argv[1], kChildSwitch) == 0)
    return CloseDuringConversion(QString::fromLocal8Bit(argv[2]));
  BehaviourTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "frm_main_behaviour_test.moc"
