// What a run brought, counted from the unread counts before and after it.
#include "ui/window/uNewItemsNotice.h"

#include <gtest/gtest.h>

#include <QSystemTrayIcon>
#include <QtTest/QTest>

#include "MainWindowFixture.h"
#include "model/uRSS.h"
#include "tools/QtPrinters.h"

namespace skimbrook {
namespace {

std::shared_ptr<TFeed> AddFeed(TFeedList& List, const std::string& Url, int Unread) {
  auto feed = std::make_shared<TFeed>(Url, "", Url, "");
  feed->UnreadCount = Unread;
  List.Add(feed);
  return feed;
}

TEST(NewItemsNotice, CountsOnlyTheFeedsThatGainedAndIgnoresHeadings) {
  TFeedList list;
  list.Add(std::make_shared<TFeed>("Group", "", "", ""));
  auto grew = AddFeed(list, "http://a/", 2);
  auto read = AddFeed(list, "http://b/", 5);
  auto same = AddFeed(list, "http://c/", 1);
  TUnreadSnapshot before(list);

  grew->UnreadCount = 9;            // 7 new
  read->UnreadCount = 1;            // the user read some meanwhile: no gain, no loss counted
  AddFeed(list, "http://new/", 3);  // subscribed during the run: all of it is new
  (void)same;

  const auto gain = before.GainSince(list);
  EXPECT_EQ(gain.Items, 10);
  EXPECT_EQ(gain.Feeds, 2);
  EXPECT_EQ(NewItemsText(gain.Items, gain.Feeds), "10 new items in 2 feeds");
  EXPECT_EQ(NewItemsText(1, 1), "1 new item in 1 feed");
  EXPECT_EQ(TotalUnread(list), 9 + 1 + 1 + 3);
  EXPECT_EQ(TrayHint(TotalUnread(list)), "Skimbrook: 14 unread");
  EXPECT_EQ(TrayHint(0), "Skimbrook");
}

}  // namespace
}  // namespace skimbrook

namespace skimbrook::test {
namespace {

// Runs that bring new unread items to the window: which of them are told, and the icon's hint.
class NewItemsNotification : public MainWindowTest {
 protected:
  NewItemsNotification() {
    WriteSubscriptions(
        {{"Group", ""}, {"One", "http://127.0.0.1/one", 1}, {"Two", "http://127.0.0.1/two", 2}});
    // Every run gives each feed it downloads three more unread items.
    downloads.OnRun = [](TDownloadScript::TRun& Run, const std::function<void(TFeed&)>&) {
      for (const auto& feed : Run.Queued) {
        feed->UnreadCount += 3;
        feed->Changed();
      }
    };
    Open();
  }
  QString TrayHintShown() {
    ProcessEvents();
    return Ui().CoolTrayIcon->toolTip();
  }
};

TEST_F(NewItemsNotification, OnlyARunThatStartedByItselfTellsAndTheHintFollowsTheCounts) {
  EXPECT_EQ(TrayHintShown(), "Skimbrook: 3 unread");

  window->DownloadAll();  // the user's own run: nothing is told
  EXPECT_TRUE(notifier.Shown.isEmpty());
  EXPECT_EQ(TrayHintShown(), "Skimbrook: 9 unread");

  window->AutoDownloadTimerTimer();
  EXPECT_EQ(notifier.Shown, QStringList{"Skimbrook: 6 new items in 2 feeds"});
  EXPECT_EQ(TrayHintShown(), "Skimbrook: 15 unread");

  Trigger("miToolsCatchUpAll");
  EXPECT_EQ(TrayHintShown(), "Skimbrook");
}

TEST_F(NewItemsNotification, NothingIsToldWithTheOptionOffOrWhenNothingCame) {
  window->Settings().ShowNotifications = false;
  window->AutoDownloadTimerTimer();
  EXPECT_TRUE(notifier.Shown.isEmpty());

  window->Settings().ShowNotifications = true;
  downloads.OnRun = nullptr;  // the run brings nothing
  window->AutoDownloadTimerTimer();
  EXPECT_TRUE(notifier.Shown.isEmpty());
}

TEST_F(NewItemsNotification, NothingIsToldWhileTheWindowIsActiveAndAClickShowsIt) {
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  window->AutoDownloadTimerTimer();
  EXPECT_TRUE(notifier.Shown.isEmpty());

  window->hide();
  ProcessEvents();
  window->AutoDownloadTimerTimer();
  ASSERT_EQ(notifier.Shown.size(), 1);
  ASSERT_TRUE(notifier.OnClicked);
  notifier.OnClicked();
  EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace skimbrook::test
