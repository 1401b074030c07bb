// Where the program keeps its subscription list and cache files.
#pragma once

#include <string>

namespace skimbrook {

// The data folder, ending in '/': $SKIMBROOK_DATA when set; else ExecutableFolder +
// "data/" when it can be created and written; else $XDG_DATA_HOME/Skimbrook/data/
// ($XDG_DATA_HOME defaulting to ~/.local/share).
std::string ResolveDataFolder(const std::string& ExecutableFolder);

}  // namespace skimbrook
