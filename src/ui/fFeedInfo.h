// The feed info dialog: a feed's title and its two addresses, read-only, to copy.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace skimbrook {

class TFeed;

// The feed info form: three read-only edits and OK, the default button, so that Enter
// closes it like Escape.
class TfmFeedInfo : public QDialog {
  Q_OBJECT

 public:
  explicit TfmFeedInfo(QWidget* Parent = nullptr);

  QLineEdit* ebFeedTitle;
  QLineEdit* ebFeedHtmlLink;
  QLineEdit* ebFeedXmlLink;
  QPushButton* btOK;
};

// Shows the dialog modally for Feed; changes nothing.
void ShowFeedInfo(const TFeed& Feed, QWidget* Parent);

}  // namespace skimbrook
