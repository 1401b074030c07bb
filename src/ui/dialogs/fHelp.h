// The help window: help.html from the program's pages folder in an embedded browser.
#pragma once

#include <QWidget>

class QWebEngineView;

namespace skimbrook {

// The help window: one browser filling a sizeable tool window. Escape hides it; closing
// hides it too, and the next ShowHelpWindow brings it back.
class TfmHelp : public QWidget {
  Q_OBJECT

 public:
  TfmHelp();

  QWebEngineView* WebBrowser;

  // Hides the window.
  void FormKeyEscape();
};

// Shows the one help window (created on first use and kept), loads the help page again
// from the top and brings the window to the front.
void ShowHelpWindow(QWidget* Parent);

}  // namespace skimbrook
