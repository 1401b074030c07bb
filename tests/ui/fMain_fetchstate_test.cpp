// What the window makes of the fetch state: each feed's text in its own encoding, a mark on
// a feed whose last download failed, Feed Info's move to a feed's new address, and Add
// Feed's browser forms and discovery.
#include <gtest/gtest.h>

#include <QListWidget>

#include "MainWindowFixture.h"
#include "base/uFiles.h"
#include "download/uFetchState.h"
#include "ui/painting/uFeedListDelegate.h"
#include "ui/panes/uCaptionPanel.h"
#include "ui/panes/uFeedListBox.h"

namespace skimbrook::test {
namespace {

class FetchStateInTheWindow : public MainWindowTest {
 protected:
  // Writes the fetch state the window reads at start.
  void WriteRecord(const std::string& Url, const std::function<void(TFetchRecord&)>& Fill) {
    TFetchState state(data.File("fetch-state.json"));
    state.Load();
    Fill(state.For(Url));
    state.Save();
  }
  QModelIndex Row(int Index) { return Ui().lbFeedList->model()->index(Index, 0); }
};

TEST_F(FetchStateInTheWindow, AFeedIsShownInTheEncodingItsDocumentNamed) {
  const std::string url = "http://127.0.0.1/orenburg";
  // "Новости" and "Погода" in windows-1251, which the Windows-1252 rule would show as
  // "Íîâîñòè" and "Ïîãîäà".
  WriteSubscriptions({{"\xCD\xEE\xE2\xEE\xF1\xF2\xE8", url, 1}});
  WriteCache(url, {"\xCF\xEE\xE3\xEE\xE4\xE0 &#8211; &hellip;"}, "\xCD\xEE\xE2\xEE\xF1\xF2\xE8");
  WriteRecord(url, [](TFetchRecord& Record) { Record.Encoding = "windows-1251"; });
  Open();
  ClickFeedRow(0);
  ProcessEvents();

  EXPECT_EQ(FeedRows(), QStringList{QString::fromUtf8("1 Новости")});
  EXPECT_EQ(ItemLines(), QStringList{QString::fromUtf8("+Погода – …")});
  EXPECT_EQ(Ui().plFeedTitle->text(), QString::fromUtf8("Новости"));
  EXPECT_EQ(Ui().plItemTitle->text(), QString::fromUtf8("Погода – …"));
}

TEST_F(FetchStateInTheWindow, AFailedFeedIsMarkedWithItsReasonAndFeedInfoMovesAMovedOne) {
  const std::string old = "http://127.0.0.1/old.xml", moved = "http://127.0.0.2/new.xml";
  WriteSubscriptions({{"Moved", old}, {"Fine", "http://127.0.0.1/fine.xml"}});
  WriteCache(old, {"*Read before", "Unread"}, "Moved");
  WriteRecord(old, [&](TFetchRecord& Record) {
    Record.LastFailure = "moved to " + moved;
    Record.LastFailureTime = 1'700'000'000;
    Record.MovedTo = moved;
  });
  Open();

  EXPECT_TRUE(Row(0).data(TFeedListDelegate::kFailedRole).toBool());
  EXPECT_TRUE(Row(0)
                  .data(Qt::ToolTipRole)
                  .toString()
                  .contains(QString::fromStdString("Last download failed: moved to " + moved)));
  EXPECT_FALSE(Row(1).data(TFeedListDelegate::kFailedRole).toBool());
  EXPECT_TRUE(Row(1).data(Qt::ToolTipRole).toString().isEmpty());

  ClickFeedRow(0);
  ProcessEvents();
  useNewAddress = true;
  Ui().miFileFeedInfo->trigger();
  EXPECT_TRUE(events.contains(QString::fromStdString("reason moved to " + moved)));
  EXPECT_EQ(window->CurrentFeed()->XmlUrl, moved);
  ASSERT_EQ(downloads.Runs.size(), 1u) << "the feed is fetched from its new address at once";
  ASSERT_EQ(downloads.Runs[0].Queued.size(), 1u);
  EXPECT_EQ(downloads.Runs[0].Queued[0]->XmlUrl, moved);
  // The cache file with its read flags went along; the list file names the new address.
  EXPECT_FALSE(FileExists(TFeed("", "", old, "").CacheFileName()));
  EXPECT_NE(DefaultOpml().find(moved), std::string::npos);
  TFeed reread("", "", moved, "");
  reread.LoadFromFile(reread.CacheFileName());
  ASSERT_EQ(reread.ItemCount(), 2);
  EXPECT_TRUE(reread.Items(0).IsRead);
  EXPECT_FALSE(reread.Items(1).IsRead);
}

TEST_F(FetchStateInTheWindow, UsingTheNewAddressIsRefusedWhenAnotherEntryHasIt) {
  const std::string old = "http://127.0.0.1/old.xml", moved = "http://127.0.0.2/new.xml";
  WriteSubscriptions({{"Moved", old}, {"Already", "HTTP://127.0.0.2:80/new.xml"}});
  WriteRecord(old, [&](TFetchRecord& Record) { Record.MovedTo = moved; });
  Open();
  ClickFeedRow(0);
  useNewAddress = true;
  Ui().miFileFeedInfo->trigger();
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Text,
            "\"Already\" already has the address " + QString::fromStdString(moved) + ".");
  EXPECT_EQ(window->CurrentFeed()->XmlUrl, old);
  EXPECT_TRUE(downloads.Runs.empty());
}

TEST_F(FetchStateInTheWindow, AddFeedTakesBrowserFormsAndOffersTheFeedsAPageLinks) {
  Open();
  prompts.Answer("feed://127.0.0.1/plain.xml");
  prompts.Answer(false);  // download now?
  Trigger("miFileAddFeed");
  EXPECT_EQ(window->CurrentFeed()->XmlUrl, "http://127.0.0.1/plain.xml");

  pages["http://127.0.0.1/blog/"] =
      "<html><head><link rel=\"alternate\" type=\"application/atom+xml\" title=\"Blog\" href=\"atom.xml\">"
      "</head></html>";
  prompts.Clear();
  prompts.Answer("http://127.0.0.1/blog/");
  prompts.Answer(true);   // subscribe to Blog at ...?
  prompts.Answer(false);  // download now?
  Trigger("miFileAddFeed");
  EXPECT_EQ(prompts.Asked().at(1).Text, "Subscribe to Blog at http://127.0.0.1/blog/atom.xml?");
  EXPECT_EQ(window->CurrentFeed()->XmlUrl, "http://127.0.0.1/blog/atom.xml");
}

}  // namespace
}  // namespace skimbrook::test
