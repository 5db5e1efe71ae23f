#pragma once

#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace sievetext {

// Asks the user for the input or the output file. An empty result means the
// user cancelled (or the dialog failed): the caller keeps its earlier choice.
class FileChooser {
 public:
  FileChooser() = default;
  FileChooser(const FileChooser&) = delete;
  FileChooser& operator=(const FileChooser&) = delete;
  virtual ~FileChooser() = default;

  virtual std::optional<std::string> chooseInput() = 0;
  virtual std::optional<std::string> chooseOutput() = 0;
};

// The two dialogs, configured but not shown; exposed so their setup can be
// checked without a user.
//
// Input: an open dialog that also takes the name of a file that does not
// exist yet (the job reports a missing input later). Output: a save dialog
// that does not ask about replacing a file (the job asks). Neither offers a
// previous name, a title of its own, a start folder or a default extension.
std::unique_ptr<QFileDialog> MakeInputDialog(QWidget* parent);
std::unique_ptr<QFileDialog> MakeOutputDialog(QWidget* parent);

// Shows the dialogs above, modal over `parent`.
class DialogFileChooser final : public FileChooser {
 public:
  explicit DialogFileChooser(QWidget* parent) : parent_(parent) {}

  std::optional<std::string> chooseInput() override;
  std::optional<std::string> chooseOutput() override;

 private:
  QWidget* parent_;
};

}  // namespace sievetext
