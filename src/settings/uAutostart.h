// Desktop entries in the XDG autostart folder: what makes the desktop session start a
// program when the user logs on.
#pragma once

#include <string>

namespace skimbrook {

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path,
// otherwise ~/.config.
std::string UserConfigFolder();

// $XDG_CONFIG_HOME/autostart, the folder the session reads at log-on.
std::string DefaultAutostartFolder();

// The file name of the entry for the program named ProgramName: "skimbrook" gives
// "skimbrook.desktop". Letters are lowered and characters unfit for a desktop file name
// become '_'.
std::string AutostartFileName(const std::string& ProgramName);

// A desktop entry that starts the program at ExecutablePath, with no arguments.
std::string AutostartEntryText(const std::string& ExecutablePath);

// The Exec= value that runs Path: quoted, with the escapes of the desktop entry format.
std::string DesktopExecValue(const std::string& Path);

}  // namespace skimbrook
