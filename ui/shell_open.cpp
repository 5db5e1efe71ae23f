#include "ui/shell_open.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace sievetext {

QUrl ShellTarget(const std::string& sTarget) {
  const QString target = QString::fromStdString(sTarget);
  if (!target.startsWith(QLatin1Char('/'))) {
    QUrl url(target, QUrl::StrictMode);
    // A one-letter scheme would be a drive letter, not an address.
    if (url.isValid() && url.scheme().size() > 1) return url;
  }
  return QUrl::fromLocalFile(target);
}

void ShellOpen(const std::string& sTarget, std::function<void()> failed) {
  if (!failed) failed = [] {};
  if (sTarget.empty()) {
    failed();
    return;
  }
  const QUrl url = ShellTarget(sTarget);
  if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
    failed();
    return;
  }
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) {
    if (!QDesktopServices::openUrl(url)) failed();
    return;
  }
  // The opener may stay until the opened program ends; it is left running
  // and only its outcome is looked at.
  auto* process = new QProcess(QCoreApplication::instance());
  process->setProgram(opener);
  process->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  process->setStandardInputFile(QProcess::nullDevice());
  QObject::connect(process, &QProcess::finished, process,
                   [process, failed](int code, QProcess::ExitStatus status) {
                     if (status != QProcess::NormalExit || code != 0) failed();
                     process->deleteLater();
                   });
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [process, failed](QProcess::ProcessError error) {
                     if (error != QProcess::FailedToStart) return;
                     failed();
                     process->deleteLater();
                   });
  process->start();
}

}  // namespace sievetext
