#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

class QPlainTextEdit;

namespace sievetext {

// The read-me's text, decoded as every input is (UTF-8 where it is
// well-formed, Windows-1252 elsewhere); nothing when `path` is not a
// regular file that can be read. At most kReadmeLimit bytes are read.
inline constexpr qint64 kReadmeLimit = 1 << 20;
std::optional<QString> ReadReadme(const std::string& path);

// The window's own read-only view of the read-me, as plain text. The desktop
// is not asked to open it: without a desktop environment its opener guesses
// the file's type from its contents, takes the read-me for HTML, and may
// hand it to this program.
class ReadmeViewer final : public QDialog {
  Q_OBJECT

 public:
  explicit ReadmeViewer(QWidget* parent);

  // Shows `text` and brings the viewer to the front; returns at once.
  void present(const QString& text);
  QString text() const;

 private:
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace sievetext
