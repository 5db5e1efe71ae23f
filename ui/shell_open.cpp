#include "shell_open.h"

#include <QDesktopServices>
#include <QString>

namespace sievetext {

QUrl ShellTarget(const std::string& sTarget) {
  const QString target = QString::fromStdString(sTarget);
  if (!target.startsWith(QLatin1Char('/'))) {
    const QUrl url(target, QUrl::StrictMode);
    // A one-letter scheme would be a drive letter, not an address.
    if (url.isValid() && url.scheme().size() > 1) return url;
  }
  return QUrl::fromLocalFile(target);
}

void ShellOpen(const std::string& sTarget) {
  if (sTarget.empty()) return;
  (void)QDesktopServices::openUrl(ShellTarget(sTarget));
}

}  // namespace sievetext
