#include "ui/qt_prompter.h"

#include <QMessageBox>
#include <QString>

namespace sievetext {

namespace {

int ShowBox(QWidget* parent, const std::string& message, QMessageBox::StandardButtons buttons) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption),
                  QString::fromStdString(message), buttons, parent);
  // Messages carry file names and system error texts; never read them as
  // mark-up.
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  if (buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
  return box.exec();
}

}  // namespace

void QtPrompter::say(const std::string& message) { ShowBox(parent_, message, QMessageBox::Ok); }

bool QtPrompter::confirm(const std::string& message) {
  return ShowBox(parent_, message, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace sievetext
