#include "ui/file_chooser.h"

#include <QFileDialog>
#include <QStringList>

namespace sievetext {

namespace {

// "All files" is "*": on this platform plenty of files have no dot in their
// name, and "*.*" would hide them.
const QStringList kInputFilters = {
    QStringLiteral("HTML files (*.html)"),
    QStringLiteral("HTM Files (*.htm)"),
    QStringLiteral("All files (*)"),
};
const QStringList kOutputFilters = {
    QStringLiteral("Text files (*.txt)"),
    QStringLiteral("All files (*)"),
};

std::unique_ptr<QFileDialog> MakeDialog(QWidget* parent, QFileDialog::AcceptMode mode,
                                        const QStringList& filters) {
  auto dialog = std::make_unique<QFileDialog>(parent);
  // Qt's own dialog behaves the same on every desktop; a desktop's native
  // open dialog may refuse names of files that do not exist.
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setAcceptMode(mode);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setNameFilters(filters);
  dialog->selectNameFilter(filters.first());
  dialog->selectFile(QString());
  dialog->setDefaultSuffix(QString());
  return dialog;
}

std::optional<std::string> Run(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
  return files.first().toStdString();
}

}  // namespace

std::unique_ptr<QFileDialog> MakeInputDialog(QWidget* parent) {
  return MakeDialog(parent, QFileDialog::AcceptOpen, kInputFilters);
}

std::unique_ptr<QFileDialog> MakeOutputDialog(QWidget* parent) {
  auto dialog = MakeDialog(parent, QFileDialog::AcceptSave, kOutputFilters);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  return dialog;
}

std::optional<std::string> DialogFileChooser::chooseInput() {
  return Run(*MakeInputDialog(parent_));
}

std::optional<std::string> DialogFileChooser::chooseOutput() {
  return Run(*MakeOutputDialog(parent_));
}

}  // namespace sievetext
