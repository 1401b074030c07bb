// The item store at the size of a heavy user's reading: 100,000 items in 1,000 feeds of
// 100 items each, titles and texts of made-up words whose frequencies fall off as in
// natural language (a few words in nearly every item, most words in a few), one feed in
// ten in Cyrillic, texts with markup. It gives
//  - the time to fill the store, one transaction per feed, and the file's size, split into
//    the items and the full-text index;
//  - the time to the first page of results (200) of searches from rare to very common
//    words, over all feeds and over a group of 25, each also as a multiple of the index
//    lookup alone (every match of the same words counted, without reading or ordering).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "store/uItemStore.h"
#include "store/uSearchText.h"
#include "support/ScratchFolder.h"

namespace skimbrook {
namespace {

constexpr int kFeeds = 1000;
constexpr int kItemsPerFeed = 100;
constexpr int kVocabulary = 20000;

// Made-up words of two to four syllables; words of feeds in Cyrillic use its letters.
std::string Word(int Rank, bool Cyrillic) {
  static const char* latin[] = {"ka", "ro", "mi", "ne", "tu", "sa", "li", "po",
                                "ve", "da", "zu", "fe", "gi", "ho", "ba", "ce"};
  static const char* cyrillic[] = {"ка", "ро", "ми", "не", "ту", "са", "ли", "по",
                                   "ве", "да", "зу", "фе", "ги", "хо", "ба", "це"};
  const char** syllables = Cyrillic ? cyrillic : latin;
  std::string word = syllables[Rank % 16];
  for (int rest = Rank / 16 + 1; rest > 0; rest /= 16) word += syllables[rest % 16];
  return word;
}

// A rank from 0 (most frequent) on, with a probability falling off about as 1/rank.
int RandomRank(std::mt19937& Random) {
  const double u = std::uniform_real_distribution<double>(0, 1)(Random);
  return static_cast<int>(std::exp(u * std::log(static_cast<double>(kVocabulary)))) - 1;
}

std::string Words(std::mt19937& Random, int Count, bool Cyrillic) {
  std::string text;
  for (int i = 0; i < Count; ++i) text += (i ? " " : "") + Word(RandomRank(Random), Cyrillic);
  return text;
}

std::string FeedDocument(std::mt19937& Random, int Feed) {
  const bool cyrillic = Feed % 10 == 9;
  std::string text = "<rss version=\"2.0\"><channel><title>Feed " + std::to_string(Feed) + "</title>";
  for (int i = 0; i < kItemsPerFeed; ++i) {
    const std::string id = "http://feed" + std::to_string(Feed) + ".example/item/" + std::to_string(i);
    const auto day =
        std::chrono::sys_days{std::chrono::year{2024} / 1 / 1} + std::chrono::days(Random() % 180);
    const std::chrono::year_month_day date{day};
    text += "<item><title>" + Words(Random, 6 + static_cast<int>(Random() % 5), cyrillic) + "</title><link>" +
            id + "</link><guid>" + id + "</guid><pubDate>" + std::to_string(static_cast<int>(date.year())) +
            "-" + std::to_string(static_cast<unsigned>(date.month()) + 100).substr(1) + "-" +
            std::to_string(static_cast<unsigned>(date.day()) + 100).substr(1) +
            "</pubDate><description><![CDATA[<p>" + Words(Random, 40, cyrillic) + "</p><p><a href=\"" + id +
            "\">" + Words(Random, 3, cyrillic) + "</a> " + Words(Random, 40, cyrillic) +
            "</p>]]></description></item>";
  }
  return text + "</channel></rss>";
}

std::string FeedUrl(int Feed) {
  return "http://feed" + std::to_string(Feed) + ".example/rss";
}

// The store, filled once for every benchmark of the run, with what filling it cost.
struct TFilledStore {
  bench::TScratchFolder Folder{"skimbrook-store-bench"};
  std::unique_ptr<TItemStore> Store;
  sqlite3* Reader = nullptr;  // a connection of its own for the index-only lookups
  double FillSeconds = 0;
  double FileBytes = 0, IndexBytes = 0, TextBytes = 0;

  TFilledStore() {
    Store = std::make_unique<TItemStore>();
    Store->Open();
    std::mt19937 random(1);
    for (int feed = 0; feed < kFeeds; ++feed) {
      TFeed model("Feed", "", FeedUrl(feed), "");
      LoadFeedFromString(model, FeedDocument(random, feed));
      for (int i = 0; i < model.ItemCount(); ++i)
        TextBytes += static_cast<double>(model.Items(i).Title.size() + model.Items(i).Description.size());
      const auto start = std::chrono::steady_clock::now();
      if (!Store->StoreFeed(model, "").Ok()) throw std::runtime_error("the store step failed");
      FillSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // Closing checkpoints the log into the file, whose size is then the store's.
    Store->Close();
    FileBytes = static_cast<double>(std::filesystem::file_size(Store->Path()));
    Store->Open();
    sqlite3_open_v2(Store->Path().c_str(), &Reader, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(Reader, "SELECT sum(pgsize) FROM dbstat WHERE name LIKE 'item_text%'", -1, &statement,
                       nullptr);
    if (sqlite3_step(statement) == SQLITE_ROW) IndexBytes = sqlite3_column_double(statement, 0);
    sqlite3_finalize(statement);
  }
  ~TFilledStore() { sqlite3_close(Reader); }

  // Every match of Words in the index, counted.
  int64_t IndexMatches(const std::string& Words) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(Reader, "SELECT count(*) FROM item_text WHERE item_text MATCH ?1", -1, &statement,
                       nullptr);
    const std::string match = MatchExpression(Words);
    sqlite3_bind_text(statement, 1, match.c_str(), -1, SQLITE_TRANSIENT);
    const int64_t count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return count;
  }
};

TFilledStore& Filled() {
  static TFilledStore filled;
  return filled;
}

void BM_FillAndSize(benchmark::State& State) {
  TFilledStore& filled = Filled();
  for (auto _ : State) State.SetIterationTime(filled.FillSeconds);
  const double items = kFeeds * kItemsPerFeed;
  State.counters["ms_per_feed"] = filled.FillSeconds * 1e3 / kFeeds;
  State.counters["file_mb"] = filled.FileBytes / 1e6;
  State.counters["bytes_per_item"] = filled.FileBytes / items;
  State.counters["index_share"] = filled.IndexBytes / filled.FileBytes;
  State.counters["x_text"] = filled.FileBytes / filled.TextBytes;
}
BENCHMARK(BM_FillAndSize)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Search for Words over every feed (Scope 0) or the 25 feeds of one group (Scope 25).
void Search(benchmark::State& State, const std::string& Words, int Scope) {
  TFilledStore& filled = Filled();
  std::vector<std::string> feeds;
  for (int feed = 0; feed < Scope; ++feed) feeds.push_back(FeedUrl(100 + feed));
  size_t found = 0;
  for (auto _ : State) {
    found = filled.Store->Search(Words, feeds).size();
    benchmark::DoNotOptimize(found);
  }
  State.counters["results"] = static_cast<double>(found);
  const auto start = std::chrono::steady_clock::now();
  State.counters["index_matches"] = static_cast<double>(filled.IndexMatches(Words));
  State.counters["index_ms"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Words by their rank among the made-up words: 0 is in nearly every item, 100 in about
// one in ten, 15000 in a few dozen.
const std::string kCommon = Word(0, false), kMiddle = Word(100, false), kRare = Word(15000, false);

BENCHMARK_CAPTURE(Search, rare, kRare, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, middle, kMiddle, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, common, kCommon, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, two_letters, std::string("ka"), 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, two_words, kMiddle + " " + kCommon, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, cyrillic_prefix, Word(100, true).substr(0, 6), 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, no_match, std::string("zzzq"), 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, group_common, kCommon, 25)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, group_middle, kMiddle, 25)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skimbrook

BENCHMARK_MAIN();
