// Helpers for the shell's tests: waiting with the event loop running, child programs, and
// a private session bus whose activation folder the test chooses.
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace skimbrook::test {

// Runs the event loop until Done() holds or TimeoutMs has passed; returns Done().
bool WaitFor(const std::function<bool()>& Done, int TimeoutMs = 20000);

// Waits, with the event loop running, until Process has ended; false on time-out.
bool WaitForExit(QProcess& Process, int TimeoutMs = 20000);

// The program that plays the main window in process tests (build/tests/shell_test_app).
QString TestAppPath();
// The real program when it has been built, else the test app.
QString ProgramUnderTestPath();
// build/bin/skimbrook-addfeed.
QString ClientPath();

// The environment of a child that must not touch the user's files: its data folder,
// settings and registration all under Root.
QProcessEnvironment IsolatedEnvironment(const QString& Root);

// Lines of a text file; empty when the file is absent.
QStringList ReadLines(const QString& Path);

// A dbus-daemon of the session type on a socket of its own, serving activation files from
// ServiceFolder. Children get its address from Environment(). Stopping it also ends the
// program that owns org.skimbrook.Skimbrook on it, since activated programs outlive it.
class TPrivateBus {
 public:
  TPrivateBus(const QString& ServiceFolder, QProcessEnvironment Environment);
  ~TPrivateBus();
  TPrivateBus(const TPrivateBus&) = delete;
  TPrivateBus& operator=(const TPrivateBus&) = delete;

  bool IsRunning() const { return connected_; }
  const QString& Address() const { return address_; }
  // Environment given to the constructor, with this bus as the session bus.
  QProcessEnvironment Environment() const { return environment_; }
  // A connection of the test process to this bus.
  QDBusConnection Connection() const;
  // The process id owning Name, or 0.
  uint OwnerPid(const QString& Name) const;

 private:
  QTemporaryDir dir_;
  QString address_;
  QString connectionName_;
  QProcessEnvironment environment_;
  QProcess daemon_;
  bool connected_ = false;
};

// A virtual X display (Xvfb), optionally with a window manager (openbox), for tests that
// need real windows, focus and a notification area. Programs started on it are the
// test's own; the display ends with this object.
class TVirtualDesktop {
 public:
  explicit TVirtualDesktop(bool WindowManager = false);
  ~TVirtualDesktop();
  TVirtualDesktop(const TVirtualDesktop&) = delete;
  TVirtualDesktop& operator=(const TVirtualDesktop&) = delete;

  // The first of Tools that is not installed, or empty.
  static QString MissingTool(const QStringList& Tools);

  // The display runs, and so does the window manager when one was asked for (it has
  // announced itself on the root window).
  bool IsRunning() const { return !display_.isEmpty() && (!wantsManager_ || managerReady_); }
  // Whether the window manager still runs, and what it printed: for failure messages.
  QString ManagerReport();
  // Base with this display and Qt's X11 platform.
  QProcessEnvironment Environment(QProcessEnvironment Base) const;
  // The output of an xdotool command on this display, trimmed; empty when it failed.
  QString XDoTool(const QStringList& Arguments) const;
  // What xprop prints for one property of a window, trimmed; empty when it failed.
  QString WindowProperty(const QString& Window, const QString& Property) const;
  // The id of a visible window whose name is exactly Name, waiting up to TimeoutMs.
  QString WindowNamed(const QString& Name, int TimeoutMs = 30000) const;
  // The name of the window that has the keyboard focus.
  QString FocusedWindowName() const;

 private:
  QString RunTool(const QString& Program, const QStringList& Arguments) const;

  QProcess server_;
  QProcess manager_;
  QString display_;
  bool wantsManager_ = false;
  bool managerReady_ = false;
};

}  // namespace skimbrook::test
