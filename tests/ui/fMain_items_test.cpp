// The item list, the heading panels, the content page and marking items read.
#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <ctime>

#include "MainWindowFixture.h"
#include "ui/panes/uCaptionPanel.h"
#include "ui/panes/uFeedListBox.h"
#include "ui/panes/uListRules.h"

namespace skimbrook::test {

namespace {

struct TLineCase {
  const char* Title;
  const char* PubDate;
  bool IsRead;
  const char* Line;
};

class ItemLineRule : public ::testing::TestWithParam<TLineCase> {};

TEST_P(ItemLineRule, MarksReadStateAndAddsTheDateOnlyWhenThereIsOne) {
  TFeedItem item;
  item.Title = GetParam().Title;
  item.PubDate = GetParam().PubDate;
  item.IsRead = GetParam().IsRead;
  EXPECT_EQ(ItemLineText(item), QString::fromUtf8(GetParam().Line));
}

INSTANTIATE_TEST_SUITE_P(Lines, ItemLineRule,
                         ::testing::Values(TLineCase{"Budget", "2004-05-01", false, "+Budget (2004-05-01)"},
                                           TLineCase{"Budget", "", true, "-Budget"},
                                           TLineCase{"", "", false, "+"},
                                           TLineCase{"Caf\xc3\xa9", "", false, "+Caf\xc3\xa9"}));

TEST(ItemLineRule, ScreenReadersHearTheRowsStateInWords) {
  EXPECT_EQ(FeedRowSpoken("12 Tech news", false), "Tech news, 12 unread");
  EXPECT_EQ(FeedRowSpoken("0 Quiet one", true), "Quiet one, last download failed");
  EXPECT_EQ(FeedRowSpoken(". Sports", false), "Group: Sports");
}

TEST(ItemLineRule, AnItemWithoutATitleShowsTheFirstWordsOfItsTextAndAPanelShowsText) {
  TFeedItem item;
  item.Description = "<p>Short &amp; <b>sweet</b></p>";
  EXPECT_TRUE(HasStandInTitle(item));
  EXPECT_EQ(ItemLineText(item), QStringLiteral("+Short & sweet"));
  item.Description =
      "<p>" + std::string(30, 'w') + " " + std::string(30, 'x') + " " + std::string(30, 'y') + "</p>";
  EXPECT_EQ(ItemTitleText(item), QString(30, 'w') + ' ' + QString(30, 'x') + QChar(0x2026));
  item.Title = "Titled";
  EXPECT_FALSE(HasStandInTitle(item));
  EXPECT_EQ(PanelText("PCMag.com&#xD;"), QStringLiteral("PCMag.com"));
  EXPECT_EQ(PanelText("<P>News from <a href=mailto:ed@example.org>the editor</a></P>"),
            QStringLiteral("News from the editor"));
}

// Dates in the item list's column and the items' order by date, in UTC and British forms.
class ItemDates : public ::testing::Test {
 protected:
  void SetUp() override {
    zone_ = qgetenv("TZ");
    qputenv("TZ", "UTC");
    tzset();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
  }
  void TearDown() override {
    QLocale::setDefault(QLocale::system());
    if (zone_.isNull())
      qunsetenv("TZ");
    else
      qputenv("TZ", zone_);
    tzset();
  }
  static TFeedItem Dated(const char* Date) {
    TFeedItem item;
    item.PubDate = Date;
    return item;
  }
  QByteArray zone_;
};

TEST_F(ItemDates, TheColumnShowsTimeTodayDayAndMonthThisYearAndTheFullDateBefore) {
  const QDateTime now(QDate(2026, 12, 9), QTime(18, 0), Qt::UTC);
  const struct {
    const char* PubDate;
    const char* Shown;
  } cases[] = {
      {"Wed, 09 Dec 2026 08:05:00 GMT", "08:05"},
      {"2026-12-09T23:30:00+02:00", "21:30"},
      {"Tue, 8 Dec 26 23:59 -0100", "00:59"},
      {"2026-03-05", "5 Mar"},
      {"Fri, 31 Dec 2021 10:00:00 +0000", "31/12/2021"},
      {"last Tuesday", "last Tuesday"},
      {"Mon, 30 Feb 2026 10:00:00 GMT", "Mon, 30 Feb 2026 10:00:00 GMT"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ItemDateText(Dated(c.PubDate), now), QString(c.Shown)) << c.PubDate;
  EXPECT_EQ(ItemLongDateText(Dated("2026-03-05T09:30:00Z")), "Thursday, 5 March 2026 09:30");
  EXPECT_EQ(ItemLongDateText(Dated("soon")), "soon");
}

TEST_F(ItemDates, NewestFirstPutsUndatedItemsLastAndKeepsTheDocumentOrderOfTies) {
  TFeed feed("Dates", "", "http://example.org/dates", "");
  for (const char* date : {"2024-01-02", "", "Wed, 03 Jan 2024 00:00:00 GMT", "garbled",
                           "2024-01-02T00:00:00Z", "2023-12-31T23:00:00-02:00"}) {
    auto item = std::make_shared<TFeedItem>(Dated(date));
    feed.AddItem(item);
  }
  EXPECT_EQ(ItemListOrder(feed, false), std::vector<int>({0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(ItemListOrder(feed, true), std::vector<int>({2, 0, 4, 5, 1, 3}));
}

class Items : public MainWindowTest {
 protected:
  void SetUp() override {
    WriteSubscriptions({{"News", "http://example.org/news", 2}, {"Sports", ""}, {"Read", "http://read/"}});
    WriteCache("http://example.org/news", {"One", "Two", "*Three"});
    WriteCache("http://read/", {"*Old"});
    Open();
    // An item is read only once its page has been on screen.
    window->show();
    ClickFeedRow(0);
  }
};

TEST(ItemPage, EnclosuresGetALineEachUnderTheTextAndAnItemWithoutKeepsItsPage) {
  TFeedItem item;
  item.Description = "<p>Show notes</p>";
  EXPECT_EQ(TItemPane::ContentPage(&item), "<html><p>Show notes</p></html>");
  item.Enclosures = {{"http://media.example/ep%2012.mp3", "audio/mpeg", "12345678"},
                     {"clips/trailer.mp4?x=1&y=2", "video/mp4", ""},
                     {"http://media.example/notes.pdf", "", "bogus"}};
  EXPECT_EQ(TItemPane::ContentPage(&item),
            "<html><p>Show notes</p>"
            "<p class=\"enclosure\"><a href=\"http://media.example/ep%2012.mp3\" target=\"_blank\">"
            "Audio: ep 12.mp3 (12.3 MB)</a></p>"
            "<p class=\"enclosure\"><a href=\"clips/trailer.mp4?x=1&amp;y=2\" target=\"_blank\">"
            "Video: trailer.mp4</a></p>"
            "<p class=\"enclosure\"><a href=\"http://media.example/notes.pdf\" target=\"_blank\">"
            "File: notes.pdf</a></p></html>");
}

class SortedItems : public MainWindowTest {
 protected:
  void SetUp() override {
    WriteSubscriptions({{"News", "http://example.org/news", 3}});
    TFeed feed("News", "http://example.org/", "http://example.org/news", "");
    feed.LoadFromFile(DataPath("ui/empty-feed.xml"));
    for (const auto& [title, date] :
         {std::pair{"Old", "2020-01-01"}, {"Undated", ""}, {"New", "2024-01-01"}}) {
      auto item = std::make_shared<TFeedItem>();
      item->Title = title;
      item->PubDate = date;
      feed.AddItem(item);
    }
    feed.SaveCache();
  }
  QAction* SortByDate() const { return window->findChild<QAction*>("miViewSortByDate"); }
};

TEST_F(SortedItems, SortByDateReordersTheLinesKeepsTheCurrentItemAndIsRemembered) {
  SetSetting("View", "SortByDate", "1");
  Open();
  window->show();
  ClickFeedRow(0);
  ASSERT_NE(SortByDate(), nullptr);
  EXPECT_TRUE(SortByDate()->isChecked());
  EXPECT_EQ(ItemLines(), QStringList({"+New (2024-01-01)", "+Old (2020-01-01)", "+Undated"}));
  EXPECT_EQ(window->CurrentItem()->Title, "New") << "the newest comes first and is selected";

  Ui().lbItems->setCurrentRow(1);
  EXPECT_EQ(window->CurrentItem()->Title, "Old");
  SortByDate()->trigger();
  EXPECT_EQ(ItemLines(), QStringList({"+Old (2020-01-01)", "+Undated", "+New (2024-01-01)"}));
  EXPECT_EQ(Ui().lbItems->currentRow(), 0);
  EXPECT_EQ(window->CurrentItem()->Title, "Old");
  QTest::qWait(1300);
  EXPECT_EQ(ItemLines(), QStringList({"-Old (2020-01-01)", "+Undated", "+New (2024-01-01)"}))
      << "the read mark lands on the item's own line";

  SortByDate()->trigger();
  Ui().lbItems->setCurrentRow(2);
  EXPECT_EQ(window->CurrentItem()->Title, "Undated");
  EXPECT_EQ(ItemLines().at(2), "+Undated");
  EXPECT_TRUE(window->close());
  EXPECT_EQ(StoredSetting("View", "SortByDate"), "1");
}

// Reading with the keyboard: Next Unread across feeds and groups, Mark as Unread, the
// item list's menu, and the current entry and item at the next start.
class ReadingFlow : public MainWindowTest {
 protected:
  void SetUp() override {
    WriteSubscriptions({{"A", "http://a/", 1},
                        {"Empty", "http://empty/", 0},
                        {"Group", ""},
                        {"B", "http://b/", 2},
                        {"C", "http://c/", 1}});
    WriteCache("http://a/", {"*A1", "A2"});
    WriteCache("http://empty/", {"*E1"});
    WriteCache("http://b/", {"B1", "*B2", "B3"});
    WriteCache("http://c/", {"C1"});
    Open();
    window->show();
    ClickFeedRow(0);
  }
  // "Feed/Item" of the current item.
  std::string Where() const {
    const auto& item = window->CurrentItem();
    return window->CurrentFeed()->XmlUrl + (item ? item->Title : std::string("-"));
  }
  void NextUnread() {
    Trigger("miToolsNextUnread");
    ProcessEvents();
  }
};

TEST_F(ReadingFlow, NextUnreadWalksTheListAcrossGroupsAndWrapsOnce) {
  ASSERT_EQ(Where(), "http://a/A1");
  const char* const expected[] = {"http://a/A2", "http://b/B1", "http://b/B3", "http://c/C1"};
  for (const char* step : expected) {
    NextUnread();
    EXPECT_EQ(Where(), step);
    // Read on the way, as the reader's second on screen would.
    Ui().items.MarkAsReadTimerTimer();
  }
  NextUnread();
  EXPECT_EQ(Where(), "http://c/C1") << "nothing unread is left anywhere";
  EXPECT_EQ(Ui().StatusBar->currentMessage(), "No unread items.");

  // From the last feed the walk wraps to the top once, to an item marked unread again.
  ClickFeedRow(0);
  Ui().lbItems->setCurrentRow(1);
  Trigger("miToolsMarkAsUnread");
  ClickFeedRow(4);
  NextUnread();
  EXPECT_EQ(Where(), "http://a/A2");
}

TEST_F(ReadingFlow, MarkAsUnreadHoldsWhileShownAndSpaceAtThePageEndReadsOn) {
  Ui().lbItems->setCurrentRow(1);
  QTest::qWait(1300);
  ASSERT_TRUE(window->CurrentItem()->IsRead);
  EXPECT_EQ(Ui().lbItems->item(1)->data(Qt::AccessibleTextRole).toString(), "A2");
  Trigger("miToolsMarkAsUnread");
  EXPECT_FALSE(window->CurrentItem()->IsRead);
  EXPECT_EQ(Ui().lbItems->item(1)->data(Qt::AccessibleTextRole).toString(), "unread: A2");
  EXPECT_EQ(ItemLines().at(1), "+A2");
  QTest::qWait(1300);
  EXPECT_FALSE(window->CurrentItem()->IsRead) << "no count marks it read again while it is shown";

  // The fake page is always at its end: Space goes to the next unread item.
  QTest::keyClick(Ui().lbItems, Qt::Key_Space);
  ProcessEvents();
  EXPECT_EQ(Where(), "http://b/B1");
}

TEST_F(ReadingFlow, TheItemMenuOpensLinksOnTheDesktopOnlyForWebAddresses) {
  EXPECT_EQ(Ui().Named<QMenu>("pmItems")->actions().size(), 4);
  EXPECT_EQ(Ui().Named<QMenu>("pmFeedList")->actions().size(), 5);
  Trigger("miFileEditFeed");
  EXPECT_EQ(events.filter("edit "), QStringList({"edit Cached"})) << "Feed Info opens for editing";
  Trigger("miViewOpenInBrowser");
  window->CurrentItem()->Link = "javascript:alert(1)";
  Trigger("miViewOpenInBrowser");
  EXPECT_EQ(events.filter("//"), QStringList({"http://example.org/A1"}));
  Trigger("miItemCopyLink");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "javascript:alert(1)");
}

TEST_F(ReadingFlow, TheCurrentFeedAndItemComeBackAtTheNextStart) {
  ClickFeedRow(3);
  Ui().lbItems->setCurrentRow(2);
  EXPECT_TRUE(window->close());
  window.reset();
  Open();
  window->show();
  ProcessEvents();
  EXPECT_EQ(Where(), "http://b/B3");
}

TEST_F(Items, FillingShowsTheLinesSelectsTheFirstAndShowsItsPage) {
  EXPECT_EQ(ItemLines(), QStringList({"+One", "+Two", "-Three"}));
  ASSERT_NE(window->CurrentItem(), nullptr);
  EXPECT_EQ(window->CurrentItem()->Title, "One");
  EXPECT_EQ(Ui().plItemTitle->text(), "One");
  EXPECT_EQ(Ui().plItemLink->text(), "http://example.org/One");
  EXPECT_EQ(Ui().plItemLink->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(Ui().plFeedTitle->text(), "Cached") << "the cache file's channel title";
  EXPECT_EQ(Ui().meFeedDescription->text(), "No items yet");
  EXPECT_EQ(browser->Pages.last(), "<html><p>One</p></html>");
  EXPECT_EQ(window->CurrentFeed()->UnreadCount, 2);
}

TEST_F(Items, WritingThePageStaysInTheReaderViewButShowsBlankInTheAddressBox) {
  EXPECT_EQ(browser->Navigations.last(), "about:blank");
  EXPECT_EQ(Ui().ebURL->text(), "about:blank");
  EXPECT_FALSE(Ui().miViewBrowser->isChecked());
  EXPECT_FALSE(Ui().navigatingInternally);
}

TEST_F(Items, ANavigationTheProgramDidNotStartEntersBrowserModeButAFrameDoesNot) {
  emit browser->BeforeNavigate2("http://example.org/embedded-video", false);
  EXPECT_FALSE(Ui().miViewBrowser->isChecked());
  EXPECT_EQ(Ui().ebURL->text(), "about:blank");
  emit browser->BeforeNavigate2("http://example.org/linked", true);
  EXPECT_TRUE(Ui().miViewBrowser->isChecked());
  EXPECT_EQ(Ui().ebURL->text(), "http://example.org/linked");
}

TEST_F(Items, SelectingAnUnreadItemMarksItReadAfterTheDelay) {
  const std::string opmlBefore = DefaultOpml();
  ASSERT_TRUE(Ui().MarkAsReadTimer->isActive());
  EXPECT_EQ(Ui().MarkAsReadTimer->interval(), 1000);
  EXPECT_TRUE(Ui().MarkAsReadTimer->isSingleShot());
  QTest::qWait(1300);
  EXPECT_TRUE(window->CurrentItem()->IsRead);
  EXPECT_EQ(ItemLines().first(), "-One");
  EXPECT_EQ(FeedRows().first(), "1 Cached");
  EXPECT_NE(ReadFile(window->CurrentFeed()->CacheFileName()).find("isRead"), std::string::npos);
  EXPECT_NE(DefaultOpml(), opmlBefore) << "the count reaches default.opml at once";
  EXPECT_NE(DefaultOpml().find("unreadCount=\"1\""), std::string::npos);
}

TEST_F(Items, AnItemCountsAsReadOnlyWhileItsPageIsOnScreen) {
  ASSERT_TRUE(Ui().MarkAsReadTimer->isActive());
  window->hide();  // as to the notification area
  EXPECT_FALSE(Ui().MarkAsReadTimer->isActive());
  Ui().items.MarkAsReadTimerTimer();
  EXPECT_FALSE(window->CurrentItem()->IsRead) << "a count that fires late finds the page hidden";
  Ui().items.FillItemList();  // the hourly download refills the list
  EXPECT_FALSE(Ui().MarkAsReadTimer->isActive());
  window->show();
  EXPECT_TRUE(Ui().MarkAsReadTimer->isActive()) << "showing the window counts as selecting the item";

  window->showMinimized();
  ProcessEvents();
  EXPECT_FALSE(Ui().MarkAsReadTimer->isActive());
  Ui().lbItems->setCurrentRow(1);
  EXPECT_FALSE(Ui().MarkAsReadTimer->isActive());
  Ui().items.MarkAsReadTimerTimer();
  window->showNormal();
  ProcessEvents();
  ASSERT_TRUE(Ui().MarkAsReadTimer->isActive());
  Ui().items.MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"+One", "-Two", "-Three"}));
}

TEST_F(Items, MovingOnBeforeTheDelayLeavesTheFirstItemUnread) {
  Ui().lbItems->setCurrentRow(1);
  EXPECT_TRUE(Ui().MarkAsReadTimer->isActive()) << "a fresh count for the new line";
  Ui().items.MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"+One", "-Two", "-Three"}));
  Ui().lbItems->setCurrentRow(2);
  EXPECT_FALSE(Ui().MarkAsReadTimer->isActive()) << "a read item does not arm the timer";
}

TEST_F(Items, AGroupHeadingShowsItsTitleAndAnEmptyPage) {
  ClickFeedRow(1);
  EXPECT_EQ(Ui().lbItems->count(), 0);
  EXPECT_EQ(Ui().plFeedTitle->text(), "Sports");
  EXPECT_EQ(Ui().plFeedLink->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(Ui().plItemTitle->text(), "");
  EXPECT_EQ(window->CurrentItem(), nullptr);
  EXPECT_EQ(browser->Pages.last(), "<html></html>");
  Ui().items.MarkAsReadTimerTimer();  // the pending count from the previous feed finds no item
  // The row shows the entry as it is now: named by its cache file, still two unread.
  EXPECT_EQ(FeedRows().first(), "2 Cached");
}

TEST_F(Items, ADescriptionThatIsAWholeDocumentIsStillWrapped) {
  auto item = window->CurrentItem();
  item->Description = "<html><body>x</body></html>";
  Ui().items.UpdateFeedAndItemView();
  EXPECT_EQ(browser->Pages.last(), "<html><html><body>x</body></html></html>");
}

TEST_F(Items, ReloadingTheListDropsTheCurrentItemAndItsPendingMark) {
  ASSERT_TRUE(Ui().MarkAsReadTimer->isActive());
  const std::shared_ptr<TFeedItem> old = window->CurrentItem();
  prompts.Answer("Group");
  Trigger("miFileAddGroup");
  EXPECT_FALSE(Ui().MarkAsReadTimer->isActive());
  EXPECT_EQ(window->CurrentItem(), nullptr);
  EXPECT_FALSE(old->OnChange);
  EXPECT_FALSE(old->IsRead);
}

TEST_F(Items, ADownloadOfTheCurrentFeedRefillsTheList) {
  downloads.OnRun = [this](TDownloadScript::TRun& Run, const std::function<void(TFeed&)>& Applied) {
    WriteCache("http://example.org/news", {"Fresh", "*Two"});
    Run.Queued[0]->LoadCache();
    Run.Queued[0]->Changed();
    Applied(*Run.Queued[0]);
  };
  window->DownloadCurrentFeed();
  EXPECT_EQ(ItemLines(), QStringList({"+Fresh", "-Two"}));
  EXPECT_EQ(window->CurrentItem()->Title, "Fresh");
  EXPECT_EQ(browser->Pages.last(), "<html><p>Fresh</p></html>");
}

}  // namespace

}  // namespace skimbrook::test
