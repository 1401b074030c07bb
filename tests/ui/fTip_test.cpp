#include "ui/dialogs/fTip.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "DialogTestSupport.h"

namespace skimbrook {
namespace {

using test::WhenFormShows;

TEST(NextTipIndex, MapsEveryRandomStartIntoTheTableOnePastIt) {
  for (int Start = 0; Start <= 999; ++Start) {
    const int Index = NextTipIndex(Start);
    ASSERT_GE(Index, 0) << Start;
    ASSERT_LT(Index, TipCount) << Start;
    ASSERT_EQ(Index, (Start + 1) % TipCount) << Start;
  }
}

// The number and text of the tip on show, from "Tip <n>:  <text>".
std::pair<int, QString> TipOnShow(const TfmTip& Form) {
  static const QRegularExpression Shape(QStringLiteral("^Tip (\\d+):  (.+)$"),
                                        QRegularExpression::DotMatchesEverythingOption);
  const auto Match = Shape.match(Form.Memo->toPlainText());
  if (!Match.hasMatch()) return {0, Form.Memo->toPlainText()};
  return {Match.captured(1).toInt(), Match.captured(2)};
}

TEST(TipDialog, NextTipRunsThroughAllTipsInOrderBackToTheFirstShown) {
  std::vector<std::pair<int, QString>> Seen;
  bool StayedOpen = true;
  WhenFormShows<TfmTip>([&](TfmTip& Form) {
    Seen.push_back(TipOnShow(Form));
    for (int I = 0; I < TipCount; ++I) {
      Form.btOK->click();
      StayedOpen = StayedOpen && Form.isVisible();
      Seen.push_back(TipOnShow(Form));
    }
    Form.btCancel->click();
  });
  bool ShowTips = true;
  RunTipDialog(ShowTips, nullptr);

  ASSERT_EQ(Seen.size(), size_t(TipCount + 1));
  EXPECT_TRUE(StayedOpen);
  EXPECT_GE(Seen.front().first, 1);
  EXPECT_LE(Seen.front().first, TipCount);
  EXPECT_EQ(Seen.back(), Seen.front());
  std::map<int, QString> ByNumber;
  for (size_t I = 1; I < Seen.size(); ++I) {
    EXPECT_EQ(Seen[I].first, Seen[I - 1].first % TipCount + 1) << "after tip " << Seen[I - 1].first;
    ByNumber[Seen[I].first] = Seen[I].second;
  }
  EXPECT_EQ(ByNumber.size(), size_t(TipCount));
  EXPECT_EQ(ByNumber[3],
            QStringLiteral("To switch to browser mode press Ctrl-B or select \"Browser\" from the "
                           "View menu."));
  EXPECT_EQ(ByNumber[16],
            QStringLiteral("To export your list of subscriptions select \"Export...\" from the File "
                           "menu."));
  EXPECT_TRUE(ByNumber[1].contains(QStringLiteral("/download.html")));
}

enum class TClose { CloseButton, EscapeKey, CloseWindow };

struct TTipCase {
  bool Stored;
  bool Toggle;
  TClose Close;
};

class TipDialogClosed : public ::testing::TestWithParam<TTipCase> {};

TEST_P(TipDialogClosed, HandsBackTheShowTipsBox) {
  const TTipCase Case = GetParam();
  bool Shown = !Case.Stored;
  WhenFormShows<TfmTip>([&](TfmTip& Form) {
    Shown = Form.cbShowTips->isChecked();
    if (Case.Toggle) Form.cbShowTips->click();
    Form.btOK->click();
    switch (Case.Close) {
      case TClose::CloseButton:
        Form.btCancel->click();
        break;
      case TClose::EscapeKey:
        test::PressKey(Form, Qt::Key_Escape);
        break;
      case TClose::CloseWindow:
        Form.close();
        break;
    }
  });
  bool ShowTips = Case.Stored;
  RunTipDialog(ShowTips, nullptr);
  EXPECT_EQ(Shown, Case.Stored);
  EXPECT_EQ(ShowTips, Case.Stored != Case.Toggle);
}

INSTANTIATE_TEST_SUITE_P(Ways, TipDialogClosed,
                         ::testing::Values(TTipCase{true, true, TClose::EscapeKey},
                                           TTipCase{true, false, TClose::EscapeKey},
                                           TTipCase{false, true, TClose::CloseButton},
                                           TTipCase{true, true, TClose::CloseButton},
                                           TTipCase{false, true, TClose::CloseWindow},
                                           TTipCase{false, false, TClose::CloseWindow}));

}  // namespace
}  // namespace skimbrook
