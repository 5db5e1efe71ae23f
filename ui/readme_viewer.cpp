#include "ui/readme_viewer.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "text/text_codec.h"
#include "ui/qt_prompter.h"

namespace sievetext {

std::optional<QString> ReadReadme(const std::string& path) {
  const QString name = QString::fromStdString(path);
  // Anything but a regular file (a FIFO, a device) could block or never end.
  if (!QFileInfo(name).isFile()) return std::nullopt;
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.read(kReadmeLimit);
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return QString::fromStdU16String(
      DecodeText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
}

ReadmeViewer::ReadmeViewer(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("readmeViewer"));
  setWindowTitle(QStringLiteral("readme.txt - ") + QString::fromLatin1(kMessageCaption));
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("readmeText"));
  text_->setReadOnly(true);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(buttons);
  resize(600, 440);
}

void ReadmeViewer::present(const QString& text) {
  text_->setPlainText(text);
  show();
  raise();
  activateWindow();
}

QString ReadmeViewer::text() const { return text_->toPlainText(); }

}  // namespace sievetext
