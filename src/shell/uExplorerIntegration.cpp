// Placeholder until the D-Bus automation object lands.
#include "shell/uExplorerIntegration.h"

namespace skimbrook {

void RegisterAutomationObject(std::function<void(const std::string&)>) {}

}  // namespace skimbrook
