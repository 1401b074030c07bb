// The item list, the heading panels, the content page and marking items read.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include "MainWindowFixture.h"
#include "ui/uCaptionPanel.h"
#include "ui/uFeedListBox.h"
#include "ui/uListRules.h"

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

TEST_F(Items, FillingShowsTheLinesSelectsTheFirstAndShowsItsPage) {
  EXPECT_EQ(ItemLines(), QStringList({"+One", "+Two", "-Three"}));
  ASSERT_NE(window->CurrentItem(), nullptr);
  EXPECT_EQ(window->CurrentItem()->Title, "One");
  EXPECT_EQ(window->plItemTitle->text(), "One");
  EXPECT_EQ(window->plItemLink->text(), "http://example.org/One");
  EXPECT_EQ(window->plItemLink->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(window->plFeedTitle->text(), "Cached") << "the cache file's channel title";
  EXPECT_EQ(window->meFeedDescription->text(), "No items yet");
  EXPECT_EQ(browser->Pages.last(), "<html><p>One</p></html>");
  EXPECT_EQ(window->CurrentFeed()->UnreadCount, 2);
}

TEST_F(Items, WritingThePageStaysInTheReaderViewButShowsBlankInTheAddressBox) {
  EXPECT_EQ(browser->Navigations.last(), "about:blank");
  EXPECT_EQ(window->ebURL->text(), "about:blank");
  EXPECT_FALSE(window->miViewBrowser->isChecked());
  EXPECT_FALSE(window->navigatingInternally);
}

TEST_F(Items, ANavigationTheProgramDidNotStartEntersBrowserModeButAFrameDoesNot) {
  emit browser->BeforeNavigate2("http://example.org/embedded-video", false);
  EXPECT_FALSE(window->miViewBrowser->isChecked());
  EXPECT_EQ(window->ebURL->text(), "about:blank");
  emit browser->BeforeNavigate2("http://example.org/linked", true);
  EXPECT_TRUE(window->miViewBrowser->isChecked());
  EXPECT_EQ(window->ebURL->text(), "http://example.org/linked");
}

TEST_F(Items, SelectingAnUnreadItemMarksItReadAfterTheDelay) {
  const std::string opmlBefore = DefaultOpml();
  ASSERT_TRUE(window->MarkAsReadTimer->isActive());
  EXPECT_EQ(window->MarkAsReadTimer->interval(), 1000);
  EXPECT_TRUE(window->MarkAsReadTimer->isSingleShot());
  QTest::qWait(1300);
  EXPECT_TRUE(window->CurrentItem()->IsRead);
  EXPECT_EQ(ItemLines().first(), "-One");
  EXPECT_EQ(FeedRows().first(), "1 Cached");
  EXPECT_NE(ReadFile(window->CurrentFeed()->CacheFileName()).find("isRead"), std::string::npos);
  EXPECT_NE(DefaultOpml(), opmlBefore) << "the count reaches default.opml at once";
  EXPECT_NE(DefaultOpml().find("unreadCount=\"1\""), std::string::npos);
}

TEST_F(Items, AnItemCountsAsReadOnlyWhileItsPageIsOnScreen) {
  ASSERT_TRUE(window->MarkAsReadTimer->isActive());
  window->hide();  // as to the notification area
  EXPECT_FALSE(window->MarkAsReadTimer->isActive());
  window->MarkAsReadTimerTimer();
  EXPECT_FALSE(window->CurrentItem()->IsRead) << "a count that fires late finds the page hidden";
  window->FillItemList();  // the hourly download refills the list
  EXPECT_FALSE(window->MarkAsReadTimer->isActive());
  window->show();
  EXPECT_TRUE(window->MarkAsReadTimer->isActive()) << "showing the window counts as selecting the item";

  window->showMinimized();
  ProcessEvents();
  EXPECT_FALSE(window->MarkAsReadTimer->isActive());
  window->lbItems->setCurrentRow(1);
  EXPECT_FALSE(window->MarkAsReadTimer->isActive());
  window->MarkAsReadTimerTimer();
  window->showNormal();
  ProcessEvents();
  ASSERT_TRUE(window->MarkAsReadTimer->isActive());
  window->MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"+One", "-Two", "-Three"}));
}

TEST_F(Items, MovingOnBeforeTheDelayLeavesTheFirstItemUnread) {
  window->lbItems->setCurrentRow(1);
  EXPECT_TRUE(window->MarkAsReadTimer->isActive()) << "a fresh count for the new line";
  window->MarkAsReadTimerTimer();
  EXPECT_EQ(ItemLines(), QStringList({"+One", "-Two", "-Three"}));
  window->lbItems->setCurrentRow(2);
  EXPECT_FALSE(window->MarkAsReadTimer->isActive()) << "a read item does not arm the timer";
}

TEST_F(Items, AGroupHeadingShowsItsTitleAndAnEmptyPage) {
  ClickFeedRow(1);
  EXPECT_EQ(window->lbItems->count(), 0);
  EXPECT_EQ(window->plFeedTitle->text(), "Sports");
  EXPECT_EQ(window->plFeedLink->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(window->plItemTitle->text(), "");
  EXPECT_EQ(window->CurrentItem(), nullptr);
  EXPECT_EQ(browser->Pages.last(), "<html></html>");
  window->MarkAsReadTimerTimer();  // the pending count from the previous feed finds no item
  EXPECT_EQ(FeedRows().first(), "2 News");
}

TEST_F(Items, ADescriptionThatIsAWholeDocumentIsStillWrapped) {
  auto item = window->CurrentItem();
  item->Description = "<html><body>x</body></html>";
  window->UpdateFeedAndItemView();
  EXPECT_EQ(browser->Pages.last(), "<html><html><body>x</body></html></html>");
}

TEST_F(Items, ReloadingTheListDropsTheCurrentItemAndItsPendingMark) {
  ASSERT_TRUE(window->MarkAsReadTimer->isActive());
  const std::shared_ptr<TFeedItem> old = window->CurrentItem();
  prompts.Answer("Group");
  window->PromptAddGroup();
  EXPECT_FALSE(window->MarkAsReadTimer->isActive());
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
