// The feed list pane: rows, adding, removing, moving, catching up and downloading.
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QToolButton>

#include "MainWindowFixture.h"
#include "ui/panes/uCaptionPanel.h"
#include "ui/panes/uFeedListBox.h"
#include "ui/panes/uListRules.h"

namespace skimbrook::test {

namespace {

using FeedList = MainWindowTest;

TEST_F(FeedList, RowsShowHeadingsAndUnreadCounts) {
  WriteSubscriptions({{"Example News", "http://example.org/news", 12},
                      {"Sports", ""},
                      {"Quiet Feed", "http://example.org/quiet", 0},
                      {"Two  spaces in title", "http://example.org/two", 1}});
  Open();
  EXPECT_EQ(FeedRows(),
            QStringList({"12 Example News", ". Sports", "0 Quiet Feed", "1 Two  spaces in title"}));
}

TEST_F(FeedList, ClickingARowPostsTheRefillOfTheItemList) {
  WriteSubscriptions({{"News", "http://example.org/news", 2}, {"Other", "http://example.org/other"}});
  WriteCache("http://example.org/other", {"A", "*B"});
  Open();
  Ui().lbFeedList->setCurrentRow(1);
  EXPECT_EQ(window->CurrentFeed()->Title, "Other");
  EXPECT_EQ(Ui().lbItems->count(), 0) << "the refill is posted, not run at once";
  ProcessEvents();
  EXPECT_EQ(ItemLines(), QStringList({"+A", "-B"}));
  EXPECT_EQ(Ui().lbItems->currentRow(), 0);
}

TEST_F(FeedList, AddFeedTrimsTheAnswerSelectsTheFeedAndLeavesTheFileAlone) {
  WriteSubscriptions({{"News", "http://example.org/news"}});
  Open();
  const std::string before = DefaultOpml();
  prompts.Answer(" \t http://example.org/new.xml  ");
  prompts.Answer(false);
  Ui().miFileAddFeed->trigger();
  EXPECT_EQ(FeedRows(), QStringList({"0 News", "0 http://example.org/new.xml"}));
  EXPECT_EQ(Ui().lbFeedList->currentRow(), 1);
  EXPECT_EQ(window->CurrentFeed()->XmlUrl, "http://example.org/new.xml");
  EXPECT_EQ(window->CurrentFeed()->Title, "http://example.org/new.xml");
  EXPECT_EQ(prompts.Asked().at(1).Title, "Confirm");
  EXPECT_EQ(prompts.Asked().at(1).Text, "Download feed now?");
  EXPECT_TRUE(downloads.Runs.empty());
  EXPECT_EQ(DefaultOpml(), before);
  ProcessEvents();
  EXPECT_EQ(Ui().plFeedTitle->text(), "http://example.org/new.xml");
}

TEST_F(FeedList, AddFeedWithDownloadNowQueuesTheNewFeed) {
  Open();
  prompts.Answer("http://example.org/new.xml");
  prompts.Answer(true);
  Trigger("miFileAddFeed");
  ASSERT_EQ(downloads.Runs.size(), 1u);
  ASSERT_EQ(downloads.Runs[0].Queued.size(), 1u);
  EXPECT_EQ(downloads.Runs[0].Queued[0], window->CurrentFeed());
}

TEST_F(FeedList, AnAnswerOfBlanksAddsNoFeedButMakesAGroup) {
  Open();
  prompts.Answer("   ");
  Trigger("miFileAddFeed");
  EXPECT_EQ(window->FeedList().Count(), 0);
  prompts.Answer("   ");
  Trigger("miFileAddGroup");
  ASSERT_EQ(window->FeedList().Count(), 1);
  EXPECT_TRUE(window->FeedList().Feeds(0)->XmlUrl.empty());
  EXPECT_TRUE(FeedRows().at(0).startsWith(". "));
  prompts.Answer("");
  Trigger("miFileAddGroup");
  EXPECT_EQ(window->FeedList().Count(), 1) << "an empty answer ends the command";
}

TEST_F(FeedList, AddingAGroupBeforeAFeedInTheMiddleRegroupsTheFeedsAfterIt) {
  WriteSubscriptions({{"First", ""},
                      {"A", "http://a/"},
                      {"B", "http://b/"},
                      {"C", "http://c/"},
                      {"Second", ""},
                      {"D", "http://d/"}});
  Open();
  ClickFeedRow(2);
  prompts.Answer("New Group");
  Ui().miFileAddGroup->trigger();
  EXPECT_EQ(FeedRows(), QStringList({". First", "0 A", ". New Group", "0 B", "0 C", ". Second", "0 D"}));
  EXPECT_EQ(Ui().lbFeedList->currentRow(), 2);
  EXPECT_EQ(window->CurrentFeed()->Title, "New Group");
  EXPECT_EQ(window->CurrentFeed().get(), window->FeedList().Feeds(2).get())
      << "the reloaded objects are current";
  EXPECT_NE(DefaultOpml().find("New Group"), std::string::npos);
  ProcessEvents();
  EXPECT_EQ(Ui().lbItems->count(), 0);
}

TEST_F(FeedList, RemovingTheLastRowSelectsTheOneBeforeAndKeepsTheEntryAliveUnhooked) {
  WriteSubscriptions({{"A", "http://a/"}, {"B", "http://b/"}});
  Open();
  ClickFeedRow(1);
  const std::shared_ptr<TFeed> removed = window->CurrentFeed();
  prompts.Answer(true);
  Ui().miFileRemoveFeed->trigger();
  EXPECT_EQ(prompts.Asked().at(0).Title, "Warning");
  EXPECT_EQ(prompts.Asked().at(0).Text, "Are you sure you want to delete \"B\"?");
  EXPECT_EQ(FeedRows(), QStringList({"0 A"}));
  EXPECT_EQ(Ui().lbFeedList->currentRow(), 0);
  EXPECT_EQ(window->CurrentFeed()->Title, "A");
  EXPECT_FALSE(removed->OnChange) << "a download still holding it must not touch a row";
  removed->UnreadCount = 9;
  removed->Changed();
  EXPECT_EQ(FeedRows(), QStringList({"0 A"}));
}

TEST_F(FeedList, RemovingTheOnlyRowLeavesNoCurrentFeedAndEmptyPanes) {
  WriteSubscriptions({{"Only", "http://only/"}});
  WriteCache("http://only/", {"Item"});
  Open();
  ClickFeedRow(0);
  ASSERT_EQ(Ui().lbItems->count(), 1);
  prompts.Answer(false);
  Trigger("miFileRemoveFeed");
  EXPECT_EQ(window->FeedList().Count(), 1) << "No keeps it";
  prompts.Answer(true);
  Trigger("miFileRemoveFeed");
  ProcessEvents();
  EXPECT_EQ(window->FeedList().Count(), 0);
  EXPECT_EQ(Ui().lbFeedList->count(), 0);
  EXPECT_EQ(window->CurrentFeed(), nullptr);
  EXPECT_EQ(window->CurrentItem(), nullptr);
  EXPECT_EQ(Ui().lbItems->count(), 0);
  EXPECT_EQ(Ui().plFeedTitle->text(), "");
  EXPECT_EQ(Ui().plItemTitle->text(), "");
  EXPECT_EQ(browser->Pages.last(), "<html></html>");
}

TEST_F(FeedList, RemovingWhileTheListIsHiddenStillRemovesTheRow) {
  WriteSubscriptions({{"A", "http://a/"}, {"B", "http://b/"}, {"C", "http://c/"}});
  Open();
  ClickFeedRow(1);
  Ui().miViewFeedList->trigger();
  prompts.Answer(true);
  Trigger("miFileRemoveFeed");
  EXPECT_EQ(FeedRows(), QStringList({"0 A", "0 C"}));
  EXPECT_EQ(window->CurrentFeed()->Title, "C");
}

class Dragging : public MainWindowTest {
 protected:
  void SetUp() override {
    WriteSubscriptions({{"A", "http://a/"}, {"B", "http://b/"}, {"C", "http://c/"}, {"D", "http://d/"}});
    Open();
    window->show();
    ProcessEvents();
  }
  QPoint RowPoint(int Row) const {
    return Ui().lbFeedList->visualRect(Ui().lbFeedList->model()->index(Row, 0)).center();
  }
  QStringList Order() const {
    QStringList titles;
    for (int i = 0; i < window->FeedList().Count(); ++i)
      titles << QString::fromStdString(window->FeedList().Feeds(i)->Title);
    return titles;
  }
  void Drag(int From, const QPoint& To) {
    ClickFeedRow(From);
    WriteFile(data.File("default.opml"), "stale");
    Ui().feedList.lbFeedListDragDrop(To);
  }
};

// The same four rows, opened with the right mouse button.
class FeedRowMenu : public Dragging {};

TEST_F(FeedRowMenu, TheRowUnderTheMouseBecomesCurrentBeforeItsMenuOpensAndBelowTheRowsNoneOpens) {
  auto* menu = Ui().Named<QMenu>("pmFeedList");
  emit Ui().lbFeedList->customContextMenuRequested(RowPoint(2));
  ProcessEvents();
  EXPECT_EQ(window->CurrentFeed()->Title, "C");
  EXPECT_EQ(Ui().lbFeedList->currentRow(), 2);
  EXPECT_TRUE(menu->isVisible());
  menu->close();
  emit Ui().lbFeedList->customContextMenuRequested(QPoint(10, Ui().lbFeedList->viewport()->height() - 2));
  ProcessEvents();
  EXPECT_FALSE(menu->isVisible());
  EXPECT_EQ(window->CurrentFeed()->Title, "C");
}

TEST_F(Dragging, BelowTheLastRowMovesTheEntryToTheEnd) {
  Drag(1, QPoint(10, Ui().lbFeedList->viewport()->height() - 2));
  EXPECT_EQ(Order(), QStringList({"A", "C", "D", "B"}));
  EXPECT_EQ(FeedRows(), QStringList({"0 A", "0 C", "0 D", "0 B"}));
  EXPECT_EQ(Ui().lbFeedList->currentRow(), 3);
  EXPECT_EQ(window->CurrentFeed()->Title, "B") << "the current feed stays the same entry";
  EXPECT_NE(DefaultOpml(), "stale");
}

TEST_F(Dragging, OntoARowAboveLandsBeforeItAndOntoARowBelowAfterIt) {
  Drag(3, RowPoint(1));
  EXPECT_EQ(Order(), QStringList({"A", "D", "B", "C"}));
  EXPECT_EQ(Ui().lbFeedList->currentRow(), 1);
  Drag(0, RowPoint(2));
  EXPECT_EQ(Order(), QStringList({"D", "B", "A", "C"}));
  EXPECT_EQ(FeedRows(), QStringList({"0 D", "0 B", "0 A", "0 C"}));
}

TEST_F(Dragging, OntoItselfKeepsTheOrderButWritesTheFile) {
  Drag(2, RowPoint(2));
  EXPECT_EQ(Order(), QStringList({"A", "B", "C", "D"}));
  EXPECT_NE(DefaultOpml(), "stale");
}

// ---------------------------------------------------------------------------------------
// Catching up and downloading

class CatchingUp : public MainWindowTest {
 protected:
  void SetUp() override {
    WriteSubscriptions({{"Loose", "http://loose/", 1},
                        {"Empty Group", ""},
                        {"Group", ""},
                        {"G1", "http://g1/", 2},
                        {"Last Group", ""},
                        {"L1", "http://l1/", 2}});
    WriteCache("http://loose/", {"x", "y"}, "Loose");
    WriteCache("http://g1/", {"x", "y"}, "G1");
    WriteCache("http://l1/", {"x", "y"}, "L1");
  }
  int UnreadInCache(const std::string& Url) {
    TFeed feed("", "", Url, "");
    feed.LoadCache();
    return feed.CountUnread();
  }
};

TEST_F(CatchingUp, AllRightAfterStartMarksEveryCachedItemAndKeepsThem) {
  Open();
  Ui().miToolsCatchUpAll->trigger();
  EXPECT_EQ(FeedRows(), QStringList({"0 Loose", ". Empty Group", ". Group", "0 G1", ". Last Group", "0 L1"}));
  for (const char* url : {"http://loose/", "http://g1/", "http://l1/"}) {
    EXPECT_EQ(UnreadInCache(url), 0) << url;
    EXPECT_EQ(window->FeedList().Feeds(0)->ItemCount(), 2);
  }
}

TEST_F(CatchingUp, GroupOfAnEmptyHeadingTouchesNothing) {
  Open();
  ClickFeedRow(1);
  Trigger("miToolsCatchUpGroup");
  EXPECT_EQ(UnreadInCache("http://g1/"), 2);
  EXPECT_EQ(UnreadInCache("http://loose/"), 2);
}

TEST_F(CatchingUp, GroupWithItsOnlyFeedInTheLastRow) {
  Open();
  ClickFeedRow(5);
  Ui().miToolsCatchUpGroup->trigger();
  EXPECT_EQ(UnreadInCache("http://l1/"), 0);
  EXPECT_EQ(UnreadInCache("http://g1/"), 2);
  EXPECT_EQ(FeedRows().last(), "0 L1");
}

TEST_F(CatchingUp, FeedUpdatesTheShownLinesAndSkipsHeadings) {
  Open();
  ClickFeedRow(3);
  ASSERT_EQ(ItemLines(), QStringList({"+x", "+y"}));
  Ui().sbCatchUp->click();
  EXPECT_EQ(ItemLines(), QStringList({"-x", "-y"}));
  EXPECT_EQ(FeedRows().at(3), "0 G1");
  ClickFeedRow(2);
  Trigger("miToolsCatchUpFeed");
  window->DownloadCurrentFeed();
  EXPECT_TRUE(downloads.Runs.empty()) << "a heading is neither caught up nor downloaded";
}

TEST_F(CatchingUp, DownloadGroupQueuesTheFeedsOfTheSelectedFeedsGroup) {
  Open();
  ClickFeedRow(0);
  window->DownloadCurrentGroup();
  ClickFeedRow(1);
  window->DownloadCurrentGroup();
  ASSERT_EQ(downloads.Runs.size(), 2u);
  ASSERT_EQ(downloads.Runs[0].Queued.size(), 1u);
  EXPECT_EQ(downloads.Runs[0].Queued[0]->Title, "Loose");
  EXPECT_TRUE(downloads.Runs[1].Queued.empty()) << "an empty group still opens and closes the run";
}

// ---------------------------------------------------------------------------------------
// The group range rule on its own

struct TGroupCase {
  const char* Layout;  // one letter per row: H heading, F feed
  int Selected;
  int First;
  int Last;
};

class GroupRangeRule : public ::testing::TestWithParam<TGroupCase> {};

TEST_P(GroupRangeRule, CoversTheFeedsOfTheSelectedGroup) {
  const TGroupCase& rule = GetParam();
  TFeedList list;
  for (const char* c = rule.Layout; *c; ++c)
    list.Add(std::make_shared<TFeed>("", "", *c == 'H' ? "" : "u", ""));
  const TRowRange range = GroupRange(list, rule.Selected);
  if (rule.First >= rule.Last) {
    EXPECT_TRUE(range.Empty());
  } else {
    EXPECT_EQ(range.First, rule.First);
    EXPECT_EQ(range.Last, rule.Last);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, GroupRangeRule,
                         ::testing::Values(TGroupCase{"FFHFF", 1, 0, 2},  // feeds before any heading
                                           TGroupCase{"FFHFF", 0, 0, 2},  // row 0 itself
                                           TGroupCase{"FFHFF", 2, 3, 5},  // a heading acts on its feeds
                                           TGroupCase{"FFHFF", 4, 3, 5},  // a feed acts on its group
                                           TGroupCase{"HHF", 0, 0, 0},    // an empty group
                                           TGroupCase{"HF", 1, 1, 2},     // only feed in the last row
                                           TGroupCase{"FH", 1, 0, 0},     // a heading in the last row
                                           TGroupCase{"F", 5, 0, 0}));    // outside the list

}  // namespace

}  // namespace skimbrook::test
