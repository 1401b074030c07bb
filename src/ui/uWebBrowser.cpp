#include "ui/uWebBrowser.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <deque>
#include <stdexcept>
#include <utility>

namespace skimbrook {

namespace {

// Pages given as text are served under this scheme. Its URLs have no host, so each page
// gets an opaque origin: it can reach neither files nor other pages' storage.
constexpr char kPageScheme[] = "skimbrook-page";
// How many text pages stay available for the history (Back to an earlier item page).
constexpr size_t kKeptPages = 16;

// Serves the pages handed to LoadFromText. setHtml cannot be used: it goes through a data
// URL and fails silently above 2 MiB.
class TPageSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  QUrl Store(QByteArray Page) {
    const QString path = QStringLiteral("page-%1").arg(++counter_);
    pages_.emplace_back(path, std::move(Page));
    while (pages_.size() > kKeptPages) pages_.pop_front();
    QUrl url;
    url.setScheme(QString::fromLatin1(kPageScheme));
    url.setPath(path);
    return url;
  }

  void requestStarted(QWebEngineUrlRequestJob* Job) override {
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
  quint64 counter_ = 0;
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

// The page raises the before-navigate event for every navigation and switches scripts off
// for text pages and on for everything else.
class TPage : public QWebEnginePage {
 public:
  TPage(QWebEngineProfile* Profile, QObject* Parent, std::function<void(const QUrl&, bool)> BeforeNavigate)
      : QWebEnginePage(Profile, Parent), beforeNavigate_(std::move(BeforeNavigate)) {}

  // The text page the program is loading itself; its own navigation raises no event.
  void ExpectOwnLoad(const QUrl& Url) { ownLoad_ = Url; }

 protected:
  bool acceptNavigationRequest(const QUrl& Url, NavigationType Type, bool IsMainFrame) override {
    Q_UNUSED(Type);
    if (IsMainFrame) settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, !IsTextPage(Url));
    const bool own = IsMainFrame && Url == ownLoad_;
    if (own) ownLoad_.clear();
    if (!own) FromEngine([&] { beforeNavigate_(Url, IsMainFrame); });
    return true;
  }

 private:
  std::function<void(const QUrl&, bool)> beforeNavigate_;
  QUrl ownLoad_;
};

class TWebEngineBrowser : public TWebBrowser {
 public:
  explicit TWebEngineBrowser(QWidget* Parent) : TWebBrowser(Parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QWebEngineView(this);
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    PageSchemeHandler(profile);
    page_ = new TPage(profile, view_, [this](const QUrl& Url, bool MainFrame) {
      emit BeforeNavigate2(Url.toString(), MainFrame);
    });
    view_->setPage(page_);
    layout->addWidget(view_);

    connect(page_, &QWebEnginePage::loadStarted, this, &TWebEngineBrowser::PageLoadStarted);
    connect(page_, &QWebEnginePage::loadProgress, this, &TWebEngineBrowser::PageLoadProgress);
    connect(page_, &QWebEnginePage::loadFinished, this, &TWebEngineBrowser::PageLoadFinished);
    connect(page_, &QWebEnginePage::linkHovered, this,
            [this](const QString& Url) { FromEngine([&] { emit StatusTextChange(Url); }); });
    connect(page_, &QWebEnginePage::newWindowRequested, this, &TWebEngineBrowser::PageNewWindowRequested);
  }

  void Navigate(const QString& Url) override {
    const QUrl url = Url.trimmed().isEmpty() ? QUrl(Url) : QUrl::fromUserInput(Url);
    // The engine does not ask before loading about:blank, so the event comes from here.
    if (url.toString() == QLatin1String("about:blank")) emit BeforeNavigate2(url.toString(), true);
    readyState_ = Loading;
    page_->setUrl(url);
  }

  void GoBack() override {
    if (!page_->history()->canGoBack()) throw std::runtime_error("There is no earlier page.");
    page_->history()->back();
  }

  void GoForward() override {
    if (!page_->history()->canGoForward()) throw std::runtime_error("There is no later page.");
    page_->history()->forward();
  }

  void Refresh() override { page_->triggerAction(QWebEnginePage::Reload); }

  TReadyState ReadyState() const override { return readyState_; }

  void LoadFromText(const QString& Html) override {
    // A byte order mark makes the engine read the bytes as UTF-8 whatever the page says.
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += Html.toUtf8();
    const QUrl url = PageSchemeHandler(page_->profile()).Store(std::move(bytes));
    page_->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    page_->ExpectOwnLoad(url);
    readyState_ = Loading;
    page_->setUrl(url);
  }

 private:
  void PageLoadStarted() { readyState_ = Loading; }
  void PageLoadProgress(int Percent) {
    if (Percent > 0 && readyState_ < Interactive) readyState_ = Interactive;
  }
  void PageLoadFinished(bool) { readyState_ = Complete; }

  void PageNewWindowRequested(QWebEngineNewWindowRequest& Request) {
    const QUrl url = Request.requestedUrl();
    FromEngine([&] { emit NewWindow2(url.toString()); });
    QDesktopServices::openUrl(url);
  }

  QWebEngineView* view_ = nullptr;
  TPage* page_ = nullptr;
  TReadyState readyState_ = Uninitialized;
};

}  // namespace

void RegisterPageScheme() {
  QWebEngineUrlScheme scheme(kPageScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  QWebEngineUrlScheme::registerScheme(scheme);
}

TWebBrowser* CreateWebEngineBrowser(QWidget* Parent) {
  return new TWebEngineBrowser(Parent);
}

}  // namespace skimbrook
