// The libcurl client without Qt, waiting in poll(2), against the loopback server: the
// transfer logic and its handles under the sanitizers.
#include <gtest/gtest.h>

#include "download/CurlPollPump.h"
#include "tools/LoopbackHttpServer.h"

namespace skimbrook {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<HttpClient> NewPollClient(TCurlLimits Limits = {}) {
  return std::make_unique<TCurlHttpClient>(std::make_unique<test::TCurlPollPump>(), Limits);
}

TEST(CurlHttpClientWithoutQt, FetchesKeepsCookiesAndFailsOnErrorsStallsAndOversizedBodies) {
  test::LoopbackHttpServer server;
  server.Serve("/first.xml", "<rss/>", 200, {{"Set-Cookie", "id=7"}});
  server.Serve("/second.xml", std::string(100, 'x'));
  server.Stall("/stalled.xml");
  TCurlLimits limits;
  limits.ReadTimeout = 200ms;
  limits.MaxBodyBytes = 99;
  auto client = NewPollClient(limits);
  std::vector<std::string> status;
  client->OnStatus = [&](const std::string& Text) { status.push_back(Text); };

  EXPECT_EQ(client->Get(server.Url("/first.xml")), "<rss/>");
  EXPECT_THROW(client->Get(server.Url("/second.xml")), std::runtime_error);  // one byte over the cap
  EXPECT_THROW(client->Get(server.Url("/missing.xml")), std::runtime_error);
  EXPECT_THROW(client->Get(server.Url("/stalled.xml")), std::runtime_error);
  client.reset();

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].HeaderValue("Cookie"), "id=7");
  EXPECT_EQ(status.front(), "Resolving hostname 127.0.0.1.");
  EXPECT_EQ(status.back(), "Disconnected.");
}

TEST(CurlHttpClientWithoutQt, GoesThroughAnAuthenticatingProxy) {
  test::LoopbackHttpServer server;
  server.Serve("/feed.xml", "<rss/>");
  server.RequireProxyAuthentication("u", "p");
  auto client = NewPollClient();
  client->SetProxy({"127.0.0.1", server.Port(), "u", "p", true});
  EXPECT_EQ(client->Get("http://feeds.invalid/feed.xml"), "<rss/>");
  EXPECT_EQ(server.Requests().at(0).HeaderValue("Proxy-Authorization"), "Basic dTpw");
}

}  // namespace
}  // namespace skimbrook
