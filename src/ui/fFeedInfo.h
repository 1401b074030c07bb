// The feed info dialog: a feed's title and its two addresses, read-only, to copy; below
// them, when the feed has been downloaded, its last success and why its last download
// failed, and for a feed that has moved, "Use the new address".
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace skimbrook {

class TFeed;
struct TFetchRecord;

// The feed info form: three read-only edits and OK, the default button, so that Enter
// closes it like Escape.
class TfmFeedInfo : public QDialog {
  Q_OBJECT

 public:
  explicit TfmFeedInfo(QWidget* Parent = nullptr);
  // The result of a form closed with "Use the new address".
  static constexpr int kUseNewAddress = 2;

  QLineEdit* ebFeedTitle;
  QLineEdit* ebFeedHtmlLink;
  QLineEdit* ebFeedXmlLink;
  QPushButton* btOK;
  // Shown by ShowRecord: the download lines, and the button of a moved feed.
  QLabel* lbDownloadState = nullptr;
  QPushButton* btUseNewAddress = nullptr;

  // Adds the lines of Record below the addresses (the form grows to hold them).
  void ShowRecord(const TFetchRecord& Record);
};

// Shows the dialog modally for Feed with what Record (may be none) says of its downloads.
// True when the user chose "Use the new address" of a feed that has moved.
bool ShowFeedInfo(const TFeed& Feed, const TFetchRecord* Record, QWidget* Parent);

}  // namespace skimbrook
