// Add Feed on a web site's address: the feeds its page links are offered instead.
#include "ui/dialogs/uAddFeedDiscovery.h"

#include <gtest/gtest.h>

#include "tools/QtPrinters.h"
#include "ui/dialogs/uPrompts.h"

namespace skimbrook {
namespace {

constexpr const char* kSite = "http://127.0.0.1/blog/";

TPageFetch Serving(std::string Body, std::string ContentType = "text/html; charset=utf-8") {
  return [Body, ContentType](const std::string& Url) -> std::optional<TFetchedPage> {
    return TFetchedPage{Body, ContentType, Url};
  };
}

const std::string kOneFeed =
    "<html><head><title>Blog</title>"
    "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"Caf\xC3\xA9 &amp; Notes\" "
    "href=\"feed.xml\">"
    "</head><body>Hello</body></html>";

const std::string kTwoFeeds =
    "<html><head>"
    "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"Posts\" href=\"/rss\">"
    "<link rel=\"alternate\" type=\"application/atom+xml\" href=\"http://127.0.0.2/atom\">"
    "</head></html>";

TEST(AddFeedDiscovery, OneLinkedFeedIsOfferedByItsTitleAndAddress) {
  TScriptedPrompts prompts;
  prompts.Answer(true);
  EXPECT_EQ(FeedToSubscribe(kSite, Serving(kOneFeed), prompts), "http://127.0.0.1/blog/feed.xml");
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Kind, TScriptedPrompts::TKind::Confirm);
  EXPECT_EQ(prompts.Asked()[0].Text,
            QString::fromUtf8("Subscribe to Caf\xC3\xA9 & Notes at http://127.0.0.1/blog/feed.xml?"));

  prompts.Clear();
  prompts.Answer(false);
  EXPECT_EQ(FeedToSubscribe(kSite, Serving(kOneFeed), prompts), "");
}

TEST(AddFeedDiscovery, SeveralLinkedFeedsArePickedFromAList) {
  TScriptedPrompts prompts;
  prompts.Answer("http://127.0.0.2/atom");
  EXPECT_EQ(FeedToSubscribe(kSite, Serving(kTwoFeeds), prompts), "http://127.0.0.2/atom");
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Kind, TScriptedPrompts::TKind::Choose);

  prompts.Clear();
  prompts.Answer("Posts (http://127.0.0.1/rss)");
  EXPECT_EQ(FeedToSubscribe(kSite, Serving(kTwoFeeds), prompts), "http://127.0.0.1/rss");

  prompts.Clear();  // cancelled
  EXPECT_EQ(FeedToSubscribe(kSite, Serving(kTwoFeeds), prompts), "");
}

TEST(AddFeedDiscovery, TheTypedAddressStaysWhenItIsAFeedAPageWithoutFeedsOrNothingCame) {
  TScriptedPrompts prompts;
  const std::string feed = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel/></rss>";
  EXPECT_EQ(FeedToSubscribe(kSite, Serving(feed, "application/rss+xml"), prompts), kSite);
  EXPECT_EQ(FeedToSubscribe(kSite, Serving("<html><body>No feeds</body></html>"), prompts), kSite);
  const TPageFetch nothing = [](const std::string&) { return std::optional<TFetchedPage>(); };
  EXPECT_EQ(FeedToSubscribe(kSite, nothing, prompts), kSite);
  EXPECT_TRUE(prompts.Asked().empty());
}

TEST(AddFeedDiscovery, ALinkTitleWithMarkupIsShownAsWrittenAndACancelledLookSubscribesToNothing) {
  const std::string spoof =
      "<html><head><link rel=\"alternate\" type=\"application/rss+xml\" href=\"http://127.0.0.9/evil\" "
      "title=\"BBC News at https://feeds.bbci.co.uk/news/rss.xml?&lt;!--\"></head></html>";
  TScriptedPrompts prompts;
  prompts.Answer(false);
  EXPECT_EQ(FeedToSubscribe(kSite, Serving(spoof), prompts), "");
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Text,
            QStringLiteral("Subscribe to BBC News at https://feeds.bbci.co.uk/news/rss.xml?<!-- at "
                           "http://127.0.0.9/evil?"));

  const TPageFetch cancelled = [](const std::string& Url) {
    return std::optional<TFetchedPage>({{}, {}, Url, true});
  };
  TScriptedPrompts untouched;
  EXPECT_EQ(FeedToSubscribe(kSite, cancelled, untouched), "");
  EXPECT_TRUE(untouched.Asked().empty());
}

}  // namespace
}  // namespace skimbrook
