// The options dialog.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

namespace skimbrook {

class TSettings;

// The options dialog's form: six boxes for the start-up and window behaviour, then the
// notification and download choices, how long older items are kept, OK and Cancel. Escape cancels.
class TfmOptions : public QDialog {
  Q_OBJECT

 public:
  explicit TfmOptions(QWidget* Parent = nullptr);

  QCheckBox* cbRememberFormPosition;
  QCheckBox* cbDownloadOnStartup;
  QCheckBox* cbAutoDownload;
  QCheckBox* cbMinimizeToTray;
  QCheckBox* cbShowTips;
  QCheckBox* cbStartup;
  QCheckBox* cbShowNotifications;
  QCheckBox* cbFollowRedirects;
  QLabel* lbSimultaneousDownloads;
  QSpinBox* seSimultaneousDownloads;
  QLabel* lbKeepDays;
  QSpinBox* seKeepDays;
  QLabel* lbKeepDaysUnit;
  QPushButton* btOK;
  QPushButton* btCancel;
};

// Shows the options dialog for Settings; copies the boxes back and returns true only when
// the user pressed OK. Saving is the caller's step.
bool EditOptions(TSettings& Settings, QWidget* Parent);

}  // namespace skimbrook
