// Where a copy of the program finds its own pages and keeps the user's subscriptions. A
// copy run from its build folder (or unpacked into a folder of its own) has everything
// beside the executable; an installed copy has its pages in the share folder of its
// installation and its data in the user's data folder.
#pragma once

#include <string>

namespace skimbrook {

struct TProgramFiles {
  // The executable's folder, ending in '/'.
  std::string ExecutableFolder;
  // The folder holding help.html and addfeed.htm, ending in '/'.
  std::string PagesFolder;
  // The pages lie in the installation's share folder rather than beside the executable.
  bool Installed = false;
};

// The files of the program at ExecutablePath. help.html beside it makes a copy that keeps
// everything beside itself; otherwise <its folder>/../share/skimbrook/help.html (the folder
// the installation rules use) makes an installed copy. With neither, the pages are looked
// for beside the executable.
TProgramFiles LocateProgramFiles(const std::string& ExecutablePath);

// The data folder, ending in '/': $SKIMBROOK_DATA when set; else, for a copy that is not
// installed, the executable's folder + "data/" when it exists and can be written, or could
// be created; else $XDG_DATA_HOME/Skimbrook/data/ ($XDG_DATA_HOME defaulting to
// ~/.local/share). An installed copy never writes beside its executable, even when the
// user could (root may write /usr/bin). Creates nothing: the main window creates the
// folder when it starts.
std::string ResolveDataFolder(const TProgramFiles& Program);

}  // namespace skimbrook
