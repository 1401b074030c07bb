// The help window: help.html from the program's folder in an embedded browser.
#pragma once

class QWidget;

namespace skimbrook {

// Shows the one help window (created on first use and kept), loads the help page again
// from the top and brings the window to the front.
void ShowHelp(QWidget* Parent);

}  // namespace skimbrook
