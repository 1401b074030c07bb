// One running copy per user session. The first copy owns the session-bus name
// org.skimbrook.Skimbrook; a later copy hands its command line to the first and ends.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace skimbrook {

// The program's arguments after its path, as given: read from argv before the application
// object takes out the options it handles itself ("-reverse", "-style x"), so that a
// later copy can hand on its whole command line.
QStringList CommandLineArguments(int Argc, char** Argv);

// Called at start-up before anything is read or written. When another copy owns the bus
// name, calls its Activate with Arguments (the program path excluded) joined by single
// blanks and returns true: this copy must end without touching settings or data files.
// Returns false when this copy is the only one; it then owns the name. Without a session
// bus it returns false and says so on standard error.
bool FindAndActivateRunningCopy(const QStringList& Arguments);

// What the running copy does when a later copy activates it, after the shell has brought
// its last active window to the front: Handler receives the forwarded command line, which
// it must not interpret (the main window refills its item list when it is not empty).
void SetActivationHandler(std::function<void(const QString& CommandLine)> Handler);

}  // namespace skimbrook
