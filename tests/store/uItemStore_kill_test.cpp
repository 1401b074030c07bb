// A writer killed at random moments: the store still opens sound, and every feed whose
// transaction committed is whole (all of one document's items, none of another's).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "model/uRSS_internal.h"
#include "store/StoreTestSupport.h"
#include "store/uItemStore.h"

namespace skimbrook {
namespace {

constexpr int kFeeds = 8;
constexpr int kItemsPerDocument = 20;
constexpr int kKills = 60;

std::string FeedUrl(int Feed) {
  return "http://kill.example/" + std::to_string(Feed);
}

// The document of a generation: a window of item identities that moves with the
// generation, so items leave and come back, each titled with its generation.
std::vector<test::TDocItem> DocumentItems(int Generation) {
  std::vector<test::TDocItem> items;
  const int first = Generation % 7;
  for (int k = first; k < first + kItemsPerDocument; ++k)
    items.emplace_back("g" + std::to_string(Generation) + " i" + std::to_string(k), "i" + std::to_string(k));
  return items;
}

// "title|title|..." sorted, as the check below reads it back.
std::string ExpectedTitles(int Generation) {
  std::vector<std::string> titles;
  for (const test::TDocItem& item : DocumentItems(Generation)) titles.push_back(item.Title);
  std::sort(titles.begin(), titles.end());
  std::string joined;
  for (const std::string& title : titles) joined += (joined.empty() ? "" : "|") + title;
  return joined;
}

struct TCommitted {
  int Feed;
  int Generation;
};

// The child: stores generation after generation, one feed per transaction, and reports
// each commit through the pipe until it is killed.
[[noreturn]] void WriteUntilKilled(int Pipe, int Round) {
  TItemStore store;
  if (!store.Open().Ok()) _exit(2);
  // Each round starts on another feed, so that a slow writer still reaches them all.
  for (int generation = Round * 100000 + Round;; ++generation) {
    const int feedIndex = generation % kFeeds;
    TFeed feed("F", "", FeedUrl(feedIndex), "");
    LoadFeedFromString(feed, test::RssDocument(DocumentItems(generation)));
    if (!store.StoreFeed(feed, "").Ok()) _exit(3);
    const TCommitted committed{feedIndex, generation};
    if (write(Pipe, &committed, sizeof committed) != sizeof committed) _exit(4);
  }
}

// The last generation the child reported committed, per feed.
std::map<int, int> ReadCommitted(int Pipe) {
  std::map<int, int> last;
  TCommitted committed{};
  while (read(Pipe, &committed, sizeof committed) == sizeof committed)
    last[committed.Feed] = committed.Generation;
  return last;
}

std::string CurrentTitles(const std::string& Path, int Feed) {
  const std::string sql =
      "SELECT group_concat(t, '|') FROM (SELECT CAST(i.title AS TEXT) t FROM items i JOIN feeds f ON f.id = "
      "i.feed "
      "WHERE f.url = CAST('" +
      FeedUrl(Feed) + "' AS BLOB) AND i.current = 1 ORDER BY t)";
  return test::QueryOnOwnConnection(Path, sql.c_str());
}

// The generation written in the first title of Titles ("g123 i4|...").
int GenerationOf(const std::string& Titles) {
  return std::stoi(Titles.substr(1, Titles.find(' ') - 1));
}

TEST(ItemStoreKillTest, KilledWriterLosesNoCommittedFeedAndLeavesASoundFile) {
  test::TTempDir dir;
  SetDataFolder(dir.Path());
  const std::string path = dir.File("items.db");
  std::mt19937 random(20240301);
  std::map<int, int> committed;
  for (int round = 0; round < kKills; ++round) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeEnds[0]);
      WriteUntilKilled(pipeEnds[1], round);
    }
    close(pipeEnds[1]);
    // The kill comes at a random moment after the first commit, so that it lands among the
    // writes however slowly the writer starts (a sanitizer build starts many times slower).
    TCommitted first{};
    ASSERT_EQ(read(pipeEnds[0], &first, sizeof first), static_cast<ssize_t>(sizeof first));
    committed[first.Feed] = first.Generation;
    usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << WEXITSTATUS(status);
    for (const auto& [feed, generation] : ReadCommitted(pipeEnds[0])) committed[feed] = generation;
    close(pipeEnds[0]);

    TItemStore store;
    const TOpenResult opened = store.Open();
    ASSERT_TRUE(opened.Ok() && opened.DamagedCopyPath.empty()) << opened.Problem << " in round " << round;
    ASSERT_EQ(test::QueryOnOwnConnection(path, "PRAGMA integrity_check"), "ok") << "round " << round;
    ASSERT_EQ(test::QueryOnOwnConnection(
                  path, "INSERT INTO item_text(item_text, rank) VALUES('integrity-check', 1)"),
              "")
        << "round " << round;
    for (const auto& [feed, generation] : committed) {
      const std::string titles = CurrentTitles(path, feed);
      ASSERT_FALSE(titles.empty()) << "feed " << feed << " lost in round " << round;
      const int stored = GenerationOf(titles);
      // The child may have committed one more transaction than it could report.
      EXPECT_GE(stored, generation) << "feed " << feed << " in round " << round;
      EXPECT_EQ(titles, ExpectedTitles(stored)) << "feed " << feed << " is not whole in round " << round;
    }
  }
  EXPECT_EQ(committed.size(), static_cast<size_t>(kFeeds)) << "the writer should get some work done";
  SetDataFolder("");
}

}  // namespace
}  // namespace skimbrook
