#include "ui/dialogs/fFeedInfo.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <stdexcept>

#include "display/uDisplayText.h"
#include "download/uFetchState.h"
#include "model/uRSS.h"
#include "ui/browser/uFeedAddress.h"
#include "ui/dialogs/fDialogSupport.h"
#include "ui/panes/uListRules.h"

namespace skimbrook {

namespace {

// Where the download lines go: below the addresses, above the separator.
constexpr int kStateTop = 98;
constexpr int kStateWidth = 370;
// Where the line that says why an edit was not taken goes, once Edit is chosen.
constexpr int kProblemTop = 94;
constexpr int kProblemHeight = 30;

// Shows Edit read-only on the button face, or editable on the window's colour.
void SetEditable(QLineEdit& Edit, bool Editable) {
  Edit.setReadOnly(!Editable);
  QPalette palette = Edit.palette();
  palette.setColor(QPalette::Base,
                   QApplication::palette(&Edit).color(Editable ? QPalette::Base : QPalette::Button));
  Edit.setPalette(palette);
}

// A caption at the left and a read-only edit beside it; the caption's letter reaches it.
QLineEdit* AddInfoRow(QWidget& Form, const char* Caption, const char* Name, int Row) {
  auto* label = new QLabel(QString::fromLatin1(Caption), &Form);
  label->setGeometry(12, Row + 3, 68, 15);
  auto* edit = new QLineEdit(&Form);
  edit->setObjectName(QString::fromLatin1(Name));
  edit->setGeometry(84, Row, 297, 21);
  SetEditable(*edit, false);
  label->setBuddy(edit);
  return edit;
}

QStringList DownloadLines(const TFetchRecord& Record) {
  QStringList lines;
  lines << (Record.LastSuccess ? QStringLiteral("Last downloaded: %1").arg(LocalTime(Record.LastSuccess))
                               : QStringLiteral("Not downloaded yet"));
  if (!Record.LastFailure.empty())
    lines << QStringLiteral("Last download failed: %1 (%2)")
                 .arg(ToDisplay(Record.LastFailure), LocalTime(Record.LastFailureTime));
  if (!Record.MovedTo.empty()) lines << QStringLiteral("Moved to: %1").arg(ToDisplayAddress(Record.MovedTo));
  return lines;
}

// The address shows its password as "***": a typed address that still has the mask there
// keeps the stored password.
std::string WithStoredPassword(std::string Typed, const std::string& Stored) {
  const std::string shown = AddressWithoutPassword(Stored);
  const size_t mask = shown.find(":***@");
  const size_t typedMask = Typed.find(":***@");
  if (shown == Stored || mask == std::string::npos || typedMask == std::string::npos) return Typed;
  const size_t end = Stored.find('@', mask + 1);
  if (end == std::string::npos) return Typed;
  return Typed.replace(typedMask + 1, 3, Stored.substr(mask + 1, end - mask - 1));
}

}  // namespace

TfmFeedInfo::TfmFeedInfo(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("fmFeedInfo"));
  SetUpToolDialog(*this, QStringLiteral("Feed Info"), 394, 150);
  ebFeedTitle = AddInfoRow(*this, "&Title", "ebFeedTitle", 12);
  ebFeedHtmlLink = AddInfoRow(*this, "&HTML Link", "ebFeedHtmlLink", 40);
  ebFeedXmlLink = AddInfoRow(*this, "&XML Link", "ebFeedXmlLink", 68);
  AddSeparator(*this, QRect(8, 104, 378, 2));
  btEdit = AddButton(*this, QStringLiteral("&Edit"), 12, 116);
  btEdit->setObjectName(QStringLiteral("btEdit"));
  btEdit->setAutoDefault(false);  // Enter stays OK
  btOK = AddButton(*this, QStringLiteral("OK"), 225, 116);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setDefault(true);
  btCancel = AddButton(*this, QStringLiteral("Cancel"), 306, 116);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  connect(btEdit, &QPushButton::clicked, this, &TfmFeedInfo::btEditClick);
  connect(btOK, &QPushButton::clicked, this, &TfmFeedInfo::btOKClick);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmFeedInfo::ShowFeed(const TFeed& Feed, const std::string& Encoding) {
  feed_ = &Feed;
  shownTitle_ = ToDisplayTitle(Feed.Title, Encoding);
  shownAddress_ = ToDisplayAddress(Feed.XmlUrl);
  ebFeedTitle->setText(shownTitle_);
  ebFeedHtmlLink->setText(ToDisplayAddress(Feed.HtmlUrl, Encoding));
  ebFeedXmlLink->setText(shownAddress_);
}

void TfmFeedInfo::MakeRoom(int Top, int Extra) {
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->y() >= Top) child->move(child->x(), child->y() + Extra);
  setFixedSize(width(), height() + Extra);
}

void TfmFeedInfo::ShowRecord(const TFetchRecord& Record) {
  const QString text = DownloadLines(Record).join(QLatin1Char('\n'));
  auto* label = new QLabel(this);
  label->setTextFormat(Qt::PlainText);  // a server's reason is never markup
  label->setWordWrap(true);             // a long address wraps instead of being cut
  label->setText(text);
  const int textHeight = label->heightForWidth(kStateWidth);
  int extra = textHeight + 8;
  if (!Record.MovedTo.empty()) extra += 25 + 8;
  // The separator and the buttons move down below the new lines.
  MakeRoom(kStateTop, extra);
  lbDownloadState = label;
  lbDownloadState->setObjectName(QStringLiteral("lbDownloadState"));
  lbDownloadState->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lbDownloadState->setGeometry(12, kStateTop, kStateWidth, textHeight);
  if (!Record.MovedTo.empty()) {
    btUseNewAddress =
        AddButton(*this, QStringLiteral("&Use the new address"), 12, kStateTop + textHeight + 8);
    btUseNewAddress->setObjectName(QStringLiteral("btUseNewAddress"));
    btUseNewAddress->setAutoDefault(false);
    btUseNewAddress->resize(150, btUseNewAddress->height());
    connect(btUseNewAddress, &QPushButton::clicked, this, [this] {
      answer_ = TFeedInfoAnswer(TFeedInfoAnswer::kUseNewAddress);
      done(kUseNewAddress);
    });
    setTabOrder(ebFeedXmlLink, btUseNewAddress);
    setTabOrder(btUseNewAddress, btEdit);
  }
}

void TfmFeedInfo::btEditClick() {
  if (!lbProblem) {
    MakeRoom(kProblemTop, kProblemHeight + 4);
    lbProblem = new QLabel(this);
    lbProblem->setObjectName(QStringLiteral("lbProblem"));
    lbProblem->setTextFormat(Qt::PlainText);  // it may quote a title or an address
    lbProblem->setWordWrap(true);
    lbProblem->setGeometry(84, kProblemTop, 297, kProblemHeight);
    lbProblem->show();
  }
  SetEditable(*ebFeedTitle, true);
  // A group heading has no address; a feed's web site comes from its document.
  if (feed_ && !feed_->XmlUrl.empty()) SetEditable(*ebFeedXmlLink, true);
  ebFeedTitle->setFocus();
  ebFeedTitle->selectAll();
  btEdit->setEnabled(false);
}

void TfmFeedInfo::ShowProblem(QLineEdit* Edit, const QString& Text) {
  lbProblem->setText(Text);
  Edit->setFocus();
  Edit->selectAll();
}

bool TfmFeedInfo::TakeEdits() {
  answer_ = TFeedInfoAnswer();
  if (!feed_ || ebFeedTitle->isReadOnly()) return true;
  const bool heading = feed_->XmlUrl.empty();
  TFeedInfoAnswer answer(TFeedInfoAnswer::kEdited);
  if (ebFeedTitle->text() != shownTitle_) {
    if (heading && ebFeedTitle->text().trimmed().isEmpty()) {
      ShowProblem(ebFeedTitle, QStringLiteral("A group needs a name."));
      return false;
    }
    answer.TitleChanged = true;
    answer.Title = ebFeedTitle->text();
  }
  if (!heading && ebFeedXmlLink->text() != shownAddress_) {
    std::string url;
    try {
      url = SubscriptionAddress(WithStoredPassword(FromDisplay(ebFeedXmlLink->text()), feed_->XmlUrl));
    } catch (const std::runtime_error& refused) {
      ShowProblem(ebFeedXmlLink, ToDisplay(refused.what()));
      return false;
    }
    // One subscription per address: another entry's address would download and count
    // that feed twice.
    const TFeedList* list = feed_->Owner;
    const int other = list ? list->IndexOfAddress(url) : -1;
    if (other >= 0 && list->Feeds(other).get() != feed_) {
      ShowProblem(
          ebFeedXmlLink,
          QStringLiteral("\"%1\" already has this address.").arg(ToDisplayTitle(list->Feeds(other)->Title)));
      return false;
    }
    if (url != feed_->XmlUrl) {
      answer.AddressChanged = true;
      answer.XmlUrl = url;
    }
  }
  if (answer.TitleChanged || answer.AddressChanged) answer_ = answer;
  return true;
}

void TfmFeedInfo::btOKClick() {
  if (TakeEdits()) accept();
}

TFeedInfoAnswer ShowFeedInfo(const TFeed& Feed, const TFetchRecord* Record, QWidget* Parent,
                             bool StartEditing) {
  TfmFeedInfo Form(Parent);
  Form.ShowFeed(Feed, Record ? Record->Encoding : std::string());
  if (Record) Form.ShowRecord(*Record);
  if (StartEditing) Form.btEditClick();
  Form.exec();
  return Form.Answer();
}

}  // namespace skimbrook
