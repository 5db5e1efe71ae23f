#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "build_info.h"
#include "job/process_state.h"
#include "job/prompter.h"
#include "settings/settings_store.h"
#include "ui/check_box_options.h"
#include "ui/file_chooser.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;

namespace sievetext {

class Command;
class ReadmeViewer;

// The maker's web site, opened by "Visit Website".
inline constexpr const char* kWebsiteAddress = build_info::kWebsiteAddress;
// The read-me, looked for in the program's folder.
inline constexpr const char* kReadmeName = "readme.txt";
// Said when the read-me cannot be read or the desktop cannot open the web
// site; the path or address follows on the next line, so the user can open
// it by hand.
inline constexpr const char* kReadmeOpenFailed = "The read-me file could not be opened:";
inline constexpr const char* kWebsiteOpenFailed = "The web site could not be opened:";
// The tooltip of a file chooser before anything is chosen.
inline constexpr const char* kNoFileChosen = "No file chosen";

// Opens a path or address with the desktop; calls the second argument if
// that fails.
using ShellOpener = std::function<void(const std::string&, std::function<void()>)>;

// Runs one conversion job with the window's prompter and check boxes.
using JobRunner = std::function<void(ProcessState&, OptionBoxes&, Prompter&)>;

// The main window: eleven option check boxes, the reading-mode box, two file
// choosers, the conversion button, the read-me and web-site buttons. It keeps no state of
// its own besides its controls; the chosen paths live in the process state.
//
// Closing it ends the program (EndProgram): the options are saved and the
// process terminates at once, also in the middle of a conversion.
class frmMain final : public QWidget {
  Q_OBJECT

 public:
  frmMain(ProcessState& state, SettingsStore& settings, QWidget* parent = nullptr);
  ~frmMain() override;

  // Seams; each has a working default.
  void setPrompter(Prompter& prompter) { prompter_ = &prompter; }
  void setFileChooser(FileChooser& chooser) { chooser_ = &chooser; }
  void setJobRunner(JobRunner runner) { runJob_ = std::move(runner); }
  void setShellOpener(ShellOpener opener) { shellOpen_ = std::move(opener); }
  // Ends the process; the default never returns.
  void setTerminator(std::function<void()> terminate) { terminate_ = std::move(terminate); }

  OptionBoxes& optionBoxes() { return *options_; }
  // The reading-mode box: Remove HTML converts in the layout mode while it
  // is ticked. Saved with the options (kLayoutKey), off on a first start.
  bool layoutMode() const;
  void setLayoutMode(bool layout);
  Prompter& prompter() { return *prompter_; }
  bool conversionRunning() const { return converting_; }

  // The engine's yield during a conversion: lets the window repaint and
  // answer input.
  static void yieldToEvents();

  // Click handlers of the five buttons.
  void cmdSelectInput_Click();
  void cmdSelectOutput_Click();
  void cmdRemoveHTML_Click();
  void cmdReadme_Click();
  void cmdWebsite_Click();

  // Saves the options from the check boxes and ends the process.
  void EndProgram();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // A file dropped onto the window becomes the input file, as if chosen.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createControls();
  void connectControls();
  void setTabOrder();
  void Form_Load();
  // The choosers' tooltips show the chosen files.
  void showChoices();
  void openOrSay(const std::string& target, const char* failure);

  ProcessState& state_;
  SettingsStore& settings_;

  QGroupBox* Frame1_ = nullptr;
  QGroupBox* Frame2_ = nullptr;
  QCheckBox* chkLayout_ = nullptr;
  QLineEdit* Text1_ = nullptr;
  QWidget* Shape1_ = nullptr;
  QPixmap background_;
  Command* cmdSelectInput_ = nullptr;
  Command* cmdSelectOutput_ = nullptr;
  Command* cmdRemoveHTML_ = nullptr;
  Command* cmdReadme_ = nullptr;
  Command* cmdWebsite_ = nullptr;

  // The read-me, shown in a viewer of the window's own.
  QPointer<ReadmeViewer> readme_;
  std::unique_ptr<CheckBoxOptions> options_;
  std::unique_ptr<Prompter> ownPrompter_;
  std::unique_ptr<FileChooser> ownChooser_;
  Prompter* prompter_ = nullptr;
  FileChooser* chooser_ = nullptr;
  JobRunner runJob_;
  ShellOpener shellOpen_;
  std::function<void()> terminate_;
  bool converting_ = false;
  bool ending_ = false;
};

// The window's title from the build's version information:
// "<product> v<major>.<minor> Build <revision>".
std::string TitleFromVersion();

}  // namespace sievetext
