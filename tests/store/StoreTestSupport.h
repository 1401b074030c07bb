// Fixtures of the item store's tests: a data folder and a store file of their own for
// every test, a clock the test moves, a decoder that reads the encodings of real feeds
// (iconv), feed documents built from a few fields, and a file system that can run full.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/uRSS.h"
#include "store/uItemStore.h"
#include "tools/TestSupport.h"

namespace skimbrook::test {

// One item of a test document; empty fields are left out of it.
struct TDocItem {
  TDocItem(std::string Title, std::string Guid, std::string Link = "", std::string Description = "",
           std::string PubDate = "")
      : Title(std::move(Title)),
        Guid(std::move(Guid)),
        Link(std::move(Link)),
        Description(std::move(Description)),
        PubDate(std::move(PubDate)) {}
  std::string Title;
  std::string Guid;
  std::string Link;
  std::string Description;
  std::string PubDate;
};

// An RSS 2.0 document holding Items; the feed takes its title from the document.
std::string RssDocument(const std::vector<TDocItem>& Items, const std::string& FeedTitle = "Feed");

// Bytes in Encoding to UTF-8 through iconv; an empty encoding means UTF-8.
std::string IconvToUtf8(std::string_view Bytes, std::string_view Encoding);

// Every write that would make a file of the VFS "fulldisk" longer fails with SQLITE_FULL
// while SetDiskFull(true) holds, as on a disk without free blocks; other files are not
// affected. The VFS is registered by the first call.
const char* FullDiskVfs();
void SetDiskFull(bool Full);

// The first column of the first row of Sql, run on a connection of its own to Path; empty
// when Sql gives no row, "error: " and SQLite's message when it fails.
std::string QueryOnOwnConnection(const std::string& Path, const char* Sql);

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  TItemStoreOptions Options();
  // A feed of the list, its items loaded from nothing yet.
  std::shared_ptr<TFeed> AddFeed(const std::string& Title, const std::string& Url);
  // The download's file protocol: the cache file becomes the backup, Document the cache
  // file, ApplyDownload merges; then the store is filled as the run does it.
  TStoreResult Download(TFeed& Feed, const std::string& Document, const std::string& Encoding = "");
  // The titles of Items, in order.
  static std::vector<std::string> Titles(const std::vector<TStoredItem>& Items);
  // The read flag of the feed's item titled Title.
  static bool IsReadInFeed(const TFeed& Feed, const std::string& Title);
  void AdvanceDays(int Days) { now += std::chrono::days(Days); }

  TTempDir dir;
  std::chrono::sys_seconds now{std::chrono::sys_days{std::chrono::year{2024} / 3 / 1}};
  TFeedList list;
  std::unique_ptr<TItemStore> store;
};

}  // namespace skimbrook::test
