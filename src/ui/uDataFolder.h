// Where the program keeps its subscription list and cache files.
#pragma once

#include <string>

namespace skimbrook {

// The data folder, ending in '/': $SKIMBROOK_DATA when set; else ExecutableFolder +
// "data/" when it exists and can be written, or could be created; else $XDG_DATA_HOME/Skimbrook/data/
// ($XDG_DATA_HOME defaulting to ~/.local/share).
// Creates nothing: the main window creates the folder when it starts.
std::string ResolveDataFolder(const std::string& ExecutableFolder);

}  // namespace skimbrook
