// Addresses from feeds: resolved against the feed's own address, opened only when web ones.
#include <gtest/gtest.h>

#include "tools/QtPrinters.h"
#include "ui/browser/uFeedAddress.h"

namespace skimbrook::test {

namespace {

struct TAddressCase {
  const char* Name;
  const char* XmlUrl;
  const char* Address;
  const char* Resolved;
  bool Opened;
};

class FeedAddress : public ::testing::TestWithParam<TAddressCase> {};

TEST_P(FeedAddress, ResolvesAgainstTheFeedAndOpensOnlyWebAddresses) {
  const TAddressCase& c = GetParam();
  const QUrl resolved = ResolveFeedAddress(c.Address, FeedBaseUrl(c.XmlUrl));
  EXPECT_EQ(resolved.toString(QUrl::FullyEncoded), QString::fromUtf8(c.Resolved));
  EXPECT_EQ(IsWebAddress(resolved), c.Opened);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, FeedAddress,
    ::testing::Values(TAddressCase{"RootRelative", "http://example.org/feeds/news.xml", "/story/12",
                                   "http://example.org/story/12", true},
                      TAddressCase{"PathRelative", "https://example.org/feeds/news.xml", "story/12",
                                   "https://example.org/feeds/story/12", true},
                      TAddressCase{"SchemeRelative", "https://example.org/news.xml", "//cdn.example.org/a",
                                   "https://cdn.example.org/a", true},
                      TAddressCase{"AbsoluteWithBlanks", "http://example.org/news.xml",
                                   " \r\n https://other.example/a \t", "https://other.example/a", true},
                      TAddressCase{"SchemeInCapitals", "http://example.org/news.xml", "HTTP://Example.org/a",
                                   "http://example.org/a", true},
                      TAddressCase{"FeedAddressWithoutScheme", "example.org/feeds/news.xml", "/story/12",
                                   "http://example.org/story/12", true},
                      TAddressCase{"File", "http://example.org/news.xml", "file:///etc/passwd",
                                   "file:///etc/passwd", false},
                      TAddressCase{"RelativeInAFileFeed", "file:///home/me/news.xml", "story.html",
                                   "file:///home/me/story.html", false},
                      TAddressCase{"Script", "http://example.org/news.xml", "javascript:alert(1)",
                                   "javascript:alert(1)", false},
                      TAddressCase{"Data", "http://example.org/news.xml", "data:text/html,x",
                                   "data:text/html,x", false},
                      TAddressCase{"Mail", "http://example.org/news.xml", "mailto:editor@example.org",
                                   "mailto:editor@example.org", false},
                      TAddressCase{"RelativeWithoutAFeed", "", "/story/12", "/story/12", false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(RefusedAddressNote, NamesTheScheme) {
  EXPECT_TRUE(RefusedAddressNote(QUrl("javascript:alert(1)")).contains("javascript:"));
  EXPECT_TRUE(RefusedAddressNote(QUrl("file:///etc/passwd")).contains("file:"));
  EXPECT_TRUE(RefusedAddressNote(QUrl("/story/12")).contains("not a web address"));
}

}  // namespace

}  // namespace skimbrook::test
