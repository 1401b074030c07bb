// Browser mode: the content page's browser takes the whole right side, with an address bar
// above it. This class owns that bar, handles the browser's events and enters and leaves
// the mode; the window lays its other panes out for it.
#pragma once

#include <QObject>
#include <functional>
#include <string>

class QAction;
class QFrame;
class QLineEdit;
class QString;
class QToolButton;
class QUrl;
class QWidget;

namespace skimbrook {

class TPaneHost;
class TWebBrowser;

namespace test {
struct MainWindowAccess;
}

class TBrowserMode : public QObject {
  Q_OBJECT

 public:
  // Builds the address bar inside Parent (hidden). OpenOnDesktop hands a web address to
  // the desktop's browser.
  TBrowserMode(TPaneHost& Host, QWidget* Parent, std::function<void(const QUrl&)> OpenOnDesktop);

  // The address bar, for the window's layout.
  QWidget* Toolbar() const;
  // The content page's browser, which the mode shares with the item pane; before Connect.
  void SetBrowser(TWebBrowser& Browser) { WebBrowser = &Browser; }
  // Connects the browser's events; once the window is built.
  void Connect();
  bool InBrowserMode() const;
  // Writes an item's page as the program's own navigation, its relative addresses
  // resolving against BaseUrl. In browser mode the browser shows the page the user went
  // to, and a refill (after a download, say) must not replace it: leaving browser mode
  // writes the item's page. Errors are dropped and the browser keeps what it showed.
  void ShowItemPage(const QString& Page, const QUrl& BaseUrl);

  // Browser mode; with BlankFirst, once a blank page has replaced the item page, after
  // which Then (when given) goes on, unless the window has closed meanwhile. The window
  // answers everything while the blank page gets ready.
  void EnterBrowserMode(bool BlankFirst, std::function<void()> Then = {});
  // The window closes: a blank page still getting ready is no longer waited for.
  void StopWaiting();
  void LeaveBrowserMode();
  // The menu entry's tick has changed: enters the mode on the home page, or leaves it.
  void miViewBrowserClick();
  // Browser mode on the program's home page.
  void ShowHomePage();
  // Opens an address that comes from a feed (an item's Link, the feed's HtmlUrl) in
  // browser mode: resolved against BaseUrl (the feed's XmlUrl), and only when it is a web
  // address; anything else is refused with a status-bar note.
  void OpenFeedAddress(const std::string& Address, const QUrl& BaseUrl);

  // ---- Commands ----
  // Made with the mode: miViewBrowser (its tick is the mode), miViewFeedWebSite,
  // miViewFollowLink, miFileSearchDirectory, miHelpHomePage, and the Tools menu's entries
  // of browser mode, miToolsGo, miToolsReload, miToolsBack and miToolsForward.
  // The current feed's web site, or the current item's link, in browser mode.
  void miViewFeedWebSiteClick();
  void miViewFollowLinkClick();
  // View > "Open in Browser" (miViewOpenInBrowser): the current item's link in the
  // desktop's browser, for web addresses only.
  void miViewOpenInBrowserClick();
  void miFileSearchDirectoryClick();

  // ---- The browser's events ----
  // Before every navigation of the content pane's browser.
  void WebBrowserBeforeNavigate2(const QString& Url, bool MainFrame);
  void WebBrowserStatusTextChange(const QString& Text);
  void WebBrowserNewWindow2(const QString& Url);
  // A link of an item page that is not a web address was clicked and not followed.
  void WebBrowserNavigationRefused(const QUrl& Url);

  // ---- The address bar ----
  void sbBrowserHomeClick();
  void sbBrowserBackClick();
  void sbBrowserForwardClick();
  void sbBrowserRefreshClick();
  void sbBrowserGoClick();
  void sbBrowserCloseClick();

 signals:
  // Browser mode was entered (true) or left: the window lays its panes and menus out.
  void ModeChanged(bool BrowserMode);

 private:
  friend struct test::MainWindowAccess;

  void BuildCommands();
  // Navigates to about:blank as the program's own navigation; Then follows once it is ready.
  void BlankBrowser(std::function<void()> Then);
  void KeepEnterInPages();

  TPaneHost& host_;
  std::function<void(const QUrl&)> openOnDesktop_;
  // The address bar.
  QFrame* const plBrowserToolbar;
  QToolButton* const sbBrowserHome;
  QToolButton* const sbBrowserBack;
  QToolButton* const sbBrowserForward;
  QToolButton* const sbBrowserRefresh;
  QLineEdit* const ebURL;
  QToolButton* const sbBrowserGo;
  QToolButton* const sbBrowserClose;
  // The content page's browser (the item pane's) and the menu entry whose tick is the mode.
  TWebBrowser* WebBrowser = nullptr;
  QAction* tick_ = nullptr;
  bool navigatingInternally_ = false;
  // The wait for a blank page to get ready, while one goes on.
  QMetaObject::Connection blankWait_;
  bool waitingForBlank_ = false;
  bool internalBeforeBlank_ = false;
  // The address of the page shown, as the browser gave it (ebURL shows it masked).
  QString shownUrl_;
};

}  // namespace skimbrook
