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
#include "ui/uCaptionPanel.h"
#include "ui/uFeedAddress.h"
#include "ui/uFeedListBox.h"
#include "ui/uProduct.h"

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
  EXPECT_TRUE(window->miViewBrowser->isChecked());
  EXPECT_EQ(window->ebURL->text(), "http://example.org/story");
  EXPECT_TRUE(window->plBrowserToolbar->isVisible());
  EXPECT_TRUE(window->plBottomRight->isVisible());
  for (QWidget* hidden :
       {static_cast<QWidget*>(window->plItemTitle), static_cast<QWidget*>(window->plItemLink),
        window->plTopRight, static_cast<QWidget*>(window->lbFeedList),
        static_cast<QWidget*>(window->plToolbar)})
    EXPECT_FALSE(hidden->isVisible()) << hidden->metaObject()->className();
  EXPECT_TRUE(window->StatusBar->isVisible()) << "the status bar keeps its visibility";
  EXPECT_EQ(window->WebBrowser->height(), window->plRight->height());
  EXPECT_EQ(window->WebBrowser->width(), window->centralWidget()->width());
  EXPECT_FALSE(window->navigatingInternally);
}

// Where each menu entry stands in each view: shown or hidden, and if shown, enabled or not.
struct TEntryState {
  QAction* TfmMain::*Entry;
  const char* Name;
  bool ReaderVisible;
  bool BrowserVisible;
  bool BrowserEnabled;
};

const TEntryState kEntryStates[] = {
    {&TfmMain::miFileAddFeed, "Add Feed", true, true, false},
    {&TfmMain::miFileAddGroup, "Add Group", true, true, false},
    {&TfmMain::miFileRemoveFeed, "Remove Feed/Group", true, true, false},
    {&TfmMain::miFileFeedInfo, "Feed Info", true, true, false},
    {&TfmMain::miFileImport, "Import", true, true, true},
    {&TfmMain::miFileExport, "Export", true, true, true},
    {&TfmMain::miFileSearchDirectory, "Search", true, true, true},
    {&TfmMain::miFileExit, "Exit", true, true, true},
    {&TfmMain::miViewToolbar, "Toolbar", true, true, false},
    {&TfmMain::miViewStatusBar, "Status Bar", true, true, false},
    {&TfmMain::miViewFeedList, "Feed List", true, true, false},
    {&TfmMain::miViewItemContents, "Item Contents", true, true, false},
    {&TfmMain::miViewBrowser, "Browser", true, true, true},
    {&TfmMain::miViewFeedWebSite, "Feed Web Site", true, true, false},
    {&TfmMain::miViewFollowLink, "Follow Link", true, true, false},
    {&TfmMain::miViewTipOfTheDay, "Tip Of The Day", true, true, true},
    {&TfmMain::miToolsCatchUpFeed, "Catch Up Feed", true, false, false},
    {&TfmMain::miToolsCatchUpGroup, "Catch Up Group", true, false, false},
    {&TfmMain::miToolsCatchUpAll, "Catch Up All", true, false, false},
    {&TfmMain::miToolsCatchUpSeparator, "separator", true, false, false},
    {&TfmMain::miToolsDownloadFeed, "Download Feed", true, false, false},
    {&TfmMain::miToolsDownloadGroup, "Download Group", true, false, false},
    {&TfmMain::miToolsDownloadAll, "Download All", true, false, false},
    {&TfmMain::miToolsGo, "Go", false, true, true},
    {&TfmMain::miToolsReload, "Reload", false, true, true},
    {&TfmMain::miToolsBack, "Back", false, true, true},
    {&TfmMain::miToolsForward, "Forward", false, true, true},
    {&TfmMain::miToolsProxySettings, "Proxy Settings", true, true, true},
    {&TfmMain::miToolsOptions, "Options", true, true, true},
    {&TfmMain::miHelpAbout, "About", true, true, true},
    {&TfmMain::miHelpSkimbrookHelp, "Help", true, true, true},
    {&TfmMain::miHelpHomePage, "Home Page", true, true, true},
    {&TfmMain::miHelpEmailSupport, "Email Support", true, true, true},
};

void ExpectEntries(const TfmMain& Window, bool BrowserView) {
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
  ExpectEntries(*window, false);
  window->miViewBrowser->trigger();
  ExpectEntries(*window, true);
  ClickLinkInPage();  // entering again while in browser mode changes nothing
  ExpectEntries(*window, true);
  window->miViewBrowser->trigger();
  EXPECT_FALSE(InBrowserMode());
  ExpectEntries(*window, false);
}

TEST_F(BrowserMode, BrowserCommandBlanksThePageAsItsOwnNavigationThenOpensTheHomePage) {
  Open();
  QList<bool> internal;
  QObject::connect(browser, &TWebBrowser::BeforeNavigate2, window.get(),
                   [&](const QString&, bool) { internal << window->navigatingInternally; });
  window->miViewBrowser->trigger();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.mid(browser->Navigations.size() - 2), QStringList({"about:blank", kHome}));
  EXPECT_EQ(internal, QList<bool>({true, false}));
  EXPECT_EQ(window->ebURL->text(), kHome);
  EXPECT_FALSE(window->navigatingInternally);

  window->miHelpHomePage->trigger();
  EXPECT_EQ(browser->Navigations.mid(browser->Navigations.size() - 2), QStringList({"about:blank", kHome}));
  window->sbBrowserHome->click();
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
    flagDuringWait = window->navigatingInternally;
  });
  window->EnterBrowserMode(true);
  EXPECT_GE(browser->ReadyState(), TWebBrowser::Interactive);
  EXPECT_TRUE(ranDuringWait);
  EXPECT_TRUE(flagDuringWait);
  EXPECT_FALSE(window->navigatingInternally);

  window->navigatingInternally = true;
  window->EnterBrowserMode(true);
  EXPECT_TRUE(window->navigatingInternally) << "the flag comes back as it was";
}

TEST_F(BrowserMode, ABlankPageThatNeverGetsReadyDoesNotHoldUpClosingTheWindow) {
  Open();
  browser->BlankReadyAfterMs = 3'600'000;
  QTimer::singleShot(20, window.get(), [this] { window->close(); });
  window->miHelpHomePage->trigger();
  EXPECT_TRUE(window->IsShutDown());
  EXPECT_FALSE(window->navigatingInternally);
}

TEST_F(BrowserMode, BackAndForwardWalkTheHistoryAndLeaveAtItsEnds) {
  OpenShown();
  ClickLinkInPage();
  browser->EarlierPages = 1;
  window->sbBrowserBack->click();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(window->ebURL->text(), "back");
  window->sbBrowserForward->click();
  EXPECT_TRUE(InBrowserMode());
  window->miToolsForward->trigger();
  EXPECT_FALSE(InBrowserMode()) << "no later page";

  ClickLinkInPage();
  const int pagesBefore = browser->Pages.size();
  window->miToolsBack->trigger();
  window->miToolsBack->trigger();
  EXPECT_FALSE(InBrowserMode()) << "no earlier page";
  EXPECT_TRUE(prompts.Asked().empty());
  EXPECT_EQ(browser->Pages.size(), pagesBefore + 1) << "the item's page is written again";
  EXPECT_EQ(browser->Pages.last(), "<html><p>One</p></html>");
  EXPECT_EQ(window->focusWidget(), window->lbItems);
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
  window->sbBrowserClose->click();
  ProcessEvents();
  EXPECT_FALSE(InBrowserMode());
  EXPECT_FALSE(window->plBrowserToolbar->isVisible());
  EXPECT_EQ(window->plToolbar->isVisible(), ticks.Toolbar);
  EXPECT_EQ(window->lbFeedList->isVisible(), ticks.FeedList);
  EXPECT_TRUE(window->plTopRight->isVisible());
  EXPECT_EQ(window->plBottomRight->isVisible(), ticks.ItemContents);
  EXPECT_TRUE(window->plItemTitle->isVisibleTo(window->plBottomRight));
  EXPECT_TRUE(window->plItemLink->isVisibleTo(window->plBottomRight));
  if (ticks.ItemContents)
    EXPECT_NEAR(window->plTopRight->height(), window->plRight->height() / 2, 1);
  else
    EXPECT_EQ(window->plTopRight->height(), window->Splitter2->height());
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
  window->lbItems->setFocus();
  const int navigations = browser->Navigations.size();
  QTest::keyClick(window->lbItems, Qt::Key_Return);
  EXPECT_EQ(browser->Navigations.size(), navigations) << "no Go in the reader view";

  ClickLinkInPage();
  ProcessEvents();
  window->ebURL->setFocus();
  window->ebURL->setText(" example.org/typed ");
  QTest::keyClick(window->ebURL, Qt::Key_Return);
  EXPECT_EQ(browser->Navigations.last(), " example.org/typed ") << "sent as typed";
  EXPECT_EQ(window->ebURL->text(), " example.org/typed ");

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
  window->miFileSearchDirectory->trigger();
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
  EXPECT_TRUE(window->miFileSearchDirectory->text().contains(product::kDirectoryName));
}

TEST_F(BrowserMode, FeedWebSiteAndFollowLinkOpenTheirAddressesOrDoNothingWithoutOne) {
  OpenShown();
  window->miViewFeedWebSite->trigger();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.mid(browser->Navigations.size() - 2),
            QStringList({"about:blank", "http://example.org/"}));
  window->sbBrowserClose->click();
  window->plItemLinkClick();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.last(), "http://example.org/One");
  window->sbBrowserClose->click();

  ClickFeedRow(1);  // a group heading: no web site, no item
  const int navigations = browser->Navigations.size();
  window->plFeedLinkClick();
  window->miViewFollowLink->trigger();
  EXPECT_FALSE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.size(), navigations);
}

TEST_F(BrowserMode, LinksFromTheFeedResolveAgainstItsAddressAndOnlyWebOnesOpen) {
  OpenShown();
  EXPECT_EQ(browser->Bases.last(), "http://example.org/news") << "the item page's relative links too";
  const std::shared_ptr<TFeedItem> item = window->CurrentItem();
  item->Link = "/story/12";
  window->miViewFollowLink->trigger();
  EXPECT_TRUE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.last(), "http://example.org/story/12");
  EXPECT_EQ(item->Link, "/story/12") << "the stored text stays";
  window->sbBrowserClose->click();

  window->CurrentFeed()->HtmlUrl = "about/";
  window->plFeedLinkClick();
  EXPECT_EQ(browser->Navigations.last(), "http://example.org/about/");
  window->sbBrowserClose->click();

  // Which schemes are refused is the address rules' test; here the window's answer.
  item->Link = "file:///etc/passwd";
  const int navigations = browser->Navigations.size();
  window->plItemLinkClick();
  EXPECT_FALSE(InBrowserMode());
  EXPECT_EQ(browser->Navigations.size(), navigations);
  EXPECT_EQ(window->StatusBar->currentMessage(), RefusedAddressNote(QUrl("file:///etc/passwd")));
  window->CurrentFeed()->HtmlUrl = "feed:http://example.org/other.xml";
  window->miViewFeedWebSite->trigger();
  EXPECT_FALSE(InBrowserMode());
  EXPECT_EQ(window->StatusBar->currentMessage(),
            RefusedAddressNote(QUrl("feed:http://example.org/other.xml")));
}

TEST_F(BrowserMode, KeypadEnterActsAsEnter) {
  OpenShown();
  window->lbItems->setFocus();
  QTest::keyClick(window->lbItems, Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
  EXPECT_TRUE(events.contains("info Cached")) << "Alt+Enter: Feed Info";
  ClickLinkInPage();
  ProcessEvents();
  window->ebURL->setFocus();
  window->ebURL->setText("example.org/typed");
  QTest::keyClick(window->ebURL, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(browser->Navigations.last(), "example.org/typed");
}

TEST_F(BrowserMode, StatusTextShowsInBothViewsAndNewWindowsLeaveTheModeAlone) {
  Open();
  emit browser->StatusTextChange("http://example.org/hovered");
  EXPECT_EQ(window->StatusBar->currentMessage(), "http://example.org/hovered");
  emit browser->NewWindow2("http://example.org/popup");
  EXPECT_FALSE(InBrowserMode());
  ClickLinkInPage();
  emit browser->StatusTextChange("http://example.org/other");
  EXPECT_EQ(window->StatusBar->currentMessage(), "http://example.org/other");
  emit browser->NewWindow2("http://example.org/popup");
  EXPECT_TRUE(InBrowserMode());
  emit browser->NavigationRefused(QUrl("javascript:alert(1)"));
  EXPECT_TRUE(window->StatusBar->currentMessage().contains("javascript:"));
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
  EXPECT_FALSE(window->MarkAsReadTimer->isActive()) << "the new item's page has not been shown";
  window->MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"+Fresh"}));
  window->sbBrowserClose->click();
  EXPECT_EQ(browser->Pages.last(), "<html><p>Fresh</p></html>");
  EXPECT_TRUE(window->MarkAsReadTimer->isActive()) << "shown now, as if just selected";
  window->MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"-Fresh"}));
}

TEST_F(BrowserMode, EnteringBrowserModeStopsTheCountOfTheItemThatWasShown) {
  OpenShown();
  ASSERT_TRUE(window->MarkAsReadTimer->isActive());
  ClickLinkInPage();
  EXPECT_FALSE(window->MarkAsReadTimer->isActive());
  window->MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"+One", "+Two"}));
}

TEST_F(BrowserMode, ExitInBrowserModeSavesTheViewTicksNotWhatBrowserModeShows) {
  SetSetting("View", "ItemContents", "0");
  OpenShown();
  ClickLinkInPage();
  window->miFileExit->trigger();
  EXPECT_TRUE(window->IsShutDown());
  EXPECT_EQ(StoredSetting("View", "Toolbar"), "1");
  EXPECT_EQ(StoredSetting("View", "FeedList"), "1");
  EXPECT_EQ(StoredSetting("View", "StatusBar"), "1");
  EXPECT_EQ(StoredSetting("View", "ItemContents"), "0");
}

}  // namespace

}  // namespace skimbrook::test
