// The tip-of-the-day dialog.
#pragma once

class QWidget;

namespace skimbrook {

// Shows the tip dialog modally, starting at a random tip. ShowTips sets the
// "Show tips on start up" box and receives its state however the dialog closes.
void RunTipDialog(bool& ShowTips, QWidget* Parent);

}  // namespace skimbrook
