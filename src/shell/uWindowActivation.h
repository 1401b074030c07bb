// Bringing a window of this program to the front while another program has the focus.
#pragma once

class QWidget;

namespace skimbrook {

// Raises Window and gives it the keyboard focus, as the user's own click on it would, also
// when this program is in the background. Window must be shown (it may still be mapping).
void ActivateWindowFromOutside(QWidget* Window);

}  // namespace skimbrook
