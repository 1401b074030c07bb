// The download run end to end against a loopback HTTP server: the cost of one small feed in
// a run of 200, and how long the event loop is held up while a fetch waits on a server that
// sends nothing.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <filesystem>

#include "download/fDownload.h"
#include "download/uCurlQtPump.h"
#include "tools/LoopbackHttpServer.h"

namespace skimbrook {
namespace {

// A fresh data folder that is also the current directory (download.log lands there).
class TScratchFolder {
 public:
  TScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skimbrook-bench-XXXXXX").string();
    path_ = std::string(::mkdtemp(pattern.data())) + "/";
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
    SetDataFolder(path_);
  }
  ~TScratchFolder() {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(path_);
  }

 private:
  std::string path_;
  std::filesystem::path old_;
};

std::string SmallFeed(int Number) {
  std::string text = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>\n<title>Feed " +
                     std::to_string(Number) +
                     "</title><link>http://example.com/</link><description>d</description>\n";
  for (int i = 0; i < 10; ++i)
    text += "<item><title>Item " + std::to_string(i) + "</title><link>http://example.com/" +
            std::to_string(i) + "</link><description>Some &lt;b&gt;text&lt;/b&gt; of item " +
            std::to_string(i) + "</description><pubDate>Mon, 01 Jan 2024 10:00:00 GMT</pubDate></item>\n";
  return text + "</channel></rss>\n";
}

// One run of 200 small feeds per iteration. A first run before the timing gives every feed
// a cache file, so each timed feed goes through the whole protocol (backup, store, merge,
// rewrite).
void BM_RunOf200SmallFeeds(benchmark::State& State) {
  constexpr int kFeeds = 200;
  TScratchFolder folder;
  test::LoopbackHttpServer server;
  TFeedList list;
  for (int i = 0; i < kFeeds; ++i) {
    std::string path = "/feed" + std::to_string(i) + ".xml";
    server.Serve(path, SmallFeed(i));
    list.Add(std::make_shared<TFeed>("Feed", "", server.Url(path), ""));
  }
  auto runAll = [&] {
    TfmDownload window(std::nullopt, nullptr);
    for (int i = 0; i < kFeeds; ++i) window.QueueFeed(list.Feeds(i));
    window.RunQueue();
    int failed = 0;
    for (int i = 0; i < kFeeds; ++i) failed += window.Run().RowStatus(i) != "done";
    return failed;
  };
  runAll();  // every feed gets its cache file
  int errors = 0;
  QElapsedTimer clock;
  clock.start();
  for (auto _ : State) errors += runAll();
  double perFeedMs =
      static_cast<double>(clock.nsecsElapsed()) / 1e6 / static_cast<double>(State.iterations() * kFeeds);
  if (errors) State.SkipWithError("some feeds failed");
  State.SetItemsProcessed(State.iterations() * kFeeds);
  State.counters["ms_per_feed"] = perFeedMs;
}
BENCHMARK(BM_RunOf200SmallFeeds)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// One GET of a small feed over a kept-alive loopback connection: the transfer's share of
// the per-feed cost.
void BM_GetSmallFeed(benchmark::State& State) {
  test::LoopbackHttpServer server;
  server.Serve("/feed.xml", SmallFeed(0));
  auto client = NewQtHttpClient();
  for (auto _ : State) benchmark::DoNotOptimize(client->Get(server.Url("/feed.xml")));
}
BENCHMARK(BM_GetSmallFeed)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A 10 ms timer ticks while the run waits 10 s on a server that sends nothing; the longest
// gap between two ticks is how long the window would be unresponsive.
void BM_LongestTimerGapDuringStalledFetch(benchmark::State& State) {
  TScratchFolder folder;
  test::LoopbackHttpServer server;
  server.Stall("/stalled.xml");
  auto feed = std::make_shared<TFeed>("Stalled", "", server.Url("/stalled.xml"), "");
  qint64 longest = 0;
  int ticks = 0;
  for (auto _ : State) {
    TCurlLimits limits;
    limits.ReadTimeout = std::chrono::seconds(10);
    TfmDownload window(std::nullopt, nullptr, NewQtHttpClient(limits));
    window.QueueFeed(feed);
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
      if (ticks++ > 0) longest = std::max(longest, sinceTick.elapsed());
      sinceTick.restart();
    });
    ticker.start(10);
    window.RunQueue();
  }
  State.counters["longest_gap_ms"] = static_cast<double>(longest);
  State.counters["ticks"] = ticks;
}
BENCHMARK(BM_LongestTimerGapDuringStalledFetch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace skimbrook

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
