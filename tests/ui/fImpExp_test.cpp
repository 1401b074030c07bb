// The import/export dialog itself, and the file dialog that names the OPML file.
#include "ui/fImpExp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "model/uRSS.h"
#include "tools/QtPrinters.h"
#include "tools/TestSupport.h"
#include "ui/uPrompts.h"

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

// Two feeds around a heading whose title is not UTF-8.
void FillSample(TFeedList& List) {
  List.Add(std::make_shared<TFeed>("News", "", "http://news.example/rss", ""));
  List.Add(std::make_shared<TFeed>("Caf\xe9 corner", "", "", ""));
  List.Add(std::make_shared<TFeed>("Science", "", "http://science.example/rss", ""));
}

QList<Qt::CheckState> Ticks(const TfmImpExp& Form) {
  QList<Qt::CheckState> ticks;
  for (int i = 0; i < Form.lbFeeds->count(); ++i) ticks << Form.lbFeeds->item(i)->checkState();
  return ticks;
}

TEST(ImpExpDialog, ListsEveryTitleUntickedInLinesThirteenPixelsHigh) {
  TFeedList list;
  FillSample(list);
  TfmImpExp form("Export");
  form.ShowEntries(list);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(form.windowTitle(), "Export");
  EXPECT_EQ(form.btOK->text(), "Export");
  EXPECT_EQ(form.btCancel->text(), "Cancel");
  EXPECT_EQ(form.size(), QSize(287, 360));
  ASSERT_EQ(form.lbFeeds->count(), 3);
  EXPECT_EQ(form.lbFeeds->item(1)->text(), QStringLiteral("Caf\u00e9 corner"));
  EXPECT_EQ(Ticks(form), QList<Qt::CheckState>(3, Qt::Unchecked));
  EXPECT_EQ(form.lbFeeds->visualItemRect(form.lbFeeds->item(1)).height(), 13);

  // The list grows with the window; the buttons stay in its bottom right corner.
  form.resize(400, 500);
  QTest::qWait(20);
  EXPECT_EQ(form.btOK->geometry().bottomRight(), QPoint(400 - 9, 500 - 9));
  EXPECT_LT(form.btCancel->geometry().right(), form.btOK->x());
  EXPECT_EQ(form.btCancel->y(), form.btOK->y());
  EXPECT_LT(form.lbFeeds->geometry().bottom(), form.btOK->y());
  EXPECT_EQ(form.lbFeeds->width(), 400);
}

TEST(ImpExpDialog, PopupMenuTicksEveryLineNoneOrFlipsEach) {
  TFeedList list;
  FillSample(list);
  TfmImpExp form("Import");
  form.ShowEntries(list);
  QStringList captions;
  for (const QAction* action : form.PopupMenu->actions()) captions << action->text();
  EXPECT_EQ(captions, QStringList({"Check All", "Uncheck All", "Invert Selection"}));
  EXPECT_EQ(form.lbFeeds->contextMenuPolicy(), Qt::CustomContextMenu);

  form.lbFeeds->item(1)->setCheckState(Qt::Checked);
  form.InvertSelection1->trigger();
  EXPECT_EQ(Ticks(form), QList<Qt::CheckState>({Qt::Checked, Qt::Unchecked, Qt::Checked}));
  EXPECT_EQ(form.TickedLines(), std::vector<int>({0, 2}));
  form.Checkall1->trigger();
  EXPECT_EQ(form.TickedLines(), std::vector<int>({0, 1, 2}));
  form.UncheckAll1->trigger();
  EXPECT_TRUE(form.TickedLines().empty());
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
    form.lbFeeds->item(2)->setCheckState(Qt::Checked);
    form.lbFeeds->item(0)->setCheckState(Qt::Checked);
    form.lbFeeds->setFocus();
    GetParam().End(form);
  });
  const std::optional<std::vector<int>> chosen = ChooseEntries(list, "Import", nullptr);
  if (GetParam().Chosen) {
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, std::vector<int>({0, 2}));
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
