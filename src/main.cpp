#include <QApplication>
#include <QDateTime>
#include <QFontDatabase>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#ifdef Q_OS_LINUX
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>
#endif

#include "app/AppCore.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/ProgramFolder.h"
#include "app/ProgramShell.h"
#include "ui/QtDialogs.h"
#include "ui/QtSound.h"
#include "ui/QtTranslations.h"
#include "ui/ScrollBarStyle.h"

#ifdef __SANITIZE_ADDRESS__
// In the sanitizer build the leak scan at exit takes seconds after the window has closed and the
// settings are saved. It runs where it is asked for (make test sets ASAN_OPTIONS=detect_leaks=1);
// a test build started by hand ends at once.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#endif

namespace {

// SIGTERM and SIGINT close the main window exactly as its close box does. The signals are
// blocked and read from a descriptor in the event loop, so no handler runs asynchronously.
void CloseOnTerminationSignals(QWidget* window) {
#ifdef Q_OS_LINUX
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  const int fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd < 0) return;
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [fd, window] {
    signalfd_siginfo info;
    while (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    window->close();
  });
  QObject::connect(window, &QObject::destroyed, [fd] { close(fd); });
#else
  (void)window;
#endif
}

void BlockTerminationSignals() {
#ifdef Q_OS_LINUX
  // Before any thread starts, so that every thread inherits the mask.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  // The options come first: --help, --version and mistakes need no display.
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  QString error;
  bool help = false;
  const auto options = quillora::CommandLine::Parse(args, &error, &help);
  if (!options) {
    if (!help) std::fprintf(stderr, "quillora: %s\n", qPrintable(error));
    std::fputs(qPrintable(quillora::CommandLine::Usage()), help ? stdout : stderr);
    return help ? 0 : 2;
  }
  if (options->version) {
    std::fputs(qPrintable(quillora::CommandLine::VersionText()), stdout);
    return 0;
  }

  BlockTerminationSignals();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillora"));
  // Window titles are exactly the program's own; no " — Quillora" suffix.
  QApplication::setDesktopFileName(QStringLiteral("io.github.quillora.Quillora"));
  quillora::InstallQtTranslations(QLocale::system());
  quillora::UseClearScrollBars(app);

  const QString folder =
      quillora::ResolveProgramFolder(options->home, QApplication::applicationDirPath());
  if (folder.isEmpty()) {
    std::fprintf(stderr, "quillora: no writable program folder\n");
    return 1;
  }

  // A Japanese-capable font for the whole interface when the desktop gives none.
  if (QFontDatabase::families().contains(QStringLiteral("VL PGothic"))) {
    QFont font = QApplication::font();
    font.setFamilies({font.family(), QStringLiteral("VL PGothic")});
    QApplication::setFont(font);
  }

  quillora::QtSound sound;
  quillora::QtDialogs dialogs;
  const auto seed = static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch());
  quillora::AppCore core(folder, seed, sound);
  core.AllowPortMapping(options->port_mapping);
  core.Startup(*options);

  quillora::ProgramShell shell(core, dialogs);
  shell.Show();
  CloseOnTerminationSignals(&shell.main_window());

  if (options->server) {
    QTimer::singleShot(0, &core, [&core] { core.session().BecomeServer(); });
  } else if (!options->connect.isEmpty()) {
    const QString address = options->connect;
    QTimer::singleShot(0, &core, [&core, address] { core.session().Connect(address); });
  }
  return app.exec();
}
