#include "ui/dropped_file.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace sievetext {

std::optional<std::string> DroppedInputFile(const QMimeData& data) {
  if (!data.hasUrls()) return std::nullopt;
  for (const QUrl& url : data.urls()) {
    if (!url.isLocalFile()) continue;
    const QFileInfo file(url.toLocalFile());
    if (file.isFile()) return file.absoluteFilePath().toStdString();
  }
  return std::nullopt;
}

Qt::DropAction KeptDropAction(Qt::DropActions offered) {
  if (offered & Qt::CopyAction) return Qt::CopyAction;
  if (offered & Qt::LinkAction) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

}  // namespace sievetext
