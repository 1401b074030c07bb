// The download run with transfers side by side: the limits at once and per host, the file
// work in row order whatever order the answers come in, each feed's log lines kept
// together, and stopping with transfers in flight.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "base/uFiles.h"
#include "download/DownloadTestSupport.h"
#include "download/uDownloadRun.h"
#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

using test::Rss;

// A client that holds every started transfer until a wait ends one of them: the newest
// first unless Pick says otherwise, so that answers come back out of row order.
class TParallelClient : public HttpClient {
 public:
  struct THeld {
    THttpRequest Request;
    THttpTransferEvents Events;
  };

  std::vector<THeld> Held;
  std::vector<std::string> Started;  // addresses, in the order started
  std::vector<std::string> Trace;    // "start <address>" and "end <address>", in order
  std::map<std::string, int> MostPerHost;
  int MostAtOnce = 0;
  int Aborts = 0;
  bool Aborted = false;
  // Which held transfer the next wait ends.
  std::function<size_t(const std::vector<THeld>&)> Pick = [](const std::vector<THeld>& H) {
    return H.size() - 1;
  };
  // Called at the start of every wait, before a transfer ends.
  std::function<void()> BeforeWait;

  THttpResponse Fetch(const THttpRequest&) override { throw std::logic_error("not used by the run"); }
  void SetProxy(const THttpProxy&) override {}
  int MaxSimultaneous() const override { return 16; }

  void Start(const THttpRequest& Request, THttpTransferEvents Events) override {
    Started.push_back(Request.Url);
    Trace.push_back("start " + Request.Url);
    Held.push_back({Request, std::move(Events)});
    MostAtOnce = std::max(MostAtOnce, static_cast<int>(Held.size()));
    const std::string host = HostOfUrl(Request.Url);
    const int onHost = static_cast<int>(std::count_if(
        Held.begin(), Held.end(), [&](const THeld& H) { return HostOfUrl(H.Request.Url) == host; }));
    MostPerHost[host] = std::max(MostPerHost[host], onHost);
  }

  void WaitForTransfers() override {
    if (BeforeWait) BeforeWait();
    if (Held.empty()) return;
    if (Aborted) {
      for (THeld& held : std::exchange(Held, {})) held.Events.Done({std::nullopt, "stopped"});
      return;
    }
    const size_t pick = Pick(Held);
    THeld held = std::move(Held[pick]);
    Held.erase(Held.begin() + static_cast<std::ptrdiff_t>(pick));
    Trace.push_back("end " + held.Request.Url);
    held.Events.Status("Connected to " + held.Request.Url + ".");
    held.Events.Done({THttpResponse{200, "HTTP/1.1 200 OK", {}, Rss({held.Request.Url}), ""}, ""});
  }

  void Abort() override {
    ++Aborts;
    Aborted = true;
  }
};

class ParallelRunTest : public ::testing::Test {
 protected:
  ParallelRunTest() {
    SetDataFolder(dir.Path());
    run->OnFeedApplied = [this](TFeed& Feed) { applied.push_back(Feed.XmlUrl); };
  }
  ~ParallelRunTest() override { SetDataFolder(""); }

  // Queues Count feeds on each of Hosts, all of one host first, then the next host's.
  std::vector<std::string> QueueByHost(const std::vector<std::string>& Hosts, int Count) {
    std::vector<std::string> urls;
    for (const auto& host : Hosts)
      for (int i = 0; i < Count; ++i) {
        urls.push_back("http://" + host + "/feed" + std::to_string(i) + ".xml");
        auto feed = std::make_shared<TFeed>("Feed", "", urls.back(), "");
        list.Add(feed);
        run->QueueFeed(feed);
      }
    return urls;
  }
  void Run(int Simultaneous, std::uint64_t MaxHeldBytes = TRunOptions().MaxHeldBytes) {
    TRunOptions options;
    options.Simultaneous = Simultaneous;
    options.MaxHeldBytes = MaxHeldBytes;
    run->SetOptions(options);
    run->RunQueue(std::nullopt);
  }
  std::vector<std::string> Statuses() const {
    std::vector<std::string> statuses;
    for (int row = 0; row < run->RowCount(); ++row) statuses.push_back(run->RowStatus(row));
    return statuses;
  }

  test::TTempDir dir;
  TFeedList list;
  test::TRecordingView view;
  TParallelClient* client = new TParallelClient;  // owned by run
  std::unique_ptr<TDownloadRun> run =
      std::make_unique<TDownloadRun>(std::unique_ptr<HttpClient>(client), view);
  std::vector<std::string> applied;
};

TEST_F(ParallelRunTest, RunsUpToTheLimitAtOnceAndTwoPerHostPassingOverAFullHost) {
  const auto urls = QueueByHost({"a.example", "b.example", "c.example", "d.example"}, 3);
  Run(6);
  // The rows of a.example come first; the third waits while later hosts fill the limit.
  EXPECT_EQ(client->MostAtOnce, 6);
  for (const auto& [host, most] : client->MostPerHost) EXPECT_LE(most, kMaxPerHost) << host;
  EXPECT_EQ(std::vector<std::string>(client->Started.begin(), client->Started.begin() + 6),
            (std::vector<std::string>{urls[0], urls[1], urls[3], urls[4], urls[6], urls[7]}));
  EXPECT_EQ(Statuses(), std::vector<std::string>(urls.size(), "done"));
  // Answers came back newest first, yet every feed was stored and merged in row order.
  EXPECT_EQ(applied, urls);
}

TEST_F(ParallelRunTest, OneAtOnceFetchesOneFeedAfterAnother) {
  const auto urls = QueueByHost({"a.example", "b.example"}, 2);
  Run(1);
  EXPECT_EQ(client->MostAtOnce, 1);
  EXPECT_EQ(client->Started, urls);
  EXPECT_EQ(applied, urls);
}

TEST_F(ParallelRunTest, EachFeedsLinesStayTogetherInRowOrder) {
  const auto urls = QueueByHost({"a.example", "b.example", "c.example"}, 2);
  Run(6);
  // Each group: the feed's "Downloading" line, then only its own lines.
  std::vector<std::string> groups;
  for (const std::string& line : run->LogLines()) {
    const std::string text = line.substr(line.find("   ") + 3);
    if (text.starts_with("Downloading ")) {
      groups.push_back(text.substr(12));
      continue;
    }
    ASSERT_FALSE(groups.empty()) << text;
    EXPECT_EQ(text, "Status: Connected to " + groups.back() + ".");
  }
  EXPECT_EQ(groups, urls);
  EXPECT_EQ(run->LogLines().size(), 2 * urls.size());
}

TEST_F(ParallelRunTest, StopWithTransfersInFlightMarksEveryRowNotDoneStopped) {
  const auto urls = QueueByHost({"a.example", "b.example", "c.example"}, 2);
  // The first row's answer comes first; at the third wait the user stops the run, with
  // a fetched row still waiting for an earlier one.
  client->Pick = [](const std::vector<TParallelClient::THeld>& Held) {
    return Held.front().Request.Url.find("a.example/feed0") != std::string::npos ? size_t{0}
                                                                                 : Held.size() - 1;
  };
  int waits = 0;
  client->BeforeWait = [&] {
    if (++waits == 3) run->Abort();
  };
  Run(6);
  const auto statuses = Statuses();
  EXPECT_EQ(statuses[0], "done");
  for (size_t row = 1; row < statuses.size(); ++row) EXPECT_EQ(statuses[row], "stopped") << row;
  EXPECT_EQ(client->Aborts, 1);
  EXPECT_TRUE(client->Held.empty());
  EXPECT_EQ(applied, std::vector<std::string>{urls[0]});
  // Nothing was written for the rows that did not get their file work.
  for (size_t row = 1; row < urls.size(); ++row)
    EXPECT_FALSE(FileExists(run->RowFeed(int(row))->CacheFileName()));
}

TEST_F(ParallelRunTest, AnswersHeldForAnEarlierRowStopNewTransfersBeyondTheirLimit) {
  const auto urls = QueueByHost({"a.example", "b.example", "c.example", "d.example"}, 1);
  // One byte held is already too much: while the second row's answer waits for the first
  // row, nothing new starts.
  Run(2, 1);
  EXPECT_EQ(client->Trace, (std::vector<std::string>{"start " + urls[0], "start " + urls[1], "end " + urls[1],
                                                     "end " + urls[0], "start " + urls[2], "start " + urls[3],
                                                     "end " + urls[3], "end " + urls[2]}));
  EXPECT_EQ(applied, urls);
}

TEST(HostOfUrl, IsTheHostWithoutUserOrPort) {
  EXPECT_EQ(HostOfUrl("https://user:pw@example.com:8080/x?y#z"), "example.com");
  EXPECT_EQ(HostOfUrl("http://[::1]:8080/feed"), "[::1]");
  EXPECT_EQ(HostOfUrl("http://127.0.0.2:80"), "127.0.0.2");
  EXPECT_EQ(HostOfUrl("example.com/feed"), "example.com");
  EXPECT_EQ(HostOfUrl("not an address"), "not an address");
}

TEST_F(ParallelRunTest, HostsDifferingOnlyInLetterCaseCountAsOne) {
  QueueByHost({"a.example", "A.EXAMPLE", "a.Example"}, 1);
  Run(6);
  EXPECT_EQ(client->MostAtOnce, kMaxPerHost);
}

}  // namespace
}  // namespace skimbrook
