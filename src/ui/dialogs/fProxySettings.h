// The proxy settings dialog.
#pragma once

#include <string_view>

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace skimbrook {

class TSettings;

// The proxy dialog's form. The address and port follow "Use Proxy Server"; the
// credentials follow it and "Proxy Authentication" together. Escape cancels.
class TfmProxySettings : public QDialog {
  Q_OBJECT

 public:
  explicit TfmProxySettings(QWidget* Parent = nullptr);

  // Applies the enable rules for the current state of the two boxes.
  void CheckboxClick();

  QCheckBox* cbUseProxy;
  QLabel* lbAddress;
  QLineEdit* ebAddress;
  QLabel* lbPort;
  QLineEdit* ebPort;
  QCheckBox* cbAuthentication;
  QLabel* lbUserName;
  QLineEdit* ebUserName;
  QLabel* lbPassword;
  QLineEdit* ebPassword;
  QPushButton* btOK;
  QPushButton* btCancel;
};

// The port a port text stands for: the decimal integer it holds (blanks around it and a
// sign allowed, negative numbers kept), or 80 when it holds none or one beyond 32 bits.
int ProxyPortFromText(std::string_view Text);

// Shows the proxy dialog for Settings; copies the controls back and returns true only
// when the user pressed OK. Saving is the caller's step.
bool EditProxySettings(TSettings& Settings, QWidget* Parent);

}  // namespace skimbrook
