// Placeholder until the D-Bus single-copy service lands: this copy is always the only one.
#include "shell/uSingleInstance.h"

namespace skimbrook {

bool FindAndActivateRunningCopy(const QStringList&) { return false; }
void SetActivationHandler(std::function<void(const QString&)>) {}

}  // namespace skimbrook
