// The content pane's browser: the events it raises, and browser mode, in which the browser
// takes the whole right side with an address bar above it.
#include "ui/panes/uBrowserMode.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <stdexcept>
#include <utility>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/browser/uFeedAddress.h"
#include "ui/browser/uWebBrowser.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/painting/uGlyphs.h"
#include "ui/window/uCommand.h"
#include "ui/window/uPaneHost.h"
#include "ui/window/uPaneLayout.h"
#include "ui/window/uProduct.h"

namespace skimbrook {

namespace {

constexpr int kBrowserToolbarHeight = 29;
constexpr int kBrowserButtonSize = 25;

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

QToolButton* BrowserButton(QWidget* Parent, TGlyph Glyph, const char* Hint) {
  auto* button = new QToolButton(Parent);
  button->setIcon(GlyphIcon(Glyph));
  button->setIconSize(QSize(20, 20));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setToolTip(QString::fromLatin1(Hint));
  button->resize(kBrowserButtonSize, kBrowserButtonSize);
  return button;
}

// Keeps the browser toolbar's address box stretched and its last two buttons at a fixed
// distance from the right edge.
class TBrowserToolbarLayout : public QObject {
 public:
  TBrowserToolbarLayout(QFrame* Panel, QLineEdit* Address, QToolButton* Go, QToolButton* Close)
      : QObject(Panel), panel_(Panel), address_(Address), go_(Go), close_(Close) {
    Panel->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched == panel_ && (Event->type() == QEvent::Resize || Event->type() == QEvent::Show)) Arrange();
    return false;
  }

 private:
  void Arrange() {
    const int width = panel_->width();
    go_->move(width - 52, 2);
    close_->move(width - 27, 2);
    address_->setGeometry(104, 4, std::max(0, width - 52 - 4 - 104), 21);
  }

  QFrame* panel_;
  QLineEdit* address_;
  QToolButton* go_;
  QToolButton* close_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Building

// The bar's widgets are made once, here, in the order they are laid out.
TBrowserMode::TBrowserMode(TPaneHost& Host, QWidget* Parent, std::function<void(const QUrl&)> OpenOnDesktop)
    : host_(Host),
      openOnDesktop_(std::move(OpenOnDesktop)),
      plBrowserToolbar(BevelPanel(Parent, kBrowserToolbarHeight)),
      sbBrowserHome(BrowserButton(plBrowserToolbar, TGlyph::BrowserHome, "Home")),
      sbBrowserBack(BrowserButton(plBrowserToolbar, TGlyph::BrowserBack, "Back")),
      sbBrowserForward(BrowserButton(plBrowserToolbar, TGlyph::BrowserForward, "Forward")),
      sbBrowserRefresh(BrowserButton(plBrowserToolbar, TGlyph::BrowserRefresh, "Refresh")),
      ebURL(new QLineEdit(plBrowserToolbar)),
      sbBrowserGo(BrowserButton(plBrowserToolbar, TGlyph::BrowserGo, "Go")),
      sbBrowserClose(BrowserButton(plBrowserToolbar, TGlyph::BrowserClose, "Close")) {
  sbBrowserHome->move(2, 2);
  sbBrowserBack->move(27, 2);
  sbBrowserForward->move(52, 2);
  sbBrowserRefresh->move(77, 2);
  ebURL->setFrame(false);
  ebURL->setFixedHeight(21);
  new TBrowserToolbarLayout(plBrowserToolbar, ebURL, sbBrowserGo, sbBrowserClose);
  plBrowserToolbar->hide();
  const std::pair<QWidget*, const char*> named[] = {
      {plBrowserToolbar, "plBrowserToolbar"}, {sbBrowserHome, "sbBrowserHome"},
      {sbBrowserBack, "sbBrowserBack"},       {sbBrowserForward, "sbBrowserForward"},
      {sbBrowserRefresh, "sbBrowserRefresh"}, {ebURL, "ebURL"},
      {sbBrowserGo, "sbBrowserGo"},           {sbBrowserClose, "sbBrowserClose"}};
  for (const auto& [widget, name] : named) widget->setObjectName(QLatin1String(name));
  BuildCommands();
}

void TBrowserMode::BuildCommands() {
  using T = TBrowserMode;
  QWidget* home = plBrowserToolbar;
  tick_ = NewCommand(home, "miViewBrowser", QStringLiteral("&Browser"), this, &T::miViewBrowserClick,
                     {QKeySequence(Qt::CTRL | Qt::Key_B)});
  tick_->setCheckable(true);
  NewCommand(home, "miViewFeedWebSite", QStringLiteral("Feed &Web Site"), this, &T::miViewFeedWebSiteClick,
             {QKeySequence(Qt::CTRL | Qt::Key_W)});
  NewCommand(home, "miViewFollowLink", QStringLiteral("Follow &Link"), this, &T::miViewFollowLinkClick,
             {QKeySequence(Qt::CTRL | Qt::Key_L)});
  NewCommand(home, "miViewOpenInBrowser", QStringLiteral("&Open in Browser"), this,
             &T::miViewOpenInBrowserClick, {QKeySequence(Qt::CTRL | Qt::Key_O)});
  NewCommand(home, "miFileSearchDirectory",
             QStringLiteral("&Search %1...").arg(QString::fromLatin1(product::kDirectoryName)), this,
             &T::miFileSearchDirectoryClick);
  NewCommand(home, "miHelpHomePage", QStringLiteral("Home &Page"), this, &T::ShowHomePage);
  // Browser mode's own entries of the Tools menu, shown only in browser mode. The keypad's
  // Enter is Enter too.
  QAction* const browserOnly[] = {
      NewCommand(home, "miToolsGo", QStringLiteral("G&o"), this, &T::sbBrowserGoClick,
                 {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}),
      NewCommand(home, "miToolsReload", QStringLiteral("&Reload"), this, &T::sbBrowserRefreshClick,
                 {QKeySequence(Qt::Key_F5)}),
      NewCommand(home, "miToolsBack", QStringLiteral("&Back"), this, &T::sbBrowserBackClick,
                 {QKeySequence(Qt::ALT | Qt::Key_Left)}),
      NewCommand(home, "miToolsForward", QStringLiteral("For&ward"), this, &T::sbBrowserForwardClick,
                 {QKeySequence(Qt::ALT | Qt::Key_Right)})};
  for (QAction* action : browserOnly) action->setVisible(false);
}

QWidget* TBrowserMode::Toolbar() const {
  return plBrowserToolbar;
}

void TBrowserMode::Connect() {
  const std::pair<QToolButton*, void (TBrowserMode::*)()> buttons[] = {
      {sbBrowserHome, &TBrowserMode::sbBrowserHomeClick},
      {sbBrowserBack, &TBrowserMode::sbBrowserBackClick},
      {sbBrowserForward, &TBrowserMode::sbBrowserForwardClick},
      {sbBrowserRefresh, &TBrowserMode::sbBrowserRefreshClick},
      {sbBrowserGo, &TBrowserMode::sbBrowserGoClick},
      {sbBrowserClose, &TBrowserMode::sbBrowserCloseClick}};
  for (const auto& [button, handler] : buttons) connect(button, &QToolButton::clicked, this, handler);
  connect(WebBrowser, &TWebBrowser::BeforeNavigate2, this, &TBrowserMode::WebBrowserBeforeNavigate2);
  connect(WebBrowser, &TWebBrowser::StatusTextChange, this, &TBrowserMode::WebBrowserStatusTextChange);
  connect(WebBrowser, &TWebBrowser::NewWindow2, this, &TBrowserMode::WebBrowserNewWindow2);
  connect(WebBrowser, &TWebBrowser::NavigationRefused, this, &TBrowserMode::WebBrowserNavigationRefused);
  KeepEnterInPages();
}

// ---------------------------------------------------------------------------------------
// The browser's events

void TBrowserMode::WebBrowserBeforeNavigate2(const QString& Url, bool MainFrame) {
  // A frame loading inside the page (an embedded video in an item, an advertisement) is
  // not where the user is going: it neither changes the mode nor the address box.
  if (!MainFrame) return;
  // A navigation the program did not start itself (a link in a page, a typed address)
  // takes the window into browser mode; it is never cancelled.
  if (!navigatingInternally_) EnterBrowserMode(false);
  shownUrl_ = Url;
  ebURL->setText(ToDisplayAddress(FromDisplay(Url)));
}

void TBrowserMode::WebBrowserStatusTextChange(const QString& Text) {
  host_.ShowStatus(ToDisplayAddress(FromDisplay(Text)));
}

void TBrowserMode::WebBrowserNewWindow2(const QString&) {
  // The browser has already handed the address to the desktop; the window stays as it is.
}

void TBrowserMode::WebBrowserNavigationRefused(const QUrl& Url) {
  host_.ShowStatus(RefusedAddressNote(Url));
}

void TBrowserMode::KeepEnterInPages() {
  auto* filter = new TPageKeepsEnter(this);
  // The engine creates the widget that takes the keys when it needs one; it is caught
  // when it gets the focus.
  connect(qApp, &QApplication::focusChanged, this, [this, filter](QWidget*, QWidget* Now) {
    if (Now && WebBrowser->isAncestorOf(Now)) Now->installEventFilter(filter);
  });
}

// ---------------------------------------------------------------------------------------
// Browser mode

void TBrowserMode::ShowItemPage(const QString& Page, const QUrl& BaseUrl) {
  if (InBrowserMode()) return;
  // Back to the earlier value at the end, also on an error: a page written while a blank
  // page is awaited must not end the wait's own internal navigation.
  const QScopedValueRollback internal(navigatingInternally_, true);
  try {
    WebBrowser->Navigate(QStringLiteral("about:blank"));
    WebBrowser->LoadFromText(Page, BaseUrl);
  } catch (...) {
    // A page that cannot be written is not worth a message.
  }
}

bool TBrowserMode::InBrowserMode() const {
  return tick_ && tick_->isChecked();
}

void TBrowserMode::BlankBrowser(std::function<void()> Then) {
  StopWaiting();
  // The program's own navigation until the blank page is ready; then the flag is as it was.
  internalBeforeBlank_ = navigatingInternally_;
  navigatingInternally_ = true;
  waitingForBlank_ = true;
  WebBrowser->Navigate(QStringLiteral("about:blank"));
  auto ready = [this, Then = std::move(Then)] {
    if (WebBrowser->ReadyState() < TWebBrowser::Interactive) return false;
    // Taken before the wait's connection, which holds this function, goes.
    const std::function<void()> then = Then;
    StopWaiting();
    if (!host_.IsShutDown() && then) then();
    return true;
  };
  if (ready()) return;
  blankWait_ = connect(WebBrowser, &TWebBrowser::ReadyStateChanged, this, [ready] { ready(); });
}

void TBrowserMode::StopWaiting() {
  if (!waitingForBlank_) return;
  waitingForBlank_ = false;
  disconnect(blankWait_);
  navigatingInternally_ = internalBeforeBlank_;
}

void TBrowserMode::EnterBrowserMode(bool BlankFirst, std::function<void()> Then) {
  auto enter = [this, Then = std::move(Then)] {
    tick_->setChecked(true);
    plBrowserToolbar->show();
    emit ModeChanged(true);
    if (Then) Then();
  };
  if (BlankFirst)
    BlankBrowser(std::move(enter));
  else
    enter();
}

void TBrowserMode::LeaveBrowserMode() {
  tick_->setChecked(false);
  plBrowserToolbar->hide();
  emit ModeChanged(false);
}

// ---------------------------------------------------------------------------------------
// Commands that open pages

void TBrowserMode::miViewBrowserClick() {
  // The entry has already toggled its tick.
  if (!tick_->isChecked()) {
    LeaveBrowserMode();
    return;
  }
  ShowHomePage();
}

void TBrowserMode::ShowHomePage() {
  EnterBrowserMode(true, [this] { WebBrowser->Navigate(QString::fromLatin1(product::kHomePage)); });
}

void TBrowserMode::OpenFeedAddress(const std::string& Address, const QUrl& BaseUrl) {
  // Resolved first: the blank page's wait runs the event loop, which may replace the
  // current feed.
  const QUrl address = ResolveFeedAddress(Address, BaseUrl);
  if (!IsWebAddress(address)) {
    host_.ShowStatus(RefusedAddressNote(address));
    return;
  }
  EnterBrowserMode(true, [this, address] { WebBrowser->Navigate(address.toString(QUrl::FullyEncoded)); });
}

void TBrowserMode::miViewFeedWebSiteClick() {
  const std::shared_ptr<TFeed>& feed = host_.CurrentFeed();
  if (!feed || feed->HtmlUrl.empty()) return;
  OpenFeedAddress(feed->HtmlUrl, FeedBaseUrl(feed->XmlUrl));
}

void TBrowserMode::miViewOpenInBrowserClick() {
  const std::shared_ptr<TFeedItem>& item = host_.CurrentItem();
  if (!item || item->Link.empty()) return;
  const QUrl address = ResolveFeedAddress(item->Link, host_.CurrentItemBaseUrl());
  if (!IsWebAddress(address)) {
    host_.ShowStatus(RefusedAddressNote(address));
    return;
  }
  openOnDesktop_(address);
}

void TBrowserMode::miViewFollowLinkClick() {
  const std::shared_ptr<TFeedItem>& item = host_.CurrentItem();
  if (!item || item->Link.empty()) return;
  OpenFeedAddress(item->Link, host_.CurrentItemBaseUrl());
}

void TBrowserMode::miFileSearchDirectoryClick() {
  const QString answer =
      host_.Prompts().InputBox(QStringLiteral("Search %1").arg(QString::fromLatin1(product::kDirectoryName)),
                               QStringLiteral("Entry keyword(s):"), QString());
  const std::string keywords = Trim(FromDisplay(answer));
  if (keywords.empty()) return;
  const std::string address = std::string("http://") + product::kDirectoryHost +
                              product::kDirectorySearchPath + DirectoryQuery(keywords);
  EnterBrowserMode(true, [this, address] { WebBrowser->Navigate(ToDisplay(address)); });
}

// ---------------------------------------------------------------------------------------
// The browser toolbar and the Tools menu's browser entries

void TBrowserMode::sbBrowserHomeClick() {
  WebBrowser->Navigate(QString::fromLatin1(product::kHomePage));
}

void TBrowserMode::sbBrowserGoClick() {
  // The address goes as typed: the browser makes what sense of it it can. The address
  // shown with its password masked stands for the address itself.
  const QString typed = ebURL->text();
  const bool unchanged = !shownUrl_.isEmpty() && typed == ToDisplayAddress(FromDisplay(shownUrl_));
  WebBrowser->Navigate(unchanged ? shownUrl_ : typed);
}

void TBrowserMode::sbBrowserRefreshClick() {
  WebBrowser->Refresh();
}

void TBrowserMode::sbBrowserCloseClick() {
  LeaveBrowserMode();
}

void TBrowserMode::sbBrowserBackClick() {
  // No earlier page: the history starts where the reader view was left.
  try {
    WebBrowser->GoBack();
  } catch (const std::runtime_error&) {
    LeaveBrowserMode();
  }
}

void TBrowserMode::sbBrowserForwardClick() {
  try {
    WebBrowser->GoForward();
  } catch (const std::runtime_error&) {
    LeaveBrowserMode();
  }
}

}  // namespace skimbrook
