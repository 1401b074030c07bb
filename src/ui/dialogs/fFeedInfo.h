// The feed info dialog: a feed's title and its two addresses, read-only to copy until the
// user chooses Edit; below them, when the feed has been downloaded, its last success and
// why its last download failed, and for a feed that has moved, "Use the new address".
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace skimbrook {

class TFeed;
struct TFetchRecord;

// What the user did in Feed Info.
struct TFeedInfoAnswer {
  enum TAction { kClosed, kUseNewAddress, kEdited };
  TFeedInfoAnswer() = default;
  explicit TFeedInfoAnswer(TAction Chosen) : Action(Chosen) {}

  TAction Action = kClosed;
  // kEdited: the title as typed, when it changed. An empty title of a feed hands its name
  // back to the feed's own document.
  bool TitleChanged = false;
  QString Title;
  // kEdited: the new address, when it changed; one the list takes (as Add Feed checks it)
  // and no other entry has.
  bool AddressChanged = false;
  std::string XmlUrl;
};

// The feed info form: three edits, read-only until "Edit" makes the title (and a feed's
// address) editable; OK is the default button, Escape and Cancel leave everything as it
// was. An edit that cannot be taken keeps the form open and says why under the edits.
class TfmFeedInfo : public QDialog {
  Q_OBJECT

 public:
  explicit TfmFeedInfo(QWidget* Parent = nullptr);
  // The result of a form closed with "Use the new address".
  static constexpr int kUseNewAddress = 2;

  QLineEdit* ebFeedTitle;
  QLineEdit* ebFeedHtmlLink;
  QLineEdit* ebFeedXmlLink;
  QPushButton* btEdit;
  QPushButton* btOK;
  QPushButton* btCancel;
  // Shown once Edit is chosen: why an edit was not taken.
  QLabel* lbProblem = nullptr;
  // Shown by ShowRecord: the download lines, and the button of a moved feed.
  QLabel* lbDownloadState = nullptr;
  QPushButton* btUseNewAddress = nullptr;

  // Fills the edits from Feed, its title and web site read in Encoding. Feed must outlive
  // the form.
  void ShowFeed(const TFeed& Feed, const std::string& Encoding);
  // Adds the lines of Record below the addresses (the form grows to hold them).
  void ShowRecord(const TFetchRecord& Record);
  // Makes the title, and a feed's address, editable.
  void btEditClick();
  // Closes the form; after Edit, only once the edits can be taken.
  void btOKClick();
  // What the form was closed with.
  const TFeedInfoAnswer& Answer() const { return answer_; }

 private:
  // Moves the controls at Top and below down by Extra pixels; the form grows with them.
  void MakeRoom(int Top, int Extra);
  void ShowProblem(QLineEdit* Edit, const QString& Text);
  // The edits as an answer; false (with the problem shown) when they cannot be taken.
  bool TakeEdits();

  const TFeed* feed_ = nullptr;
  QString shownTitle_;
  QString shownAddress_;
  TFeedInfoAnswer answer_;
};

// Shows the dialog modally for Feed with what Record (may be none) says of its downloads.
TFeedInfoAnswer ShowFeedInfo(const TFeed& Feed, const TFetchRecord* Record, QWidget* Parent,
                             bool StartEditing = false);

}  // namespace skimbrook
