#include "ui/dialogs/fProxySettings.h"

#include <charconv>
#include <iterator>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>

#include "display/uDisplayText.h"
#include "settings/uSettings.h"
#include "ui/dialogs/fDialogSupport.h"

namespace skimbrook {

namespace {

constexpr int kDefaultPort = 80;

// Masks the password with one '*' per character, whatever the desktop style prefers.
class TStarPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                QStyleHintReturn* Return) const override {
    if (Hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(Hint, Option, Widget, Return);
  }
};

QLabel* AddLabel(QWidget& Form, const char* Caption, int Row) {
  auto* Label = new QLabel(QString::fromLatin1(Caption), &Form);
  Label->setGeometry(16, Row + 3, 68, 15);
  return Label;
}

QLineEdit* AddEdit(QWidget& Form, int Row) {
  auto* Edit = new QLineEdit(&Form);
  Edit->setGeometry(88, Row, 157, 21);
  return Edit;
}

// Enabled edits take the window background, disabled ones the button face.
void SetEditEnabled(QLineEdit& Edit, bool Enabled) {
  Edit.setEnabled(Enabled);
  QPalette Palette = Edit.palette();
  Palette.setColor(QPalette::Base,
                   QApplication::palette(&Edit).color(Enabled ? QPalette::Base : QPalette::Button));
  Edit.setPalette(Palette);
}

// The caption turns to the button shadow grey while the box is unavailable.
void SetCaptionColour(QCheckBox& Box, bool Available) {
  QPalette Palette = Box.palette();
  Palette.setColor(QPalette::WindowText,
                   QApplication::palette(&Box).color(Available ? QPalette::WindowText : QPalette::Dark));
  Box.setPalette(Palette);
}

std::string_view TrimBlanks(std::string_view Text) {
  const auto IsBlank = [](char C) { return C == ' ' || C == '\t'; };
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
  return Text;
}

}  // namespace

int ProxyPortFromText(std::string_view Text) {
  Text = TrimBlanks(Text);
  // from_chars takes a minus sign but no plus sign.
  if (!Text.empty() && Text.front() == '+') {
    Text.remove_prefix(1);
    if (!Text.empty() && Text.front() == '-') return kDefaultPort;
  }
  if (Text.empty()) return kDefaultPort;
  int Port = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Port);
  if (Error != std::errc() || End != Text.data() + Text.size()) return kDefaultPort;
  return Port;
}

TfmProxySettings::TfmProxySettings(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("fmProxySettings"));
  SetUpToolDialog(*this, QStringLiteral("Proxy Settings"), 261, 237);

  cbUseProxy = new QCheckBox(QStringLiteral("&Use Proxy Server"), this);
  cbUseProxy->setGeometry(16, 8, 229, 17);
  lbAddress = AddLabel(*this, "A&ddress", 36);
  ebAddress = AddEdit(*this, 36);
  lbPort = AddLabel(*this, "&Port", 68);
  ebPort = AddEdit(*this, 68);
  cbAuthentication = new QCheckBox(QStringLiteral("Proxy &Authentication"), this);
  cbAuthentication->setGeometry(16, 100, 229, 17);
  lbUserName = AddLabel(*this, "User &Name", 128);
  ebUserName = AddEdit(*this, 128);
  lbPassword = AddLabel(*this, "Pass&word", 160);
  ebPassword = AddEdit(*this, 160);
  // Each caption's letter reaches its edit.
  lbAddress->setBuddy(ebAddress);
  lbPort->setBuddy(ebPort);
  lbUserName->setBuddy(ebUserName);
  lbPassword->setBuddy(ebPassword);
  auto* StarStyle = new TStarPasswordStyle;
  StarStyle->setParent(this);
  ebPassword->setStyle(StarStyle);
  ebPassword->setEchoMode(QLineEdit::Password);
  AddSeparator(*this, QRect(8, 192, 245, 2));
  btOK = AddButton(*this, QStringLiteral("OK"), 88, 204);
  btCancel = AddButton(*this, QStringLiteral("Cancel"), 170, 204);
  btOK->setDefault(true);

  cbUseProxy->setObjectName(QStringLiteral("cbUseProxy"));
  lbAddress->setObjectName(QStringLiteral("lbAddress"));
  ebAddress->setObjectName(QStringLiteral("ebAddress"));
  lbPort->setObjectName(QStringLiteral("lbPort"));
  ebPort->setObjectName(QStringLiteral("ebPort"));
  cbAuthentication->setObjectName(QStringLiteral("cbAuthentication"));
  lbUserName->setObjectName(QStringLiteral("lbUserName"));
  ebUserName->setObjectName(QStringLiteral("ebUserName"));
  lbPassword->setObjectName(QStringLiteral("lbPassword"));
  ebPassword->setObjectName(QStringLiteral("ebPassword"));
  btOK->setObjectName(QStringLiteral("btOK"));
  btCancel->setObjectName(QStringLiteral("btCancel"));

  QWidget* Order[] = {cbUseProxy, ebAddress,  ebPort, cbAuthentication,
                      ebUserName, ebPassword, btOK,   btCancel};
  for (size_t I = 1; I < std::size(Order); ++I) setTabOrder(Order[I - 1], Order[I]);
  cbUseProxy->setFocus();

  // toggled fires for a change made in code as well, so setting a stored value applies
  // the rules just as a click does.
  connect(cbUseProxy, &QCheckBox::toggled, this, &TfmProxySettings::CheckboxClick);
  connect(cbAuthentication, &QCheckBox::toggled, this, &TfmProxySettings::CheckboxClick);
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
  CheckboxClick();
}

void TfmProxySettings::CheckboxClick() {
  const bool UseProxy = cbUseProxy->isChecked();
  const bool Credentials = UseProxy && cbAuthentication->isChecked();
  lbAddress->setEnabled(UseProxy);
  SetEditEnabled(*ebAddress, UseProxy);
  lbPort->setEnabled(UseProxy);
  SetEditEnabled(*ebPort, UseProxy);
  cbAuthentication->setEnabled(UseProxy);
  SetCaptionColour(*cbAuthentication, UseProxy);
  lbUserName->setEnabled(Credentials);
  SetEditEnabled(*ebUserName, Credentials);
  lbPassword->setEnabled(Credentials);
  SetEditEnabled(*ebPassword, Credentials);
}

bool EditProxySettings(TSettings& Settings, QWidget* Parent) {
  TfmProxySettings Form(Parent);
  Form.cbUseProxy->setChecked(Settings.UseProxy);
  Form.ebAddress->setText(ToDisplay(Settings.ProxyAddress));
  Form.ebPort->setText(QString::number(Settings.ProxyPort));
  Form.cbAuthentication->setChecked(Settings.UseAuthentication);
  Form.ebUserName->setText(ToDisplay(Settings.ProxyUserName));
  Form.ebPassword->setText(ToDisplay(Settings.ProxyPassword));
  if (Form.exec() != QDialog::Accepted) return false;
  Settings.UseProxy = Form.cbUseProxy->isChecked();
  Settings.ProxyAddress = EditedBytes(Form.ebAddress->text(), Settings.ProxyAddress);
  Settings.ProxyPort = ProxyPortFromText(Form.ebPort->text().toStdString());
  Settings.UseAuthentication = Form.cbAuthentication->isChecked();
  Settings.ProxyUserName = EditedBytes(Form.ebUserName->text(), Settings.ProxyUserName);
  Settings.ProxyPassword = EditedBytes(Form.ebPassword->text(), Settings.ProxyPassword);
  return true;
}

}  // namespace skimbrook
