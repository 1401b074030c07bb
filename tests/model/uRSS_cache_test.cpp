// The cache file: its exact bytes, what survives a write and a read, how read flags
// cross a download, and that a failed write never destroys the previous file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "ModelTestSupport.h"
#include "base/uFiles.h"
#include "model/uRSS.h"
#include "model/uRSS_internal.h"

namespace skimbrook {
namespace {

using test::DataFolderTest;
using test::MakeFeed;
using test::MakeItem;
using test::RssWithTitles;

std::shared_ptr<TFeed> TwoItemFeed() {
  auto feed =
      std::make_shared<TFeed>("Caf\xe9 Life", "http://example.com/?a=1&b=2", "http://example.com/rss", "");
  feed->AddItem(MakeItem("Tom & Jerry", true, "http://example.com/1?x=1&y=2", "<p>Hello</p>",
                         "Mon, 01 Jan 2024 10:00:00 GMT"));
  feed->AddItem(MakeItem("R\xe9sum\xe9 ]]> tricks", false, "http://example.com/2"));
  return feed;
}

TEST_F(DataFolderTest, CacheFileIsWrittenByteForByte) {
  TwoItemFeed()->SaveToFile(InData("two.xml"));
  EXPECT_EQ(test::ReadFile(InData("two.xml")), test::ReadFile(test::DataPath("cache/two-items.xml")));

  TFeed channelOnly("Channel", "", "http://c.example/", "About <this>");
  channelOnly.Language = "en-us";
  channelOnly.Copyright = "(c) A&B";
  channelOnly.PubDate = "Tue, 02 Jan 2024";
  channelOnly.SaveCache();
  EXPECT_EQ(test::ReadFile(channelOnly.CacheFileName()),
            test::ReadFile(test::DataPath("cache/channel-only.xml")))
      << "a feed whose items are not loaded gets the channel lines only";
}

TEST_F(DataFolderTest, CacheFileReadsBackWithFlagsLinksDatesAndBrackets) {
  auto written = TwoItemFeed();
  written->Items(1).PubDate = "Q1 <draft> & \"final\"";
  written->SaveCache();
  TFeed read("", "", written->XmlUrl, "");
  read.LoadCache();
  EXPECT_EQ(read.Title, "Caf\xe9 Life");
  EXPECT_EQ(read.HtmlUrl, "http://example.com/?a=1&b=2");
  ASSERT_EQ(read.ItemCount(), 2);
  EXPECT_EQ(read.UnreadCount, 1);
  for (int i = 0; i < 2; ++i) {
    const TFeedItem &was = written->Items(i), &is = read.Items(i);
    EXPECT_EQ(is.Title, was.Title);
    EXPECT_EQ(is.Link, was.Link);
    EXPECT_EQ(is.Description, was.Description);
    EXPECT_EQ(is.PubDate, was.PubDate) << "dates are decoded on reading as they are escaped on writing";
    EXPECT_EQ(is.IsRead, was.IsRead);
  }
}

// The lines of an item's guid and files, and that they come back as they went.
TEST_F(DataFolderTest, GuidAndEnclosuresAreWrittenAfterTheOtherLinesAndReadBack) {
  auto written = TwoItemFeed();
  TFeedItem& item = written->Items(1);
  item.Guid = "urn:x?a=1&b=<2>";
  item.Enclosures = {{"http://cdn.example/a.mp3?x=1&y=2", "audio/mpeg", "24986239"},
                     {"http://cdn.example/caf\xe9.pdf", "", ""},
                     {"http://cdn.example/c.ogg", "audio/ogg", ""}};
  const std::vector<std::string> lines = CacheFileLines(*written);
  const std::vector<std::string> itemLines(lines.end() - 11, lines.end() - 3);
  EXPECT_EQ(itemLines,
            (std::vector<std::string>{
                "    <item>", "      <title><![CDATA[R\xe9sum\xe9 ]]&gt; tricks]]></title>",
                "      <link>http://example.com/2</link>", "      <description><![CDATA[]]></description>",
                "      <guid isPermaLink=\"false\">urn:x?a=1&amp;b=&lt;2&gt;</guid>",
                "      <enclosure url=\"http://cdn.example/a.mp3?x=1&amp;y=2\" length=\"24986239\" "
                "type=\"audio/mpeg\" />",
                "      <enclosure url=\"http://cdn.example/caf&#233;.pdf\" />",
                "      <enclosure url=\"http://cdn.example/c.ogg\" type=\"audio/ogg\" />"}));

  written->SaveCache();
  TFeed read("", "", written->XmlUrl, "");
  read.LoadCache();
  ASSERT_EQ(read.ItemCount(), 2);
  EXPECT_EQ(read.Items(1).Guid, item.Guid);
  EXPECT_EQ(read.Items(1).Enclosures, item.Enclosures);
  EXPECT_EQ(read.Items(0).Guid, "");
  EXPECT_TRUE(read.Items(0).Enclosures.empty());
  EXPECT_EQ(JoinLinesCRLF(CacheFileLines(read)), JoinLinesCRLF(lines))
      << "a second write gives the same bytes";
}

struct TLossCase {
  std::string InMemory;
  std::string ReadBack;
};

class CacheRoundTripLoss : public DataFolderTest, public ::testing::WithParamInterface<TLossCase> {};

// Titles and descriptions are held decoded and decoded again on every read; the reader
// trims. These are the known losses of a write and a read.
TEST_P(CacheRoundTripLoss, TitleAndDescriptionLoseOneLevelOfEncoding) {
  TFeed feed("", "", "http://loss.example/", "");
  feed.AddItem(MakeItem(GetParam().InMemory, false, "", GetParam().InMemory));
  feed.SaveCache();
  feed.LoadCache();
  ASSERT_EQ(feed.ItemCount(), 1);
  EXPECT_EQ(feed.Items(0).Title, GetParam().ReadBack);
  EXPECT_EQ(feed.Items(0).Description, GetParam().ReadBack);
}

INSTANTIATE_TEST_SUITE_P(Losses, CacheRoundTripLoss,
                         ::testing::Values(TLossCase{"plain text", "plain text"},
                                           TLossCase{"&amp;amp; here", "& here"},
                                           TLossCase{"line\\nbreak", "line\rbreak"},
                                           TLossCase{"  padded  ", "padded"},
                                           TLossCase{"a]]>b]]>", "a]]>b]]>"}));

// ---------------------------------------------------------------------------------------
// ApplyDownload, with the download's file protocol played by the test.

class ApplyDownloadTest : public DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    feed = MakeFeed("f", "http://news.example/rss");
    list.Add(feed);
  }
  std::string Cache() const { return feed->CacheFileName(); }
  std::string Backup() const { return Cache() + ".bak"; }
  // Moves the cache file aside (unless a backup is already there), stores Document as the
  // new cache file and merges.
  void Download(const std::string& Document) {
    if (FileExists(Cache()) && !FileExists(Backup())) {
      ASSERT_EQ(std::rename(Cache().c_str(), Backup().c_str()), 0);
    }
    test::WriteFile(Cache(), Document);
    feed->ApplyDownload();
  }
  std::vector<std::pair<std::string, bool>> Flags() const {
    std::vector<std::pair<std::string, bool>> flags;
    for (int i = 0; i < feed->ItemCount(); ++i)
      flags.emplace_back(feed->Items(i).Title, feed->Items(i).IsRead);
    return flags;
  }
  using TFlags = std::vector<std::pair<std::string, bool>>;
  TFeedList list;
  std::shared_ptr<TFeed> feed;
};

TEST_F(ApplyDownloadTest, FirstDownloadKeepsTheDocumentAsStoredAndItsFlags) {
  std::string document = RssWithTitles({"A", "*B"});
  Download(document);
  EXPECT_EQ(Flags(), (TFlags{{"A", false}, {"B", true}}));
  EXPECT_EQ(feed->UnreadCount, 1);
  EXPECT_EQ(test::ReadFile(Cache()), document) << "no backup: the cache file is not rewritten";
}

TEST_F(ApplyDownloadTest, FlagsComeFromTheLastNamesakeAndVanishedItemsGo) {
  test::WriteFile(Cache(), RssWithTitles({"*A", "A", "*b", "*Gone", "*", "", "*"}));
  Download(RssWithTitles({"A", "B", "*New", "a", ""}));
  EXPECT_EQ(Flags(), (TFlags{{"A", false}, {"B", true}, {"New", false}, {"a", false}, {"", true}}))
      << "the later of two namesakes decides; a title without namesake is unread whatever the document said";
  EXPECT_EQ(feed->UnreadCount, 3);
  EXPECT_FALSE(FileExists(Backup()));
  TFeed reread("", "", feed->XmlUrl, "");
  reread.LoadCache();
  EXPECT_EQ(reread.ItemCount(), 5) << "the cache file now holds the merged items in the program's own form";
  EXPECT_TRUE(reread.Items(1).IsRead);
}

TEST_F(ApplyDownloadTest, LeftoverBackupOfAFailedMergeSuppliesTheFlagsNextTime) {
  test::WriteFile(Cache(), RssWithTitles({"*Old read", "Old unread"}));
  EXPECT_THROW(Download("<html><body>Service unavailable</body></html>"), std::runtime_error);
  EXPECT_TRUE(FileExists(Backup())) << "a failed merge keeps the backup";
  // The next download cannot move the cache aside and overwrites it instead.
  Download(RssWithTitles({"Old read", "Old unread", "Fresh"}));
  EXPECT_EQ(Flags(), (TFlags{{"Old read", true}, {"Old unread", false}, {"Fresh", false}}));
  EXPECT_FALSE(FileExists(Backup()));
}

TEST_F(ApplyDownloadTest, UnreadableBackupIsDroppedAndLaterDownloadsKeepTheUsersFlags) {
  test::WriteFile(Backup(), "<html>an error page stored by an earlier download</html>");
  Download(RssWithTitles({"A", "B"}));
  EXPECT_FALSE(FileExists(Backup()));
  EXPECT_EQ(Flags(), (TFlags{{"A", false}, {"B", false}}));
  feed->Items(1).SetRead(true);
  Download(RssWithTitles({"B", "C"}));
  EXPECT_EQ(Flags(), (TFlags{{"B", true}, {"C", false}}))
      << "the flag the user set survives the next download";
  EXPECT_FALSE(FileExists(Backup()));
}

TEST_F(DataFolderTest, CatchUpOfAFeedNeverShownMarksEveryCachedItem) {
  TFeed feed("f", "", "http://catch.example/", "");
  test::WriteFile(feed.CacheFileName(), RssWithTitles({"one", "*two", "three"}));
  feed.UnreadCount = 2;
  feed.CatchUp();
  ASSERT_EQ(feed.ItemCount(), 3);
  EXPECT_EQ(feed.UnreadCount, 0);
  TFeed reread("", "", feed.XmlUrl, "");
  reread.LoadCache();
  ASSERT_EQ(reread.ItemCount(), 3) << "no cached item may be lost";
  EXPECT_EQ(reread.CountUnread(), 0);
}

TEST_F(DataFolderTest, FailedWriteLeavesTheOldCacheFileAndSubscriptionFileIntact) {
  TFeedList list;
  auto feed = MakeFeed("f", "http://atomic.example/");
  list.Add(feed);
  for (int i = 0; i < 3000; ++i)
    feed->AddItem(MakeItem("item " + std::to_string(i), false, "", std::string(100, 'x')));
  feed->SaveCache();
  list.SaveDefault();
  std::string oldCache = test::ReadFile(feed->CacheFileName()),
              oldOpml = test::ReadFile(InData("default.opml"));
  SetWriteFaultHookForTests([](size_t Written) { return Written > 0 ? ENOSPC : 0; });
  EXPECT_THROW(feed->Items(0).SetRead(true), std::runtime_error);
  for (int i = 0; i < 2000; ++i) list.Add(MakeFeed("more", "http://more.example/" + std::to_string(i)));
  EXPECT_THROW(list.SaveDefault(), std::runtime_error);
  EXPECT_EQ(test::ReadFile(feed->CacheFileName()), oldCache);
  EXPECT_EQ(test::ReadFile(InData("default.opml")), oldOpml);
}

TEST_F(ApplyDownloadTest, ABackupLeftByAnInterruptedRunGivesItsFlagsBackAtTheNextLoad) {
  // Cut short after the new document was stored: the backup still holds the flags.
  test::WriteFile(Backup(), RssWithTitles({"*Read", "Unread"}));
  test::WriteFile(Cache(), RssWithTitles({"Read", "Unread", "New"}));
  TFeed restarted("f", "", feed->XmlUrl, "");
  restarted.LoadCache();
  ASSERT_EQ(restarted.ItemCount(), 3);
  EXPECT_TRUE(restarted.Items(0).IsRead);
  EXPECT_EQ(restarted.UnreadCount, 2);
  EXPECT_FALSE(FileExists(Backup()));

  // Cut short between moving the cache file aside and writing the new one.
  ASSERT_EQ(std::rename(Cache().c_str(), Backup().c_str()), 0);
  TFeed again("f", "", feed->XmlUrl, "");
  again.LoadCache();
  ASSERT_EQ(again.ItemCount(), 3);
  EXPECT_TRUE(again.Items(0).IsRead);
  EXPECT_TRUE(FileExists(Cache()));
  EXPECT_FALSE(FileExists(Backup()));
}

}  // namespace
}  // namespace skimbrook
