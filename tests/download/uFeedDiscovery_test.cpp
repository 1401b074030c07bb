// Finding the feeds a web site's page links.
#include "download/uFeedDiscovery.h"

#include <gtest/gtest.h>

namespace skimbrook {
namespace {

TEST(FeedDiscovery, FindsEveryLinkedFeedTypeResolvedAgainstThePage) {
  const std::string page = R"html(<!DOCTYPE html><html><head><title>Example</title>
    <link rel="stylesheet" href="/style.css">
    <LINK REL="Alternate" TYPE="application/rss+xml; charset=utf-8" TITLE="News" HREF="/feed/">
    <link rel="alternate home" type="application/atom+xml" title="Comments" href="comments.atom">
    <link rel="alternate" type="application/rdf+xml" href="//other.example/index.rdf">
    <link rel="alternate" type="text/html" hreflang="de" href="/de/">
    <link rel="alternate" type="application/rss+xml" title="Again" href="https://example.org/feed/">
    <link rel="alternate" type="application/rss+xml" href="javascript:alert(1)">
    <link rel="alternate" type="application/rss+xml" href="file:///etc/passwd">
    <link rel="alternate" type="application/rss+xml">
    </head><body><p>Unclosed <b>tags <i>everywhere</body>)html";
  const auto feeds = FindLinkedFeeds(page, "https://example.org/blog/post.html");
  EXPECT_EQ(feeds, (std::vector<TLinkedFeed>{
                       {"News", "https://example.org/feed/", "application/rss+xml"},
                       {"Comments", "https://example.org/blog/comments.atom", "application/atom+xml"},
                       {"", "https://other.example/index.rdf", "application/rdf+xml"},
                   }));
}

TEST(FeedDiscovery, APageBaseWinsAndAPageWithoutFeedsGivesNone) {
  const auto based = FindLinkedFeeds(
      R"(<html><head><base href="http://cdn.example/site/"><link rel=alternate type=application/atom+xml href=a.xml></head></html>)",
      "http://example.org/");
  ASSERT_EQ(based.size(), 1u);
  EXPECT_EQ(based[0].Url, "http://cdn.example/site/a.xml");
  EXPECT_TRUE(FindLinkedFeeds("<html><body>No feeds here</body></html>", "http://example.org/").empty());
  EXPECT_TRUE(FindLinkedFeeds("", "http://example.org/").empty());
  EXPECT_TRUE(FindLinkedFeeds(std::string(100000, '<'), "http://example.org/").empty());
}

TEST(FeedDiscovery, APageOfAHundredThousandLinksOffersItsFirstFewFeeds) {
  std::string page = "<html><head>";
  for (int i = 0; i < 100000; ++i)
    page += "<link rel=alternate type=application/rss+xml href=/f" + std::to_string(i % 50000) + ">";
  page += "</head></html>";
  const auto feeds = FindLinkedFeeds(page, "http://example.org/");
  ASSERT_EQ(feeds.size(), kMaxLinkedFeeds);
  EXPECT_EQ(feeds.front().Url, "http://example.org/f0");
  EXPECT_EQ(feeds.back().Url, "http://example.org/f" + std::to_string(kMaxLinkedFeeds - 1));
}

TEST(FeedDiscovery, TellsAPageFromAFeed) {
  EXPECT_TRUE(LooksLikeHtmlPage("<rss/>", "text/html; charset=utf-8"));
  EXPECT_FALSE(LooksLikeHtmlPage("<!DOCTYPE html>", "application/rss+xml"));
  EXPECT_TRUE(LooksLikeHtmlPage("\xEF\xBB\xBF  <!-- hi --> <!doctype HTML><html>", ""));
  EXPECT_TRUE(LooksLikeHtmlPage("\n<HTML lang=en>", "text/plain"));
  EXPECT_FALSE(LooksLikeHtmlPage("<?xml version=\"1.0\"?><rss version=\"2.0\"/>", ""));
  EXPECT_FALSE(LooksLikeHtmlPage("<feed xmlns=\"http://www.w3.org/2005/Atom\"/>", "text/xml"));
}

TEST(FeedDiscovery, ResolvesReferencesAsABrowserDoes) {
  EXPECT_EQ(ResolveAddress("http://a.example/b/c.html", "../d.xml"), "http://a.example/d.xml");
  EXPECT_EQ(ResolveAddress("http://a.example/b/c.html", "?q=1"), "http://a.example/b/c.html?q=1");
  EXPECT_EQ(ResolveAddress("https://a.example/", "//b.example/x"), "https://b.example/x");
  EXPECT_EQ(ResolveAddress("not an address", "x"), "");
}

}  // namespace
}  // namespace skimbrook
