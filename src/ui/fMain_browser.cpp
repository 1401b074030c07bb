// The content pane's browser: the events it raises, and browser mode, in which the browser
// takes the whole right side with an address bar above it.
#include <QAction>
#include <QLineEdit>
#include <QStatusBar>
#include <stdexcept>

#include "model/uRSS.h"
#include "ui/fMain.h"
#include "ui/uDisplayText.h"
#include "ui/uProduct.h"
#include "ui/uWebBrowser.h"

namespace skimbrook {

// ---------------------------------------------------------------------------------------
// The browser's events

void TfmMain::WebBrowserBeforeNavigate2(const QString& Url, bool MainFrame) {
  // A frame loading inside the page (an embedded video in an item, an advertisement) is
  // not where the user is going: it neither changes the mode nor the address box.
  if (!MainFrame) return;
  // A navigation the program did not start itself (a link in a page, a typed address)
  // takes the window into browser mode; it is never cancelled.
  if (!navigatingInternally) EnterBrowserMode(false);
  ebURL->setText(Url);
}

void TfmMain::WebBrowserStatusTextChange(const QString& Text) {
  StatusBar->showMessage(Text);
}

void TfmMain::WebBrowserNewWindow2(const QString&) {
  // The browser has already handed the address to the desktop; the window stays as it is.
}

// ---------------------------------------------------------------------------------------
// Browser mode. The layout switch and the browser toolbar's commands are still to come;
// until then browser mode is only the tick of View > Browser.

bool TfmMain::InBrowserMode() const {
  return miViewBrowser->isChecked();
}

void TfmMain::EnterBrowserMode(bool) {
  miViewBrowser->setChecked(true);
}

void TfmMain::LeaveBrowserMode() {
  miViewBrowser->setChecked(false);
  UpdateFeedAndItemView();
}

void TfmMain::miViewBrowserClick() {
  if (!miViewBrowser->isChecked()) {
    LeaveBrowserMode();
    return;
  }
  EnterBrowserMode(true);
  WebBrowser->Navigate(QString::fromLatin1(product::kHomePage));
}

void TfmMain::miHelpHomePageClick() {
  EnterBrowserMode(true);
  WebBrowser->Navigate(QString::fromLatin1(product::kHomePage));
}

void TfmMain::OpenFeedWebSite() {
  if (!currentFeed_ || currentFeed_->HtmlUrl.empty()) return;
  EnterBrowserMode(true);
  WebBrowser->Navigate(ToDisplay(currentFeed_->HtmlUrl));
}

void TfmMain::FollowItemLink() {
  if (!currentItem_ || currentItem_->Link.empty()) return;
  EnterBrowserMode(true);
  WebBrowser->Navigate(ToDisplay(currentItem_->Link));
}

void TfmMain::SearchDirectory() {}

void TfmMain::sbBrowserHomeClick() {
  WebBrowser->Navigate(QString::fromLatin1(product::kHomePage));
}
void TfmMain::sbBrowserGoClick() {
  WebBrowser->Navigate(ebURL->text());
}
void TfmMain::sbBrowserRefreshClick() {
  WebBrowser->Refresh();
}
void TfmMain::sbBrowserCloseClick() {
  LeaveBrowserMode();
}

void TfmMain::sbBrowserBackClick() {
  try {
    WebBrowser->GoBack();
  } catch (const std::runtime_error&) {
    LeaveBrowserMode();
  }
}

void TfmMain::sbBrowserForwardClick() {
  try {
    WebBrowser->GoForward();
  } catch (const std::runtime_error&) {
    LeaveBrowserMode();
  }
}

void TfmMain::miToolsGoClick() {
  sbBrowserGoClick();
}
void TfmMain::miToolsReloadClick() {
  sbBrowserRefreshClick();
}
void TfmMain::miToolsBackClick() {
  sbBrowserBackClick();
}
void TfmMain::miToolsForwardClick() {
  sbBrowserForwardClick();
}

}  // namespace skimbrook
