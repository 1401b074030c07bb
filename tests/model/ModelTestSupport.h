// Fixtures shared by the feed model's tests: a data folder of its own for every test,
// and small builders for feeds and items.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/uFiles.h"
#include "model/uRSS.h"
#include "tools/TestSupport.h"

namespace skimbrook::test {

// Every test gets an empty data folder; the write fault hook is removed afterwards.
class DataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDataFolder(dir.Path()); }
  void TearDown() override {
    SetWriteFaultHookForTests({});
    SetDataFolder("");
  }
  std::string InData(const std::string& Name) const { return dir.File(Name); }
  TTempDir dir;
};

inline std::shared_ptr<TFeedItem> MakeItem(std::string Title, bool IsRead = false, std::string Link = "",
                                           std::string Description = "", std::string PubDate = "") {
  auto item = std::make_shared<TFeedItem>();
  item->Title = std::move(Title);
  item->IsRead = IsRead;
  item->Link = std::move(Link);
  item->Description = std::move(Description);
  item->PubDate = std::move(PubDate);
  return item;
}

inline std::shared_ptr<TFeed> MakeFeed(std::string Title, std::string XmlUrl, int UnreadCount = 0) {
  auto feed = std::make_shared<TFeed>(std::move(Title), "", std::move(XmlUrl), "");
  feed->UnreadCount = UnreadCount;
  return feed;
}

// A feed document in RSS 2.0 with one item per title; "*" before a title marks it read
// the way the program's own cache form does.
inline std::string RssWithTitles(std::initializer_list<std::string> Titles) {
  std::string text = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Feed</title>\n";
  for (std::string title : Titles) {
    bool read = !title.empty() && title[0] == '*';
    if (read) title.erase(0, 1);
    text += read ? "<item isRead=\"true\">" : "<item>";
    text += "<title>" + title + "</title></item>\n";
  }
  return text + "</channel></rss>\n";
}

}  // namespace skimbrook::test
