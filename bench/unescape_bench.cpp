// XmlUnescape on 1 MB of entity-heavy feed text, against the floor (a memchr loop that
// finds every '&' of the same bytes, already in memory) and against the step-by-step
// decoding, which runs on a 64 KB slice of the same text. Figures compare as time per
// byte (the counter "bytes" gives each one's length), so the slice's figure stands for
// the whole megabyte as long as the steps take time in proportion to the text's length
// (each step is one scan of it).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "model/uRSS.h"
#include "tools/LiteralUnescape.h"

namespace {

constexpr size_t kTextBytes = 1 << 20;
constexpr size_t kSliceBytes = 64 << 10;

// Escaped HTML as feeds carry it: words, markup, named, numeric and typographic
// references, some escaped twice, some left alone, and backslash sequences; one '&' in
// about 8 bytes.
const std::string& EntityHeavyText() {
  static const std::string text = [] {
    static const std::vector<std::string> pieces = {
        "the ",
        "news ",
        "of ",
        "today ",
        "caf&#233; ",
        "&lt;p&gt;",
        "&lt;/p&gt;",
        "&amp; ",
        "&amp;amp; ",
        "&quot;",
        "&apos;",
        "&#8217;",
        "&#8220;",
        "&#8221;",
        "&#39;",
        "&#039;",
        "&#38; ",
        "&nbsp;",
        "&#x27;",
        "\\n",
        "&amp;lt;b&amp;gt;",
        "&#8212; ",
        "2024 ",
        "AT&T ",
        "&lt;a href=&quot;http://example.com/?a=1&amp;b=2&quot;&gt;",
        "link",
        "&lt;/a&gt; "};
    std::mt19937 random(20240601);
    std::string out;
    out.reserve(kTextBytes + 64);
    while (out.size() < kTextBytes) out += pieces[random() % pieces.size()];
    out.resize(kTextBytes);
    return out;
  }();
  return text;
}

// The fastest of the repetitions: on a shared machine the others carry interference.
double Fastest(const std::vector<double>& Values) {
  return *std::min_element(Values.begin(), Values.end());
}

// The floor: finding every '&' with memchr, one call per '&', touching nothing else.
void BM_MemchrFloor(benchmark::State& State) {
  const std::string& text = EntityHeavyText();
  size_t found = 0;
  for (auto _ : State) {
    found = 0;
    const char* const end = text.data() + text.size();
    for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(p, '&', end - p))); ++p)
      ++found;
    benchmark::DoNotOptimize(found);
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * text.size()));
  State.counters["bytes"] = static_cast<double>(text.size());
  State.counters["ampersands"] = static_cast<double>(found);
}
BENCHMARK(BM_MemchrFloor)->ComputeStatistics("min", Fastest);

void BM_XmlUnescape(benchmark::State& State) {
  const std::string& text = EntityHeavyText();
  for (auto _ : State) benchmark::DoNotOptimize(skimbrook::XmlUnescape(text));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * text.size()));
  State.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_XmlUnescape)->ComputeStatistics("min", Fastest);

void BM_XmlUnescapeOnce(benchmark::State& State) {
  const std::string& text = EntityHeavyText();
  for (auto _ : State) benchmark::DoNotOptimize(skimbrook::XmlUnescapeOnce(text));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * text.size()));
  State.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_XmlUnescapeOnce)->ComputeStatistics("min", Fastest);

// Two passes of every replace-all step over the whole slice, as the rules read.
void BM_LiteralSteps(benchmark::State& State) {
  const std::string slice = EntityHeavyText().substr(0, kSliceBytes);
  for (auto _ : State) {
    std::string text = slice;
    for (int pass = 0; pass < 2; ++pass)
      for (const skimbrook::test::TUnescapeStep& step : skimbrook::test::UnescapeSteps())
        text = skimbrook::test::ReplaceAllIgnoreCase(text, step.Find, step.ReplaceBy);
    benchmark::DoNotOptimize(text);
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * slice.size()));
  State.counters["bytes"] = static_cast<double>(slice.size());
}
BENCHMARK(BM_LiteralSteps)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);

// The tests' reference: the same steps, passing over those with nothing to find.
void BM_LiteralReference(benchmark::State& State) {
  const std::string slice = EntityHeavyText().substr(0, kSliceBytes);
  for (auto _ : State) benchmark::DoNotOptimize(skimbrook::test::LiteralUnescape(slice));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * slice.size()));
  State.counters["bytes"] = static_cast<double>(slice.size());
}
BENCHMARK(BM_LiteralReference)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest);

}  // namespace

BENCHMARK_MAIN();
