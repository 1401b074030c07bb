#include "ui/dialogs/fOptions.h"

#include <iterator>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "settings/uSettings.h"
#include "ui/dialogs/fDialogSupport.h"

namespace skimbrook {

namespace {

// The boxes stand one under the other, 24 pixels apart.
QCheckBox* AddOptionBox(QWidget& Form, const char* Caption, int Row) {
  auto* Box = new QCheckBox(QString::fromLatin1(Caption), &Form);
  Box->setGeometry(16, 8 + 24 * Row, 301, 17);
  return Box;
}

// A number box on option line Row, behind its label Label, whose mnemonic gives it the focus.
QSpinBox* AddNumberLine(QWidget& Form, QLabel*& Label, const QString& Caption, int Row, int Min, int Max) {
  Label = new QLabel(Caption, &Form);
  Label->setGeometry(16, 8 + 24 * Row + 2, 200, 17);
  auto* Box = new QSpinBox(&Form);
  Box->setGeometry(220, 8 + 24 * Row, 60, 21);
  Box->setRange(Min, Max);
  Label->setBuddy(Box);
  return Box;
}

}  // namespace

TfmOptions::TfmOptions(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("fmOptions"));
  SetUpToolDialog(*this, QStringLiteral("Options"), 393, 301);

  cbRememberFormPosition = AddOptionBox(*this, "&Remember form position", 0);
  cbDownloadOnStartup = AddOptionBox(*this, "&Download all feeds on startup", 1);
  cbAutoDownload = AddOptionBox(*this, "&Automatically download every 1 hour", 2);
  cbMinimizeToTray = AddOptionBox(*this, "&Minimize to tray", 3);
  cbShowTips = AddOptionBox(*this, "Show &tips on start up", 4);
  // The option mirrors itself to the session's autostart entry.
  cbStartup = AddOptionBox(*this, "&Start Skimbrook when I log in", 5);
  cbShowNotifications = AddOptionBox(*this, "Tell me when new &items arrive", 6);
  cbFollowRedirects = AddOptionBox(*this, "&Follow a feed that has moved", 7);
  seSimultaneousDownloads =
      AddNumberLine(*this, lbSimultaneousDownloads, QStringLiteral("Feeds downloaded at &once:"), 8,
                    TSettings::kMinDownloads, TSettings::kMaxDownloads);
  // Older items are those that have left their feed's document; starred ones stay always.
  seKeepDays = AddNumberLine(*this, lbKeepDays, QStringLiteral("&Keep older items for"), 9,
                             TSettings::kMinKeepDays, TSettings::kMaxKeepDays);
  lbKeepDaysUnit = new QLabel(QStringLiteral("days"), this);
  lbKeepDaysUnit->setGeometry(286, 8 + 24 * 9 + 2, 60, 17);
  AddSeparator(*this, QRect(8, 256, 377, 2));
  btOK = AddButton(*this, QStringLiteral("OK"), 224, 268);
  btCancel = AddButton(*this, QStringLiteral("Cancel"), 306, 268);
  btOK->setDefault(true);

  cbRememberFormPosition->setObjectName(QStringLiteral("cbRememberFormPosition"));
  cbDownloadOnStartup->setObjectName(QStringLiteral("cbDownloadOnStartup"));
  cbAutoDownload->setObjectName(QStringLiteral("cbAutoDownload"));
  cbMinimizeToTray->setObjectName(QStringLiteral("cbMinimizeToTray"));
  cbShowTips->setObjectName(QStringLiteral("cbShowTips"));
  cbStartup->setObjectName(QStringLiteral("cbStartup"));
  cbShowNotifications->setObjectName(QStringLiteral("cbShowNotifications"));
  cbFollowRedirects->setObjectName(QStringLiteral("cbFollowRedirects"));
  seSimultaneousDownloads->setObjectName(QStringLiteral("seSimultaneousDownloads"));
  seKeepDays->setObjectName(QStringLiteral("seKeepDays"));
  btOK->setObjectName(QStringLiteral("btOK"));
  btCancel->setObjectName(QStringLiteral("btCancel"));

  QWidget* Order[] = {cbRememberFormPosition,
                      cbDownloadOnStartup,
                      cbAutoDownload,
                      cbMinimizeToTray,
                      cbShowTips,
                      cbStartup,
                      cbShowNotifications,
                      cbFollowRedirects,
                      seSimultaneousDownloads,
                      seKeepDays,
                      btOK,
                      btCancel};
  for (size_t I = 1; I < std::size(Order); ++I) setTabOrder(Order[I - 1], Order[I]);
  cbRememberFormPosition->setFocus();

  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool EditOptions(TSettings& Settings, QWidget* Parent) {
  TfmOptions Form(Parent);
  Form.cbRememberFormPosition->setChecked(Settings.RememberForm);
  Form.cbDownloadOnStartup->setChecked(Settings.DownloadOnStartUp);
  Form.cbAutoDownload->setChecked(Settings.AutomaticallyDownload);
  Form.cbMinimizeToTray->setChecked(Settings.MinimizeToTray);
  Form.cbShowTips->setChecked(Settings.ShowTips);
  Form.cbStartup->setChecked(Settings.StartWithWindows);
  Form.cbShowNotifications->setChecked(Settings.ShowNotifications);
  Form.cbFollowRedirects->setChecked(Settings.FollowRedirects);
  Form.seSimultaneousDownloads->setValue(Settings.SimultaneousDownloads);
  Form.seKeepDays->setValue(Settings.KeepDays);
  if (Form.exec() != QDialog::Accepted) return false;
  Settings.RememberForm = Form.cbRememberFormPosition->isChecked();
  Settings.DownloadOnStartUp = Form.cbDownloadOnStartup->isChecked();
  Settings.AutomaticallyDownload = Form.cbAutoDownload->isChecked();
  Settings.MinimizeToTray = Form.cbMinimizeToTray->isChecked();
  Settings.ShowTips = Form.cbShowTips->isChecked();
  Settings.StartWithWindows = Form.cbStartup->isChecked();
  Settings.ShowNotifications = Form.cbShowNotifications->isChecked();
  Settings.FollowRedirects = Form.cbFollowRedirects->isChecked();
  Settings.SimultaneousDownloads = Form.seSimultaneousDownloads->value();
  Settings.KeepDays = Form.seKeepDays->value();
  return true;
}

}  // namespace skimbrook
