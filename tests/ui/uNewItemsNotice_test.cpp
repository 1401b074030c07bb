// What a run brought, counted from the unread counts before and after it.
#include "ui/uNewItemsNotice.h"

#include <gtest/gtest.h>

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
