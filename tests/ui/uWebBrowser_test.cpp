// The browser over the web engine, with real pages: what item pages show, what they may not
// do by themselves, and what a user's click still does.
#include <gtest/gtest.h>

#include "tools/QtPrinters.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QImage>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebEngineView>
#include <memory>

#include "tools/LoopbackHttpServer.h"
#include "ui/browser/uWebEngineBrowser.h"
#include "ui/window/uApplication.h"

namespace skimbrook::test {

namespace {

// Receives the addresses that would go to the desktop's handlers.
class TUrlCatcher : public QObject {
  Q_OBJECT
 public:
  QStringList Urls;
 public slots:
  void Open(const QUrl& Url) { Urls << Url.toString(); }
};

// Catches what would go to the desktop for the schemes pages like to open, while it lives.
class TDesktopHandlers {
 public:
  TDesktopHandlers() {
    for (const char* scheme : kSchemes) QDesktopServices::setUrlHandler(scheme, &catcher_, "Open");
  }
  ~TDesktopHandlers() {
    for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(scheme);
  }
  const QStringList& Urls() const { return catcher_.Urls; }

 private:
  static constexpr const char* kSchemes[] = {"http", "https", "mailto", "feed"};
  TUrlCatcher catcher_;
};

const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);

// A page-sized link, so that a click anywhere hits it.
QString WholePageLink(const QString& Href, const QString& Extra = QString()) {
  return QStringLiteral("<a href='%1' %2 style='display:block;width:400px;height:300px'>x</a>")
      .arg(Href, Extra);
}

class WebEngineBrowser : public ::testing::Test {
 protected:
  WebEngineBrowser() : host(std::make_unique<QWidget>()) {
    host->resize(400, 300);
    browser = NewWebEngineBrowser(host.get());
    browser->setGeometry(0, 0, 400, 300);
    host->show();
  }

  // Waits until the browser's picture has a pixel of Colour somewhere in its top half.
  bool WaitForColour(const QColor& Colour, int TimeoutMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < TimeoutMs) {
      QTest::qWait(100);
      const QImage image = browser->grab().toImage();
      for (int y = 0; y < image.height() / 2; y += 4)
        for (int x = 0; x < image.width(); x += 4)
          if (image.pixelColor(x, y) == Colour) return true;
    }
    return false;
  }

  bool WaitForReady() {
    QElapsedTimer clock;
    clock.start();
    while (browser->ReadyState() < TWebBrowser::Interactive && clock.elapsed() < 10000) QTest::qWait(50);
    return browser->ReadyState() >= TWebBrowser::Interactive;
  }

  // Loads an item page and waits until it is shown (its background colour appears).
  bool ShowPage(const QString& Body, const QUrl& Base = QUrl(), const QColor& Background = kGreen) {
    browser->LoadFromText(QStringLiteral("<html><body style='margin:0;background:%1'>%2</body></html>")
                              .arg(Background.name(), Body),
                          Base);
    return WaitForColour(Background);
  }

  QWebEngineView* View() const { return browser->findChild<QWebEngineView*>(); }
  QString ShownUrl() const { return View()->url().toString(); }

  // A user's click in the middle of the page, with the mouse moved there first as a hand
  // would; repeated until Done, since the engine may take a moment before it takes input.
  // The engine may replace its input widget during any wait, so the target is taken anew
  // after every one and never used once it is gone.
  bool ClickUntil(const std::function<bool()>& Done) {
    for (int tries = 0; tries < 10; ++tries) {
      const auto target = [this]() -> QWidget* {
        return View()->focusProxy() ? View()->focusProxy() : static_cast<QWidget*>(browser);
      };
      // A move the page sees as one: from elsewhere onto the middle.
      const QPoint middle = target()->rect().center() + QPoint(tries % 7, 0);
      QTest::mouseMove(target(), middle - QPoint(20, 20));
      QTest::mouseMove(target(), middle);
      QTest::qWait(200);
      QTest::mouseClick(target(), Qt::LeftButton, {}, middle);
      if (QTest::qWaitFor(Done, 1000)) return true;
    }
    return false;
  }

  // The paths the server was asked for, apart from the engine's own favicon requests.
  QStringList Asked() const {
    QStringList paths;
    for (const auto& request : server.Requests())
      if (request.Path != "/favicon.ico") paths << QString::fromStdString(request.Path);
    return paths;
  }
  QString At(const char* Path) const { return QString::fromStdString(server.Url(Path)); }
  void ServeHtml(const std::string& Path, const std::string& Html) {
    server.Serve(Path, Html, 200, {{"Content-Type", "text/html"}});
  }

  LoopbackHttpServer server;
  std::unique_ptr<QWidget> host;
  TWebBrowser* browser = nullptr;
};

TEST_F(WebEngineBrowser, AnItemPageNeitherNavigatesNorLoadsFramesByItself) {
  // Each of these pages would leave the item page at once if it were loaded.
  ServeHtml("/frame-moves-top", "<script>top.location = '/top-moved';</script>");
  ServeHtml("/frame-submits",
            "<form action='/submitted' target='_top'><input name='q' value='x'></form>"
            "<script>document.forms[0].submit();</script>");
  QSignalSpy navigations(browser, &TWebBrowser::BeforeNavigate2);
  ASSERT_TRUE(ShowPage("<meta http-equiv='refresh' content='0;url=" + At("/refreshed") +
                       "'>"
                       // What a submit of the form would ask for, asked for by a refresh.
                       "<form action='" +
                       At("/submitted") +
                       "'><input name='q' value='x'></form>"
                       "<meta http-equiv='refresh' content='0;url=" +
                       At("/submitted?q=x") +
                       "'>"
                       "<iframe src='" +
                       At("/frame-moves-top") +
                       "'></iframe>"
                       "<iframe src='" +
                       At("/frame-submits") +
                       "'></iframe>"
                       "<iframe srcdoc=\"<meta http-equiv='refresh' content='0;url=" +
                       At("/frame-refreshed") +
                       "'>\"></iframe>"
                       "<object data='" +
                       At("/object") + "' type='text/html'></object>"));
  QTest::qWait(2000);
  EXPECT_TRUE(Asked().isEmpty()) << Asked().join(' ').toStdString();
  EXPECT_EQ(navigations.count(), 0);
  EXPECT_TRUE(ShownUrl().startsWith("skimbrook-page:")) << ShownUrl().toStdString();
  EXPECT_TRUE(WaitForColour(kGreen, 100)) << "the item page is still shown";
  EXPECT_TRUE(WaitForReady());

  // A page the user went to on the web refreshes as in any browser.
  ServeHtml("/refreshing", "<meta http-equiv='refresh' content='0;url=/refreshed'>");
  ServeHtml("/refreshed", "<body>refreshed</body>");
  browser->Navigate(At("/refreshing"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Asked().contains("/refreshed"); }, 10000))
      << Asked().join(' ').toStdString();
  EXPECT_EQ(navigations.last().at(0).toString(), At("/refreshed"));
}

TEST_F(WebEngineBrowser, ScriptsInAnItemPageDoNotRun) {
  ASSERT_TRUE(
      ShowPage("<div id='x' style='width:400px;height:100px'></div>"
               "<script>document.body.style.background='#ff0000';</script>"
               "<img src='nothing.png' onerror=\"document.body.style.background='#ff0000'\">"));
  EXPECT_FALSE(WaitForColour(QColor(255, 0, 0), 1500));
}

TEST_F(WebEngineBrowser, NoPageCanFrameFetchOrOpenAnItemPageNorDoesBackLeadToOne) {
  ASSERT_TRUE(ShowPage("earlier item"));
  const QString earlier = ShownUrl();
  ASSERT_TRUE(earlier.startsWith("skimbrook-page:")) << earlier.toStdString();

  // Another item page frames it.
  ASSERT_TRUE(
      ShowPage("<iframe src='" + earlier + "' style='width:400px;height:250px'></iframe>", QUrl(), kBlue));
  EXPECT_FALSE(WaitForColour(kGreen, 1500));

  // A web page with scripts frames it, fetches it and sends the window there.
  ServeHtml("/attack",
            "<html><body style='background:#0000ff'><script>"
            "const item = '" +
                earlier.toStdString() +
                "';"
                "const frame = document.createElement('iframe');"
                "frame.src = item; frame.style = 'width:400px;height:250px';"
                "document.body.appendChild(frame);"
                "fetch(item).then(r => r.text())"
                "  .then(() => fetch('/fetched'), () => fetch('/refused'))"
                "  .finally(() => { location.href = item; });"
                "</script></body></html>");
  browser->Navigate(At("/attack"));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Asked().contains("/refused") || Asked().contains("/fetched"); }, 10000));
  EXPECT_FALSE(WaitForColour(kGreen, 1500));
  EXPECT_EQ(Asked(), QStringList({"/attack", "/refused"}));
  EXPECT_EQ(ShownUrl(), At("/attack"));

  // Back from the first web page: the item page before it is the reader view's, not the
  // history's, so the browser refuses and the web page stays.
  EXPECT_THROW(browser->GoBack(), std::runtime_error);
  EXPECT_FALSE(WaitForColour(kGreen, 1000));
  EXPECT_EQ(ShownUrl(), At("/attack"));
}

TEST_F(WebEngineBrowser, AnErrorInAHandlerIsReportedByTheApplication) {
  auto& app = *static_cast<TApplication*>(QCoreApplication::instance());
  QStringList reported;
  app.OnError = [&](const QString& Message) { reported << Message; };
  QObject::connect(browser, &TWebBrowser::BeforeNavigate2, browser,
                   [](const QString&, bool) { throw std::runtime_error("handler failed"); });
  // The engine asks before it loads a web address; the event comes from inside it.
  browser->Navigate(At("/page"));
  (void)QTest::qWaitFor([&] { return !reported.isEmpty(); }, 5000);
  app.OnError = nullptr;
  EXPECT_EQ(reported, QStringList({"handler failed"}));
}

TEST_F(WebEngineBrowser, AClickedLinkIsFollowedOnlyToAWebAddressAndRelativeOnesResolveAgainstTheBase) {
  ServeHtml("/story/12", "<body>story</body>");
  const QUrl base(At("/feeds/news.xml"));
  struct TCase {
    QString Href;
    QString Followed;  // empty: refused, and reported with the address
  };
  const TCase cases[] = {
      {"/story/12", At("/story/12")},     {"story/13", At("/feeds/story/13")},
      {At("/story/14"), At("/story/14")}, {"file:///etc/hostname", ""},
      {"javascript:void(0)", ""},         {"data:text/html,x", ""},
      {"mailto:editor@example.org", ""},
  };
  for (const TCase& link : cases) {
    SCOPED_TRACE(link.Href.toStdString());
    ASSERT_TRUE(ShowPage(WholePageLink(link.Href), base));
    QSignalSpy navigations(browser, &TWebBrowser::BeforeNavigate2);
    QSignalSpy refusals(browser, &TWebBrowser::NavigationRefused);
    const size_t asked = Asked().size();
    ASSERT_TRUE(ClickUntil([&] { return navigations.count() + refusals.count() > 0; }));
    if (!link.Followed.isEmpty()) {
      EXPECT_EQ(navigations.first().at(0).toString(), link.Followed);
      EXPECT_TRUE(navigations.first().at(1).toBool());
      EXPECT_TRUE(QTest::qWaitFor([&] { return ShownUrl() == link.Followed; }, 10000));
      continue;
    }
    QTest::qWait(500);
    EXPECT_EQ(navigations.count(), 0);
    EXPECT_EQ(refusals.first().at(0).toUrl(), QUrl(link.Href));
    EXPECT_EQ(Asked().size(), asked);
    EXPECT_TRUE(ShownUrl().startsWith("skimbrook-page:"));
  }
  EXPECT_EQ(Asked(), QStringList({"/story/12", "/feeds/story/13", "/story/14"}));
}

TEST(WebEngineStart, TheEngineStartsOnceItsWindowIsPaintedAndThenShowsThePageAskedForBefore) {
  QWidget window;
  window.resize(200, 150);
  TWebBrowser* browser = NewWebEngineBrowser(&window);
  browser->setGeometry(0, 0, 200, 150);
  browser->LoadFromText(QStringLiteral("<html><body style='background:#00ff00'></body></html>"), QUrl());
  EXPECT_EQ(browser->findChild<QWebEngineView*>(), nullptr) << "no engine before the window is shown";
  EXPECT_EQ(browser->ReadyState(), TWebBrowser::Loading);
  window.show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return browser->ReadyState() == TWebBrowser::Complete; }, 20000));
  EXPECT_NE(browser->findChild<QWebEngineView*>(), nullptr);
}

TEST_F(WebEngineBrowser, AnItemPageTakesTheWindowsColoursUnlessItHasItsOwn) {
  const QPalette before = QApplication::palette();
  QPalette dark = before;
  dark.setColor(QPalette::Base, QColor(10, 20, 30));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  QApplication::setPalette(dark);
  browser->LoadFromText(QStringLiteral("<html><p>text</p></html>"), QUrl());
  EXPECT_TRUE(WaitForColour(QColor(10, 20, 30)));
  EXPECT_TRUE(ShowPage(QStringLiteral("own colours")));  // its own background wins
  QApplication::setPalette(before);
}

TEST_F(WebEngineBrowser, AFiveMegabytePageShows) {
  const QString filler = QString("<p>%1</p>").arg(QString(5 * 1024 * 1024, QLatin1Char('w')));
  browser->LoadFromText("<html><body style='margin:0'><div style='background:#0000ff;height:80px'></div>" +
                            filler + "</body></html>",
                        QUrl());
  EXPECT_TRUE(WaitForColour(QColor(0, 0, 255), 60000));
}

TEST_F(WebEngineBrowser, BlankNavigationIsAnnouncedAndTheHistoryEndsReportFailure) {
  QSignalSpy navigations(browser, &TWebBrowser::BeforeNavigate2);
  browser->Navigate("about:blank");
  ASSERT_EQ(navigations.count(), 1);
  EXPECT_EQ(navigations.first().at(0).toString(), "about:blank");
  EXPECT_TRUE(WaitForReady());
  EXPECT_THROW(browser->GoBack(), std::runtime_error);
  EXPECT_THROW(browser->GoForward(), std::runtime_error);
}

TEST_F(WebEngineBrowser, ANewWindowGoesToTheDesktopOnlyForAClickOnAWebAddress) {
  TDesktopHandlers desktop;
  QSignalSpy newWindows(browser, &TWebBrowser::NewWindow2);
  ASSERT_TRUE(ShowPage(WholePageLink(At("/popup"), "target='_blank'")));
  ASSERT_TRUE(ClickUntil([&] { return newWindows.count() > 0; }));
  EXPECT_EQ(newWindows.first().at(0).toString(), At("/popup"));
  EXPECT_EQ(desktop.Urls(), QStringList({At("/popup")}));

  // A click, but not on a web address.
  ASSERT_TRUE(ShowPage(WholePageLink("mailto:editor@example.org", "target='_blank'")));
  QSignalSpy refusals(browser, &TWebBrowser::NavigationRefused);
  ASSERT_TRUE(ClickUntil([&] { return refusals.count() > 0; }));

  // A web page's script, without a click.
  ServeHtml("/opens-windows",
            "<html><body><script>"
            "window.open('/scripted-popup');"
            "window.open('mailto:editor@example.org');"
            "window.open('feed:http://example.org/feed.xml');"
            "fetch('/opened');"
            "</script></body></html>");
  browser->Navigate(At("/opens-windows"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Asked().contains("/opened"); }, 10000));
  QTest::qWait(1000);
  EXPECT_EQ(newWindows.count(), 1);
  EXPECT_EQ(desktop.Urls(), QStringList({At("/popup")}));
  EXPECT_FALSE(Asked().contains("/scripted-popup"));
}

}  // namespace

}  // namespace skimbrook::test

#include "uWebBrowser_test.moc"
