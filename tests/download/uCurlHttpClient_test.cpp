// The libcurl client against the loopback server: what goes out, what counts as a
// failure, the time-out, the size cap, the connection events, and that the event loop
// keeps running while a fetch waits. Cookies and the proxy are tested with whole runs.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "download/uCurlQtPump.h"
#include "tools/LoopbackHttpServer.h"
#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;

// HttpClient::Get on the program's client: started, and waited for on an event loop of the
// test's own, since the program's client is never waited on.
std::string GetOnLoop(HttpClient& Client, const std::string& Url) {
  QEventLoop loop;
  std::optional<THttpOutcome> outcome;
  Client.Start({Url, {}, {}}, {[&Client](const std::string& Text) {
                                 if (Client.OnStatus) Client.OnStatus(Text);
                               },
                               [&Client](std::int64_t Bytes) {
                                 if (Client.OnProgress) Client.OnProgress(Bytes);
                               },
                               [&](THttpOutcome Ended) {
                                 outcome = std::move(Ended);
                                 loop.quit();
                               }});
  if (!outcome) loop.exec();
  if (!outcome->Response) throw THttpFailure(outcome->Failure);
  if (outcome->Response->Code < 200 || outcome->Response->Code > 299)
    throw std::runtime_error(outcome->Response->CodeAndPhrase());
  return outcome->Response->Body;
}

class CurlHttpClientTest : public ::testing::Test {
 protected:
  std::unique_ptr<HttpClient> NewClient(TCurlLimits Limits = {}) {
    auto client = NewQtHttpClient(Limits);
    client->OnStatus = [this](const std::string& Text) { status.push_back(Text); };
    client->OnProgress = [this](std::int64_t Bytes) { progress.push_back(Bytes); };
    return client;
  }
  static TCurlLimits ShortTimeout(std::chrono::milliseconds Timeout) {
    TCurlLimits limits;
    limits.ReadTimeout = Timeout;
    return limits;
  }

  LoopbackHttpServer server;
  std::vector<std::string> status;
  std::vector<std::int64_t> progress;
};

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

TEST_F(CurlHttpClientTest, ReturnsTheBodyByteForByteAndSendsExactlyTheThreeRequestHeaders) {
  std::string body("<rss>\r\n\xE9\xFF\n\0tail", 17);
  server.Serve("/feed.xml?a=1", body);
  auto client = NewClient();

  EXPECT_EQ(GetOnLoop(*client, server.Url("/feed.xml?a=1")), body);

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests[0];
  EXPECT_EQ(r.RequestLine, "GET /feed.xml?a=1 HTTP/1.1");
  for (auto [name, value] : {std::pair{"Accept", "text/html, */*"}, std::pair{"User-Agent", "Skimbrook/1.0"},
                             std::pair{"Content-Type", "text/html"}}) {
    EXPECT_EQ(r.HeaderCount(name), 1) << name;
    EXPECT_EQ(r.HeaderValue(name), value) << name;
  }
  // Offered so that servers may compress; the body above still arrives byte for byte.
  EXPECT_EQ(r.HeaderCount("Accept-Encoding"), 1);
  EXPECT_EQ(r.HeaderCount("Proxy-Authorization"), 0);
}

TEST_F(CurlHttpClientTest, FailsOnEveryAnswerThatIsNotASuccessWithoutFollowingRedirects) {
  server.Serve("/target.xml", "<rss/>");
  server.Redirect("/moved.xml", server.Url("/target.xml"), 301);
  server.Redirect("/found.xml", server.Url("/target.xml"), 302);
  server.Serve("/error.xml", "<rss/>", 500);
  auto client = NewClient();

  for (const char* path : {"/moved.xml", "/found.xml", "/missing.xml", "/error.xml"})
    EXPECT_THROW(GetOnLoop(*client, server.Url(path)), std::runtime_error) << path;

  for (const auto& r : server.Requests()) EXPECT_NE(r.Path, "/target.xml");
  EXPECT_EQ(server.RequestCount(), 4u);
}

TEST_F(CurlHttpClientTest, FailsWhenTheServerRefusesClosesOrTheSchemeIsNotHttp) {
  server.CloseWithoutAnswer("/gone.xml");
  auto client = NewClient();

  EXPECT_THROW(GetOnLoop(*client, "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/feed.xml"),
               std::runtime_error);
  EXPECT_THROW(GetOnLoop(*client, server.Url("/gone.xml")), std::runtime_error);
  test::TTempDir dir;
  test::WriteFile(dir.File("local.xml"), "<rss/>");
  EXPECT_THROW(GetOnLoop(*client, "file://" + dir.File("local.xml")), std::runtime_error);
  EXPECT_THROW(GetOnLoop(*client, "not a url"), std::runtime_error);
}

TEST_F(CurlHttpClientTest, FailsAfterTheReadTimeOutWhenTheServerStalls) {
  server.Stall("/silent.xml");
  server.StallAfter("/half.xml", std::string(1000, 'x'), 400);
  auto client = NewClient(ShortTimeout(300ms));

  for (const char* path : {"/silent.xml", "/half.xml"}) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(GetOnLoop(*client, server.Url(path)), std::runtime_error) << path;
    EXPECT_GE(clock.elapsed(), 290) << path;
    EXPECT_LT(clock.elapsed(), 3000) << path;
  }
}

TEST_F(CurlHttpClientTest, RestartsTheReadTimeOutWithEveryByteReceived) {
  server.ServeSlowly("/slow.xml", "0123456789", 60ms);  // 600 ms in all, never 250 ms quiet
  auto client = NewClient(ShortTimeout(250ms));

  EXPECT_EQ(GetOnLoop(*client, server.Url("/slow.xml")), "0123456789");
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 10);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(CurlHttpClientTest, EndsATransferThatOutlastsTheTotalTimeOutWhileDataKeepsComing) {
  server.ServeSlowly("/trickle.xml", std::string(1000, 'x'), 20ms);
  TCurlLimits limits;
  limits.FloorBytesPerSecond = 0;
  limits.TotalTimeout = 500ms;
  auto client = NewClient(limits);
  QElapsedTimer clock;
  clock.start();
  EXPECT_THROW(GetOnLoop(*client, server.Url("/trickle.xml")), std::runtime_error);
  EXPECT_GE(clock.elapsed(), 450);
  EXPECT_LT(clock.elapsed(), 5000);
}

TEST(CurlLimits, ByDefaultAFeedBelowOneKiBPerSecondForHalfAMinuteOrLongerThanFiveMinutesFails) {
  const TCurlLimits limits;
  EXPECT_EQ(limits.FloorBytesPerSecond, 1024);
  EXPECT_EQ(limits.FloorTime, 30s);
  EXPECT_EQ(limits.TotalTimeout, 5min);
  EXPECT_EQ(limits.ReadTimeout, 30s);
  EXPECT_EQ(limits.MaxBodyBytes, 64ull * 1024 * 1024);
}

TEST_F(CurlHttpClientTest, FailsABodyOverTheCapWithOrWithoutAnnouncedLength) {
  TCurlLimits limits;
  limits.MaxBodyBytes = 1000;
  server.Serve("/exact.xml", std::string(1000, 'x'));
  server.Serve("/over.xml", std::string(1001, 'x'));
  server.ServeHuge("/stream.xml", 5000, false);
  auto small = NewClient(limits);
  EXPECT_EQ(GetOnLoop(*small, server.Url("/exact.xml")).size(), 1000u);
  EXPECT_THROW(GetOnLoop(*small, server.Url("/over.xml")), std::runtime_error);
  EXPECT_THROW(GetOnLoop(*small, server.Url("/stream.xml")), std::runtime_error);

  // The program's own cap: a streamed body just over 64 MiB.
  server.ServeHuge("/huge.xml", 64ull * 1024 * 1024 + 1, false);
  server.ServeHuge("/huge-announced.xml", 64ull * 1024 * 1024 + 1, true);
  auto client = NewClient();
  EXPECT_THROW(GetOnLoop(*client, server.Url("/huge.xml")), std::runtime_error);
  EXPECT_THROW(GetOnLoop(*client, server.Url("/huge-announced.xml")), std::runtime_error);
}

TEST_F(CurlHttpClientTest, IgnoresTheEnvironmentsProxyWhenNoneIsSet) {
  test::TScopedEnv proxy("http_proxy", "http://127.0.0.1:" + std::to_string(ClosedPort()));
  test::TScopedEnv upper("HTTP_PROXY", "http://127.0.0.1:" + std::to_string(ClosedPort()));
  server.Serve("/feed.xml", "<rss/>");
  EXPECT_EQ(GetOnLoop(*NewClient(), server.Url("/feed.xml")), "<rss/>");
}

TEST_F(CurlHttpClientTest, ReportsConnectionEventsInOrder) {
  server.Serve("/a.xml", "a");
  server.Serve("/b.xml", "b");
  {
    auto client = NewClient();
    GetOnLoop(*client, "http://localhost:" + std::to_string(server.Port()) + "/a.xml");
    GetOnLoop(*client, server.Url("/b.xml"));
    GetOnLoop(*client, server.Url("/b.xml"));  // reuses the open connection
    EXPECT_THROW(GetOnLoop(*client, "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/refused.xml"),
                 std::runtime_error);
  }
  auto at = [&](const std::string& Text) {
    return std::find(status.begin(), status.end(), Text) - status.begin();
  };
  ASSERT_LT(at("Resolving hostname localhost."), static_cast<long>(status.size()))
      << ::testing::PrintToString(status);
  EXPECT_LT(at("Resolving hostname localhost."), at("Connecting to 127.0.0.1."));
  EXPECT_LT(at("Connecting to 127.0.0.1."), at("Connected."));
  EXPECT_LT(at("Connected."), at("Disconnecting."));
  EXPECT_LT(at("Disconnecting."), at("Disconnected."));
  EXPECT_LT(at("Disconnected."), static_cast<long>(status.size()));
  // Two connections were made; the refused attempt neither connects nor disconnects.
  EXPECT_EQ(std::count(status.begin(), status.end(), "Connected."), 2);
  EXPECT_EQ(std::count(status.begin(), status.end(), "Disconnected."), 2);
  EXPECT_EQ(std::count(status.begin(), status.end(), "Connecting to 127.0.0.1."), 3);
}

TEST_F(CurlHttpClientTest, KeepsTheEventLoopRunningAndCanBeAbortedWhileItWaits) {
  server.Stall("/silent.xml");
  auto client = NewClient();
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
    if (++ticks == 20) client->Abort();
  });
  ticker.start(10);
  QElapsedTimer clock;
  clock.start();

  EXPECT_THROW(GetOnLoop(*client, server.Url("/silent.xml")), std::runtime_error);
  EXPECT_EQ(ticks, 20);
  EXPECT_LT(clock.elapsed(), 5000);
  // Abort between transfers changes nothing.
  client->Abort();
  server.Serve("/feed.xml", "ok");
  EXPECT_EQ(GetOnLoop(*client, server.Url("/feed.xml")), "ok");
}

}  // namespace
}  // namespace skimbrook
