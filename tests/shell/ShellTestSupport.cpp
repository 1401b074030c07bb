#include "ShellTestSupport.h"

#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

namespace skimbrook::test {

bool WaitFor(const std::function<bool()>& Done, int TimeoutMs) {
  QDeadlineTimer deadline(TimeoutMs);
  while (!Done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

bool WaitForExit(QProcess& Process, int TimeoutMs) {
  return WaitFor([&] { return Process.state() == QProcess::NotRunning; }, TimeoutMs);
}

QString TestAppPath() {
  return QStringLiteral(SHELL_TEST_APP);
}

QString ProgramUnderTestPath() {
  const QString program = QStringLiteral(SKIMBROOK_BIN_DIR "/skimbrook");
  return QFileInfo(program).isExecutable() ? program : TestAppPath();
}

QString ClientPath() {
  return QStringLiteral(SKIMBROOK_BIN_DIR "/skimbrook-addfeed");
}

QProcessEnvironment IsolatedEnvironment(const QString& Root) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("SKIMBROOK_DATA", Root + "/data/");
  environment.insert("XDG_CONFIG_HOME", Root + "/config");
  environment.insert("XDG_DATA_HOME", Root + "/share");
  environment.insert("SHELL_TEST_LOG", Root + "/log.txt");
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  return environment;
}

QStringList ReadLines(const QString& Path) {
  QFile file(Path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TPrivateBus::TPrivateBus(const QString& ServiceFolder, QProcessEnvironment Environment)
    : environment_(std::move(Environment)) {
  const QString socket = dir_.path() + "/bus";
  address_ = "unix:path=" + socket;
  environment_.insert("DBUS_SESSION_BUS_ADDRESS", address_);
  const QString config = dir_.path() + "/bus.conf";
  QFile file(config);
  file.open(QIODevice::WriteOnly);
  file.write(
      QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig>\n"
                     "  <type>session</type>\n"
                     "  <listen>unix:path=%1</listen>\n"
                     "  <auth>EXTERNAL</auth>\n"
                     "  <servicedir>%2</servicedir>\n"
                     "  <policy context=\"default\">\n"
                     "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                     "    <allow eavesdrop=\"true\"/>\n"
                     "    <allow own=\"*\"/>\n"
                     "  </policy>\n"
                     "</busconfig>\n")
          .arg(socket.toHtmlEscaped(), ServiceFolder.toHtmlEscaped())
          .toUtf8());
  file.close();
  daemon_.setProcessEnvironment(environment_);
  daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  daemon_.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--nopidfile"});
  if (!daemon_.waitForStarted(10000)) return;
  connectionName_ = "private-bus-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
  WaitFor(
      [&] {
        if (!QFileInfo::exists(socket)) return false;
        QDBusConnection::disconnectFromBus(connectionName_);
        return QDBusConnection::connectToBus(address_, connectionName_).isConnected();
      },
      10000);
  connected_ = Connection().isConnected();
}

TPrivateBus::~TPrivateBus() {
  if (connected_) {
    if (uint pid = OwnerPid(QStringLiteral("org.skimbrook.Skimbrook")))
      ::kill(static_cast<pid_t>(pid), SIGKILL);
    QDBusConnection::disconnectFromBus(connectionName_);
  }
  daemon_.terminate();
  daemon_.waitForFinished(5000);
}

QDBusConnection TPrivateBus::Connection() const {
  return QDBusConnection(connectionName_);
}

uint TPrivateBus::OwnerPid(const QString& Name) const {
  QDBusReply<uint> reply = Connection().interface()->servicePid(Name);
  return reply.isValid() ? reply.value() : 0;
}

TVirtualDesktop::TVirtualDesktop(bool WindowManager) {
  server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
  if (!server_.waitForStarted(10000)) return;
  if (!WaitFor([&] { return server_.canReadLine(); }, 20000)) return;
  display_ = ":" + QString::fromLatin1(server_.readLine()).trimmed();
  if (!WindowManager) return;
  wantsManager_ = true;
  manager_.setProcessEnvironment(Environment(QProcessEnvironment::systemEnvironment()));
  manager_.setProcessChannelMode(QProcess::MergedChannels);
  manager_.start("openbox", {"--sm-disable"});
  // The manager announces itself on the root window once it runs; the tests start their
  // windows only then. A busy machine may take a while.
  managerReady_ = WaitFor(
      [&] {
        return RunTool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
      },
      60000);
}

QString TVirtualDesktop::ManagerReport() {
  const QString state = manager_.state() == QProcess::Running
                            ? QStringLiteral("openbox runs")
                            : QStringLiteral("openbox ended with %1").arg(manager_.exitCode());
  return state + QStringLiteral(", announced: ") + (managerReady_ ? "yes" : "no") +
         QStringLiteral(", output: ") + QString::fromLocal8Bit(manager_.readAll());
}

TVirtualDesktop::~TVirtualDesktop() {
  for (QProcess* process : {&manager_, &server_}) {
    if (process->state() == QProcess::NotRunning) continue;
    process->terminate();
    if (!process->waitForFinished(5000)) process->kill();
    process->waitForFinished(5000);
  }
}

QString TVirtualDesktop::MissingTool(const QStringList& Tools) {
  for (const QString& tool : Tools)
    if (QStandardPaths::findExecutable(tool).isEmpty()) return tool;
  return {};
}

QProcessEnvironment TVirtualDesktop::Environment(QProcessEnvironment Base) const {
  Base.insert("DISPLAY", display_);
  Base.insert("QT_QPA_PLATFORM", "xcb");
  Base.remove("WAYLAND_DISPLAY");
  return Base;
}

QString TVirtualDesktop::RunTool(const QString& Program, const QStringList& Arguments) const {
  QProcess tool;
  tool.setProcessEnvironment(Environment(QProcessEnvironment::systemEnvironment()));
  tool.start(Program, Arguments);
  if (!WaitForExit(tool, 20000) || tool.exitCode() != 0) return {};
  return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

QString TVirtualDesktop::XDoTool(const QStringList& Arguments) const {
  return RunTool("xdotool", Arguments);
}

QString TVirtualDesktop::WindowProperty(const QString& Window, const QString& Property) const {
  return RunTool("xprop", {"-id", Window, Property});
}

QString TVirtualDesktop::WindowNamed(const QString& Name, int TimeoutMs) const {
  QString id;
  WaitFor(
      [&] {
        id = XDoTool({"search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(Name) + "$"})
                 .section('\n', 0, 0);
        return !id.isEmpty();
      },
      TimeoutMs);
  return id;
}

QString TVirtualDesktop::FocusedWindowName() const {
  return XDoTool({"getwindowfocus", "getwindowname"});
}

}  // namespace skimbrook::test
