// Browser mode: entering and leaving it, the panes and menu entries it switches, the
// browser toolbar's commands, their keys and the directory search.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "MainWindowFixture.h"
#include "ui/browser/uFeedAddress.h"
#include "ui/panes/uCaptionPanel.h"
#include "ui/panes/uFeedListBox.h"
#include "ui/window/uProduct.h"

namespace skimbrook::test {

namespace {

const QString kHome = QString::fromLatin1(product::kHomePage);

class BrowserMode : public MainWindowTest {
 protected:
  void SetUp() override {
    WriteSubscriptions({{"News", "http://example.org/news", 2}, {"Sports", ""}});
    WriteCache("http://example.org/news", {"One", "Two"});
  }

  // Opens the window shown and active, with the first feed's items listed.
  void OpenShown() {
    Open();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ClickFeedRow(0);
  }

  // A link clicked in the item page.
  void ClickLinkInPage(const QString& Url = "http://example.org/story") {
    emit browser->BeforeNavigate2(Url, true);
  }

  bool InBrowserMode() const { return window->InBrowserMode(); }
};

TEST_F(BrowserMode, ALinkClickedInAnItemPageGivesTheBrowserTheWholeRightSide) {
  OpenShown();
  ClickLinkInPage();
  ProcessEvents();
  EXPECT_TRUE(Ui().miViewBrowser->isChecked());
  EXPECT_EQ(Ui().ebURL->text(), "http://example.org/story");
  EXPECT_TRUE(Ui().plBrowserToolbar->isVisible());
  EXPECT_TRUE(Ui().plBottomRight->isVisible());
  for (QWidget* hidden :
       {static_cast<QWidget*>(Ui().plItemTitle), static_cast<QWidget*>(Ui().plItemLink), Ui().plTopRight,
        static_cast<QWidget*>(Ui().lbFeedList), static_cast<QWidget*>(Ui().plToolbar)})
    EXPECT_FALSE(hidden->isVisible()) << hidden->metaObject()->className();
  EXPECT_TRUE(Ui().StatusBar->isVisible()) << "the status bar keeps its visibility";
  EXPECT_EQ(Ui().WebBrowser->height(), Ui().plRight->height());
  EXPECT_EQ(Ui().WebBrowser->width(), window->centralWidget()->width());
  EXPECT_FALSE(Ui().navigatingInternally);
}

// Where each menu entry stands in each view: shown or hidden, and if shown, enabled or not.
struct TEntryState {
  QAction* MainWindowAccess::*Entry;
  const char* Name;
  bool ReaderVisible;
  bool BrowserVisible;
  bool BrowserEnabled;
};

const TEntryState kEntryStates[] = {
    {&MainWindowAccess::miFileAddFeed, "Add Feed", true, true, false},
    {&MainWindowAccess::miFileAddGroup, "Add Group", true, true, false},
    {&MainWindowAccess::miFileRemoveFeed, "Remove Feed/Group", true, true, false},
    {&MainWindowAccess::miFileFeedInfo, "Feed Info", true, true, false},
    {&MainWindowAccess::miFileImport, "Import", true, true, true},
    {&MainWindowAccess::miFileExport, "Export", true, true, true},
    {&MainWindowAccess::miFileSearchDirectory, "Search", true, true, true},
    {&MainWindowAccess::miFileExit, "Exit", true, true, true},
    {&MainWindowAccess::miViewToolbar, "Toolbar", true, true, false},
    {&MainWindowAccess::miViewStatusBar, "Status Bar", true, true, false},
    {&MainWindowAccess::miViewFeedList, "Feed List", true, true, false},
    {&MainWindowAccess::miViewItemContents, "Item Contents", true, true, false},
    {&MainWindowAccess::miViewBrowser, "Browser", true, true, true},
    {&MainWindowAccess::miViewFeedWebSite, "Feed Web Site", true, true, false},
    {&MainWindowAccess::miViewFollowLink, "Follow Link", true, true, false},
    {&MainWindowAccess::miViewTipOfTheDay, "Tip Of The Day", true, true, true},
    {&MainWindowAccess::miToolsCatchUpFeed, "Catch Up Feed", true, false, false},
    {&MainWindowAccess::miToolsCatchUpGroup, "Catch Up Group", true, false, false},
    {&MainWindowAccess::miToolsCatchUpAll, "Catch Up All", true, false, false},
    {&MainWindowAccess::miToolsCatchUpSeparator, "separator", true, false, false},
    {&MainWindowAccess::miToolsDownloadFeed, "Download Feed", true, false, false},
    {&MainWindowAccess::miToolsDownloadGroup, "Download Group", true, false, false},
    {&MainWindowAccess::miToolsDownloadAll, "Download All", true, false, false},
    {&MainWindowAccess::miToolsGo, "Go", false, true, true},
    {&MainWindowAccess::miToolsReload, "Reload", false, true, true},
    {&MainWindowAccess::miToolsBack, "Back", false, true, true},
    {&MainWindowAccess::miToolsForward, "Forward", false, true, true},
    {&MainWindowAccess::miToolsProxySettings, "Proxy Settings", true, true, true},
    {&MainWindowAccess::miToolsOptions, "Options", true, true, true},
    {&MainWindowAccess::miHelpAbout, "About", true, true, true},
    {&MainWindowAccess::miHelpSkimbrookHelp, "Help", true, true, true},
    {&MainWindowAccess::miHelpHomePage, "Home Page", true, true, true},
    {&MainWindowAccess::miHelpEmailSupport, "Email Support", true, true, true},
};

void ExpectEntries(const MainWindowAccess& Window, bool BrowserView) {
  for (const TEntryState& state : kEntryStates) {
    const QAction* entry = Window.*state.Entry;
    const bool visible = BrowserView ? state.BrowserVisible : state.ReaderVisible;
    EXPECT_EQ(entry->isVisible(), visible)
        << state.Name << (BrowserView ? " in browser mode" : " in the reader");
    if (visible) {
      EXPECT_EQ(entry->isEnabled(), !BrowserView || state.BrowserEnabled)
          << state.Name << (BrowserView ? " in browser mode" : " in the reader");
    }
  }
}

TEST_F(BrowserMode, MenuEntriesFollowTheViewBothWaysAndAgainOnASecondEntry) {
  Open();
  ExpectEntries(Ui(), false);
  Ui().miViewBrowser->trigger();
  ExpectEntries(Ui(), true);
  ClickLinkInPage();  // entering again while in browser mode changes nothing
  ExpectEntries(Ui(), true);
  Ui().miViewBrowser->trigger();
  EXPECT_FALSE(InBrowserMode());
  ExpectEntries(Ui(), false);
}

TEST_F(BrowserMode, BrowserCommandBlanksThePageAsItsOwnNavigationThenOpensTheHomePage) {
  Open();
  QList<bool> internal;
  QObject::connect(browser, &TWebBrowser::BeforeNavigate2, window.get(),
                   [&](const QString&, bool) { internal << Ui().navigatingInternally; });
  Ui().miViewBrowser->trigger();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.mid(browser->Navigations.size() - 2), QStringList({"about:blank", kHome}));
  EXPECT_EQ(internal, QList<bool>({true, false}));
  EXPECT_EQ(Ui().ebURL->text(), kHome);
  EXPECT_FALSE(Ui().navigatingInternally);

  Ui().miHelpHomePage->trigger();
  EXPECT_EQ(browser->Navigations.mid(browser->Navigations.size() - 2), QStringList({"about:blank", kHome}));
  Ui().sbBrowserHome->click();
  EXPECT_EQ(browser->Navigations.last(), kHome);
  EXPECT_TRUE(InBrowserMode());
}

TEST_F(BrowserMode, BlankingWaitsForTheBrowserWhileTheWindowGoesOnAndThenRestoresTheFlag) {
  Open();
  browser->BlankReadyAfterMs = 100;
  bool ranDuringWait = false;
  bool flagDuringWait = false;
  QTimer::singleShot(0, window.get(), [&] {
    ranDuringWait = true;
    flagDuringWait = Ui().navigatingInternally;
  });
  Ui().browser.EnterBrowserMode(true);
  EXPECT_FALSE(InBrowserMode()) << "not before the blank page is ready";
  EXPECT_TRUE(QTest::qWaitFor([&] { return InBrowserMode(); }, 5000));
  EXPECT_GE(browser->ReadyState(), TWebBrowser::Interactive);
  EXPECT_TRUE(ranDuringWait);
  EXPECT_TRUE(flagDuringWait);
  EXPECT_FALSE(Ui().navigatingInternally);

  Ui().navigatingInternally = true;
  Ui().browser.EnterBrowserMode(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return browser->ReadyState() >= TWebBrowser::Interactive; }, 5000));
  ProcessEvents();
  EXPECT_TRUE(Ui().navigatingInternally) << "the flag comes back as it was";
}

TEST_F(BrowserMode, ABlankPageThatNeverGetsReadyDoesNotHoldUpClosingTheWindow) {
  Open();
  browser->BlankReadyAfterMs = 3'600'000;
  QTimer::singleShot(20, window.get(), [this] { window->close(); });
  Ui().miHelpHomePage->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->IsShutDown(); }, 5000));
  EXPECT_FALSE(Ui().navigatingInternally);
}

TEST_F(BrowserMode, BackAndForwardWalkTheHistoryAndLeaveAtItsEnds) {
  OpenShown();
  ClickLinkInPage();
  browser->EarlierPages = 1;
  Ui().sbBrowserBack->click();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(Ui().ebURL->text(), "back");
  Ui().sbBrowserForward->click();
  EXPECT_TRUE(InBrowserMode());
  Ui().miToolsForward->trigger();
  EXPECT_FALSE(InBrowserMode()) << "no later page";

  ClickLinkInPage();
  const int pagesBefore = browser->Pages.size();
  Ui().miToolsBack->trigger();
  Ui().miToolsBack->trigger();
  EXPECT_FALSE(InBrowserMode()) << "no earlier page";
  EXPECT_TRUE(prompts.Asked().empty());
  EXPECT_EQ(browser->Pages.size(), pagesBefore + 1) << "the item's page is written again";
  EXPECT_EQ(browser->Pages.last(), "<html><p>One</p></html>");
  EXPECT_EQ(window->focusWidget(), Ui().lbItems);
}

struct TViewTicks {
  const char* Name;
  bool Toolbar;
  bool FeedList;
  bool ItemContents;
};

class LeavingBrowserMode : public BrowserMode, public ::testing::WithParamInterface<TViewTicks> {};

TEST_P(LeavingBrowserMode, RestoresTheLayoutTheViewTicksDescribe) {
  const TViewTicks ticks = GetParam();
  SetSetting("View", "Toolbar", ticks.Toolbar ? "1" : "0");
  SetSetting("View", "FeedList", ticks.FeedList ? "1" : "0");
  SetSetting("View", "ItemContents", ticks.ItemContents ? "1" : "0");
  OpenShown();
  ClickLinkInPage();
  ProcessEvents();
  Ui().sbBrowserClose->click();
  ProcessEvents();
  EXPECT_FALSE(InBrowserMode());
  EXPECT_FALSE(Ui().plBrowserToolbar->isVisible());
  EXPECT_EQ(Ui().plToolbar->isVisible(), ticks.Toolbar);
  EXPECT_EQ(Ui().lbFeedList->isVisible(), ticks.FeedList);
  EXPECT_TRUE(Ui().plTopRight->isVisible());
  EXPECT_EQ(Ui().plBottomRight->isVisible(), ticks.ItemContents);
  EXPECT_TRUE(Ui().plItemTitle->isVisibleTo(Ui().plBottomRight));
  EXPECT_TRUE(Ui().plItemLink->isVisibleTo(Ui().plBottomRight));
  if (ticks.ItemContents)
    EXPECT_NEAR(Ui().plTopRight->height(), Ui().plRight->height() / 2, 1);
  else
    EXPECT_EQ(Ui().plTopRight->height(), Ui().Splitter2->height());
}

INSTANTIATE_TEST_SUITE_P(Ticks, LeavingBrowserMode,
                         ::testing::Values(TViewTicks{"AllTicked", true, true, true},
                                           TViewTicks{"NoItemContents", true, true, false},
                                           TViewTicks{"NoFeedListNoToolbar", false, false, true}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(BrowserMode, F5DownloadsTheFeedInTheReaderViewAndReloadsInBrowserMode) {
  OpenShown();
  QTest::keyClick(window.get(), Qt::Key_F5);
  EXPECT_EQ(downloads.Runs.size(), 1u);
  EXPECT_EQ(browser->Refreshes, 0);
  ClickLinkInPage();
  QTest::keyClick(window.get(), Qt::Key_F5);
  EXPECT_EQ(downloads.Runs.size(), 1u);
  EXPECT_EQ(browser->Refreshes, 1);
}

TEST_F(BrowserMode, EnterGoesToTheTypedAddressOnlyInBrowserModeAndNotFromInsideAPage) {
  OpenShown();
  Ui().lbItems->setFocus();
  const int navigations = browser->Navigations.size();
  QTest::keyClick(Ui().lbItems, Qt::Key_Return);
  EXPECT_EQ(browser->Navigations.size(), navigations) << "no Go in the reader view";

  ClickLinkInPage();
  ProcessEvents();
  Ui().ebURL->setFocus();
  Ui().ebURL->setText(" example.org/typed ");
  QTest::keyClick(Ui().ebURL, Qt::Key_Return);
  EXPECT_EQ(browser->Navigations.last(), " example.org/typed ") << "sent as typed";
  EXPECT_EQ(Ui().ebURL->text(), " example.org/typed ");

  // A text box of the page shown: Enter is the page's.
  auto* field = new QLineEdit(browser);
  field->show();
  field->setFocus();
  ProcessEvents();
  ASSERT_EQ(QApplication::focusWidget(), field);
  QSignalSpy entered(field, &QLineEdit::returnPressed);
  const int before = browser->Navigations.size();
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(browser->Navigations.size(), before);
  EXPECT_EQ(entered.count(), 1);
}

struct TSearchCase {
  const char* Name;
  const char* Typed;
  const char* Query;  // nullptr: nothing happens
};

class DirectorySearch : public BrowserMode, public ::testing::WithParamInterface<TSearchCase> {};

TEST_P(DirectorySearch, OpensTheDirectorysSearchPageForTheKeywords) {
  Open();
  if (GetParam().Typed) prompts.Answer(GetParam().Typed);
  const QStringList before = browser->Navigations;
  Ui().miFileSearchDirectory->trigger();
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Title, QStringLiteral("Search %1").arg(product::kDirectoryName));
  EXPECT_EQ(prompts.Asked()[0].Text, "Entry keyword(s):");
  if (!GetParam().Query) {
    EXPECT_EQ(browser->Navigations, before);
    EXPECT_FALSE(InBrowserMode());
    return;
  }
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.mid(before.size()),
            QStringList({"about:blank", QStringLiteral("http://%1/feedlist.php?ShowMatch=%2")
                                            .arg(product::kDirectoryHost, GetParam().Query)}));
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, DirectorySearch,
    ::testing::Values(TSearchCase{"OneWord", "news", "news"},
                      TSearchCase{"EveryBlankIsAPlus", "rss  feeds", "rss++feeds"},
                      TSearchCase{"EndsTrimmed", " \t world news  ", "world+news"},
                      TSearchCase{"AddressCharactersEncoded", "AT&T c++ #1 50%", "AT%26T+c%2B%2B+%231+50%25"},
                      TSearchCase{"Empty", "", nullptr}, TSearchCase{"OnlyBlanks", "   ", nullptr},
                      TSearchCase{"Cancelled", nullptr, nullptr}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(BrowserMode, DirectoryEntryAndPromptNameTheDirectory) {
  Open();
  EXPECT_TRUE(Ui().miFileSearchDirectory->text().contains(product::kDirectoryName));
}

TEST_F(BrowserMode, FeedWebSiteAndFollowLinkOpenTheirAddressesOrDoNothingWithoutOne) {
  OpenShown();
  Ui().miViewFeedWebSite->trigger();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.mid(browser->Navigations.size() - 2),
            QStringList({"about:blank", "http://example.org/"}));
  Ui().sbBrowserClose->click();
  Ui().items.plItemLinkClick();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.last(), "http://example.org/One");
  Ui().sbBrowserClose->click();

  ClickFeedRow(1);  // a group heading: no web site, no item
  const int navigations = browser->Navigations.size();
  Ui().items.plFeedLinkClick();
  Ui().miViewFollowLink->trigger();
  EXPECT_FALSE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.size(), navigations);
}

TEST_F(BrowserMode, LinksFromTheFeedResolveAgainstItsAddressAndOnlyWebOnesOpen) {
  OpenShown();
  EXPECT_EQ(browser->Bases.last(), "http://example.org/news") << "the item page's relative links too";
  const std::shared_ptr<TFeedItem> item = window->CurrentItem();
  item->Link = "/story/12";
  Ui().miViewFollowLink->trigger();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.last(), "http://example.org/story/12");
  EXPECT_EQ(item->Link, "/story/12") << "the stored text stays";
  Ui().sbBrowserClose->click();

  window->CurrentFeed()->HtmlUrl = "about/";
  Ui().items.plFeedLinkClick();
  EXPECT_EQ(browser->Navigations.last(), "http://example.org/about/");
  Ui().sbBrowserClose->click();

  // Which schemes are refused is the address rules' test; here the window's answer.
  item->Link = "file:///etc/passwd";
  const int navigations = browser->Navigations.size();
  Ui().items.plItemLinkClick();
  EXPECT_FALSE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.size(), navigations);
  EXPECT_EQ(Ui().StatusBar->currentMessage(), RefusedAddressNote(QUrl("file:///etc/passwd")));
  window->CurrentFeed()->HtmlUrl = "feed:http://example.org/other.xml";
  Ui().miViewFeedWebSite->trigger();
  EXPECT_FALSE(InBrowserMode());
  EXPECT_EQ(Ui().StatusBar->currentMessage(), RefusedAddressNote(QUrl("feed:http://example.org/other.xml")));
}

TEST_F(BrowserMode, KeypadEnterActsAsEnter) {
  OpenShown();
  Ui().lbItems->setFocus();
  QTest::keyClick(Ui().lbItems, Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
  EXPECT_TRUE(events.contains("info Cached")) << "Alt+Enter: Feed Info";
  ClickLinkInPage();
  ProcessEvents();
  Ui().ebURL->setFocus();
  Ui().ebURL->setText("example.org/typed");
  QTest::keyClick(Ui().ebURL, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(browser->Navigations.last(), "example.org/typed");
}

TEST_F(BrowserMode, StatusTextShowsInBothViewsAndNewWindowsLeaveTheModeAlone) {
  Open();
  emit browser->StatusTextChange("http://example.org/hovered");
  EXPECT_EQ(Ui().StatusBar->currentMessage(), "http://example.org/hovered");
  emit browser->NewWindow2("http://example.org/popup");
  EXPECT_FALSE(InBrowserMode());
  ClickLinkInPage();
  emit browser->StatusTextChange("http://example.org/other");
  EXPECT_EQ(Ui().StatusBar->currentMessage(), "http://example.org/other");
  emit browser->NewWindow2("http://example.org/popup");
  EXPECT_TRUE(InBrowserMode());
  emit browser->NavigationRefused(QUrl("javascript:alert(1)"));
  EXPECT_TRUE(Ui().StatusBar->currentMessage().contains("javascript:"));
}

TEST_F(BrowserMode, ARefillWhileBrowsingKeepsThePageUntilTheReaderViewReturns) {
  OpenShown();
  ClickLinkInPage();
  const int pages = browser->Pages.size();
  downloads.OnRun = [this](TDownloadScript::TRun& Run, const std::function<void(TFeed&)>& Applied) {
    WriteCache("http://example.org/news", {"Fresh"});
    Run.Queued[0]->LoadCache();
    Applied(*Run.Queued[0]);
  };
  window->DownloadCurrentFeed();
  EXPECT_EQ(ItemLines(), QStringList({"+Fresh"}));
  EXPECT_EQ(browser->Pages.size(), pages) << "the page the user went to stays";
  EXPECT_TRUE(InBrowserMode());
  EXPECT_FALSE(Ui().MarkAsReadTimer->isActive()) << "the new item's page has not been shown";
  Ui().items.MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"+Fresh"}));
  Ui().sbBrowserClose->click();
  EXPECT_EQ(browser->Pages.last(), "<html><p>Fresh</p></html>");
  EXPECT_TRUE(Ui().MarkAsReadTimer->isActive()) << "shown now, as if just selected";
  Ui().items.MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"-Fresh"}));
}

TEST_F(BrowserMode, EnteringBrowserModeStopsTheCountOfTheItemThatWasShown) {
  OpenShown();
  ASSERT_TRUE(Ui().MarkAsReadTimer->isActive());
  ClickLinkInPage();
  EXPECT_FALSE(Ui().MarkAsReadTimer->isActive());
  Ui().items.MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"+One", "+Two"}));
}

TEST_F(BrowserMode, ExitInBrowserModeSavesTheViewTicksNotWhatBrowserModeShows) {
  SetSetting("View", "ItemContents", "0");
  OpenShown();
  ClickLinkInPage();
  Ui().miFileExit->trigger();
  EXPECT_TRUE(window->IsShutDown());
  EXPECT_EQ(StoredSetting("View", "Toolbar"), "1");
  EXPECT_EQ(StoredSetting("View", "FeedList"), "1");
  EXPECT_EQ(StoredSetting("View", "StatusBar"), "1");
  EXPECT_EQ(StoredSetting("View", "ItemContents"), "0");
}

}  // namespace

}  // namespace skimbrook::test
