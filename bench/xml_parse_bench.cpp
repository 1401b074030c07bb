// How fast a large feed becomes a tree, against the cost of merely finding every "<" of
// the same bytes with memchr (the floor: no parser can visit its tags faster).
//   xml_parse_bench [benchmark flags]
//   xml_parse_bench --write-rss=PATH [--bytes=N]   writes the benchmarked document and exits
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "support/FeedGenerator.h"
#include "xml/moxScan.h"
#include "xml/moxXMLParser2.h"

namespace {

using skimbrook::TmoxXMLParser2;

constexpr size_t kDocumentBytes = 10 * 1000 * 1000;

const std::string& RssDocument() {
  static const std::string document = skimbrook::bench::GenerateRss(kDocumentBytes);
  return document;
}

const std::string& AtomDocument() {
  static const std::string document = skimbrook::bench::GenerateAtom(kDocumentBytes);
  return document;
}

// Every iteration works on a fresh copy made outside the timing, so the parser and the
// floor both start from bytes that were just written to memory.
std::string FreshCopy(benchmark::State& State, const std::string& Document) {
  State.PauseTiming();
  std::string copy = Document;
  State.ResumeTiming();
  return copy;
}

size_t CountLessThan(std::string_view Bytes) {
  size_t count = 0;
  const char* cursor = Bytes.data();
  const char* const end = cursor + Bytes.size();
  while (const void* hit = std::memchr(cursor, '<', static_cast<size_t>(end - cursor))) {
    ++count;
    cursor = static_cast<const char*>(hit) + 1;
  }
  return count;
}

// The parser's search pattern without building anything: the "<" and ">" of every tag,
// and after a start tag the text up to the next "<", a CDATA section skipped whole. The
// gap between this and the parse is the cost of the tree.
size_t WalkTags(std::string_view Bytes) {
  using skimbrook::FindByte;
  size_t tags = 0;
  const char* cursor = Bytes.data();
  const char* const end = cursor + Bytes.size();
  for (;;) {
    const char* less = FindByte(cursor, end, '<');
    if (less == nullptr) return tags;
    const char* greater = FindByte(less, end, '>');
    if (greater == nullptr) return tags;
    ++tags;
    cursor = greater + 1;
    if (less[1] == '/' || less[1] == '!' || less[1] == '?' || greater[-1] == '/') continue;
    const char* next = FindByte(cursor, end, '<');
    if (next == nullptr) return tags;
    cursor = next;
    if (end - next < 9 || std::memcmp(next, "<![CDATA[", 9) != 0) continue;
    for (cursor = next + 9;; ++cursor) {
      cursor = FindByte(cursor, end, ']');
      if (cursor == nullptr || end - cursor < 3) return tags;
      if (cursor[1] == ']' && cursor[2] == '>') break;
    }
    cursor += 3;
  }
}

void SetBytes(benchmark::State& State, const std::string& Document) {
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Document.size()));
}

void BM_MemchrFloor(benchmark::State& State) {
  const std::string& document = RssDocument();
  size_t found = 0;
  for (auto _ : State) {
    std::string copy = FreshCopy(State, document);
    found = CountLessThan(copy);
    benchmark::DoNotOptimize(found);
    State.PauseTiming();  // freeing the copy is not the scan's cost
    copy = std::string();
    State.ResumeTiming();
  }
  SetBytes(State, document);
}

void BM_TagWalk(benchmark::State& State) {
  const std::string& document = RssDocument();
  size_t tags = 0;
  for (auto _ : State) {
    std::string copy = FreshCopy(State, document);
    tags = WalkTags(copy);
    benchmark::DoNotOptimize(tags);
    State.PauseTiming();
    copy = std::string();
    State.ResumeTiming();
  }
  SetBytes(State, document);
}

// Parse into a tree and destroy it again, the whole life of a document in the program.
void ParseAndDestroy(benchmark::State& State, const std::string& Document) {
  for (auto _ : State) {
    std::string copy = FreshCopy(State, Document);
    TmoxXMLParser2 doc;
    doc.LoadFromString(std::move(copy));
    if (!doc.LastError.empty()) State.SkipWithError("parse failed");
  }
  SetBytes(State, Document);
}

void BM_ParseRss(benchmark::State& State) {
  ParseAndDestroy(State, RssDocument());
}

// The parse alone, the tree's destruction left out of the timing.
void BM_ParseRssWithoutDestroy(benchmark::State& State) {
  for (auto _ : State) {
    std::string copy = FreshCopy(State, RssDocument());
    auto doc = std::make_unique<TmoxXMLParser2>();
    doc->LoadFromString(std::move(copy));
    State.PauseTiming();
    doc.reset();
    State.ResumeTiming();
  }
  SetBytes(State, RssDocument());
}
void BM_ParseAtom(benchmark::State& State) {
  ParseAndDestroy(State, AtomDocument());
}

BENCHMARK(BM_MemchrFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TagWalk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseRss)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseRssWithoutDestroy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseAtom)->Unit(benchmark::kMillisecond)->UseRealTime();

// Handles --write-rss=PATH [--bytes=N]; returns true when it did.
bool WriteDocumentIfAsked(int argc, char** argv) {
  std::string path;
  size_t bytes = kDocumentBytes;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.starts_with("--write-rss=")) path = arg.substr(12);
    if (arg.starts_with("--bytes=")) bytes = std::stoul(std::string(arg.substr(8)));
  }
  if (path.empty()) return false;
  const std::string document = bytes == kDocumentBytes ? RssDocument() : skimbrook::bench::GenerateRss(bytes);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(document.data(), 1, document.size(), file) != document.size() ||
      std::fclose(file) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::printf("%zu bytes, %zu \"<\", %zu tags\n", document.size(), CountLessThan(document),
              WalkTags(document));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (WriteDocumentIfAsked(argc, argv)) return 0;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
