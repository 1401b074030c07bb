#include "ui/dialogs/fOptions.h"

#include <array>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

#include "DialogTestSupport.h"

namespace skimbrook {
namespace {

using test::TTestSettings;
using test::WhenFormShows;

using TSix = std::array<bool, 8>;

TSix FieldsOf(const TSettings& S) {
  return {S.RememberForm, S.DownloadOnStartUp, S.AutomaticallyDownload, S.MinimizeToTray,
          S.ShowTips,     S.StartWithWindows,  S.ShowNotifications,     S.FollowRedirects};
}

void SetFields(TSettings& S, const TSix& V) {
  S.RememberForm = V[0];
  S.DownloadOnStartUp = V[1];
  S.AutomaticallyDownload = V[2];
  S.MinimizeToTray = V[3];
  S.ShowTips = V[4];
  S.StartWithWindows = V[5];
  S.ShowNotifications = V[6];
  S.FollowRedirects = V[7];
}

std::array<QCheckBox*, 8> BoxesOf(TfmOptions& Form) {
  return {Form.cbRememberFormPosition, Form.cbDownloadOnStartup, Form.cbAutoDownload,
          Form.cbMinimizeToTray,       Form.cbShowTips,          Form.cbStartup,
          Form.cbShowNotifications,    Form.cbFollowRedirects};
}

TSix Inverted(TSix V) {
  for (bool& B : V) B = !B;
  return V;
}

class OptionsDialog : public ::testing::TestWithParam<TSix> {};

TEST_P(OptionsDialog, OpensWithTheStoredValuesAndOkCopiesEveryBoxBack) {
  TTestSettings T;
  SetFields(T.Settings, GetParam());
  TSix Shown{};
  WhenFormShows<TfmOptions>([&](TfmOptions& Form) {
    const auto Boxes = BoxesOf(Form);
    for (size_t I = 0; I < Boxes.size(); ++I) {
      Shown[I] = Boxes[I]->isChecked();
      Boxes[I]->click();
    }
    Form.btOK->click();
  });
  EXPECT_TRUE(EditOptions(T.Settings, nullptr));
  EXPECT_EQ(Shown, GetParam());
  EXPECT_EQ(FieldsOf(T.Settings), Inverted(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Values, OptionsDialog,
                         ::testing::Values(TSix{true, false, true, false, true, false, true, false},
                                           TSix{false, true, false, true, false, true, false, true}));

enum class TLeave { CancelButton, EscapeKey, CloseWindow };

class OptionsDialogLeft : public ::testing::TestWithParam<TLeave> {};

TEST_P(OptionsDialogLeft, WithoutOkChangesNothing) {
  TTestSettings T;
  const TSix Before = FieldsOf(T.Settings);
  WhenFormShows<TfmOptions>([](TfmOptions& Form) {
    for (QCheckBox* Box : BoxesOf(Form)) Box->click();
    switch (GetParam()) {
      case TLeave::CancelButton:
        Form.btCancel->click();
        break;
      case TLeave::EscapeKey:
        test::PressKey(Form, Qt::Key_Escape);
        break;
      case TLeave::CloseWindow:
        Form.close();
        break;
    }
  });
  EXPECT_FALSE(EditOptions(T.Settings, nullptr));
  EXPECT_EQ(FieldsOf(T.Settings), Before);
}

INSTANTIATE_TEST_SUITE_P(Ways, OptionsDialogLeft,
                         ::testing::Values(TLeave::CancelButton, TLeave::EscapeKey, TLeave::CloseWindow));

TEST(OptionsDialog, TabVisitsTheSixBoxesThenTheNewChoicesThenOkThenCancel) {
  TTestSettings T;
  std::vector<std::string> Order;
  WhenFormShows<TfmOptions>([&](TfmOptions& Form) {
    Order = test::TabOrder(Form, 13);
    Form.reject();
  });
  EditOptions(T.Settings, nullptr);
  EXPECT_EQ(Order,
            (std::vector<std::string>{"cbRememberFormPosition", "cbDownloadOnStartup", "cbAutoDownload",
                                      "cbMinimizeToTray", "cbShowTips", "cbStartup", "cbShowNotifications",
                                      "cbFollowRedirects", "seSimultaneousDownloads", "seKeepDays", "btOK",
                                      "btCancel", "cbRememberFormPosition"}));
}

TEST(OptionsDialog, TheNumbersStayInTheirRangesAndOkStoresThem) {
  TTestSettings T;
  T.Settings.SimultaneousDownloads = 3;
  T.Settings.KeepDays = 45;
  int Shown = 0;
  int ShownDays = 0;
  WhenFormShows<TfmOptions>([&](TfmOptions& Form) {
    Shown = Form.seSimultaneousDownloads->value();
    ShownDays = Form.seKeepDays->value();
    Form.seSimultaneousDownloads->setValue(40);
    Form.seKeepDays->setValue(0);
    Form.btOK->click();
  });
  EXPECT_TRUE(EditOptions(T.Settings, nullptr));
  EXPECT_EQ(Shown, 3);
  EXPECT_EQ(ShownDays, 45);
  EXPECT_EQ(T.Settings.SimultaneousDownloads, TSettings::kMaxDownloads);
  EXPECT_EQ(T.Settings.KeepDays, TSettings::kMinKeepDays);
}

}  // namespace
}  // namespace skimbrook
