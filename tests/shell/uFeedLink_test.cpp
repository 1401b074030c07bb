#include "shell/uFeedLink.h"

#include <gtest/gtest.h>

namespace skimbrook {
namespace {

struct TLinkCase {
  const char* Link;
  const char* Address;  // empty: refused
};

class FeedAddressFromLinkTest : public ::testing::TestWithParam<TLinkCase> {};

TEST_P(FeedAddressFromLinkTest, GivesTheAddressToSubscribeTo) {
  EXPECT_EQ(FeedAddressFromLink(QString::fromUtf8(GetParam().Link)).toStdString(), GetParam().Address);
}

INSTANTIATE_TEST_SUITE_P(
    BrowserForms, FeedAddressFromLinkTest,
    ::testing::Values(
        // plain addresses pass unchanged, surrounding blanks dropped
        TLinkCase{"http://example.com/rss.xml", "http://example.com/rss.xml"},
        TLinkCase{"https://example.com/a?b=1&c=%20", "https://example.com/a?b=1&c=%20"},
        TLinkCase{"  https://example.com/x \n", "https://example.com/x"},
        TLinkCase{"HTTP://Example.com/Feed", "HTTP://Example.com/Feed"},
        // feed:// and feeds:// name the host directly
        TLinkCase{"feed://example.com/rss.xml", "http://example.com/rss.xml"},
        TLinkCase{"FEED://Example.com/Path?q=1", "http://Example.com/Path?q=1"},
        TLinkCase{"feeds://example.com/atom", "https://example.com/atom"},
        TLinkCase{"feed://https://example.com/x", "https://example.com/x"},
        TLinkCase{"feed:example.com/rss", "http://example.com/rss"},
        // feed: followed by a whole address, plain or percent-encoded
        TLinkCase{"feed:https://example.com/rss?x=%2F", "https://example.com/rss?x=%2F"},
        TLinkCase{"feed:http://example.com/rss", "http://example.com/rss"},
        TLinkCase{"feed:https%3A%2F%2Fexample.com%2Ffeed%3Fa%3D1%26b%3D2",
                  "https://example.com/feed?a=1&b=2"},
        TLinkCase{"feed:HTTP%3a%2f%2fexample.com%2frss", "HTTP://example.com/rss"},
        TLinkCase{"feeds:https://example.com/x", "https://example.com/x"},
        // nothing to subscribe to
        TLinkCase{"", ""}, TLinkCase{"   ", ""}, TLinkCase{"feed:", ""}, TLinkCase{"feed://", ""},
        TLinkCase{"http://", ""}, TLinkCase{"file:///tmp/rss.xml", ""}, TLinkCase{"/tmp/rss.xml", ""},
        TLinkCase{"javascript:alert(1)", ""}, TLinkCase{"ftp://example.com/rss", ""},
        // a feed: prefix does not smuggle another scheme or a line break in
        TLinkCase{"feed:javascript:alert(1)", ""}, TLinkCase{"feed:file:///tmp/rss.xml", ""},
        TLinkCase{"feeds://file:///tmp/rss.xml", ""}, TLinkCase{"feed:http%3A%2F%2Fexample.com%2Fa%0Ab", ""},
        // a host with its port is no scheme
        TLinkCase{"feed://example.com:8080/rss", "http://example.com:8080/rss"},
        TLinkCase{"feed:localhost:8080/rss", "http://localhost:8080/rss"}));

}  // namespace
}  // namespace skimbrook
