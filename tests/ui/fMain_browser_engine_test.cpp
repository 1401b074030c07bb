// Browser mode over the real web engine: a link clicked in an item page, Back through the
// history to the reader view, a command that blanks the page before it opens one, and item
// pages that cannot take the window anywhere by themselves.
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "MainWindowFixture.h"
#include "tools/LoopbackHttpServer.h"
#include "ui/browser/uFeedAddress.h"
#include "ui/browser/uWebEngineBrowser.h"

namespace skimbrook::test {

namespace {

// Colours no browser draws by itself mark the two pages.
const QColor kItemColour(0, 200, 100);
const QColor kLinkedColour(20, 40, 160);

class BrowserModeOverTheEngine : public MainWindowTest {
 protected:
  void OpenWithEngine() {
    TMainWindowServices services = Services();
    services.CreateBrowser = &NewWebEngineBrowser;  // the browser over the web engine
    window = std::make_unique<TfmMain>(services);
    window->resize(700, 600);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  bool Shows(const QColor& Colour) const {
    const QImage image = Ui().WebBrowser->grab().toImage();
    for (int y = 0; y < image.height(); y += 8)
      for (int x = 0; x < image.width(); x += 8)
        if (image.pixelColor(x, y) == Colour) return true;
    return false;
  }

  // The widget of the engine that takes the mouse: the largest one inside the browser.
  QWidget* PageWidget() const {
    QWidget* largest = Ui().WebBrowser;
    for (QWidget* child : Ui().WebBrowser->findChildren<QWidget*>())
      if (child->isVisible() && child->width() * child->height() > largest->width() * largest->height() / 2)
        largest = child;
    return largest;
  }

  // Waits until the browser has finished loading and shows Colour.
  bool Settles(const QColor& Colour) {
    return QTest::qWaitFor(
        [&] { return Ui().WebBrowser->ReadyState() == TWebBrowser::Complete && Shows(Colour); }, 30000);
  }

  // Clicks the middle of the page, the mouse moved there first as a hand would, until Done.
  // The engine may replace the page's widget during any wait, so it is taken anew after each.
  bool ClickPageUntil(const std::function<bool()>& Done) {
    for (int tries = 0; tries < 20; ++tries) {
      // A move the page sees as one: from elsewhere onto the middle.
      const QPoint middle = PageWidget()->rect().center() + QPoint(tries % 7, 0);
      QTest::mouseMove(PageWidget(), middle - QPoint(20, 20));
      QTest::mouseMove(PageWidget(), middle);
      QTest::qWait(100);
      QTest::mouseClick(PageWidget(), Qt::LeftButton, {}, middle);
      if (QTest::qWaitFor(Done, 500)) return true;
    }
    return false;
  }

  // Shows Description as the current item's page and waits until it is there.
  bool ShowItem(const std::string& Description) {
    window->CurrentItem()->Description = Description;
    Ui().items.UpdateFeedAndItemView();
    return Settles(kItemColour);
  }

  // Presses Back and waits until the browser has gone there, or the window has left
  // browser mode.
  void PressBackAndSettle() {
    const QString before = Ui().ebURL->text();
    Ui().sbBrowserBack->click();
    (void)QTest::qWaitFor([&] { return !window->InBrowserMode() || Ui().ebURL->text() != before; }, 10000);
    (void)QTest::qWaitFor([&] { return Ui().WebBrowser->ReadyState() == TWebBrowser::Complete; }, 10000);
    QTest::qWait(200);
  }

  LoopbackHttpServer server;
};

TEST_F(BrowserModeOverTheEngine, ALinkInAnItemPageEntersBrowserModeAndBackReturnsToTheReaderView) {
  const QString linked = QString::fromStdString(server.Url("/linked"));
  server.Serve("/linked", "<html><body style='margin:0;background:rgb(20,40,160)'>linked page</body></html>");
  WriteSubscriptions({{"News", "http://example.org/news"}});
  WriteCache("http://example.org/news", {"One"});
  OpenWithEngine();
  ClickFeedRow(0);
  window->CurrentItem()->Description =
      "<a href='" + linked.toStdString() +
      "' style='display:block;width:100%;height:3000px;background:rgb(0,200,100)'>the whole story</a>";
  Ui().items.UpdateFeedAndItemView();
  ASSERT_TRUE(Settles(kItemColour)) << "the item page shows";
  EXPECT_FALSE(window->InBrowserMode()) << "writing the item page is the program's own navigation";

  // The engine may take a moment before the page takes input.
  for (int tries = 0; tries < 20 && !window->InBrowserMode(); ++tries) {
    QTest::mouseClick(PageWidget(), Qt::LeftButton, {}, PageWidget()->rect().center());
    (void)QTest::qWaitFor([&] { return window->InBrowserMode(); }, 500);
  }
  ASSERT_TRUE(window->InBrowserMode());
  EXPECT_EQ(Ui().ebURL->text(), linked);
  EXPECT_FALSE(Ui().plTopRight->isVisible());
  ASSERT_TRUE(Settles(kLinkedColour)) << "the linked page shows";

  QStringList shownAddresses;
  QObject::connect(Ui().ebURL, &QLineEdit::textChanged, window.get(),
                   [&](const QString& Text) { shownAddresses << Text; });
  PressBackAndSettle();
  EXPECT_FALSE(window->InBrowserMode()) << "Back from the first web page returns to the reader view";
  for (const QString& shown : shownAddresses) EXPECT_FALSE(shown.startsWith("skimbrook-page:"));
  EXPECT_TRUE(Ui().plTopRight->isVisible());
  EXPECT_TRUE(Settles(kItemColour)) << "the item page again";

  // Follow Link blanks the page first and waits for the engine before it goes on.
  window->CurrentItem()->Link = linked.toStdString();
  Ui().miViewFollowLink->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->InBrowserMode() && !Ui().navigatingInternally; }, 10000));
  EXPECT_TRUE(Settles(kLinkedColour));
}

TEST_F(BrowserModeOverTheEngine, AnItemPageCannotLeaveByItselfAndItsLinksOpenOnlyOnTheWeb) {
  const std::string feed = server.Url("/feeds/news.xml");
  server.Serve("/story/12", "<html><body style='margin:0;background:rgb(20,40,160)'>story</body></html>");
  WriteSubscriptions({{"News", feed}});
  WriteCache(feed, {"One"});
  OpenWithEngine();
  ClickFeedRow(0);
  const std::string wholePage = "style='display:block;width:100%;height:3000px;background:rgb(0,200,100)'";
  // Relative addresses, in the refresh and in the link, point into the feed's site.
  ASSERT_TRUE(ShowItem("<meta http-equiv='refresh' content='0;url=/refreshed'><a href='/story/12' " +
                       wholePage + ">the whole story</a>"));
  QTest::qWait(1500);
  EXPECT_FALSE(window->InBrowserMode());
  EXPECT_EQ(server.RequestCount(), 0u) << "the refresh was refused";

  ASSERT_TRUE(ClickPageUntil([&] { return window->InBrowserMode(); }));
  EXPECT_EQ(Ui().ebURL->text(), QString::fromStdString(server.Url("/story/12")));
  EXPECT_TRUE(Settles(kLinkedColour));
  ASSERT_GE(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests().front().Path, "/story/12");

  Ui().sbBrowserClose->click();
  for (const char* refused : {"file:///etc/hostname", "javascript:void(0)"}) {
    SCOPED_TRACE(refused);
    Ui().StatusBar->clearMessage();
    ASSERT_TRUE(ShowItem(std::string("<a href='") + refused + "' " + wholePage + ">x</a>"));
    // The note, not the hovered address, which the status bar shows too.
    const QString note = RefusedAddressNote(QUrl(refused));
    ASSERT_TRUE(note.contains(QString::fromLatin1(refused).section(':', 0, 0) + ':'));
    EXPECT_TRUE(ClickPageUntil([&] { return Ui().StatusBar->currentMessage() == note; }))
        << Ui().StatusBar->currentMessage().toStdString();
    EXPECT_FALSE(window->InBrowserMode());
  }
}

TEST_F(BrowserModeOverTheEngine, EnterOnAButtonOfThePagePressesItInsteadOfGoing) {
  server.Serve("/form",
               "<html><body style='margin:0;background:rgb(20,40,160)'>"
               "<form action='/searched'><input type='hidden' name='q' value='x'><button>Search</button>"
               "</form></body></html>");
  server.Serve("/searched?q=x", "<html><body>found</body></html>");
  WriteSubscriptions({{"News", "http://example.org/news"}});
  OpenWithEngine();
  Ui().browser.EnterBrowserMode(true);
  Ui().ebURL->setText(QString::fromStdString(server.Url("/form")));
  Ui().sbBrowserGo->click();
  ASSERT_TRUE(Settles(kLinkedColour));

  QTest::mouseClick(PageWidget(), Qt::LeftButton, {}, QPoint(PageWidget()->width() / 2, 50));
  QTest::qWait(300);
  // The keyboard's way to the page's button; the widget with the focus is taken after
  // each wait, as the engine may have replaced it.
  const auto focused = [this] {
    return QApplication::focusWidget() ? QApplication::focusWidget() : PageWidget();
  };
  QTest::keyClick(focused(), Qt::Key_Tab);
  QTest::qWait(300);
  QTest::keyClick(focused(), Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return Ui().ebURL->text() == QString::fromStdString(server.Url("/searched?q=x")); }, 10000))
      << Ui().ebURL->text().toStdString();
}

}  // namespace

}  // namespace skimbrook::test
