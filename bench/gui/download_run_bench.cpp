// The download run end to end against loopback HTTP servers: the cost of one small feed in
// a run of 200, a run of 200 feeds that each answer after 200 ms from 8 hosts, one at a
// time and six at once, and how long the event loop is held up while a fetch waits on a
// server that sends nothing; and Download All of 1,000 feeds with and without the item
// store, side by side.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <memory>
#include <vector>

#include "display/uDisplayText.h"
#include "download/QtRunSupport.h"
#include "download/fDownload.h"
#include "download/uCurlQtPump.h"
#include "store/uItemStore.h"
#include "support/ScratchFolder.h"
#include "tools/LoopbackHttpServer.h"

namespace skimbrook {
namespace {

using bench::TScratchFolder;

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

// 200 feeds served round the Hosts servers (on 127.0.0.11 and on), each answering after
// Delay; the run's window takes State.range(0) transfers at once.
class TRunOf200 {
 public:
  static constexpr int kFeeds = 200;

  TRunOf200(int Hosts, std::chrono::milliseconds Delay) {
    for (int h = 0; h < Hosts; ++h)
      servers_.push_back(std::make_unique<test::LoopbackHttpServer>("127.0.0." + std::to_string(11 + h)));
    for (int i = 0; i < kFeeds; ++i) {
      std::string path = "/feed" + std::to_string(i) + ".xml";
      test::LoopbackHttpServer& server = *servers_[i % Hosts];
      if (Delay.count() > 0)
        server.ServeAfter(path, SmallFeed(i), Delay);
      else
        server.Serve(path, SmallFeed(i));
      list_.Add(std::make_shared<TFeed>("Feed", "", server.Url(path), ""));
    }
  }
  // One whole run; returns the number of rows that did not end "done".
  int Run(int Simultaneous) {
    TfmDownload window(std::nullopt, nullptr);
    TRunOptions options;
    options.Simultaneous = Simultaneous;
    window.SetOptions(options);
    for (int i = 0; i < kFeeds; ++i) window.QueueFeed(list_.Feeds(i));
    test::RunUntilFinished(window);
    int failed = 0;
    for (int i = 0; i < kFeeds; ++i) failed += window.Run().RowStatus(i) != "done";
    return failed;
  }
  // Times State's iterations of Run and reports the milliseconds per run and per feed.
  void Measure(benchmark::State& State) {
    const int simultaneous = static_cast<int>(State.range(0));
    int errors = 0;
    QElapsedTimer clock;
    clock.start();
    for (auto _ : State) errors += Run(simultaneous);
    const double runMs =
        static_cast<double>(clock.nsecsElapsed()) / 1e6 / static_cast<double>(State.iterations());
    if (errors) State.SkipWithError("some feeds failed");
    State.SetItemsProcessed(State.iterations() * kFeeds);
    State.counters["s_per_run"] = runMs / 1000;
    State.counters["ms_per_feed"] = runMs / kFeeds;
  }

 private:
  TScratchFolder folder_;
  std::vector<std::unique_ptr<test::LoopbackHttpServer>> servers_;
  TFeedList list_;
};

// The cost of a feed itself: 200 small feeds from one server that answers at once. A first
// run before the timing gives every feed a cache file, so each timed feed goes through the
// whole protocol (backup, store, merge, rewrite).
void BM_RunOf200SmallFeeds(benchmark::State& State) {
  TRunOf200 run(1, std::chrono::milliseconds(0));
  run.Run(1);  // every feed gets its cache file
  run.Measure(State);
}
BENCHMARK(BM_RunOf200SmallFeeds)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Download All of 200 feeds that answer after 200 ms each, spread over 8 hosts: one after
// another, then six at once (two at most to a host).
void BM_RunOf200SlowFeedsOn8Hosts(benchmark::State& State) {
  TRunOf200 run(8, std::chrono::milliseconds(200));
  run.Measure(State);
}
BENCHMARK(BM_RunOf200SlowFeedsOn8Hosts)
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// One GET of a small feed over a kept-alive loopback connection: the transfer's share of
// the per-feed cost.
void BM_GetSmallFeed(benchmark::State& State) {
  test::LoopbackHttpServer server;
  server.Serve("/feed.xml", SmallFeed(0));
  auto client = NewQtHttpClient();
  for (auto _ : State) benchmark::DoNotOptimize(client->Get(server.Url("/feed.xml")));
}
BENCHMARK(BM_GetSmallFeed)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Download All of 1,000 small feeds from one loopback server, six at once, as the window
// runs it: each run's documents bring one new item per feed and let one go. Every
// iteration times one run without the item store and one with it (each feed stored after
// its merge, with the window's decoder, and the clean-up at the run's end), in turn, so
// that both see the same machine.
std::string ShiftingFeed(int Number, int Run) {
  std::string text = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>\n<title>Feed " +
                     std::to_string(Number) +
                     "</title><link>http://example.com/</link><description>d</description>\n";
  for (int i = Run; i < Run + 10; ++i)
    text += "<item><title>Item " + std::to_string(i) + " of feed " + std::to_string(Number) +
            "</title><link>http://example.com/" + std::to_string(Number) + "/" + std::to_string(i) +
            "</link><description>Some &lt;b&gt;text&lt;/b&gt; of item " + std::to_string(i) +
            "</description><pubDate>Mon, 01 Jan 2024 10:00:00 GMT</pubDate></item>\n";
  return text + "</channel></rss>\n";
}

void BM_DownloadAll1000WithAndWithoutStore(benchmark::State& State) {
  constexpr int kFeeds = 1000;
  TScratchFolder folder;
  test::LoopbackHttpServer server;
  TFeedList list;
  for (int i = 0; i < kFeeds; ++i)
    list.Add(std::make_shared<TFeed>("Feed", "", server.Url("/feed" + std::to_string(i) + ".xml"), ""));
  TItemStoreOptions options;
  options.Decoder = [](std::string_view Bytes, std::string_view Encoding) {
    const QByteArray text = ToDisplay(Bytes, Encoding).toUtf8();
    return std::string(text.constData(), static_cast<size_t>(text.size()));
  };
  TItemStore store(options);
  if (!store.Open().Ok()) State.SkipWithError("the store did not open");
  int run = 0;
  int failed = 0;
  // The time spent in the store's own steps, of the timed runs with the store.
  double inStore = 0;
  const auto downloadAll = [&](bool WithStore) {
    ++run;
    for (int i = 0; i < kFeeds; ++i) server.Serve("/feed" + std::to_string(i) + ".xml", ShiftingFeed(i, run));
    TfmDownload window(std::nullopt, nullptr);
    TRunOptions runOptions;
    runOptions.Simultaneous = 6;
    window.SetOptions(runOptions);
    if (WithStore) {
      window.OnFeedApplied = [&](TFeed& Feed) {
        QElapsedTimer step;
        step.start();
        failed += !store.StoreFeed(Feed, "").Ok();
        inStore += static_cast<double>(step.nsecsElapsed()) / 1e9;
      };
    }
    for (int i = 0; i < kFeeds; ++i) window.QueueFeed(list.Feeds(i));
    QElapsedTimer clock;
    clock.start();
    test::RunUntilFinished(window);
    if (WithStore) {
      QElapsedTimer step;
      step.start();
      std::vector<std::string> urls;
      for (int i = 0; i < kFeeds; ++i) urls.push_back(list.Feeds(i)->XmlUrl);
      failed += !store.Prune(urls, 180).Ok();
      inStore += static_cast<double>(step.nsecsElapsed()) / 1e9;
    }
    for (int i = 0; i < kFeeds; ++i) failed += window.Run().RowStatus(i) != "done";
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
  };
  // Every feed gets its cache file and its items in the store before the timing.
  downloadAll(true);
  inStore = 0;
  double without = 0;
  double with = 0;
  bool storeFirst = false;
  for (auto _ : State) {
    if (storeFirst) with += downloadAll(true);
    without += downloadAll(false);
    if (!storeFirst) with += downloadAll(true);
    storeFirst = !storeFirst;
  }
  if (failed) State.SkipWithError("some feeds or store steps failed");
  const double iterations = static_cast<double>(State.iterations());
  State.counters["s_without_store"] = without / iterations;
  State.counters["s_with_store"] = with / iterations;
  State.counters["s_in_store_steps"] = inStore / iterations;
  State.counters["store_cost_percent"] = without > 0 ? (with / without - 1) * 100 : 0;
}
BENCHMARK(BM_DownloadAll1000WithAndWithoutStore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

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
    test::RunUntilFinished(window);
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
