// The browser over the web engine, with real pages.
#include <gtest/gtest.h>

#include "tools/QtPrinters.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <memory>

#include "ui/uApplication.h"
#include "ui/uWebBrowser.h"

namespace skimbrook::test {

namespace {

// Receives the addresses that would go to the desktop's browser.
class TUrlCatcher : public QObject {
  Q_OBJECT
 public:
  QStringList Urls;
 public slots:
  void Open(const QUrl& Url) { Urls << Url.toString(); }
};

class WebEngineBrowser : public ::testing::Test {
 protected:
  WebEngineBrowser() : host(std::make_unique<QWidget>()) {
    host->resize(400, 300);
    browser = CreateWebEngineBrowser(host.get());
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

  // Loads an item page and waits until it is shown (its marker colour appears).
  bool ShowPage(const QString& Body) {
    browser->LoadFromText("<html><body style='margin:0;background:#00ff00'>" + Body + "</body></html>");
    return WaitForColour(QColor(0, 255, 0));
  }

  std::unique_ptr<QWidget> host;
  TWebBrowser* browser = nullptr;
};

TEST_F(WebEngineBrowser, AnItemPageRendersAndOnlyItsFramesRaiseBeforeNavigate) {
  QSignalSpy navigations(browser, &TWebBrowser::BeforeNavigate2);
  ASSERT_TRUE(ShowPage("<p>Hello</p><iframe src='http://127.0.0.1:9/frame' width=50 height=20></iframe>"));
  ASSERT_EQ(navigations.count(), 1) << "loading the program's own page is not a navigation";
  EXPECT_EQ(navigations.first().at(0).toString(), "http://127.0.0.1:9/frame");
  EXPECT_FALSE(navigations.first().at(1).toBool());
  EXPECT_TRUE(WaitForReady());
}

TEST_F(WebEngineBrowser, AnErrorInAHandlerIsReportedByTheApplication) {
  auto& app = *static_cast<TApplication*>(QCoreApplication::instance());
  QStringList reported;
  app.OnError = [&](const QString& Message) { reported << Message; };
  QObject::connect(browser, &TWebBrowser::BeforeNavigate2, browser,
                   [](const QString&, bool) { throw std::runtime_error("handler failed"); });
  ASSERT_TRUE(ShowPage("<iframe src='http://127.0.0.1:9/frame' width=50 height=20></iframe>"));
  QTest::qWait(200);
  app.OnError = nullptr;
  EXPECT_EQ(reported, QStringList({"handler failed"}));
}

TEST_F(WebEngineBrowser, ScriptsInAnItemPageDoNotRun) {
  ASSERT_TRUE(
      ShowPage("<div id='x' style='width:400px;height:100px'></div>"
               "<script>document.body.style.background='#ff0000';</script>"
               "<img src='nothing.png' onerror=\"document.body.style.background='#ff0000'\">"));
  EXPECT_FALSE(WaitForColour(QColor(255, 0, 0), 1500));
}

TEST_F(WebEngineBrowser, ALinkClickRaisesBeforeNavigateWithItsAddress) {
  QSignalSpy navigations(browser, &TWebBrowser::BeforeNavigate2);
  ASSERT_TRUE(
      ShowPage("<a href='http://127.0.0.1:9/linked' style='display:block;width:400px;height:300px'>x</a>"));
  QWidget* target = browser->focusProxy() ? browser->focusProxy() : browser;
  for (QWidget* child : browser->findChildren<QWidget*>())
    if (child->isVisible() && child->width() >= 390) target = child;
  QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(100, 100));
  ASSERT_TRUE(navigations.wait(10000) || navigations.count() > 0);
  EXPECT_EQ(navigations.first().at(0).toString(), "http://127.0.0.1:9/linked");
  EXPECT_TRUE(navigations.first().at(1).toBool());
}

TEST_F(WebEngineBrowser, AFiveMegabytePageShows) {
  const QString filler = QString("<p>%1</p>").arg(QString(5 * 1024 * 1024, QLatin1Char('w')));
  browser->LoadFromText("<html><body style='margin:0'><div style='background:#0000ff;height:80px'></div>" +
                        filler + "</body></html>");
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

TEST_F(WebEngineBrowser, ANewWindowGoesToTheDesktopsBrowser) {
  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "Open");
  QSignalSpy newWindows(browser, &TWebBrowser::NewWindow2);
  ASSERT_TRUE(
      ShowPage("<a href='http://127.0.0.1:9/popup' target='_blank' "
               "style='display:block;width:400px;height:300px'>x</a>"));
  QWidget* target = browser;
  for (QWidget* child : browser->findChildren<QWidget*>())
    if (child->isVisible() && child->width() >= 390) target = child;
  QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(100, 100));
  newWindows.wait(10000);
  QDesktopServices::unsetUrlHandler("http");
  ASSERT_EQ(newWindows.count(), 1);
  EXPECT_EQ(catcher.Urls, QStringList({"http://127.0.0.1:9/popup"}));
}

}  // namespace

}  // namespace skimbrook::test

#include "uWebBrowser_test.moc"
