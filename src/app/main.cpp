// The program's entry: the start switches, the application object, the automation object,
// the single-copy check, the main window and the message loop.
#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "base/uFiles.h"
#include "model/uRSS.h"
#include "settings/uHiveRegistry.h"
#include "settings/uProgramFiles.h"
#include "shell/uExplorerIntegration.h"
#include "shell/uRegistration.h"
#include "shell/uSingleInstance.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/window/fMain.h"
#include "ui/window/uApplication.h"

namespace {

using namespace skimbrook;

// SIGTERM and SIGINT set a flag and write a byte on this pipe, read on the UI thread, where
// the main window is closed the ordinary way (settings and subscription list saved). The
// handler is installed before anything else, so that a signal during the start never ends
// the program abruptly: before the main window exists the start checks the flag and ends
// without reading further.
int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t terminationRequested = 0;

void OnTerminationSignal(int) {
  terminationRequested = 1;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void InstallTerminationHandler() {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) signalPipe[0] = signalPipe[1] = -1;
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

bool TerminationRequested() {
  return terminationRequested != 0;
}

// The program's questions: message boxes and dialogs until a termination signal, then at
// once the answer of a cancelled question, messages going to standard error, so that the
// end of the program waits for no one.
class TProgramPrompts final : public TQtPrompts {
 public:
  bool Confirm(const QString& Title, const QString& Text) override {
    return !TerminationRequested() && TQtPrompts::Confirm(Title, Text);
  }
  bool Warning(const QString& Title, const QString& Text) override {
    return !TerminationRequested() && TQtPrompts::Warning(Title, Text);
  }
  void Information(const QString& Title, const QString& Text) override {
    if (!Unattended(Text)) TQtPrompts::Information(Title, Text);
  }
  void Error(const QString& Title, const QString& Text) override {
    if (!Unattended(Text)) TQtPrompts::Error(Title, Text);
  }
  QString InputBox(const QString& Caption, const QString& Prompt, const QString& Default) override {
    return TerminationRequested() ? Default : TQtPrompts::InputBox(Caption, Prompt, Default);
  }
  int Choose(const QString& Title, const QString& Prompt, const QStringList& Choices) override {
    return TerminationRequested() ? -1 : TQtPrompts::Choose(Title, Prompt, Choices);
  }
  QString OpenFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) override {
    return TerminationRequested() ? QString() : TQtPrompts::OpenFileName(Title, Filter, DefaultExt);
  }
  QString SaveFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) override {
    return TerminationRequested() ? QString() : TQtPrompts::SaveFileName(Title, Filter, DefaultExt);
  }

 private:
  static bool Unattended(const QString& Text) {
    if (!TerminationRequested()) return false;
    std::fprintf(stderr, "skimbrook: %s\n", Text.toLocal8Bit().constData());
    return true;
  }
};

// Ends every modal dialog that is open, as its Cancel would, so that the code waiting for
// it goes on.
void CancelOpenDialogs() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
  }
}

// Reads the pipe on the UI thread once the application object exists. A signal cancels
// the open dialogs, and closes the main window once it exists; until then the start sees
// the flag.
void WatchTerminationSignals(TApplication& App, TfmMain* const& MainWindow) {
  if (signalPipe[0] < 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &App);
  QObject::connect(notifier, &QSocketNotifier::activated, &App, [&App, &MainWindow] {
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    App.OnError = [](const QString& Message) {
      std::fprintf(stderr, "skimbrook: %s\n", Message.toLocal8Bit().constData());
    };
    CancelOpenDialogs();
    if (MainWindow) MainWindow->close();
  });
}

// Removes what atomic writes left behind when the program was killed half-way: in the
// data folder and in the settings hive's folder, and only files of their temporary pattern.
void RemoveLeftoversOfInterruptedWrites() {
  RemoveLeftoverTemporaryFiles(DataFolder());
  const std::string hive = DefaultHivePath();
  RemoveLeftoverTemporaryFiles(hive.substr(0, hive.rfind('/') + 1));
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
  InstallTerminationHandler();
  // Registration with the desktop first: REGSERVER and UNREGSERVER end here, with or
  // without a display.
  const TStartOutcome start = HandleStartSwitches(argc, argv);
  if (start.Exit) return start.ExitCode;
  if (!PrepareEnvironment()) return 2;
  // Read before the application object takes out the options it handles itself
  // ("-reverse", "-style x"): a later copy hands on its whole command line.
  const QStringList arguments = CommandLineArguments(argc, argv);
  if (TerminationRequested()) return 0;
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  TfmMain* mainWindow = nullptr;
  TApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  WatchTerminationSignals(app, mainWindow);

  const QString executable = QCoreApplication::applicationFilePath();
  const TProgramFiles programFiles = LocateProgramFiles(QFile::encodeName(executable).toStdString());
  SetDataFolder(ResolveDataFolder(programFiles));

  RegisterAutomationObject([&mainWindow](const std::string& Url) {
    if (!mainWindow) throw std::runtime_error("Skimbrook is still starting; try again in a moment.");
    mainWindow->AddFeed(Url);
  });
  if (FindAndActivateRunningCopy(arguments)) return 0;
  if (TerminationRequested()) return 0;
  RemoveLeftoversOfInterruptedWrites();

  THiveFileRegistry registry;
  TProgramPrompts prompts;
  TMainWindowServices services;
  services.Registry = &registry;
  services.ExecutablePath = executable.toStdString();
  services.PagesFolder = programFiles.PagesFolder;
  services.Prompts = &prompts;
  TfmMain window(std::move(services));
  // A signal during the start (a message box of it included) ends the program here; the
  // window's shutdown saves only what the start has read.
  if (TerminationRequested()) return 0;
  prompts.SetParent(&window);
  mainWindow = &window;
  SetActivationHandler([&window](const QString& CommandLine) { window.SecondCopyActivated(CommandLine); });
  QObject::connect(&window, &TfmMain::ShutdownFinished, &app, &QCoreApplication::quit, Qt::QueuedConnection);

  window.show();
  ExitAfterFirstShowIfAsked(window);
  const int result = app.exec();
  mainWindow = nullptr;
  return result;
}
