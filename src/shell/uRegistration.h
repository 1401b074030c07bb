// The program's start switches and its registration with the desktop: the D-Bus activation
// file that starts the program for a caller of its automation object, the program's
// desktop entry, and the entry that makes skimbrook-addfeed the handler of feed: links.
#pragma once

#include <QString>
#include <QStringList>

namespace skimbrook {

// What the registration points at and where it is written.
struct TRegistration {
  // The program's full path; the activation file and the desktop entries start it.
  QString ExecutablePath;
  // The user's data folder ($XDG_DATA_HOME, by default ~/.local/share).
  QString DataHome;
  // The system's data folders ($XDG_DATA_DIRS, by default /usr/local/share and /usr/share),
  // where an installation keeps the same files for every user.
  QStringList SystemDataDirs = {};

  // This running program, and the data folders the environment names.
  static TRegistration ForThisProgram();
};

// The files the registration consists of, in the order they are written.
QString ServiceFilePath(const TRegistration& Registration);
QString DesktopEntryPath(const TRegistration& Registration);
QString HandlerEntryPath(const TRegistration& Registration);

// The three files' contents for Registration. Throws std::runtime_error for a path that
// cannot be written into them (one with a line break or another control character).
QString ServiceFileText(const TRegistration& Registration);
QString DesktopEntryText(const TRegistration& Registration);
QString HandlerEntryText(const TRegistration& Registration);

// Writes the three files (each atomically, and only when its content differs), creating
// their folders. A file that a system data folder already holds with exactly this content
// (an installed copy, registered by its package) is not written: the user's copy is
// removed instead, since it would only hide the system's file, and outlive it when the
// package is removed. Throws std::runtime_error naming the file that could not be written
// or removed.
void WriteRegistration(const TRegistration& Registration);
// Removes the three files; absent ones are fine. Throws std::runtime_error naming a file
// that exists and cannot be removed.
void RemoveRegistration(const TRegistration& Registration);

// The switches found anywhere among Arguments, each written with a leading "/" or "-" in
// any letter case.
struct TStartSwitches {
  bool Automation = false;  // AUTOMATION or EMBEDDING: started by D-Bus activation
  bool RegServer = false;
  bool UnregServer = false;
};
TStartSwitches ReadStartSwitches(const QStringList& Arguments);

// What the program entry does after the switches were handled.
struct TStartOutcome {
  bool Exit = false;  // end the program now with ExitCode
  int ExitCode = 0;
  bool StartedByActivation = false;  // the copy stays open like any other all the same
};

// The first thing the program does. REGSERVER writes the registration and ends (a failure
// is reported on standard error with a non-zero code); UNREGSERVER removes it and ends the
// same way. A start by D-Bus activation goes on like any start. Every other start writes
// the registration silently, ignoring failures, and goes on. Arguments exclude the
// program path. Needs no application object.
TStartOutcome HandleStartSwitches(const QStringList& Arguments, const TRegistration& Registration);
// The same for main's arguments, for this program and its environment.
TStartOutcome HandleStartSwitches(int argc, char** argv);

// Prints "Skimbrook: " + Text as a line on standard error, for the start-up's messages to
// whoever started the program.
void SayOnStandardError(const QString& Text);

}  // namespace skimbrook
