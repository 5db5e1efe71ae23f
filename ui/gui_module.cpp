// The window module: loaded by the program only in the interactive mode, so
// that the command line never pays for starting the window system.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "job/cleanup_on_signal.h"
#include "job/ini_settings_store.h"
#include "job/option_transfer.h"
#include "ui/frmMain.h"

extern "C" __attribute__((visibility("default"))) int sievetext_run_window(
    sievetext::ProcessState* state, int argc, char** argv) {
  using namespace sievetext;
  // The job, and its table of temporary files, is the one the program uses,
  // so the program's handlers already cover the window's writes. Installing
  // them again costs nothing and keeps a host that has not done so covered.
  InstallCleanupOnSignal();
  // Without a display Qt would abort the process; say what is wrong instead.
  auto unset = [](const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr || *value == '\0';
  };
  if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
    std::fprintf(stderr,
                 "sievetext: cannot start the window: no display (DISPLAY is not set); "
                 "to convert without a window, give INPUT and OUTPUT\n");
    return 2;
  }
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
  LoadOptions(settings, window.optionBoxes());
  QCoreApplication::processEvents();
  window.show();
  return QApplication::exec();
}
