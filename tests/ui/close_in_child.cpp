#include "tests/ui/close_in_child.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <cstdio>

#include "controls/command.h"
#include "job/remove_html.h"
#include "settings/ini_settings_store.h"
#include "settings/option_transfer.h"

namespace sievetext::testing {

namespace {

// Prints every message as it comes, for the test half to read; answers OK.
class EchoPrompter final : public Prompter {
 public:
  void say(const std::string& message) override { Echo(message); }
  bool confirm(const std::string& message) override {
    Echo(message);
    return true;
  }

 private:
  static void Echo(const std::string& message) {
    std::printf("%s\n", message.c_str());
    std::fflush(stdout);
  }
};

// QCOMPARE and QVERIFY return from a function that returns nothing.
void CheckChild(QProcess& child, const QString& folder, int timeoutMs) {
  QVERIFY(child.waitForFinished(timeoutMs));
  QCOMPARE(child.exitStatus(), QProcess::NormalExit);
  QCOMPARE(child.exitCode(), 0);
  QCOMPARE(child.readAllStandardOutput(), QByteArray(kOverwriteQuestion) + "\n");
  QCOMPARE(ReadAll(folder + "/out.txt"), QByteArray("old output"));
}

}  // namespace

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

int ConvertAndClose(const QString& folder, const QStringList& cleared,
                    const std::function<void(frmMain&)>& arm) {
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
  for (const QString& name : cleared) window.findChild<QCheckBox*>(name)->setChecked(false);
  window.show();
  arm(window);
  emit window.findChild<Command*>("cmdRemoveHTML")->Click();
  return 3;
}

QString CloseInChild(const char* childSwitch, const QString& folder, int timeoutMs) {
  QFile output(folder + "/out.txt");
  if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      output.write("old output") != 10) {
    QTest::qFail("cannot write out.txt", __FILE__, __LINE__);
    return {};
  }
  output.close();
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QCoreApplication::applicationFilePath(), {childSwitch, folder});
  CheckChild(child, folder, timeoutMs);
  return QString::fromUtf8(ReadAll(folder + "/WexaSievetext.ini"));
}

}  // namespace sievetext::testing
