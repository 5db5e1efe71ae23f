// The window module: loaded by the program only in the interactive mode, so
// that the command line never pays for starting the window system.

#include <QApplication>
#include <memory>

#include "frmMain.h"
#include "ini_settings_store.h"
#include "option_transfer.h"

extern "C" __attribute__((visibility("default"))) int sievetext_run_window(
    sievetext::ProcessState* state, int argc, char** argv) {
  using namespace sievetext;
  // QApplication keeps a reference to the count for its whole life.
  static int argumentCount = 0;
  argumentCount = argc;
  QApplication app(argumentCount, argv);
  QApplication::setApplicationName(QStringLiteral("Sievetext"));
  QApplication::setDesktopFileName(QStringLiteral("sievetext"));

  IniSettingsStore settings(IniSettingsStore::DefaultPath());
  // Load the window hidden (its load handler sets the title and starts the
  // buttons), then create the engine, then fill in the saved options.
  frmMain window(*state, settings);
  state->oRemover = std::make_unique<cSievetext>();
  state->bCommandLine = false;
  LoadOptions(settings, window.optionBoxes());
  QCoreApplication::processEvents();
  window.show();
  return QApplication::exec();
}
