// Real-world material from other projects' test suites, read from the shared corpus:
// every document must either read as a feed or fail with a clear message, and the
// subscription exports of two feed services must come through whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "model/uFeedDate.h"
#include "model/uRSS.h"
#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

std::string CorpusRoot() {
  return test::CorpusPath();
}

bool IsNumberedReaderError(const std::string& Message) {
  return Message == "1: unrecognized feed format" || Message == "2: <channel> not found";
}

// The only errors the parser raises are those of a malformed XML declaration.
bool IsParserError(const std::string& Message) {
  return Message.find("when parsing attributes") != std::string::npos;
}

TEST(FeedCorpus, EveryDocumentReadsOrFailsWithAClearMessage) {
  std::string root = CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root + "feedparser/tests"))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 2000u);

  size_t feeds = 0, items = 0, unrecognized = 0, noChannel = 0, parserErrors = 0;
  for (const auto& file : files) {
    TFeed feed;
    try {
      feed.LoadFromFile(file.string());
      ++feeds;
      items += static_cast<size_t>(feed.ItemCount());
      EXPECT_EQ(feed.UnreadCount, feed.CountUnread()) << file;
    } catch (const std::runtime_error& e) {
      std::string message = e.what();
      if (message.starts_with("1:"))
        ++unrecognized;
      else if (message.starts_with("2:"))
        ++noChannel;
      else
        ++parserErrors;
      EXPECT_TRUE(IsNumberedReaderError(message) || IsParserError(message)) << file << ": " << message;
      EXPECT_EQ(feed.ItemCount(), 0) << file;
    }
  }
  std::cout << files.size() << " documents: " << feeds << " read as feeds with " << items << " items; "
            << unrecognized << " unrecognized, " << noChannel << " without channel, " << parserErrors
            << " with a malformed declaration\n";
  EXPECT_GT(feeds, files.size() / 2) << "most of the corpus is RSS or Atom";
}

std::vector<std::string> TitlesAndUrls(const TFeedList& List) {
  std::vector<std::string> rows;
  for (int i = 0; i < List.Count(); ++i) rows.push_back(List.Feeds(i)->Title + " | " + List.Feeds(i)->XmlUrl);
  return rows;
}

TEST(OpmlCorpus, FeedServiceExportsGiveTheirGroupsAndFeeds) {
  std::string root = CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  TFeedList feedly;
  feedly.LoadFromFile(root + "opml-go/testdata/feedreader/feedly.opml");
  EXPECT_EQ(
      TitlesAndUrls(feedly),
      (std::vector<std::string>{"Programming | ", "Elixir Lang | https://feeds.feedburner.com/ElixirLang",
                                "Zephyr Project | https://www.zephyrproject.org/feed/",
                                "Python Insider | https://feeds.feedburner.com/PythonInsider", "Games | ",
                                "BeamNG.drive | https://www.beamng.com/game/index.xml",
                                "Vintage Story | https://www.vintagestory.at/blog.html/?rss=1"}));
  EXPECT_EQ(feedly.Feeds(1)->HtmlUrl, "http://elixir-lang.org");
  EXPECT_TRUE(feedly.LastParseError().empty());

  TFeedList newsblur;
  newsblur.LoadFromFile(root + "opml-go/testdata/feedreader/newsblur.opml");
  EXPECT_EQ(TitlesAndUrls(newsblur),
            (std::vector<std::string>{"Security | ",
                                      "Google Online Security Blog | "
                                      "http://www.blogger.com/feeds/1176949257541686127/posts/"
                                      "default?max-results=25&redirect=false&start-"
                                      "index=26",
                                      "Blog on Library | https://openssl-library.org:443/post/atom.xml",
                                      "Schneier on Security | https://www.schneier.com/feed/atom/",
                                      "Self-Hosted | ", "Cryptography | ", "Programming | ",
                                      "Git Rev News | https://git.github.io/feed.xml",
                                      "The Go Programming Language Blog | https://go.dev/blog/feed.atom"}));
  EXPECT_EQ(newsblur.Feeds(8)->HtmlUrl, "tag:blog.golang.org,2013:blog.golang.org");
  EXPECT_TRUE(newsblur.LastParseError().empty());
}

// What the reader gives for one aspect of a real document.
struct TCorpusCase {
  const char* Name;
  std::string File;  // under feedparser/tests/wellformed/
  std::function<std::string(const TFeed&)> Aspect;
  std::string Expected;
};

void PrintTo(const TCorpusCase& Case, std::ostream* Out) {
  *Out << Case.File;
}

std::string FirstItem(const TFeed& Feed, std::string TFeedItem::*Field) {
  return Feed.ItemCount() > 0 ? Feed.Items(0).*Field : "(no item)";
}

std::string EnclosuresOf(const TFeed& Feed) {
  std::string text;
  for (int i = 0; i < Feed.ItemCount(); ++i)
    for (const TEnclosure& enclosure : Feed.Items(i).Enclosures)
      text += "[" + enclosure.Url + " " + enclosure.Type + " " + enclosure.Length + "]";
  return text;
}

// The first item's date as the moment it names, in seconds since 1970.
std::string FirstDateMoment(const TFeed& Feed) {
  const auto moment = ParseFeedDate(FirstItem(Feed, &TFeedItem::PubDate));
  return moment ? std::to_string(moment->time_since_epoch().count()) : "none";
}

class CorpusDocument : public ::testing::TestWithParam<TCorpusCase> {};

TEST_P(CorpusDocument, GivesWhatItsFormNeeds) {
  const std::string root = CorpusRoot();
  if (root.empty()) GTEST_SKIP() << "the shared corpus is not on this machine";
  TFeed feed;
  feed.LoadFromFile(root + "feedparser/tests/wellformed/" + GetParam().File);
  EXPECT_EQ(GetParam().Aspect(feed), GetParam().Expected);
}

const auto kLink = [](const TFeed& Feed) { return FirstItem(Feed, &TFeedItem::Link); };
const auto kDescription = [](const TFeed& Feed) { return FirstItem(Feed, &TFeedItem::Description); };
const auto kGuid = [](const TFeed& Feed) { return FirstItem(Feed, &TFeedItem::Guid); };
const auto kDate = [](const TFeed& Feed) { return FirstItem(Feed, &TFeedItem::PubDate); };

INSTANTIATE_TEST_SUITE_P(
    Feedparser, CorpusDocument,
    ::testing::Values(
        TCorpusCase{"XhtmlFeedTitleIsItsText", "atom10/feed_title_inline_markup_2.xml",
                    [](const TFeed& Feed) { return Feed.Title; }, "History of the <blink> tag"},
        TCorpusCase{"XhtmlSummaryIsItsText", "atom10/entry_summary_inline_markup_2.xml", kDescription,
                    "History of the <blink> tag"},
        TCorpusCase{"FeedPageIsTheAlternateLinkAfterTwoOthers", "namespace/atomthreadingwithentry.xml",
                    [](const TFeed& Feed) { return Feed.HtmlUrl; },
                    "http://salmon-test.blogspot.com/2009/10/test-post.html"},
        TCorpusCase{"EntryLinkIsTheAlternateAfterEditAndSelf", "namespace/atomthreadingwithentry.xml", kLink,
                    "http://salmon-test.blogspot.com/2009/10/"
                    "test-post.html?showComment=1260320342544#c4788628857625737701"},
        TCorpusCase{"EntryWithPublishedAndUpdatedGivesPublished", "namespace/atomthreadingwithentry.xml",
                    kDate, "2009-12-08T16:59:02.544-08:00"},
        TCorpusCase{"EntryIdIsTheGuid", "namespace/atomthreadingwithentry.xml", kGuid,
                    "tag:blogger.com,1999:blog-893591374313312737.post-4788628857625737701"},
        TCorpusCase{"AtomEnclosure", "atom10/entry_link_rel_enclosure.xml", EnclosuresOf,
                    "[http://www.example.com/ text/html ]"},
        TCorpusCase{"RssEnclosures", "rss/item_enclosure_multiple.xml", EnclosuresOf,
                    "[http://example.com/1 image/jpeg 100000][http://example.com/2 image/gif 200000]"},
        TCorpusCase{"Rfc822Date", "rss/item_pubDate_map_updated_parsed.xml", FirstDateMoment, "1072986501"},
        TCorpusCase{"DublinCoreDate", "rss/item_dc_date_parsed.xml", FirstDateMoment, "1072865695"},
        TCorpusCase{"DateWithFractionAndOffset", "namespace/atomthreadingwithentry.xml", FirstDateMoment,
                    "1260320342"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace skimbrook
