// The program's entry: the start switches, the application object, the automation object,
// the single-copy check, the main window and the message loop.
#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "model/uRSS.h"
#include "settings/uHiveRegistry.h"
#include "settings/uProgramFiles.h"
#include "shell/uExplorerIntegration.h"
#include "shell/uRegistration.h"
#include "shell/uSingleInstance.h"
#include "ui/fMain.h"
#include "ui/uApplication.h"
#include "ui/uPrompts.h"
#include "ui/uWebBrowser.h"

namespace {

using namespace skimbrook;

// SIGTERM and SIGINT are turned into a byte on this pipe, read on the UI thread, where the
// main window is closed the ordinary way (settings and subscription list saved).
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void CatchTerminationSignals(TfmMain& Window) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &Window);
  QObject::connect(notifier, &QSocketNotifier::activated, &Window, [&Window] {
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    Window.close();
  });
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

// The web engine refuses to start its sandbox as root; without a display it cannot start
// at all, which deserves a plain sentence rather than a platform plugin's abort.
bool PrepareEnvironment() {
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const bool needsDisplay = !platform || std::string(platform).rfind("xcb", 0) == 0;
  if (needsDisplay && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    std::fprintf(stderr,
                 "skimbrook: no display found. Start it inside a desktop session (DISPLAY or "
                 "WAYLAND_DISPLAY set), or with QT_QPA_PLATFORM=offscreen for a window nobody sees.\n");
    return false;
  }
  return true;
}

// With SKIMBROOK_EXIT_AFTER_SHOW set, the program reports on standard output the wall-clock
// time at which its window was first shown (milliseconds since the epoch) and closes the
// window the ordinary way; the start-up benchmark uses it.
void ExitAfterFirstShowIfAsked(TfmMain& Window) {
  if (!std::getenv("SKIMBROOK_EXIT_AFTER_SHOW")) return;
  QTimer::singleShot(0, &Window, [&Window] {
    std::printf("shown-at-ms %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
    std::fflush(stdout);
    Window.close();
  });
}

}  // namespace

int main(int argc, char** argv) {
  // Registration with the desktop first: REGSERVER and UNREGSERVER end here, with or
  // without a display.
  const TStartOutcome start = HandleStartSwitches(argc, argv);
  if (start.Exit) return start.ExitCode;
  if (!PrepareEnvironment()) return 2;
  RegisterPageScheme();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  TApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  const QString executable = QCoreApplication::applicationFilePath();
  const TProgramFiles programFiles = LocateProgramFiles(QFile::encodeName(executable).toStdString());
  SetDataFolder(ResolveDataFolder(programFiles));

  TfmMain* mainWindow = nullptr;
  RegisterAutomationObject([&mainWindow](const std::string& Url) {
    if (!mainWindow) throw std::runtime_error("Skimbrook is still starting; try again in a moment.");
    mainWindow->AddFeed(Url);
  });
  QStringList arguments = QCoreApplication::arguments();
  arguments.removeFirst();
  if (FindAndActivateRunningCopy(arguments)) return 0;

  THiveFileRegistry registry;
  TQtPrompts prompts;
  TMainWindowServices services;
  services.Registry = &registry;
  services.ExecutablePath = executable.toStdString();
  services.PagesFolder = programFiles.PagesFolder;
  services.Prompts = &prompts;
  TfmMain window(std::move(services));
  prompts.SetParent(&window);
  mainWindow = &window;
  SetActivationHandler([&window](const QString& CommandLine) { window.SecondCopyActivated(CommandLine); });
  CatchTerminationSignals(window);
  QObject::connect(&window, &TfmMain::ShutdownFinished, &app, &QCoreApplication::quit, Qt::QueuedConnection);

  window.show();
  ExitAfterFirstShowIfAsked(window);
  const int result = app.exec();
  mainWindow = nullptr;
  return result;
}
