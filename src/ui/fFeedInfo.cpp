#include "ui/fFeedInfo.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/fDialogSupport.h"

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

void ShowFeedInfo(const TFeed& Feed, QWidget* Parent) {
  TfmFeedInfo Form(Parent);
  Form.ebFeedTitle->setText(ToDisplay(Feed.Title));
  Form.ebFeedHtmlLink->setText(ToDisplay(Feed.HtmlUrl));
  Form.ebFeedXmlLink->setText(ToDisplay(Feed.XmlUrl));
  Form.exec();
}

}  // namespace skimbrook
