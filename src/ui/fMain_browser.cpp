// The content pane's browser: the events it raises, and browser mode, in which the browser
// takes the whole right side with an address bar above it.
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/fMain.h"
#include "ui/uCaptionPanel.h"
#include "ui/uFeedAddress.h"
#include "ui/uFeedListBox.h"
#include "ui/uProduct.h"
#include "ui/uPrompts.h"
#include "ui/uWebBrowser.h"

namespace skimbrook {

namespace {

// How often the wait for a blank page looks at the browser's ready state.
constexpr int kReadyPollMs = 10;

// Runs the event loop until Done answers true, or until the application quits. There is no
// time limit: the window goes on handling everything meanwhile.
void WaitUntil(const std::function<bool()>& Done) {
  if (Done()) return;
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(kReadyPollMs);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (Done()) loop.quit();
  });
  poll.start();
  loop.exec();
}

// Enter in a page shown by the browser belongs to the page (a focused link or button, a
// form), not to the window's "Go", whose shortcut would otherwise take it.
class TPageKeepsEnter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() != QEvent::ShortcutOverride) return QObject::eventFilter(Watched, Event);
    const auto* key = static_cast<QKeyEvent*>(Event);
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
      Event->accept();
      return true;
    }
    return false;
  }
};

// The keywords as the directory's search page takes them: every blank becomes "+", and the
// few characters that would change the address itself ("%", "&", "#", "+") are
// percent-encoded, so that "AT&T" or "c++" are searched as typed.
std::string DirectoryQuery(const std::string& Keywords) {
  std::string query;
  for (const char c : Keywords) {
    switch (c) {
      case ' ':
        query += '+';
        break;
      case '%':
        query += "%25";
        break;
      case '&':
        query += "%26";
        break;
      case '#':
        query += "%23";
        break;
      case '+':
        query += "%2B";
        break;
      default:
        query += c;
    }
  }
  return query;
}

}  // namespace

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

void TfmMain::WebBrowserNavigationRefused(const QUrl& Url) {
  StatusBar->showMessage(RefusedAddressNote(Url));
}

void TfmMain::KeepEnterInPages() {
  auto* filter = new TPageKeepsEnter(this);
  // The engine creates the widget that takes the keys when it needs one; it is caught
  // when it gets the focus.
  connect(qApp, &QApplication::focusChanged, this, [this, filter](QWidget*, QWidget* Now) {
    if (Now && WebBrowser->isAncestorOf(Now)) Now->installEventFilter(filter);
  });
}

// ---------------------------------------------------------------------------------------
// Browser mode

bool TfmMain::InBrowserMode() const {
  return miViewBrowser->isChecked();
}

void TfmMain::BlankBrowser() {
  const QScopedValueRollback internal(navigatingInternally, true);
  WebBrowser->Navigate(QStringLiteral("about:blank"));
  // A window that closes meanwhile ends the wait too.
  WaitUntil([this] { return shutDown_ || WebBrowser->ReadyState() >= TWebBrowser::Interactive; });
}

void TfmMain::SetBrowserModeMenus(bool BrowserMode) {
  for (QAction* disabled :
       {miViewToolbar, miViewStatusBar, miViewFeedList, miViewItemContents, miViewFeedWebSite,
        miViewFollowLink, miFileAddFeed, miFileRemoveFeed, miFileFeedInfo, miFileAddGroup})
    disabled->setEnabled(!BrowserMode);
  for (QAction* hidden : {miToolsCatchUpFeed, miToolsCatchUpGroup, miToolsCatchUpAll, miToolsCatchUpSeparator,
                          miToolsDownloadFeed, miToolsDownloadGroup, miToolsDownloadAll})
    hidden->setVisible(!BrowserMode);
  for (QAction* shown : {miToolsGo, miToolsReload, miToolsBack, miToolsForward})
    shown->setVisible(BrowserMode);
}

void TfmMain::EnterBrowserMode(bool BlankFirst) {
  if (BlankFirst) BlankBrowser();
  miViewBrowser->setChecked(true);

  plBrowserToolbar->show();
  plBottomRight->show();
  plItemTitle->hide();
  plItemLink->hide();
  // Hiding a pane hides its splitter handle with it.
  plTopRight->hide();
  lbFeedList->hide();
  plToolbar->hide();
  halfHeightPending_ = false;

  SetBrowserModeMenus(true);
  // The item's page is no longer on screen.
  MarkAsReadTimer->stop();
}

void TfmMain::LeaveBrowserMode() {
  miViewBrowser->setChecked(false);
  plBrowserToolbar->hide();
  plItemLink->show();
  plItemTitle->show();

  plToolbar->setVisible(miViewToolbar->isChecked());
  lbFeedList->setVisible(miViewFeedList->isChecked());
  ApplyItemContentsLayout(miViewItemContents->isChecked());

  SetBrowserModeMenus(false);
  lbItems->setFocus();
  UpdateFeedAndItemView();
  // The current item's page is on screen again, as if it had just been selected.
  ArmMarkAsRead();
}

// ---------------------------------------------------------------------------------------
// Commands that open pages

void TfmMain::miViewBrowserClick() {
  // The entry has already toggled its tick.
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

void TfmMain::OpenFeedAddress(const std::string& Address) {
  // Resolved first: the blank page's wait runs the event loop, which may replace the
  // current feed.
  const QUrl address = ResolveFeedAddress(Address, FeedBaseUrl(currentFeed_ ? currentFeed_->XmlUrl : ""));
  if (!IsWebAddress(address)) {
    StatusBar->showMessage(RefusedAddressNote(address));
    return;
  }
  EnterBrowserMode(true);
  WebBrowser->Navigate(address.toString(QUrl::FullyEncoded));
}

void TfmMain::OpenFeedWebSite() {
  if (!currentFeed_ || currentFeed_->HtmlUrl.empty()) return;
  OpenFeedAddress(currentFeed_->HtmlUrl);
}

void TfmMain::FollowItemLink() {
  if (!currentItem_ || currentItem_->Link.empty()) return;
  OpenFeedAddress(currentItem_->Link);
}

void TfmMain::SearchDirectory() {
  const QString answer =
      Prompts().InputBox(QStringLiteral("Search %1").arg(QString::fromLatin1(product::kDirectoryName)),
                         QStringLiteral("Entry keyword(s):"), QString());
  const std::string keywords = Trim(FromDisplay(answer));
  if (keywords.empty()) return;
  EnterBrowserMode(true);
  const std::string address = std::string("http://") + product::kDirectoryHost +
                              product::kDirectorySearchPath + DirectoryQuery(keywords);
  WebBrowser->Navigate(ToDisplay(address));
}

// ---------------------------------------------------------------------------------------
// The browser toolbar and the Tools menu's browser entries

void TfmMain::sbBrowserHomeClick() {
  WebBrowser->Navigate(QString::fromLatin1(product::kHomePage));
}

void TfmMain::sbBrowserGoClick() {
  // The address goes as typed: the browser makes what sense of it it can.
  WebBrowser->Navigate(ebURL->text());
}

void TfmMain::sbBrowserRefreshClick() {
  WebBrowser->Refresh();
}

void TfmMain::sbBrowserCloseClick() {
  LeaveBrowserMode();
}

void TfmMain::sbBrowserBackClick() {
  // No earlier page: the history starts where the reader view was left.
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
