#include "ui/fFeedInfo.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "display/uDisplayText.h"
#include "download/uFetchState.h"
#include "model/uRSS.h"
#include "ui/fDialogSupport.h"
#include "ui/uListRules.h"

namespace skimbrook {

namespace {

// A caption at the left and a read-only edit on the button face beside it.
QLineEdit* AddInfoRow(QWidget& Form, const char* Caption, const char* Name, int Row) {
  auto* Label = new QLabel(QString::fromLatin1(Caption), &Form);
  Label->setGeometry(12, Row + 3, 68, 15);
  auto* Edit = new QLineEdit(&Form);
  Edit->setObjectName(QString::fromLatin1(Name));
  Edit->setGeometry(84, Row, 297, 21);
  Edit->setReadOnly(true);
  QPalette Palette = Edit->palette();
  Palette.setColor(QPalette::Base, QApplication::palette(Edit).color(QPalette::Button));
  Edit->setPalette(Palette);
  Label->setBuddy(Edit);
  return Edit;
}

}  // namespace

TfmFeedInfo::TfmFeedInfo(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("fmFeedInfo"));
  SetUpToolDialog(*this, QStringLiteral("Feed Info"), 394, 150);
  ebFeedTitle = AddInfoRow(*this, "Title", "ebFeedTitle", 12);
  ebFeedHtmlLink = AddInfoRow(*this, "HTML Link", "ebFeedHtmlLink", 40);
  ebFeedXmlLink = AddInfoRow(*this, "XML Link", "ebFeedXmlLink", 68);
  AddSeparator(*this, QRect(8, 104, 378, 2));
  btOK = AddButton(*this, QStringLiteral("OK"), 306, 116);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setDefault(true);
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
}

namespace {

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

// Where the download lines go: below the addresses, above the separator.
constexpr int kStateTop = 98;
constexpr int kStateWidth = 370;

}  // namespace

void TfmFeedInfo::ShowRecord(const TFetchRecord& Record) {
  lbDownloadState = new QLabel(DownloadLines(Record).join(QLatin1Char('\n')), this);
  lbDownloadState->setObjectName(QStringLiteral("lbDownloadState"));
  lbDownloadState->setTextFormat(Qt::PlainText);  // a server's reason is never markup
  lbDownloadState->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lbDownloadState->setWordWrap(true);  // a long address wraps instead of being cut
  const int textHeight = lbDownloadState->heightForWidth(kStateWidth);
  lbDownloadState->setGeometry(12, kStateTop, kStateWidth, textHeight);
  int extra = textHeight + 8;
  if (!Record.MovedTo.empty()) {
    btUseNewAddress = AddButton(*this, QStringLiteral("Use the new address"), 12, kStateTop + extra);
    btUseNewAddress->setObjectName(QStringLiteral("btUseNewAddress"));
    btUseNewAddress->resize(150, btUseNewAddress->height());
    connect(btUseNewAddress, &QPushButton::clicked, this, [this] { done(kUseNewAddress); });
    extra += btUseNewAddress->height() + 8;
  }
  // The separator and OK move down below the new lines.
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child != lbDownloadState && child != btUseNewAddress && child->y() >= kStateTop)
      child->move(child->x(), child->y() + extra);
  setFixedSize(width(), height() + extra);
}

bool ShowFeedInfo(const TFeed& Feed, const TFetchRecord* Record, QWidget* Parent) {
  TfmFeedInfo Form(Parent);
  const std::string& encoding = Record ? Record->Encoding : std::string();
  Form.ebFeedTitle->setText(ToDisplayTitle(Feed.Title, encoding));
  Form.ebFeedHtmlLink->setText(ToDisplayAddress(Feed.HtmlUrl, encoding));
  Form.ebFeedXmlLink->setText(ToDisplayAddress(Feed.XmlUrl));
  if (Record) Form.ShowRecord(*Record);
  return Form.exec() == TfmFeedInfo::kUseNewAddress;
}

}  // namespace skimbrook
