// A download of the current feed through the real download window from a loopback server.
#include <QApplication>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "MainWindowFixture.h"
#include "settings/uMemoryRegistry.h"
#include "settings/uSettings.h"
#include "tools/LoopbackHttpServer.h"
#include "ui/panes/uCaptionPanel.h"
#include "ui/window/uDownloadSetup.h"

namespace skimbrook::test {

namespace {

const char kFeed[] =
    "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Loopback News</title>"
    "<link>http://127.0.0.1/</link><description>Served here</description>"
    "<item><title>First "
    "story</title><link>http://127.0.0.1/1</link><description>&lt;b&gt;one&lt;/b&gt;</description>"
    "<pubDate>Mon, 03 May 2004 10:00:00 GMT</pubDate></item>"
    "<item><title>Second story</title><link>http://127.0.0.1/2</link><description>two</description></item>"
    "</channel></rss>\n";

class Downloading : public MainWindowTest {
 protected:
  Downloading() : workingFolder(std::filesystem::current_path()) {
    // The run leaves its log in the current folder.
    std::filesystem::current_path(data.Path());
    useDownloadWindow = true;
  }
  ~Downloading() override { std::filesystem::current_path(workingFolder); }

  std::filesystem::path workingFolder;
  LoopbackHttpServer server;
};

TEST(DiscoveryFetch, APageThatDripsCanBeCancelledAndAnOversizedOneIsNotRead) {
  LoopbackHttpServer server;
  server.ServeSlowly("/drip", std::string(10000, 'x'), std::chrono::milliseconds(200));
  server.ServeHuge("/huge", 3u << 20);
  TMemoryRegistry store;
  const TSettings settings(store, "/usr/bin/skimbrook");
  int polls = 0;
  QTimer canceller;
  QObject::connect(&canceller, &QTimer::timeout, [&] {
    ++polls;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* progress = qobject_cast<QProgressDialog*>(widget); progress && progress->isVisible())
        if (auto* cancel = progress->findChild<QPushButton*>()) cancel->click();
  });
  canceller.start(100);
  const auto dripping = FetchPageForDiscovery(settings, server.Url("/drip"));
  canceller.stop();
  ASSERT_TRUE(dripping.has_value());
  EXPECT_TRUE(dripping->Cancelled);
  EXPECT_LT(polls, 50) << "the look ended soon after Cancel, long before the page would have";
  EXPECT_FALSE(FetchPageForDiscovery(settings, server.Url("/huge")).has_value());
}

TEST_F(Downloading, TheCurrentFeedsDownloadRebuildsTheItemListAndSelectsTheFirstItem) {
  server.Serve("/feed.xml", kFeed);
  WriteSubscriptions({{"Loop", server.Url("/feed.xml")}});
  Open();
  ClickFeedRow(0);
  ASSERT_EQ(Ui().lbItems->count(), 0);
  window->DownloadCurrentFeed();
  WaitForDownload();
  EXPECT_EQ(ItemLines(), QStringList({"+First story (Mon, 03 May 2004 10:00:00 GMT)", "+Second story"}));
  EXPECT_EQ(Ui().lbItems->currentRow(), 0);
  ASSERT_NE(window->CurrentItem(), nullptr);
  EXPECT_EQ(window->CurrentItem()->Title, "First story");
  EXPECT_EQ(Ui().plFeedTitle->text(), "Loopback News");
  EXPECT_EQ(browser->Pages.last(), "<html><b>one</b></html>");
  EXPECT_EQ(FeedRows(), QStringList({"2 Loopback News"}));
  EXPECT_TRUE(Exists(data.File("download.log")));
  EXPECT_FALSE(window->IsDownloading());
}

TEST_F(Downloading, TheStateSavedAfterARunHoldsOnlyTheSubscribedFeeds) {
  server.Serve("/feed.xml", kFeed);
  WriteSubscriptions({{"Loop", server.Url("/feed.xml")}});
  WriteFile(
      data.File("fetch-state.json"),
      R"({"feeds":{"http://gone.example/rss":{"etag":"\"x\""},"http://gone.example/b":{"future":[1]}}})");
  Open();
  ClickFeedRow(0);
  window->DownloadCurrentFeed();
  WaitForDownload();
  const std::string saved = ReadFile(data.File("fetch-state.json"));
  EXPECT_EQ(saved.find("gone.example"), std::string::npos) << saved;
  EXPECT_NE(saved.find("/feed.xml"), std::string::npos) << saved;
}

TEST(DownloadProxy, IsGivenOnlyWithUseProxyAndCarriesTheCredentialsEitherWay) {
  TMemoryRegistry registry;
  TSettings settings(registry, "/nonexistent/skimbrook");
  EXPECT_FALSE(DownloadProxy(settings).has_value());

  settings.UseProxy = true;
  settings.ProxyAddress = "proxy.example";
  settings.ProxyPort = 3128;
  settings.ProxyUserName = "user";
  settings.ProxyPassword = "secret";
  for (bool authentication : {false, true}) {
    settings.UseAuthentication = authentication;
    auto proxy = DownloadProxy(settings);
    ASSERT_TRUE(proxy.has_value());
    EXPECT_EQ(proxy->Host, "proxy.example");
    EXPECT_EQ(proxy->Port, 3128);
    EXPECT_EQ(proxy->UserName, "user");
    EXPECT_EQ(proxy->Password, "secret");
    EXPECT_EQ(proxy->BasicAuthentication, authentication);
  }
}

}  // namespace

}  // namespace skimbrook::test
