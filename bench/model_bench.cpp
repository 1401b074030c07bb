// The feed model's costs: reading large RSS and Atom documents into a feed, reading and
// writing a subscription list of 10,000 entries, and one mark-as-read on a large feed.
// Each document figure is also given as a multiple of the floor: a loop of memchr calls
// that finds every "<" in the same bytes, measured in the same run.
//
// Two extra modes measure the peak memory of reading one feed file in a fresh process:
//   model_bench --write-feed PATH MEGABYTES [rss|atom]
//   model_bench --read-feed PATH
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "base/uFiles.h"
#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "support/FeedGenerator.h"
#include "xml/moxXMLParser2.h"

namespace skimbrook {
namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point Start) {
  return std::chrono::duration<double>(TClock::now() - Start).count();
}

// CPU time of this thread: it holds up better than the wall clock on a busy machine.
double ThreadCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Wall and CPU time of one timed step.
class TStopwatch {
 public:
  TStopwatch() : wall_(TClock::now()), cpu_(ThreadCpuSeconds()) {}
  double WallSeconds() const { return SecondsSince(wall_); }
  double CpuSeconds() const { return ThreadCpuSeconds() - cpu_; }

 private:
  TClock::time_point wall_;
  double cpu_;
};

// Totals of the timed steps of one benchmark.
struct TTotals {
  double Wall = 0, Cpu = 0;
  // Adds the step timed by Watch and hands its wall time to the benchmark.
  void Add(benchmark::State& State, const TStopwatch& Watch) {
    double wall = Watch.WallSeconds();
    Cpu += Watch.CpuSeconds();
    Wall += wall;
    State.SetIterationTime(wall);
  }
};

size_t CountTagStarts(std::string_view Bytes) {
  size_t count = 0;
  const char* at = Bytes.data();
  const char* end = at + Bytes.size();
  while ((at = static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(end - at))))) {
    ++count;
    ++at;
  }
  return count;
}

// The best wall and CPU times of several memchr scans over Bytes.
TTotals FloorSeconds(std::string_view Bytes) {
  TTotals best{std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
  for (int i = 0; i < 30; ++i) {
    TStopwatch watch;
    size_t count = CountTagStarts(Bytes);
    benchmark::DoNotOptimize(count);
    best.Wall = std::min(best.Wall, watch.WallSeconds());
    best.Cpu = std::min(best.Cpu, watch.CpuSeconds());
  }
  return best;
}

// x_floor: mean wall time over the floor's; x_floor_cpu: the same in CPU time.
void ReportAgainstFloor(benchmark::State& State, const TTotals& Totals, std::string_view Bytes) {
  TTotals floor = FloorSeconds(Bytes);
  double iterations = static_cast<double>(State.iterations());
  State.counters["floor_ms"] = floor.Wall * 1e3;
  State.counters["x_floor"] = Totals.Wall / iterations / floor.Wall;
  State.counters["x_floor_cpu"] = Totals.Cpu / iterations / floor.Cpu;
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(Bytes.size()));
}

// A temporary data folder for the benchmarks that write files.
class TScratchFolder {
 public:
  TScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skimbrook-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
  }
  ~TScratchFolder() { std::filesystem::remove_all(path_); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// ---------------------------------------------------------------------------------------
// Feed documents

void ReadDocument(benchmark::State& State, const std::string& Document) {
  TTotals totals;
  for (auto _ : State) {
    std::string source = Document;  // the copy is not part of reading
    TFeed feed;
    TStopwatch watch;
    LoadFeedFromString(feed, std::move(source));
    totals.Add(State, watch);
    State.counters["items"] = feed.ItemCount();
  }
  ReportAgainstFloor(State, totals, Document);
}

void BM_ReadRss10MB(benchmark::State& State) {
  ReadDocument(State, bench::GenerateRss(10u << 20));
}
BENCHMARK(BM_ReadRss10MB)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ReadAtom10MB(benchmark::State& State) {
  ReadDocument(State, bench::GenerateAtom(10u << 20));
}
BENCHMARK(BM_ReadAtom10MB)->UseManualTime()->Unit(benchmark::kMillisecond);

// The parts of reading the RSS document, each on its own, to show what the whole is made
// of: the parse that hands items over and drops them; decoding the texts of the fields the
// reader takes (already in memory); creating the items from decoded texts.

// Drops each item and each other child of the document element and of the channel, as
// the reader does, without reading anything.
class TDropAsTheReaderDoes : public TmoxXMLElementHandler {
 public:
  void ElementStarted(TmoxXMLNode2&) override {}
  TAfterEnd ElementEnded(TmoxXMLNode2& Element) override {
    const TmoxXMLNode2* parent = Element.Parent;
    const bool belowTop = parent != nullptr && parent->Parent != nullptr && parent->Parent->Parent == nullptr;
    return parent != nullptr && (parent->Parent == nullptr || belowTop) ? TAfterEnd::Drop : TAfterEnd::Keep;
  }
};

void BM_ReadRssPartParse(benchmark::State& State) {
  const std::string document = bench::GenerateRss(10u << 20);
  TTotals totals;
  for (auto _ : State) {
    std::string source = document;
    TDropAsTheReaderDoes handler;
    TStopwatch watch;
    {
      TmoxXMLParser2 parsed;
      parsed.LoadFromString(std::move(source), handler);
    }
    totals.Add(State, watch);
  }
  ReportAgainstFloor(State, totals, document);
}
BENCHMARK(BM_ReadRssPartParse)->UseManualTime()->Unit(benchmark::kMillisecond);

// The raw texts of the fields the reader decodes: title, link, description, date.
std::vector<std::string> RssFieldTexts(const std::string& Document) {
  TmoxXMLParser2 parsed;
  parsed.LoadFromString(Document);
  std::vector<std::string> texts;
  for (const auto& item : parsed.FindNode("channel")->Nodes) {
    if (item->Name != "item") continue;
    for (const char* name : {"title", "link", "description", "pubDate"})
      if (const TmoxXMLNode2* field = item->FindNode(name)) texts.emplace_back(field->Text);
  }
  return texts;
}

void BM_ReadRssPartDecode(benchmark::State& State) {
  const std::string document = bench::GenerateRss(10u << 20);
  const std::vector<std::string> texts = RssFieldTexts(document);
  TFieldDecoder decoder;
  std::string out;
  TTotals totals;
  for (auto _ : State) {
    TStopwatch watch;
    for (const std::string& text : texts) decoder.Decode(text, out);
    totals.Add(State, watch);
  }
  ReportAgainstFloor(State, totals, document);
}
BENCHMARK(BM_ReadRssPartDecode)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ReadRssPartItems(benchmark::State& State) {
  const std::string document = bench::GenerateRss(10u << 20);
  std::vector<std::string> texts = RssFieldTexts(document);
  TFieldDecoder decoder;
  for (std::string& text : texts) decoder.Decode(std::string(text), text);
  TTotals totals;
  for (auto _ : State) {
    TFeed feed;
    TStopwatch watch;
    for (size_t i = 0; i + 3 < texts.size(); i += 4) {
      auto item = std::make_shared<TFeedItem>();
      item->Title = texts[i];
      item->Link = texts[i + 1];
      item->Description = texts[i + 2];
      item->PubDate = texts[i + 3];
      feed.AddItem(std::move(item));
    }
    totals.Add(State, watch);
  }
  ReportAgainstFloor(State, totals, document);
}
BENCHMARK(BM_ReadRssPartItems)->UseManualTime()->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------
// The subscription list

constexpr size_t kListEntries = 10'000;

void FillList(TFeedList& List, const std::string& Document) {
  LoadFeedListFromString(List, Document);
}

void BM_ReadOpml10k(benchmark::State& State) {
  TScratchFolder folder;
  const std::string document = bench::GenerateOpml(kListEntries);
  const std::string path = folder.Path() + "default.opml";
  WriteFileAtomic(path, document);
  TTotals totals;
  TFeedList list;
  for (auto _ : State) {
    TStopwatch watch;
    list.LoadFromFile(path);
    totals.Add(State, watch);
  }
  State.counters["entries"] = list.Count();
  ReportAgainstFloor(State, totals, document);
}
BENCHMARK(BM_ReadOpml10k)->UseManualTime()->Unit(benchmark::kMillisecond);

// The entries alone: the same list built again from fields already decoded, the previous
// entries released first as LoadFromFile does. What is left of BM_ReadOpml10k is the
// file, the parse and the decoding.
void BM_ReadOpmlPartEntries(benchmark::State& State) {
  const std::string document = bench::GenerateOpml(kListEntries);
  TFeedList fields;
  FillList(fields, document);
  TFeedList list;
  TTotals totals;
  for (auto _ : State) {
    TStopwatch watch;
    list.Clear();
    for (int i = 0; i < fields.Count(); ++i) {
      const TFeed& from = *fields.Feeds(i);
      auto entry = std::make_shared<TFeed>();
      entry->Title = from.Title;
      entry->HtmlUrl = from.HtmlUrl;
      entry->XmlUrl = from.XmlUrl;
      entry->Description = from.Description;
      entry->UnreadCount = from.UnreadCount;
      list.Add(std::move(entry));
    }
    totals.Add(State, watch);
  }
  ReportAgainstFloor(State, totals, document);
}
BENCHMARK(BM_ReadOpmlPartEntries)->UseManualTime()->Unit(benchmark::kMillisecond);

// Building the file's text, without the disk.
void BM_FormatOpml10k(benchmark::State& State) {
  TFeedList list;
  FillList(list, bench::GenerateOpml(kListEntries));
  std::string text;
  TTotals totals;
  for (auto _ : State) {
    TStopwatch watch;
    text = JoinLinesCRLF(OpmlLines(list));
    totals.Add(State, watch);
  }
  ReportAgainstFloor(State, totals, text);
}
BENCHMARK(BM_FormatOpml10k)->UseManualTime()->Unit(benchmark::kMillisecond);

// The whole save: text, temporary file, flush to the disk, rename.
void BM_SaveOpml10k(benchmark::State& State) {
  TScratchFolder folder;
  TFeedList list;
  FillList(list, bench::GenerateOpml(kListEntries));
  const std::string path = folder.Path() + "default.opml";
  for (auto _ : State) list.SaveToFile(path);
  State.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}
BENCHMARK(BM_SaveOpml10k)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------
// One mark-as-read: item and feed notified, the feed's cache file and default.opml
// rewritten.

void BM_SetReadOn1000ItemFeedIn1000FeedList(benchmark::State& State) {
  TScratchFolder folder;
  SetDataFolder(folder.Path());
  TFeedList list;
  FillList(list, bench::GenerateOpml(1000));
  TFeed* feed = nullptr;
  for (int i = 0; i < list.Count() && !feed; ++i)
    if (!list.Feeds(i)->XmlUrl.empty()) feed = list.Feeds(i).get();
  // A thousand items of realistic size, taken from the generator's RSS.
  TFeed sample;
  LoadFeedFromString(sample, bench::GenerateRss(1u << 20));
  for (int i = 0; i < 1000; ++i) {
    const TFeedItem& from = sample.Items(i % sample.ItemCount());
    auto item = std::make_shared<TFeedItem>();
    item->Title = from.Title + " " + std::to_string(i);
    item->Link = from.Link;
    item->Description = from.Description;
    item->PubDate = from.PubDate;
    feed->AddItem(std::move(item));
  }
  feed->SaveCache();
  list.SaveDefault();
  int index = 0;
  for (auto _ : State) {
    TFeedItem& item = feed->Items(index);
    item.SetRead(!item.IsRead);
    index = (index + 1) % feed->ItemCount();
  }
  State.counters["items"] = feed->ItemCount();
  State.counters["entries"] = list.Count();
  SetDataFolder("");
}
BENCHMARK(BM_SetReadOn1000ItemFeedIn1000FeedList)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------
// Peak memory of one read, in a process of its own

long PeakResidentKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

int WriteFeed(const std::string& Path, size_t Megabytes, const std::string& Dialect) {
  size_t bytes = Megabytes << 20;
  WriteFileAtomic(Path, Dialect == "atom" ? bench::GenerateAtom(bytes) : bench::GenerateRss(bytes));
  return 0;
}

int ReadFeed(const std::string& Path) {
  double size = static_cast<double>(std::filesystem::file_size(Path));
  long before = PeakResidentKiB();
  TFeed feed;
  auto start = TClock::now();
  feed.LoadFromFile(Path);
  double seconds = SecondsSince(start);
  long peak = PeakResidentKiB();
  double added = static_cast<double>(peak - before) * 1024.0;
  std::printf("file %.1f MB, %d items, read in %.0f ms; peak resident %.1f MB (%.1f MB before reading)\n",
              size / 1048576.0, feed.ItemCount(), seconds * 1e3, static_cast<double>(peak) / 1024.0,
              static_cast<double>(before) / 1024.0);
  std::printf("peak added by reading: %.2f x file size; whole process peak: %.2f x file size\n", added / size,
              static_cast<double>(peak) * 1024.0 / size);
  return 0;
}

}  // namespace
}  // namespace skimbrook

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--write-feed") == 0)
    return skimbrook::WriteFeed(argv[2], std::stoul(argv[3]), argc >= 5 ? argv[4] : "rss");
  if (argc >= 3 && std::strcmp(argv[1], "--read-feed") == 0) return skimbrook::ReadFeed(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
