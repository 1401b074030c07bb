// Plays the main window in the shell's process tests: starts the way the program does
// (start switches, automation object, single-copy check, then the data folder and the
// settings file), and records on the file $SHELL_TEST_LOG what reaches it:
//   "started", "refill <command line>", "addfeed <url>", "answered <url>".
// AddFeed stands in for the user's answer: an address containing "wait=<ms>" keeps the
// question open that long, one containing "fail" fails with "Cannot subscribe to <url>".
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMainWindow>
#include <QRegularExpression>
#include <QTimer>
#include <stdexcept>

#include "shell/uExplorerIntegration.h"
#include "shell/uRegistration.h"
#include "shell/uSingleInstance.h"

namespace {

void Log(const QString& Line) {
  QFile file(qEnvironmentVariable("SHELL_TEST_LOG"));
  if (!file.open(QIODevice::Append)) return;
  file.write((Line + "\n").toUtf8());
}

void WriteFile(const QString& Path, const QByteArray& Bytes) {
  QDir().mkpath(QFileInfo(Path).absolutePath());
  QFile file(Path);
  if (file.open(QIODevice::WriteOnly)) file.write(Bytes);
}

// What the program's start reads and writes once it knows it is the only copy.
void TouchDataAndSettings() {
  WriteFile(qEnvironmentVariable("SKIMBROOK_DATA") + "/default.opml", "<opml version=\"1.0\"/>\r\n");
  WriteFile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Skimbrook/HKCU.reg", "REGEDIT4\r\n");
}

void AddFeed(const std::string& Url) {
  const QString url = QString::fromStdString(Url);
  Log("addfeed " + url);
  if (url.contains("fail")) throw std::runtime_error("Cannot subscribe to " + Url);
  const QRegularExpressionMatch wait = QRegularExpression("wait=(\\d+)").match(url);
  if (wait.hasMatch()) {
    QEventLoop question;
    QTimer::singleShot(wait.captured(1).toInt(), &question, &QEventLoop::quit);
    question.exec();
  }
  Log("answered " + url);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace skimbrook;
  const TStartOutcome start = HandleStartSwitches(argc, argv);
  if (start.Exit) return start.ExitCode;
  const QStringList arguments = CommandLineArguments(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Skimbrook"));
  QMainWindow* window = nullptr;
  RegisterAutomationObject([&](const std::string& Url) {
    if (!window) throw std::runtime_error("No main window yet");
    AddFeed(Url);
  });
  if (FindAndActivateRunningCopy(arguments)) return 0;
  TouchDataAndSettings();
  window = new QMainWindow;
  window->setWindowTitle(QStringLiteral("Skimbrook v.1.0"));
  SetActivationHandler([](const QString& CommandLine) { Log("refill " + CommandLine); });
  window->show();
  Log("started");
  const int code = QApplication::exec();
  delete window;
  return code;
}
