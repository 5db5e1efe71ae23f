// The window module: loaded by the program only in the interactive mode, so
// that the command line never pays for starting the window system.

#include <unistd.h>

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cleanup_on_signal.h"
#include "platform/diagnostics.h"
#include "settings/ini_settings_store.h"
#include "settings/option_transfer.h"
#include "ui/frmMain.h"

namespace {

// Said after every reason the window cannot start.
constexpr const char* kWithoutWindow = "to convert without a window, give INPUT and OUTPUT";

// Qt ends a start it cannot make (no display at DISPLAY, a platform that is
// not there) with a fatal error, which aborts the process and leaves a core.
// While the application starts, its messages are held back here: a fatal one
// becomes the program's own message and status 2; after a good start the
// others go on to the handler that was there before, as if never held.
class StartGuard {
 public:
  StartGuard() { previous_ = qInstallMessageHandler(&StartGuard::handle); }
  ~StartGuard() {
    qInstallMessageHandler(previous_);
    std::vector<Held> held;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      held.swap(held_);
    }
    for (const Held& message : held) message.replay();
  }
  StartGuard(const StartGuard&) = delete;
  StartGuard& operator=(const StartGuard&) = delete;

 private:
  struct Held {
    QtMsgType type;
    std::string category, file, function;
    int line;
    QString text;

    void replay() const {
      QMessageLogger logger(file.c_str(), line, function.c_str(), category.c_str());
      const QByteArray bytes = text.toLocal8Bit();
      switch (type) {
        case QtDebugMsg:
          logger.debug("%s", bytes.constData());
          break;
        case QtInfoMsg:
          logger.info("%s", bytes.constData());
          break;
        case QtCriticalMsg:
          logger.critical("%s", bytes.constData());
          break;
        default:
          logger.warning("%s", bytes.constData());
          break;
      }
    }
  };

  static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (type == QtFatalMsg) cannotStart(text);
    auto copy = [](const char* value) { return std::string(value != nullptr ? value : ""); };
    held_.push_back({type, copy(context.category), copy(context.file), copy(context.function),
                     context.line, text});
  }

  // What went wrong, in one line: QT_QPA_PLATFORM asks only for platforms
  // that are not there, or else the first warning of a platform that failed.
  [[noreturn]] static void cannotStart(const QString& fatal) {
    QString reason;
    const QString availableTag = QStringLiteral("Available platform plugins are:");
    const qsizetype at = fatal.indexOf(availableTag);
    QString available = at < 0 ? QString() : fatal.mid(at + availableTag.size()).trimmed();
    if (available.endsWith(QLatin1Char('.'))) available.chop(1);
    const QStringList known = available.split(QStringLiteral(", "), Qt::SkipEmptyParts);
    // Each of the platforms asked for, in order; options after ':' aside.
    QStringList asked, missing;
    for (const QString& entry :
         qEnvironmentVariable("QT_QPA_PLATFORM").split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
      if (name.isEmpty()) continue;
      asked << name;
      if (!known.contains(name)) missing << QLatin1Char('"') + name + QLatin1Char('"');
    }
    if (!known.isEmpty() && !asked.isEmpty() && missing.size() == asked.size()) {
      reason = QStringLiteral("no window system %1 here (QT_QPA_PLATFORM); there are: %2")
                   .arg(missing.join(QStringLiteral(" or ")), known.join(QStringLiteral(", ")));
    } else {
      // The platform's own warning says why it failed; the plugin loader's
      // only that it did.
      const Held* first = nullptr;
      const Held* own = nullptr;
      for (const Held& message : held_) {
        if (message.type != QtWarningMsg && message.type != QtCriticalMsg) continue;
        if (first == nullptr) first = &message;
        const bool platform = message.category.rfind("qt.qpa.", 0) == 0;
        if (own == nullptr && platform && message.category != "qt.qpa.plugin") own = &message;
      }
      reason = own != nullptr ? own->text : first != nullptr ? first->text : fatal;
    }
    reason = reason.section(QLatin1Char('\n'), 0, 0).trimmed();
    const std::string line = sievetext::MessageLine(
        "", "cannot start the window: " + reason.toStdString() + "; " + kWithoutWindow);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    ::_exit(2);
  }

  static inline std::mutex mutex_;
  static inline std::vector<Held> held_;
  QtMessageHandler previous_ = nullptr;
};

}  // namespace

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
                 "sievetext: cannot start the window: no display (DISPLAY is not set); %s\n",
                 kWithoutWindow);
    return 2;
  }
  // QApplication keeps a reference to the count for its whole life.
  static int argumentCount = 0;
  argumentCount = argc;
  std::optional<StartGuard> starting(std::in_place);
  QApplication app(argumentCount, argv);
  starting.reset();
  QApplication::setApplicationName(QStringLiteral("Sievetext"));
  QApplication::setDesktopFileName(QStringLiteral("sievetext"));

  IniSettingsStore settings(IniSettingsStore::DefaultPath());
  // Load the window hidden (its load handler sets the title and starts the
  // buttons), then create the engine, then fill in the saved options.
  frmMain window(*state, settings);
  state->oRemover = std::make_unique<cSievetext>();
  LoadOptions(settings, window.optionBoxes());
  window.setLayoutMode(LoadLayout(settings));
  QCoreApplication::processEvents();
  window.show();
  return QApplication::exec();
}
