// The import/export dialog itself, and the file dialog that names the OPML file.
#include "ui/dialogs/fImpExp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "model/uRSS.h"
#include "tools/QtPrinters.h"
#include "tools/TestSupport.h"
#include "ui/dialogs/uPrompts.h"

namespace skimbrook::test {

namespace {

// Runs Action on the next modal dialog once it shows; one still open after ten seconds
// fails the test and is closed, so that no test can hang.
void WhenModalShows(std::function<void(QDialog&)> Action, int TriesLeft = 500) {
  QTimer::singleShot(10, qApp, [Action, TriesLeft] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) {
      if (TriesLeft > 0)
        WhenModalShows(Action, TriesLeft - 1);
      else
        ADD_FAILURE() << "no modal dialog was shown";
      return;
    }
    QTimer::singleShot(10000, dialog, [dialog] {
      if (!dialog->isVisible()) return;
      ADD_FAILURE() << "the dialog did not close";
      dialog->reject();
    });
    Action(*dialog);
  });
}

// A feed, then a heading whose title is not UTF-8 with a feed under it.
void FillSample(TFeedList& List) {
  List.Add(std::make_shared<TFeed>("News", "", "http://news.example/rss", ""));
  List.Add(std::make_shared<TFeed>("Caf\xe9 corner", "", "", ""));
  List.Add(std::make_shared<TFeed>("Science", "", "http://science.example/rss", ""));
}

QList<Qt::CheckState> Ticks(const TfmImpExp& Form, int Count) {
  QList<Qt::CheckState> ticks;
  for (int i = 0; i < Count; ++i) ticks << Form.Line(i)->checkState(0);
  return ticks;
}

TEST(ImpExpDialog, ListsEveryTitleUntickedWithFeedsIndentedUnderTheirGroup) {
  TFeedList list;
  FillSample(list);
  TfmImpExp form("Export");
  form.ShowEntries(list);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(form.windowTitle(), "Export");
  EXPECT_EQ(form.btOK->text(), "&Export");
  EXPECT_EQ(form.btCancel->text(), "Cancel");
  EXPECT_EQ(form.size(), QSize(380, 360));
  EXPECT_EQ(form.Line(1)->text(0), QStringLiteral("Caf\u00e9 corner"));
  EXPECT_EQ(form.Line(2)->parent(), form.Line(1)) << "a feed after a heading belongs to its group";
  EXPECT_EQ(form.Line(0)->parent(), nullptr) << "a feed before the first heading belongs to none";
  EXPECT_TRUE(form.Line(1)->font(0).bold());
  const QRect loose = form.lbFeeds->visualItemRect(form.Line(0));
  const QRect grouped = form.lbFeeds->visualItemRect(form.Line(2));
  EXPECT_EQ(grouped.height(), 13);
  EXPECT_GT(grouped.x(), loose.x());
  EXPECT_EQ(Ticks(form, 3), QList<Qt::CheckState>(3, Qt::Unchecked));

  // The list grows with the window; the tick buttons stay beside it, OK and Cancel in the
  // bottom right corner.
  form.resize(500, 500);
  QTest::qWait(20);
  EXPECT_EQ(form.btOK->geometry().bottomRight(), QPoint(500 - 9, 500 - 9));
  EXPECT_LT(form.btCancel->geometry().right(), form.btOK->x());
  EXPECT_EQ(form.btCancel->y(), form.btOK->y());
  EXPECT_LT(form.lbFeeds->geometry().bottom(), form.btOK->y());
  EXPECT_LT(form.lbFeeds->geometry().right(), form.btCheckAll->x());
  EXPECT_EQ(form.btCheckAll->y(), form.lbFeeds->y());
  EXPECT_GT(form.btUncheckAll->y(), form.btCheckAll->y());
}

TEST(ImpExpDialog, ShowsTheNamesOfOutlinesThatHaveOnlyText) {
  TTempDir folder;
  WriteFile(folder.File("text.opml"),
            "<opml version=\"2.0\"><body><outline text=\"Tech\">"
            "<outline text=\"Only text\" xmlUrl=\"http://t.example/rss\"/>"
            "<outline xmlUrl=\"http://nameless.example/rss\"/></outline></body></opml>");
  TFeedList list;
  list.LoadFromFile(folder.File("text.opml"));
  TfmImpExp form("Import");
  form.ShowEntries(list);
  EXPECT_EQ(form.Line(0)->text(0), "Tech");
  EXPECT_EQ(form.Line(1)->text(0), "Only text");
  EXPECT_EQ(form.Line(2)->text(0), "http://nameless.example/rss")
      << "an entry without a name shows its address";
}

TEST(ImpExpDialog, ShowsTheGroupsOfARealReadersExport) {
  if (CorpusPath().empty()) GTEST_SKIP() << "no corpus on this machine";
  TFeedList list;
  list.LoadFromFile(CorpusPath() + "opml-go/testdata/feedreader/newsblur.opml");
  TfmImpExp form("Import");
  form.ShowEntries(list);
  const QTreeWidgetItem* security = form.Line(0);
  EXPECT_EQ(security->text(0), "Security");
  ASSERT_EQ(security->childCount(), 3);
  EXPECT_EQ(security->child(2)->text(0), "Schneier on Security");
  EXPECT_EQ(form.Line(4)->text(0), "Self-Hosted");
  EXPECT_EQ(form.Line(4)->childCount(), 0) << "an empty group";
  form.Line(4)->setCheckState(0, Qt::Checked);
  EXPECT_EQ(form.TickedLines(), std::vector<int>({4})) << "an empty group is ticked by itself";
}

// Lines: 0 Loose; 1 heading A with 2 a1, 3 a2; 4 heading B (empty); 5 heading C with 6 c1.
void FillGroups(TFeedList& List) {
  const auto feed = [&List](const char* Title) {
    List.Add(std::make_shared<TFeed>(Title, "", std::string("http://x.example/") + Title, ""));
  };
  const auto heading = [&List](const char* Title) { List.Add(std::make_shared<TFeed>(Title, "", "", "")); };
  feed("Loose");
  heading("A");
  feed("a1");
  feed("a2");
  heading("B");
  heading("C");
  feed("c1");
}

constexpr Qt::CheckState X = Qt::Checked, O = Qt::Unchecked, H = Qt::PartiallyChecked;

struct TTicking {
  const char* Name;
  std::function<void(TfmImpExp&)> Act;
  QList<Qt::CheckState> Ticks;
  std::vector<int> Ticked;
};

// Selects Lines with the current line first, as the user does with Ctrl+click, and
// presses Space in the list.
void PressSpaceOn(TfmImpExp& Form, std::initializer_list<int> Lines) {
  Form.lbFeeds->setCurrentItem(Form.Line(*Lines.begin()));
  Form.lbFeeds->clearSelection();
  for (const int line : Lines) Form.Line(line)->setSelected(true);
  QTest::keyClick(Form.lbFeeds, Qt::Key_Space);
}

class ImpExpTicking : public ::testing::TestWithParam<TTicking> {};

TEST_P(ImpExpTicking, GroupTicksFollowTheirFeeds) {
  TFeedList list;
  FillGroups(list);
  TfmImpExp form("Import");
  form.ShowEntries(list);
  GetParam().Act(form);
  EXPECT_EQ(Ticks(form, 7), GetParam().Ticks);
  EXPECT_EQ(form.TickedLines(), GetParam().Ticked);
}

INSTANTIATE_TEST_SUITE_P(Cases, ImpExpTicking,
                         ::testing::Values(TTicking{"TickingAGroupTicksItsFeeds",
                                                    [](TfmImpExp& F) { F.Line(1)->setCheckState(0, X); },
                                                    {O, X, X, X, O, O, O},
                                                    {1, 2, 3}},
                                           TTicking{"OneFeedHalfTicksItsGroupWhichComesAlong",
                                                    [](TfmImpExp& F) { F.Line(3)->setCheckState(0, X); },
                                                    {O, H, O, X, O, O, O},
                                                    {1, 3}},
                                           TTicking{"UntickingAGroupUnticksItsFeeds",
                                                    [](TfmImpExp& F) {
                                                      F.Line(2)->setCheckState(0, X);
                                                      F.Line(1)->setCheckState(0, O);
                                                    },
                                                    {O, O, O, O, O, O, O},
                                                    {}},
                                           TTicking{"CheckAllButton",
                                                    [](TfmImpExp& F) { F.btCheckAll->click(); },
                                                    {X, X, X, X, X, X, X},
                                                    {0, 1, 2, 3, 4, 5, 6}},
                                           TTicking{"UncheckAllButton",
                                                    [](TfmImpExp& F) {
                                                      F.btCheckAll->click();
                                                      F.btUncheckAll->click();
                                                    },
                                                    {O, O, O, O, O, O, O},
                                                    {}},
                                           TTicking{"InvertFlipsFeedsAndEmptyGroups",
                                                    [](TfmImpExp& F) {
                                                      F.Line(2)->setCheckState(0, X);
                                                      F.InvertSelection1->trigger();
                                                    },
                                                    {X, H, O, X, X, X, X},
                                                    {0, 1, 3, 4, 5, 6}},
                                           TTicking{"SpaceTicksEverySelectedLine",
                                                    [](TfmImpExp& F) {
                                                      PressSpaceOn(F, {0, 3, 6});
                                                    },
                                                    {X, H, O, X, O, X, X},
                                                    {0, 1, 3, 5, 6}},
                                           TTicking{"SpaceAgainUnticksThem",
                                                    [](TfmImpExp& F) {
                                                      PressSpaceOn(F, {0, 3, 6});
                                                      PressSpaceOn(F, {0, 3, 6});
                                                    },
                                                    {O, O, O, O, O, O, O},
                                                    {}},
                                           TTicking{"SpaceOnAHalfTickedGroupTicksItAndItsSelectedFeeds",
                                                    [](TfmImpExp& F) {
                                                      F.Line(2)->setCheckState(0, X);
                                                      PressSpaceOn(F, {1, 2, 4});
                                                    },
                                                    {O, X, X, X, X, O, O},
                                                    {1, 2, 3, 4}}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(ImpExpDialog, PopupMenuOffersTheSameTicks) {
  TFeedList list;
  FillSample(list);
  TfmImpExp form("Import");
  form.ShowEntries(list);
  QStringList captions;
  for (const QAction* action : form.PopupMenu->actions()) captions << action->text();
  EXPECT_EQ(captions, QStringList({"Check All", "Uncheck All", "Invert Selection"}));
  EXPECT_EQ(form.lbFeeds->contextMenuPolicy(), Qt::CustomContextMenu);
  form.Checkall1->trigger();
  EXPECT_EQ(form.TickedLines(), std::vector<int>({0, 1, 2}));
  form.UncheckAll1->trigger();
  EXPECT_TRUE(form.TickedLines().empty());
}

TEST(ImpExpDialog, EveryControlIsReachedWithTabAndEnterIsOkFromTheTickButtons) {
  TFeedList list;
  FillSample(list);
  TfmImpExp form("Import");
  form.ShowEntries(list);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.lbFeeds->setFocus();
  std::vector<std::string> order;
  for (int i = 0; i < 6; ++i) {
    order.push_back(form.focusWidget() ? form.focusWidget()->objectName().toStdString() : "(none)");
    QTest::keyClick(form.focusWidget() ? form.focusWidget() : &form, Qt::Key_Tab);
  }
  EXPECT_EQ(order, std::vector<std::string>(
                       {"lbFeeds", "btCheckAll", "btUncheckAll", "btCancel", "btOK", "lbFeeds"}));
  EXPECT_FALSE(form.btCheckAll->autoDefault());
  EXPECT_FALSE(form.btUncheckAll->autoDefault());
  EXPECT_TRUE(form.btOK->isDefault());
}

struct TEnding {
  const char* Name;
  std::function<void(TfmImpExp&)> End;
  bool Chosen;
};

class ImpExpDialogEnding : public ::testing::TestWithParam<TEnding> {};

TEST_P(ImpExpDialogEnding, HandsTheTicksBackOnlyOnOk) {
  TFeedList list;
  FillSample(list);
  WhenModalShows([](QDialog& Dialog) {
    auto& form = static_cast<TfmImpExp&>(Dialog);
    form.Line(2)->setCheckState(0, Qt::Checked);
    form.Line(0)->setCheckState(0, Qt::Checked);
    form.lbFeeds->setFocus();
    GetParam().End(form);
  });
  const std::optional<std::vector<int>> chosen = ChooseEntries(list, "Import", nullptr);
  if (GetParam().Chosen) {
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, std::vector<int>({0, 1, 2})) << "the heading comes along with its ticked feed";
  } else {
    EXPECT_FALSE(chosen.has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ImpExpDialogEnding,
    ::testing::Values(TEnding{"Ok", [](TfmImpExp& Form) { Form.btOK->click(); }, true},
                      TEnding{"Cancel", [](TfmImpExp& Form) { Form.btCancel->click(); }, false},
                      TEnding{"EscapeInTheList",
                              [](TfmImpExp& Form) { QTest::keyClick(Form.lbFeeds, Qt::Key_Escape); }, false},
                      TEnding{"EnterInTheList",
                              [](TfmImpExp& Form) { QTest::keyClick(Form.lbFeeds, Qt::Key_Return); }, true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(OpmlFileDialog, OffersOpmlAndAllFilesAndSavesATypedNameWithTheExtension) {
  EXPECT_EQ(QtFileFilter(kOpmlFilter), "OPML Files (*.opml);;All Files (*)");
  EXPECT_EQ(QtFileFilter("Text (*.txt *.text)"), "Text (*.txt *.text)") << "already Qt's form";
  EXPECT_EQ(QtFileFilter("Feeds|*.rss;*.xml"), "Feeds (*.rss *.xml)");

  TTempDir folder;
  TQtPrompts prompts;
  QString filters;
  WhenModalShows([&](QDialog& Dialog) {
    auto& files = static_cast<QFileDialog&>(Dialog);
    filters = files.nameFilters().join("|");
    files.setDirectory(QString::fromStdString(folder.Path()));
    // Typed as the user does; selectFile leaves a focused name box alone.
    auto* name = files.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText("mine");
    static_cast<QDialog&>(files).accept();
  });
  EXPECT_EQ(prompts.SaveFileName("Export", kOpmlFilter, kOpmlExtension),
            QString::fromStdString(folder.File("mine.opml")));
  EXPECT_EQ(filters, "OPML Files (*.opml)|All Files (*)");
}

TEST(OpmlFileDialog, AnExistingFileWithoutExtensionIsTakenAsItIs) {
  TTempDir folder;
  WriteFile(folder.File("subscriptions"), "<opml/>");
  TScriptedPrompts prompts;
  prompts.Answer(QString::fromStdString(folder.File("subscriptions")));
  prompts.Answer(QString::fromStdString(folder.File("new")));
  EXPECT_EQ(prompts.OpenFileName("Import", kOpmlFilter, kOpmlExtension),
            QString::fromStdString(folder.File("subscriptions")));
  EXPECT_EQ(prompts.SaveFileName("Export", kOpmlFilter, kOpmlExtension),
            QString::fromStdString(folder.File("new.opml")));
}

}  // namespace

}  // namespace skimbrook::test
