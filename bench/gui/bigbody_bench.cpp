// Two large bodies fetched by a whole download run from a loopback HTTP server: 60 MiB of
// line feeds, and a channel of 6,000,000 empty items. Each run happens in a child process
// of its own (this program started again with --child), so that its peak memory (VmHWM)
// is that of one run alone; the child also reports the longest gap between two ticks of a
// 10 ms timer while the run fetches, splits, stores and reads the body.
//
// The feed has a cache file before the run, so the download goes through the whole file
// protocol: the old file moved aside, the new one stored, read, merged and rewritten.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "download/QtRunSupport.h"
#include "download/fDownload.h"
#include "support/ScratchFolder.h"
#include "tools/LoopbackHttpServer.h"

extern char** environ;

namespace skimbrook {
namespace {

const char* const kChildSwitch = "--child";

using bench::TScratchFolder;

// The process's peak resident set in KiB, from /proc/self/status.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// The child: one run of one feed at Url, then a line of figures on standard output.
int RunChild(int argc, char** argv, const std::string& Url) {
  QApplication app(argc, argv);
  TScratchFolder folder("skimbrook-bigbody");
  auto feed = std::make_shared<TFeed>("Big", "", Url, "");
  std::ofstream(feed->CacheFileName())
      << "<rss version=\"2.0\"><channel><title>Big</title><item><title>x</title></item></channel></rss>";
  qint64 longest = 0;
  qint64 runMs = 0;
  std::string status;
  {
    TfmDownload window(std::nullopt, nullptr);
    window.QueueFeed(feed);
    QElapsedTimer sinceTick;
    bool ticked = false;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
      if (ticked) longest = std::max(longest, sinceTick.elapsed());
      ticked = true;
      sinceTick.restart();
    });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    test::RunUntilFinished(window);
    runMs = clock.elapsed();
    // The time from the last tick to the end of the run counts as a gap too.
    if (ticked) longest = std::max(longest, sinceTick.elapsed());
    status = window.Run().RowStatus(0);
  }
  std::printf("status=%s items=%d peak_kib=%ld longest_gap_ms=%lld run_ms=%lld\n", status.c_str(),
              feed->ItemCount(), PeakResidentKiB(), static_cast<long long>(longest),
              static_cast<long long>(runMs));
  return 0;
}

// Runs this program as a child on Url and returns what it printed.
std::string RunInChild(const std::string& Url) {
  int out[2];
  if (::pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string url = Url;
  char* argv[] = {self.data(), const_cast<char*>(kChildSwitch), url.data(), nullptr};
  pid_t pid = -1;
  int spawned = ::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; spawned == 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  if (spawned == 0) ::waitpid(pid, nullptr, 0);
  return text;
}

// The number after Name= in Text, or -1.
double Figure(const std::string& Text, const std::string& Name) {
  size_t at = Text.find(Name + "=");
  return at == std::string::npos ? -1 : std::strtod(Text.c_str() + at + Name.size() + 1, nullptr);
}

void RunBigBody(benchmark::State& State, const std::string& Path) {
  test::LoopbackHttpServer server;
  server.ServeRepeated("/lines.xml", "", "\n", 60ull * 1024 * 1024, "");
  server.ServeRepeated("/items.xml",
                       "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Big</title>\n",
                       "<item/>", 6000000, "</channel></rss>\n");
  std::string figures;
  for (auto _ : State) figures = RunInChild(server.Url(Path));
  if (figures.find("status=") == std::string::npos) {
    State.SkipWithError("the child reported nothing");
    return;
  }
  State.SetLabel(figures.substr(0, figures.find('\n')));
  State.counters["peak_mib"] = Figure(figures, "peak_kib") / 1024;
  State.counters["longest_gap_ms"] = Figure(figures, "longest_gap_ms");
  State.counters["run_ms"] = Figure(figures, "run_ms");
  State.counters["items"] = Figure(figures, "items");
}

void BM_SixtyMiBOfLineFeeds(benchmark::State& State) {
  RunBigBody(State, "/lines.xml");
}
BENCHMARK(BM_SixtyMiBOfLineFeeds)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_SixMillionEmptyItems(benchmark::State& State) {
  RunBigBody(State, "/items.xml");
}
BENCHMARK(BM_SixMillionEmptyItems)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace skimbrook

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc == 3 && std::string(argv[1]) == skimbrook::kChildSwitch)
    return skimbrook::RunChild(argc, argv, argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
