// The proxy settings dialog.
#pragma once

class QWidget;

namespace skimbrook {

class TSettings;

// Shows the proxy dialog for Settings; copies the controls back and returns true only
// when the user pressed OK. Saving is the caller's step.
bool EditProxySettings(TSettings& Settings, QWidget* Parent);

}  // namespace skimbrook
