// The window with the real item store (items.db in the test's data folder): filling after a
// download, older items, stars, search, the clean-up at a run's end and a damaged file.
#include <sqlite3.h>

#include <QComboBox>
#include <QTest>
#include <filesystem>

#include "MainWindowFixture.h"
#include "base/uFiles.h"
#include "ui/painting/uItemListDelegate.h"

namespace skimbrook::test {

namespace {

const std::string kNews = "http://example.org/news";
const std::string kSport = "http://example.org/sport";

class StoreWindow : public MainWindowTest {
 protected:
  StoreWindow() {
    SetSetting("Options", "ShowTips", "0");
    SetSetting("Options", "AutomaticallyDownload", "0");
  }

  // Opens the window, shows it and waits until the store is open and filled from the
  // cache files.
  void OpenShown() {
    Open();
    window->show();
    WaitForStore();
  }
  void WaitForStore() {
    QElapsedTimer clock;
    clock.start();
    while ((!Ui().store.IsOpen() || Ui().store.Rebuilding()) && clock.elapsed() < 10000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ProcessEvents();
  }
  TItemStore& Store() {
    TItemStore* store = Ui().store.Store();
    if (!store) throw std::logic_error("the store is not open");
    return *store;
  }
  // A download of the current feed whose new document holds Titles ("*": read).
  void DownloadBringing(const std::string& Url, const std::vector<std::string>& Titles) {
    downloads.OnRun = [this, Url, Titles](TDownloadScript::TRun& Run,
                                          const std::function<void(TFeed&)>& Applied) {
      for (const auto& feed : Run.Queued) {
        if (feed->XmlUrl != Url) continue;
        WriteCache(Url, Titles);
        feed->LoadCache();
        feed->Changed();
        Applied(*feed);
      }
    };
    window->DownloadCurrentFeed();
    ProcessEvents();
  }
  // Selects Row of the item list as a click would.
  void ClickItem(int Row) {
    Ui().lbItems->setCurrentRow(Row);
    ProcessEvents();
  }
  bool Greyed(int Row) const { return Ui().lbItems->item(Row)->data(kItemOlderRole).toBool(); }
  QString OlderCount() const {
    return Ui().plFeedTitle->findChild<QLabel*>() ? Ui().plFeedTitle->findChild<QLabel*>()->text()
                                                  : QString();
  }
};

TEST_F(StoreWindow, OlderItemsAppearGreyedBelowTheFeedsOwnAndAReturningItemKeepsItsReadFlag) {
  WriteSubscriptions({{"News", kNews, 2}});
  WriteCache(kNews, {"One", "Two"});
  OpenShown();
  ClickFeedRow(0);
  ASSERT_TRUE(Store().HoldsFeed(kNews)) << "the cache file fills a store that is new";

  DownloadBringing(kNews, {"Three", "Two"});
  Trigger("miViewShowOlderItems");
  EXPECT_EQ(ItemLines(), QStringList({"+Three", "+Two", "+One"}));
  EXPECT_EQ(std::vector<bool>({Greyed(0), Greyed(1), Greyed(2)}), std::vector<bool>({false, false, true}));
  EXPECT_EQ(OlderCount(), "1 older unread");
  EXPECT_EQ(FeedRows(), QStringList({"2 Cached"})) << "the row counts the document's items only";

  // An older item opens like any other and is read after its second on screen.
  ClickItem(2);
  EXPECT_EQ(browser->Pages.last(), "<html><p>One</p></html>");
  ASSERT_TRUE(Ui().MarkAsReadTimer->isActive());
  Ui().items.MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines().at(2), "-One");
  EXPECT_EQ(OlderCount(), "");
  EXPECT_EQ(Store().OlderUnreadCount(kNews), 0);
  EXPECT_EQ(FeedRows(), QStringList({"2 Cached"}));

  // Back in the document, unread there: the store's flag wins.
  DownloadBringing(kNews, {"One", "Three"});
  EXPECT_EQ(ItemLines(), QStringList({"-One", "+Three", "+Two"}));
  EXPECT_EQ(FeedRows(), QStringList({"1 Cached"}));

  Trigger("miViewShowOlderItems");
  EXPECT_EQ(ItemLines(), QStringList({"-One", "+Three"}));
}

TEST_F(StoreWindow, ShowOlderItemsIsRemembered) {
  SetSetting("View", "ShowOlderItems", "1");
  Open();
  EXPECT_TRUE(Ui().miViewShowOlderItems->isChecked());
  Trigger("miViewShowOlderItems");
  EXPECT_TRUE(window->close());
  EXPECT_EQ(StoredSetting("View", "ShowOlderItems"), "0");
}

TEST_F(StoreWindow, ReadFlagsAndCatchUpReachTheStore) {
  WriteSubscriptions({{"News", kNews, 2}});
  WriteCache(kNews, {"One", "Two"});
  OpenShown();
  ClickFeedRow(0);
  Ui().items.MarkAsReadTimerTimer();
  ASSERT_EQ(ItemLines(), QStringList({"-One", "+Two"}));
  TFeedItem one;
  one.Title = "One";
  one.Link = "http://example.org/One";
  EXPECT_TRUE(Store().FindItem(kNews, one)->IsRead);
  Trigger("miToolsMarkAsUnread");
  EXPECT_FALSE(Store().FindItem(kNews, one)->IsRead);

  DownloadBringing(kNews, {"Three"});
  ProcessEvents();
  EXPECT_EQ(OlderCount(), "2 older unread");
  Trigger("miToolsCatchUpFeed");
  EXPECT_EQ(Store().OlderUnreadCount(kNews), 0) << "catching up reads the older items too";
  ProcessEvents();
  EXPECT_EQ(OlderCount(), "");
}

TEST_F(StoreWindow, AStarShowsOnItsLineAndStarredItemsListsThoseOfEveryFeed) {
  WriteSubscriptions({{"News", kNews}, {"Sport", kSport}});
  WriteCache(kNews, {"One", "Two"}, "News");
  WriteCache(kSport, {"Goal"}, "Sport");
  OpenShown();
  ClickFeedRow(1);
  Trigger("miToolsStarItem");
  EXPECT_EQ(ItemLines(), QStringList({"+\u2605 Goal"}));
  ClickFeedRow(0);
  ClickItem(1);
  Trigger("miToolsStarItem");
  EXPECT_EQ(ItemLines(), QStringList({"+One", "+\u2605 Two"}));

  Trigger("miViewStarredItems");
  EXPECT_TRUE(Ui().miViewStarredItems->isChecked());
  const QStringList starred = ItemLines();
  ASSERT_EQ(starred.size(), 2);
  EXPECT_TRUE(starred.filter("\u2605 Goal  \u2014 Sport").size() == 1) << starred.join('|').toStdString();
  EXPECT_TRUE(starred.filter("\u2605 Two  \u2014 News").size() == 1) << starred.join('|').toStdString();
  EXPECT_EQ(window->CurrentItem(), nullptr) << "nothing opens before the user picks a line";

  // A starred item opens as its feed's own: reading it reaches the feed's count.
  const int goal = starred.indexOf(starred.filter("Goal").first());
  ClickItem(goal);
  EXPECT_EQ(browser->Pages.last(), "<html><p>Goal</p></html>");
  Ui().items.MarkAsReadTimerTimer();
  EXPECT_EQ(FeedRows().at(1), "0 Sport");
  EXPECT_TRUE(ItemLines().at(goal).startsWith("-"));
  Trigger("miToolsStarItem");
  EXPECT_FALSE(ItemLines().at(goal).contains(QChar(0x2605)));

  // A star stays when its subscription is removed; the other items go.
  prompts.Answer(true);
  ClickFeedRow(0);
  EXPECT_FALSE(Ui().miViewStarredItems->isChecked()) << "a feed's row brings its items back";
  EXPECT_EQ(ItemLines(), QStringList({"+One", "+\u2605 Two"}));
  Trigger("miFileRemoveFeed");
  EXPECT_EQ(Store().Search("one").size(), 0u);
  ASSERT_EQ(Store().StarredItems().size(), 1u);
  EXPECT_EQ(Store().StarredItems()[0].Title, "Two");
}

TEST_F(StoreWindow, AStarredItemOfAnotherFeedResolvesItsRelativeLinkAgainstItsOwnFeed) {
  const std::string sport = "http://sport.example/feeds/rss";
  WriteSubscriptions({{"News", "http://news.example/feeds/rss"}, {"Sport", sport}});
  WriteCache("http://news.example/feeds/rss", {"One"}, "News");
  WriteCache(sport, {"Goal"}, "Sport");
  {
    TFeed feed("Sport", "", sport, "");
    feed.LoadCache();
    feed.Items(0).Link = "goal.html";
    feed.SaveCache();
  }
  OpenShown();
  ClickFeedRow(1);
  Trigger("miToolsStarItem");
  ClickFeedRow(0);
  Trigger("miViewStarredItems");
  ClickItem(0);
  Trigger("miViewOpenInBrowser");
  EXPECT_EQ(events.filter("//"), QStringList({"http://sport.example/feeds/goal.html"}));
}

TEST_F(StoreWindow, SearchFindsItemsOfEveryFeedOrOfTheCurrentOneAndEscapeReturns) {
  WriteSubscriptions({{"News", kNews}, {"Sport", kSport}});
  WriteCache(kNews, {"Apple harvest", "Rain"}, "News");
  WriteCache(kSport, {"Apples and goals"}, "Sport");
  OpenShown();
  ClickFeedRow(0);

  Trigger("miViewFindItems");
  EXPECT_TRUE(Ui().plSearch->isVisible());
  QTest::keyClicks(Ui().edSearch, "APP");
  ProcessEvents();
  QStringList found = ItemLines();
  ASSERT_EQ(found.size(), 2) << found.join('|').toStdString();
  EXPECT_EQ(found.filter(" \u2014 Sport").size(), 1);
  EXPECT_EQ(found.filter(" \u2014 News").size(), 1);
  EXPECT_EQ(window->CurrentItem(), nullptr);

  // Words in any order, each the start of a word.
  Ui().edSearch->clear();
  QTest::keyClicks(Ui().edSearch, "goal appl");
  EXPECT_EQ(ItemLines().size(), 1);
  Ui().edSearch->clear();
  QTest::keyClicks(Ui().edSearch, "pple");
  EXPECT_EQ(ItemLines().size(), 0);

  Ui().edSearch->clear();
  QTest::keyClicks(Ui().edSearch, "app");
  Ui().Named<QComboBox>("cbSearchScope")->setCurrentIndex(1);  // this feed
  found = ItemLines();
  ASSERT_EQ(found.size(), 1);
  EXPECT_TRUE(found[0].startsWith("+Apple harvest")) << found[0].toStdString();

  QTest::keyClick(Ui().edSearch, Qt::Key_Return);
  ASSERT_NE(window->CurrentItem(), nullptr);
  EXPECT_EQ(browser->Pages.last(), "<html><p>Apple harvest</p></html>");

  QTest::keyClick(Ui().lbItems, Qt::Key_Escape);
  EXPECT_FALSE(Ui().plSearch->isVisible());
  EXPECT_EQ(ItemLines(), QStringList({"+Apple harvest", "+Rain"}));
}

TEST_F(StoreWindow, KeepDaysIsAnOptionAndTheCleanUpRunsAtARunsEndOnly) {
  // A feed no longer subscribed, in the store from an earlier run.
  {
    TItemStore earlier;
    ASSERT_TRUE(earlier.Open().Ok());
    TFeed gone("Gone", "", "http://example.org/gone", "");
    WriteCache(gone.XmlUrl, {"Old news"});
    gone.LoadCache();
    ASSERT_TRUE(earlier.StoreFeed(gone, "").Ok());
  }
  WriteSubscriptions({{"News", kNews}});
  WriteCache(kNews, {"One"});
  onOptions = [](TSettings& Settings) {
    Settings.KeepDays = 7;
    return true;
  };
  OpenShown();
  EXPECT_TRUE(Store().HoldsFeed("http://example.org/gone")) << "no clean-up at start-up";
  Trigger("miToolsOptions");
  EXPECT_EQ(StoredSetting("Options", "KeepDays"), "7");

  ClickFeedRow(0);
  DownloadBringing(kNews, {"Two"});
  EXPECT_FALSE(Store().HoldsFeed("http://example.org/gone"));
  EXPECT_TRUE(Store().HoldsFeed(kNews));
  EXPECT_EQ(Store().OlderItems(kNews).size(), 1u) << "an item gone for less than 7 days stays";
}

TEST_F(StoreWindow, ADamagedStoreIsCopiedAsideRebuiltFromTheCacheFilesAndToldOnce) {
  WriteSubscriptions({{"News", kNews}, {"Sport", kSport}});
  WriteCache(kNews, {"One"});
  WriteCache(kSport, {"Goal"});
  WriteFile(data.File("items.db"), std::string(4096, 'x'));
  OpenShown();
  ASSERT_EQ(prompts.AskedTitles(), QStringList({"Information"}));
  EXPECT_TRUE(prompts.Asked()[0].Text.contains("items.db.damaged-")) << prompts.Asked()[0].Text.toStdString();
  EXPECT_TRUE(Store().HoldsFeed(kNews));
  EXPECT_TRUE(Store().HoldsFeed(kSport));

  // Damage in the items' pages, found by the next step that reads them, mends the same
  // way without telling again.
  TItemStore& store = Store();
  const std::string path = store.Path();
  store.Close();
  std::string bytes = ReadFile(path);
  for (size_t i = bytes.size() / 2; i < bytes.size(); ++i) bytes[i] = 'y';
  WriteFile(path, bytes);
  ASSERT_TRUE(store.Open().Ok());
  ClickFeedRow(1);
  DownloadBringing(kSport, {"Goal", "Match"});
  WaitForStore();
  EXPECT_EQ(prompts.Asked().size(), 1u);
  int copies = 0;
  for (const auto& entry : std::filesystem::directory_iterator(data.Path()))
    copies += entry.path().filename().string().starts_with("items.db.damaged-") &&
              !entry.path().filename().string().ends_with("-wal");
  EXPECT_EQ(copies, 2) << "the second damage was copied aside too";
  EXPECT_TRUE(Store().HoldsFeed(kNews)) << "filled again from the cache files";
  EXPECT_EQ(Store().QuickCheck().Problem, "");
}

TEST_F(StoreWindow, ALockedStoreFailsThatFeedsStepWithANoteAndTheCacheFileIsKept) {
  WriteSubscriptions({{"News", kNews}});
  WriteCache(kNews, {"One"});
  OpenShown();
  ClickFeedRow(0);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(Store().Path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  DownloadBringing(kNews, {"Two"});
  const QString note = Ui().StatusBar->currentMessage();
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(note.startsWith("The item store was not updated")) << note.toStdString();
  EXPECT_EQ(ItemLines(), QStringList({"+Two"})) << "the cache file holds the new document";
  // The next run stores the feed again.
  DownloadBringing(kNews, {"Two"});
  EXPECT_EQ(Store().OlderItems(kNews).size(), 1u);
}

}  // namespace

}  // namespace skimbrook::test
