// The options dialog.
#pragma once

class QWidget;

namespace skimbrook {

class TSettings;

// Shows the options dialog for Settings; copies the boxes back and returns true only when
// the user pressed OK. Saving is the caller's step.
bool EditOptions(TSettings& Settings, QWidget* Parent);

}  // namespace skimbrook
