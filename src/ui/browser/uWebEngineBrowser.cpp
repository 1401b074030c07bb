#include "ui/browser/uWebEngineBrowser.h"

#include <QApplication>
#include <QBuffer>
#include <QChildEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QShowEvent>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <deque>
#include <functional>
#include <stdexcept>
#include <utility>

#include "ui/browser/uFeedAddress.h"

namespace skimbrook {

namespace {

// Pages given as text are served under this scheme. It is registered so that each page has
// an opaque origin of its own and so that no web content may load from it; the handler
// answers only the browser's own loads on top of that.
constexpr char kPageScheme[] = "skimbrook-page";
// How many text pages stay available for the history (Back to an earlier item page).
constexpr size_t kKeptPages = 16;

// Written before every text page. The policy keeps the page from running script (also in
// attributes such as onerror, whatever the engine's script setting is at the moment),
// from loading frames or plugins and from submitting forms. The base makes relative
// addresses point where the page came from rather than into the page scheme.
QString PageHead(const QUrl& BaseUrl) {
  QString head = QStringLiteral(
      "<meta http-equiv=\"Content-Security-Policy\" "
      "content=\"script-src 'none'; object-src 'none'; frame-src 'none'; form-action 'none'\">");
  if (BaseUrl.isValid())
    head += QStringLiteral("<base href=\"%1\">").arg(BaseUrl.toString(QUrl::FullyEncoded).toHtmlEscaped());
  // The window's colours, so that a dark desktop gives a dark page; a page's own colours
  // are more specific and still win inside it.
  const QPalette palette = QApplication::palette();
  head += QStringLiteral("<style>html{color:%1;background:%2}a:link{color:%3}a:visited{color:%4}</style>")
              .arg(palette.color(QPalette::Text).name(), palette.color(QPalette::Base).name(),
                   palette.color(QPalette::Link).name(), palette.color(QPalette::LinkVisited).name());
  return head;
}

// Serves the pages handed to LoadFromText. setHtml cannot be used: it goes through a data
// URL and fails silently above 2 MiB.
class TPageSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  // Each page gets an address of its own that cannot be guessed from an earlier one.
  QUrl Store(QByteArray Page) {
    const QString path = QStringLiteral("page-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    pages_.emplace_back(path, std::move(Page));
    while (pages_.size() > kKeptPages) pages_.pop_front();
    QUrl url;
    url.setScheme(QString::fromLatin1(kPageScheme));
    url.setPath(path);
    return url;
  }

  void requestStarted(QWebEngineUrlRequestJob* Job) override {
    // A request from content (a page framing, fetching or opening another) names the
    // content's origin; the browser's own loads and history moves name none.
    if (!Job->initiator().isEmpty()) {
      Job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    const QString path = Job->requestUrl().path();
    for (const auto& [name, page] : pages_) {
      if (name != path) continue;
      auto* buffer = new QBuffer(Job);
      buffer->setData(page);
      Job->reply("text/html;charset=utf-8", buffer);
      return;
    }
    Job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }

 private:
  std::deque<std::pair<QString, QByteArray>> pages_;
};

TPageSchemeHandler& PageSchemeHandler(QWebEngineProfile* Profile) {
  static TPageSchemeHandler* handler = nullptr;
  if (!handler) {
    handler = new TPageSchemeHandler(QCoreApplication::instance());
    Profile->installUrlSchemeHandler(kPageScheme, handler);
  }
  return *handler;
}

bool IsTextPage(const QUrl& Url) {
  return Url.scheme() == QLatin1String(kPageScheme);
}

// A page of the program's own: a blank page or an item's page. The history never leads
// back to one, and its address is never shown: the reader view stands for them.
bool IsProgramPage(const QUrl& Url) {
  return Url.isEmpty() || Url.toString() == QLatin1String("about:blank") || IsTextPage(Url);
}

// Runs a handler called from inside the engine. An error must not unwind through the
// engine's own code; it is raised again from the event loop, where the application's
// handler reports it.
template <class THandler>
void FromEngine(THandler Handler) {
  try {
    Handler();
  } catch (const std::exception& error) {
    const std::string message = error.what();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [message] { throw std::runtime_error(message); }, Qt::QueuedConnection);
  }
}

// Navigations the browser itself starts: an address given to it, a move in its history, a
// reload. A page without script cannot start any of these.
bool IsBrowsersOwn(QWebEnginePage::NavigationType Type) {
  return Type == QWebEnginePage::NavigationTypeTyped || Type == QWebEnginePage::NavigationTypeBackForward ||
         Type == QWebEnginePage::NavigationTypeReload;
}

// The page decides every navigation. A text page cannot act by itself: of what it asks for,
// only a user's click on a web link goes ahead (and the server redirects of that load).
// Pages the user went to on the web navigate as in any browser. Every navigation that goes
// ahead raises the before-navigate event, except the program's own load of a text page.
class TPage : public QWebEnginePage {
 public:
  struct THooks {
    std::function<void(const QUrl& Url, bool MainFrame)> BeforeNavigate;
    std::function<void(const QUrl& Url)> Refused;
  };

  TPage(QWebEngineProfile* Profile, QObject* Parent, THooks Hooks)
      : QWebEnginePage(Profile, Parent), hooks_(std::move(Hooks)) {
    connect(this, &QWebEnginePage::loadingChanged, this, &TPage::LoadingChanged);
  }

  // The text page the program is loading itself.
  void ExpectOwnLoad(const QUrl& Url) {
    ownLoad_ = Url;
    userInput_ = false;
  }
  // The user pressed a button or a key in the view: the next link navigation is theirs.
  void NoteUserInput() { userInput_ = true; }

  // True while the document shown is a text page, a blank page or none: it may not act.
  bool ShowsTextPage() const {
    const QUrl shown = history()->currentItem().url();
    return IsProgramPage(shown);
  }

  // A click on a link of a text page that the engine will not even ask about (javascript:,
  // file:, data:) is reported here, from the address under the mouse.
  void UserClickedAddress(const QUrl& Url) {
    if (!ShowsTextPage() || Url.isEmpty() || IsWebAddress(Url)) return;
    reportedClick_ = Url;
    FromEngine([&] { hooks_.Refused(Url); });
  }

 protected:
  bool acceptNavigationRequest(const QUrl& Url, NavigationType Type, bool IsMainFrame) override {
    if (IsMainFrame && !ownLoad_.isEmpty() && Url == ownLoad_) {
      ownLoad_.clear();
      webLoad_.clear();
      settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
      return true;
    }
    const bool own = IsMainFrame && IsBrowsersOwn(Type);
    // Only the program's own loads and history moves show a text page.
    if (IsTextPage(Url) && !own) return false;
    if (!own && ShowsTextPage() && !AllowedFromTextPage(Url, Type, IsMainFrame)) return false;
    if (IsMainFrame) {
      settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, !IsTextPage(Url));
      webLoad_ = IsTextPage(Url) ? QUrl() : Url;
    }
    FromEngine([&] { hooks_.BeforeNavigate(Url, IsMainFrame); });
    return true;
  }

 private:
  bool AllowedFromTextPage(const QUrl& Url, NavigationType Type, bool IsMainFrame) {
    // A frame's own load and anything a frame asks for.
    if (!IsMainFrame) return false;
    // The server redirects a load already under way (one the user or the program started).
    if (Type == NavigationTypeRedirect && !webLoad_.isEmpty()) return true;
    // Meta refresh, forms and anything else the page might start by itself.
    if (Type != NavigationTypeLinkClicked || !userInput_) return false;
    userInput_ = false;
    if (IsWebAddress(Url)) return true;
    if (Url != reportedClick_) FromEngine([&] { hooks_.Refused(Url); });
    reportedClick_.clear();
    return false;
  }

  void LoadingChanged(const QWebEngineLoadingInfo& Info) {
    // A load that ended (also without a page: a 204 answer, a download) no longer lends
    // its redirects to the page still shown.
    if (Info.status() != QWebEngineLoadingInfo::LoadStartedStatus && Info.url() == webLoad_) webLoad_.clear();
  }

  THooks hooks_;
  QUrl ownLoad_;
  // The web load under way, whose server redirects go ahead.
  QUrl webLoad_;
  bool userInput_ = false;
  // The refused click already reported from the mouse, so that the engine's own request
  // for it (mailto:, feed:) is not reported twice.
  QUrl reportedClick_;
};

// Tells the page about the user's presses in the view. The engine puts its input widget
// into the view when it needs one, so every child is watched as it arrives.
class TUserInputWatch : public QObject {
 public:
  TUserInputWatch(QWebEngineView* View, TPage* Page, const QUrl* Hovered)
      : QObject(View), page_(Page), hovered_(Hovered) {
    View->installEventFilter(this);
    for (QWidget* child : View->findChildren<QWidget*>()) child->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    switch (Event->type()) {
      case QEvent::ChildAdded:
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(Event)->child()))
          child->installEventFilter(this);
        break;
      case QEvent::MouseButtonPress:
      case QEvent::KeyPress:
        page_->NoteUserInput();
        break;
      case QEvent::MouseButtonRelease:
        page_->NoteUserInput();
        if (static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton)
          page_->UserClickedAddress(*hovered_);
        break;
      default:
        break;
    }
    return QObject::eventFilter(Watched, Event);
  }

 private:
  TPage* page_;
  const QUrl* hovered_;
};

class TWebEngineBrowser : public TWebBrowser {
 public:
  // The engine (its view, its page and the processes behind them) starts once the window
  // has been painted for the first time, so that the window appears without waiting for
  // it. What is asked of the browser before then (the first item page) waits and is done
  // as the engine starts.
  explicit TWebEngineBrowser(QWidget* Parent) : TWebBrowser(Parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    ChooseOpenGLSurface(*this);
  }

  void StartEngineNow() override {
    shown_ = true;
    StartEngine();
  }

 protected:
  void showEvent(QShowEvent* Event) override {
    TWebBrowser::showEvent(Event);
    if (std::exchange(shown_, true)) return;
    AfterFirstPaint(*this, [this] { StartEngine(); });
  }

 private:
  void StartEngine() {
    if (page_) return;
    Engine();
    if (auto pending = std::exchange(pending_, nullptr)) pending();
  }

  // The page, with its view and engine started on first need.
  TPage& Engine() {
    if (page_) return *page_;
    view_ = new QWebEngineView(this);
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    PageSchemeHandler(profile);
    TPage::THooks hooks;
    hooks.BeforeNavigate = [this](const QUrl& Url, bool MainFrame) {
      emit BeforeNavigate2(Url.toString(), MainFrame);
    };
    hooks.Refused = [this](const QUrl& Url) { emit NavigationRefused(Url); };
    page_ = new TPage(profile, view_, std::move(hooks));
    view_->setPage(page_);
    layout()->addWidget(view_);
    new TUserInputWatch(view_, page_, &hovered_);

    connect(page_, &QWebEnginePage::loadStarted, this, &TWebEngineBrowser::PageLoadStarted);
    connect(page_, &QWebEnginePage::loadProgress, this, &TWebEngineBrowser::PageLoadProgress);
    connect(page_, &QWebEnginePage::loadFinished, this, &TWebEngineBrowser::PageLoadFinished);
    connect(page_, &QWebEnginePage::linkHovered, this, &TWebEngineBrowser::PageLinkHovered);
    connect(page_, &QWebEnginePage::newWindowRequested, this, &TWebEngineBrowser::PageNewWindowRequested);
    return *page_;
  }

 public:
  void Navigate(const QString& Url) override {
    const QUrl url = Url.trimmed().isEmpty() ? QUrl(Url) : QUrl::fromUserInput(Url);
    // The engine does not ask before loading about:blank, so the event comes from here.
    if (url.toString() == QLatin1String("about:blank")) emit BeforeNavigate2(url.toString(), true);
    readyState_ = Loading;
    if (!page_) {
      pending_ = [this, url] { page_->setUrl(url); };
      return;
    }
    page_->setUrl(url);
  }

  bool PageAtEnd() const override {
    if (!page_ || !view_) return true;
    const qreal bottom = page_->scrollPosition().y() + view_->height() / page_->zoomFactor();
    return bottom >= page_->contentsSize().height() - 1;
  }

  void PageDown() override {
    if (!view_) return;
    QWidget* target = view_->focusProxy() ? view_->focusProxy() : view_;
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
      QCoreApplication::postEvent(target, new QKeyEvent(type, Qt::Key_PageDown, Qt::NoModifier));
  }

  void GoBack() override {
    if (!page_ || !page_->history()->canGoBack() || IsProgramPage(page_->history()->backItem().url()))
      throw std::runtime_error("There is no earlier page.");
    page_->history()->back();
  }

  void GoForward() override {
    if (!page_ || !page_->history()->canGoForward() || IsProgramPage(page_->history()->forwardItem().url()))
      throw std::runtime_error("There is no later page.");
    page_->history()->forward();
  }

  void Refresh() override {
    if (page_) page_->triggerAction(QWebEnginePage::Reload);
  }

  TReadyState ReadyState() const override { return readyState_; }

  void LoadFromText(const QString& Html, const QUrl& BaseUrl) override {
    if (!page_) {
      readyState_ = Loading;
      pending_ = [this, Html, BaseUrl] { LoadFromText(Html, BaseUrl); };
      return;
    }
    // A byte order mark makes the engine read the bytes as UTF-8 whatever the page says.
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += PageHead(BaseUrl).toUtf8();
    bytes += Html.toUtf8();
    TPage& page = Engine();
    const QUrl url = PageSchemeHandler(page.profile()).Store(std::move(bytes));
    page_->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    page_->ExpectOwnLoad(url);
    hovered_.clear();
    readyState_ = Loading;
    page_->setUrl(url);
  }

 private:
  void PageLoadStarted() { SetReadyState(Loading); }
  void PageLoadProgress(int Percent) {
    if (Percent > 0 && readyState_ < Interactive) SetReadyState(Interactive);
  }
  void PageLoadFinished(bool) { SetReadyState(Complete); }
  void SetReadyState(TReadyState State) {
    readyState_ = State;
    emit ReadyStateChanged();
  }

  void PageLinkHovered(const QString& Url) {
    hovered_ = QUrl(Url);
    FromEngine([&] { emit StatusTextChange(Url); });
  }

  void PageNewWindowRequested(QWebEngineNewWindowRequest& Request) {
    const QUrl url = Request.requestedUrl();
    // Only a window the user asked for with a click, on a web address, leaves the program;
    // every other request is dropped (a script's, mailto:, feed:, file:, ...).
    if (!Request.isUserInitiated() || !IsWebAddress(url)) return;
    FromEngine([&] { emit NewWindow2(url.toString()); });
    QDesktopServices::openUrl(url);
  }

  QWebEngineView* view_ = nullptr;
  TPage* page_ = nullptr;
  bool shown_ = false;
  // The last page asked for before the engine started.
  std::function<void()> pending_;
  TReadyState readyState_ = Uninitialized;
  // The address of the link under the mouse, or empty.
  QUrl hovered_;
};

}  // namespace

void RegisterPageScheme() {
  QWebEngineUrlScheme scheme(kPageScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  // An opaque origin for every page, and no web content may load from the scheme.
  scheme.setFlags(QWebEngineUrlScheme::NoAccessAllowed | QWebEngineUrlScheme::LocalScheme);
  QWebEngineUrlScheme::registerScheme(scheme);
}

TWebBrowser* NewWebEngineBrowser(QWidget* Parent) {
  return new TWebEngineBrowser(Parent);
}

}  // namespace skimbrook
