// The libcurl client without Qt, waiting in poll(2), against the loopback server: the
// transfer logic and its handles under the sanitizers, one transfer and several at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

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

// Several transfers at once, each with its own events and its own end.
struct TStarted {
  std::vector<std::string> Status;
  std::optional<THttpOutcome> Outcome;
};

THttpTransferEvents EventsInto(TStarted& Started) {
  return {[&Started](const std::string& Text) { Started.Status.push_back(Text); }, nullptr,
          [&Started](THttpOutcome Outcome) { Started.Outcome = std::move(Outcome); }};
}

TEST(CurlHttpClientWithoutQt, RunsTransfersSideBySideEachEndingOnItsOwn) {
  test::LoopbackHttpServer one("127.0.0.2"), two("127.0.0.3");
  one.ServeAfter("/slow.xml", "<rss>slow</rss>", 150ms);
  two.Serve("/quick.xml", "<rss>quick</rss>");
  two.Stall("/stalled.xml");
  TCurlLimits limits;
  limits.ReadTimeout = 400ms;
  auto client = NewPollClient(limits);
  TStarted slow, quick, stalled;
  client->Start({one.Url("/slow.xml"), "", ""}, EventsInto(slow));
  client->Start({two.Url("/quick.xml"), "", ""}, EventsInto(quick));
  client->Start({two.Url("/stalled.xml"), "", ""}, EventsInto(stalled));
  EXPECT_FALSE(quick.Outcome) << "reported only by a wait";
  EXPECT_THROW(client->Fetch({one.Url("/slow.xml"), "", ""}), std::logic_error);
  while (!slow.Outcome || !quick.Outcome || !stalled.Outcome) client->WaitForTransfers();

  ASSERT_TRUE(slow.Outcome->Response);
  EXPECT_EQ(slow.Outcome->Response->Body, "<rss>slow</rss>");
  ASSERT_TRUE(quick.Outcome->Response);
  EXPECT_EQ(quick.Outcome->Response->Body, "<rss>quick</rss>");
  EXPECT_EQ(stalled.Outcome->Failure, "time-out");
  // Each transfer heard of its own connection only.
  EXPECT_NE(std::find(slow.Status.begin(), slow.Status.end(), "Connecting to 127.0.0.2."), slow.Status.end());
  EXPECT_EQ(std::find(slow.Status.begin(), slow.Status.end(), "Connecting to 127.0.0.3."), slow.Status.end());
  EXPECT_NE(std::find(stalled.Status.begin(), stalled.Status.end(), "Connected."), stalled.Status.end());
}

TEST(CurlHttpClientWithoutQt, AbortEndsEveryTransferInProgress) {
  test::LoopbackHttpServer server;
  server.Stall("/a.xml");
  server.Stall("/b.xml");
  auto client = NewPollClient();
  TStarted a, b;
  // Stopped from inside the wait, once both have their connection.
  int connected = 0;
  auto abortOnSecond = [&](TStarted& Started) {
    THttpTransferEvents events = EventsInto(Started);
    events.Status = [&](const std::string& Text) {
      if (Text == "Connected." && ++connected == 2) client->Abort();
    };
    return events;
  };
  client->Start({server.Url("/a.xml"), "", ""}, abortOnSecond(a));
  client->Start({server.Url("/b.xml"), "", ""}, abortOnSecond(b));
  client->WaitForTransfers();
  ASSERT_TRUE(a.Outcome && b.Outcome);
  EXPECT_EQ(a.Outcome->Failure, "stopped");
  EXPECT_EQ(b.Outcome->Failure, "stopped");
  // The client is usable again afterwards.
  server.Serve("/c.xml", "<rss/>");
  EXPECT_EQ(client->Get(server.Url("/c.xml")), "<rss/>");
}

}  // namespace
}  // namespace skimbrook
