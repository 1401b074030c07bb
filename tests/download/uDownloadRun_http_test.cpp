// Download runs against a loopback web that acts like today's hosts: validators echoed and
// renewed, 304 answers that touch no file, compressed bodies, a decompression bomb, a
// server that asks to wait, fresh documents, feeds that have moved, and several hosts
// answering slowly side by side.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "base/uFiles.h"
#include "download/CurlPollPump.h"
#include "download/DownloadTestSupport.h"
#include "download/uCurlHttpClient.h"
#include "download/uDownloadRun.h"
#include "tools/LoopbackHttpServer.h"
#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

using test::LoopbackHttpServer;
using test::ReadFile;
using test::Rss;

std::string Gzip(const std::string& Text) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("zlib");
  std::string out(deflateBound(&stream, Text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Text.data()));
  stream.avail_in = static_cast<uInt>(Text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

class FetchWorld : public ::testing::Test {
 protected:
  FetchWorld() : state(dir.Path() + "fetch-state.json") { SetDataFolder(dir.Path()); }
  ~FetchWorld() override { SetDataFolder(""); }

  std::shared_ptr<TFeed> Feed(const std::string& Path) {
    auto feed = std::make_shared<TFeed>("Feed", "", server.Url(Path), "");
    list.Add(feed);
    return feed;
  }
  // One run over Feeds; returns the rows' statuses, and the run's log in Log when given.
  std::vector<std::string> RunOnce(const std::vector<std::shared_ptr<TFeed>>& Feeds, TRunOptions Options = {},
                                   std::vector<std::string>* Log = nullptr) {
    test::TRecordingView view;
    TDownloadRun run(std::make_unique<TCurlHttpClient>(std::make_unique<test::TCurlPollPump>()), view);
    run.SetFetchState(state);
    run.SetOptions(Options);
    for (const auto& feed : Feeds) run.QueueFeed(feed);
    run.RunQueue(std::nullopt);
    std::vector<std::string> statuses;
    for (int row = 0; row < run.RowCount(); ++row) statuses.push_back(run.RowStatus(row));
    if (Log) *Log = run.LogLines();
    return statuses;
  }
  std::vector<LoopbackHttpServer::Request> RequestsFor(const std::string& Path) {
    std::vector<LoopbackHttpServer::Request> found;
    for (const auto& request : server.Requests())
      if (request.Path == Path) found.push_back(request);
    return found;
  }

  test::TTempDir dir;
  LoopbackHttpServer server;
  TFetchState state;
  TFeedList list;
};

TEST_F(FetchWorld, ValidatorsAreEchoedExactlyAndA304LeavesEveryFileAsItWas) {
  const std::string etag = "W/\"a b\xE9\"", modified = "Tue, 08 Dec 2026 10:00:00 GMT";
  server.Serve("/feed.xml", Rss({"One", "Two"}), 200, {{"ETag", etag}, {"Last-Modified", modified}});
  auto feed = Feed("/feed.xml");
  EXPECT_EQ(RunOnce({feed}), std::vector<std::string>{"done"});
  // The first request went unconditionally: nothing was stored yet.
  EXPECT_FALSE(RequestsFor("/feed.xml").at(0).HeaderValue("If-None-Match"));

  feed->Items(0).SetRead(true);
  feed->SaveCache();
  const std::string cache = ReadFile(feed->CacheFileName());
  server.Serve("/feed.xml", "", 304, {{"ETag", "\"renewed\""}});
  EXPECT_EQ(RunOnce({feed}), std::vector<std::string>{"done"});
  const auto second = RequestsFor("/feed.xml").at(1);
  EXPECT_EQ(second.HeaderValue("If-None-Match"), etag);
  EXPECT_EQ(second.HeaderValue("If-Modified-Since"), modified);
  EXPECT_EQ(ReadFile(feed->CacheFileName()), cache);
  EXPECT_FALSE(FileExists(feed->CacheFileName() + ".bak"));
  EXPECT_EQ(state.For(feed->XmlUrl).ETag, "\"renewed\"");  // renewed by the 304
  EXPECT_EQ(state.For(feed->XmlUrl).LastModified, modified);

  // Without the cache file the request is unconditional again.
  std::remove(feed->CacheFileName().c_str());
  server.Serve("/feed.xml", Rss({"One"}));
  RunOnce({feed});
  EXPECT_FALSE(RequestsFor("/feed.xml").at(2).HeaderValue("If-None-Match"));
}

TEST_F(FetchWorld, ACompressedBodyIsStoredDecodedAndABombIsRefused) {
  const std::string document = Rss({"Packed"});
  server.Serve("/gz.xml", Gzip(document), 200, {{"Content-Encoding", "gzip"}});
  server.Serve("/bomb.xml", Gzip(std::string(65u << 20, ' ')), 200, {{"Content-Encoding", "gzip"}});
  auto packed = Feed("/gz.xml"), bomb = Feed("/bomb.xml");
  EXPECT_EQ(RunOnce({packed, bomb}), (std::vector<std::string>{"done", "error"}));
  EXPECT_NE(RequestsFor("/gz.xml").at(0).HeaderValue("Accept-Encoding").value_or("").find("gzip"),
            std::string::npos);
  ASSERT_EQ(packed->ItemCount(), 1);
  EXPECT_EQ(packed->Items(0).Title, "Packed");
  const std::string stored = ReadFile(packed->CacheFileName());
  EXPECT_NE(stored.find("Packed"), std::string::npos);
  EXPECT_EQ(stored.find("\x1F\x8B"), std::string::npos);  // no gzip header
  EXPECT_FALSE(FileExists(bomb->CacheFileName()));
  EXPECT_NE(state.For(bomb->XmlUrl).LastFailure.find("too large"), std::string::npos);
}

TEST_F(FetchWorld, AServerAskingToWaitIsSkippedUntilThenExceptForTheUsersOwnDownloadOfIt) {
  server.Serve("/busy.xml", "", 429, {{"Retry-After", "3600"}});
  auto busy = Feed("/busy.xml");
  EXPECT_EQ(RunOnce({busy}), std::vector<std::string>{"error"});
  EXPECT_NE(state.For(busy->XmlUrl).LastFailure.find("429"), std::string::npos);

  server.Serve("/busy.xml", Rss({"Back"}));
  const auto skipped = RunOnce({busy}, {TRunKind::Automatic});
  EXPECT_EQ(skipped.at(0).rfind("skipped: server asked to wait until ", 0), 0u) << skipped.at(0);
  EXPECT_EQ(RunOnce({busy}, {TRunKind::UserSeveral}), skipped);
  EXPECT_EQ(RequestsFor("/busy.xml").size(), 1u);  // skipping sent nothing
  EXPECT_FALSE(FileExists(busy->CacheFileName()));

  EXPECT_EQ(RunOnce({busy}, {TRunKind::UserOne}), std::vector<std::string>{"done"});
}

TEST_F(FetchWorld, AFreshDocumentIsSkippedOnlyByTheRunsThatStartByThemselves) {
  server.Serve("/fresh.xml", Rss({"One"}), 200, {{"Cache-Control", "public, max-age=600"}});
  auto fresh = Feed("/fresh.xml");
  RunOnce({fresh});
  EXPECT_EQ(RunOnce({fresh}, {TRunKind::Automatic}).at(0).rfind("skipped: fresh until ", 0), 0u);
  EXPECT_EQ(RequestsFor("/fresh.xml").size(), 1u);
  EXPECT_EQ(RunOnce({fresh}, {TRunKind::UserSeveral}), std::vector<std::string>{"done"});
  EXPECT_EQ(RequestsFor("/fresh.xml").size(), 2u);
}

TEST_F(FetchWorld, AMovedFeedFailsWithItsNewAddressOrMovesWithItsReadFlagsWhenFollowed) {
  server.Serve("/new.xml", Rss({"One", "Two"}));
  server.Redirect("/old.xml", server.Url("/new.xml"), 301);
  auto moved = Feed("/old.xml");
  // A cache from before the move, with one item read.
  server.Serve("/old-copy.xml", Rss({"One", "Two"}));
  EXPECT_EQ(RunOnce({moved}), std::vector<std::string>{"error"});
  EXPECT_EQ(state.For(moved->XmlUrl).LastFailure, "moved to " + server.Url("/new.xml"));
  EXPECT_EQ(state.For(moved->XmlUrl).MovedTo, server.Url("/new.xml"));
  EXPECT_FALSE(FileExists(moved->CacheFileName()));

  // Stored under the old name first, with a read flag, then followed.
  const std::string oldUrl = moved->XmlUrl;
  moved->XmlUrl = server.Url("/old-copy.xml");
  RunOnce({moved});
  std::rename(moved->CacheFileName().c_str(), TFeed("", "", oldUrl, "").CacheFileName().c_str());
  moved->XmlUrl = oldUrl;
  moved->LoadFromFile(moved->CacheFileName());
  moved->Items(0).SetRead(true);
  moved->SaveCache();

  TRunOptions follow;
  follow.FollowRedirects = true;
  EXPECT_EQ(RunOnce({moved}, follow), std::vector<std::string>{"done"});
  EXPECT_EQ(moved->XmlUrl, server.Url("/new.xml"));
  EXPECT_FALSE(FileExists(TFeed("", "", oldUrl, "").CacheFileName()));
  ASSERT_EQ(moved->ItemCount(), 2);
  EXPECT_TRUE(moved->Items(0).IsRead);
  EXPECT_FALSE(moved->Items(1).IsRead);
  EXPECT_EQ(state.Find(oldUrl), nullptr);
  ASSERT_NE(state.Find(moved->XmlUrl), nullptr);
}

TEST_F(FetchWorld, AnAnswerThatIsNoFeedFailsItsRowAndKeepsTheCacheAndEveryReadFlag) {
  struct TCase {
    const char* Name;
    std::string Body;
    const char* Reason;
  };
  std::string withNul = Rss({"One", "Two"});
  withNul.insert(withNul.find("<title>") + 7, std::string("Bad\0Title", 9));
  const TCase cases[] = {
      {"NUL byte", withNul, "holds a NUL byte"},
      {"HTML page", "<!DOCTYPE html><html><body><p>Moved</p></body></html>", "not a feed"},
      {"empty body", "", "not a feed"},
      {"line feeds only", std::string(1 << 20, '\n'), "not a feed"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    server.Serve("/feed.xml", Rss({"One", "Two", "Three"}));
    auto feed = Feed("/feed.xml");
    ASSERT_EQ(RunOnce({feed}), std::vector<std::string>{"done"});
    feed->Items(0).SetRead(true);
    feed->Items(2).SetRead(true);
    feed->SaveCache();
    const std::string cache = ReadFile(feed->CacheFileName());

    server.Serve("/feed.xml", c.Body);
    EXPECT_EQ(RunOnce({feed}), std::vector<std::string>{"error"});
    EXPECT_EQ(state.For(feed->XmlUrl).LastFailure, c.Reason);
    EXPECT_EQ(ReadFile(feed->CacheFileName()), cache);
    EXPECT_FALSE(FileExists(feed->CacheFileName() + ".bak"));

    server.Serve("/feed.xml", Rss({"One", "Two", "Three"}));
    EXPECT_EQ(RunOnce({feed}), std::vector<std::string>{"done"});
    ASSERT_EQ(feed->ItemCount(), 3);
    EXPECT_EQ(feed->CountUnread(), 1);
    std::remove(feed->CacheFileName().c_str());
  }
}

TEST_F(FetchWorld, AChainMovesTheFeedOnlyAsFarAsItsPermanentHopsAndSaysSo) {
  server.Serve("/for-now.xml", Rss({"One"}));
  server.Redirect("/old.xml", server.Url("/new.xml"), 301);
  server.Redirect("/new.xml", server.Url("/for-now.xml"), 302);
  auto feed = Feed("/old.xml");
  TRunOptions follow;
  follow.FollowRedirects = true;
  std::vector<std::string> log;
  EXPECT_EQ(RunOnce({feed}, follow, &log), std::vector<std::string>{"done"});
  EXPECT_EQ(feed->XmlUrl, server.Url("/new.xml"));
  ASSERT_EQ(feed->ItemCount(), 1);
  const std::string movedLine = server.Url("/old.xml") + " moved to " + server.Url("/new.xml");
  EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                          [&](const std::string& Line) { return Line.ends_with(movedLine); }));

  // A temporary hop first moves nothing.
  server.Redirect("/elsewhere.xml", server.Url("/for-now.xml"), 302);
  auto visiting = Feed("/elsewhere.xml");
  EXPECT_EQ(RunOnce({visiting}, follow), std::vector<std::string>{"done"});
  EXPECT_EQ(visiting->XmlUrl, server.Url("/elsewhere.xml"));
}

TEST_F(FetchWorld, AFeedThatMovesToAnAddressAnotherEntryHasKeepsItsOwnAndSaysWhere) {
  server.Serve("/new.xml", Rss({"One"}));
  server.Redirect("/old.xml", server.Url("/new.xml"), 301);
  auto already = Feed("/new.xml");
  auto moving = Feed("/old.xml");
  TRunOptions follow;
  follow.FollowRedirects = true;
  std::vector<std::string> log;
  EXPECT_EQ(RunOnce({moving}, follow, &log), std::vector<std::string>{"done"})
      << "the document is read all the same";
  EXPECT_EQ(moving->ItemCount(), 1);
  EXPECT_EQ(moving->XmlUrl, server.Url("/old.xml")) << "no second subscription to /new.xml";
  EXPECT_EQ(list.IndexOfAddress(server.Url("/new.xml")), list.IndexOf(*already));
  EXPECT_EQ(state.For(moving->XmlUrl).MovedTo, server.Url("/new.xml")) << "Feed Info still tells";
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& Line) {
    return Line.ends_with("which another entry already has; the entry keeps its address");
  }));
}

TEST(ParallelFetchWorld, AtMostTwoAtOnceToAHostAndEveryFeedGetsItsOwnAnswerAndLines) {
  test::TTempDir dir;
  SetDataFolder(dir.Path());
  std::vector<std::unique_ptr<LoopbackHttpServer>> hosts;
  std::vector<std::shared_ptr<TFeed>> feeds;
  for (int i = 2; i <= 5; ++i) {
    hosts.push_back(std::make_unique<LoopbackHttpServer>("127.0.0." + std::to_string(i)));
    for (int j = 0; j < 3; ++j) {
      const std::string path = "/feed" + std::to_string(j) + ".xml";
      // Each document names its own address, so that a body given to the wrong feed shows.
      hosts.back()->ServeAfter(path, Rss({hosts.back()->Url(path)}), std::chrono::milliseconds(300));
      feeds.push_back(std::make_shared<TFeed>("Feed", "", hosts.back()->Url(path), ""));
    }
  }
  test::TRecordingView view;
  TDownloadRun run(std::make_unique<TCurlHttpClient>(std::make_unique<test::TCurlPollPump>()), view);
  TRunOptions options;
  options.Simultaneous = 6;
  run.SetOptions(options);
  for (const auto& feed : feeds) run.QueueFeed(feed);
  run.RunQueue(std::nullopt);

  int most = 0;
  for (const auto& host : hosts) {
    EXPECT_LE(host->MostAnswersAtOnce(), kMaxPerHost) << host->Authority();
    most = std::max(most, host->MostAnswersAtOnce());
  }
  EXPECT_EQ(most, kMaxPerHost);
  for (int row = 0; row < run.RowCount(); ++row) {
    EXPECT_EQ(run.RowStatus(row), "done");
    ASSERT_EQ(feeds[row]->ItemCount(), 1);
    EXPECT_EQ(feeds[row]->Items(0).Title, feeds[row]->XmlUrl);
  }
  // The groups come in row order, and a feed's connection lines name its own host.
  std::vector<std::string> order;
  for (const std::string& line : run.LogLines()) {
    const std::string text = line.substr(line.find("   ") + 3);
    if (text.starts_with("Downloading ")) order.push_back(text.substr(12));
    if (text.starts_with("Status: Connecting to ")) {
      ASSERT_FALSE(order.empty());
      EXPECT_EQ(HostOfUrl(order.back()), text.substr(22, text.size() - 23)) << text;
    }
  }
  std::vector<std::string> urls;
  for (const auto& feed : feeds) urls.push_back(feed->XmlUrl);
  EXPECT_EQ(order, urls);
  SetDataFolder("");
}

}  // namespace
}  // namespace skimbrook
