#include "ui/dialogs/fProxySettings.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DialogTestSupport.h"

namespace skimbrook {
namespace {

using test::TTestSettings;
using test::WhenFormShows;

QColor EditBackground(const QLineEdit& Edit) {
  return Edit.palette().color(QPalette::Base);
}

QColor Themed(const QWidget& Widget, QPalette::ColorRole Role) {
  return QApplication::palette(&Widget).color(Role);
}

// What the enable rules promise for a state of the two boxes.
void ExpectRulesFor(TfmProxySettings& Form, bool UseProxy, bool Authentication) {
  SCOPED_TRACE(testing::Message() << "UseProxy " << UseProxy << ", Authentication " << Authentication);
  const bool Credentials = UseProxy && Authentication;
  for (QWidget* Control : {static_cast<QWidget*>(Form.lbAddress), static_cast<QWidget*>(Form.ebAddress),
                           static_cast<QWidget*>(Form.lbPort), static_cast<QWidget*>(Form.ebPort)}) {
    EXPECT_EQ(Control->isEnabled(), UseProxy) << Control->objectName().toStdString();
  }
  for (QWidget* Control : {static_cast<QWidget*>(Form.lbUserName), static_cast<QWidget*>(Form.ebUserName),
                           static_cast<QWidget*>(Form.lbPassword), static_cast<QWidget*>(Form.ebPassword)}) {
    EXPECT_EQ(Control->isEnabled(), Credentials) << Control->objectName().toStdString();
  }
  EXPECT_EQ(Form.cbAuthentication->isEnabled(), UseProxy);
  EXPECT_EQ(Form.cbAuthentication->palette().color(QPalette::WindowText),
            Themed(*Form.cbAuthentication, UseProxy ? QPalette::WindowText : QPalette::Dark));
  for (QLineEdit* Edit : {Form.ebAddress, Form.ebPort}) {
    EXPECT_EQ(EditBackground(*Edit), Themed(*Edit, UseProxy ? QPalette::Base : QPalette::Button));
  }
  for (QLineEdit* Edit : {Form.ebUserName, Form.ebPassword}) {
    EXPECT_EQ(EditBackground(*Edit), Themed(*Edit, Credentials ? QPalette::Base : QPalette::Button));
  }
}

class ProxyDialogRules : public ::testing::TestWithParam<std::pair<bool, bool>> {};

TEST_P(ProxyDialogRules, HoldAtOpeningForTheStoredStateAndAfterClicksIntoIt) {
  const auto [UseProxy, Authentication] = GetParam();
  TTestSettings T;
  T.Settings.UseProxy = UseProxy;
  T.Settings.UseAuthentication = Authentication;
  WhenFormShows<TfmProxySettings>([&](TfmProxySettings& Form) {
    ExpectRulesFor(Form, UseProxy, Authentication);
    // Into the same state by hand, from the opposite of both boxes. The authentication
    // box takes a click only while the proxy box is ticked.
    Form.cbAuthentication->setChecked(!Authentication);
    Form.cbUseProxy->setChecked(!UseProxy);
    ExpectRulesFor(Form, !UseProxy, !Authentication);
    if (UseProxy) Form.cbUseProxy->click();
    Form.cbAuthentication->click();
    if (!UseProxy) Form.cbUseProxy->click();
    ExpectRulesFor(Form, UseProxy, Authentication);
    Form.reject();
  });
  EditProxySettings(T.Settings, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Boxes, ProxyDialogRules,
                         ::testing::Values(std::pair{false, false}, std::pair{false, true},
                                           std::pair{true, false}, std::pair{true, true}));

TEST(ProxyPortFromText, ReadsADecimal32BitIntegerOrGives80) {
  const std::pair<const char*, int> Cases[] = {
      {"8080", 8080},
      {"abc", 80},
      {"", 80},
      {"   ", 80},
      {"-1", -1},
      {" 3128 ", 3128},
      {"+8080", 8080},
      {"0", 0},
      {"12ab", 80},
      {"0x50", 80},
      {"8 080", 80},
      {"-", 80},
      {"+-5", 80},
      {"2147483647", 2147483647},
      {"2147483648", 80},
      {"-2147483648", -2147483647 - 1},
      {"99999999999999999999", 80},
  };
  for (const auto& [Text, Port] : Cases) EXPECT_EQ(ProxyPortFromText(Text), Port) << '"' << Text << '"';
}

void Type(QLineEdit* Edit, const QString& Text) {
  Edit->clear();
  QTest::keyClicks(Edit, Text);
}

TEST(ProxyDialog, OkStoresTheTextsAsTypedAndThePortAsANumber) {
  TTestSettings T;
  WhenFormShows<TfmProxySettings>([](TfmProxySettings& Form) {
    Form.cbUseProxy->click();
    Form.cbAuthentication->click();
    Type(Form.ebAddress, QStringLiteral(" proxy.example "));
    Type(Form.ebPort, QStringLiteral("8080"));
    Type(Form.ebUserName, QStringLiteral("jo"));
    Type(Form.ebPassword, QStringLiteral("s3cr"));
    Form.ebPassword->insert(QStringLiteral("\u00E9t"));  // typed through an input method
    EXPECT_EQ(Form.ebPassword->displayText(), QStringLiteral("******"));
    Form.btOK->click();
  });
  ASSERT_TRUE(EditProxySettings(T.Settings, nullptr));
  EXPECT_TRUE(T.Settings.UseProxy);
  EXPECT_EQ(T.Settings.ProxyAddress, " proxy.example ");
  EXPECT_EQ(T.Settings.ProxyPort, 8080);
  EXPECT_TRUE(T.Settings.UseAuthentication);
  EXPECT_EQ(T.Settings.ProxyUserName, "jo");
  EXPECT_EQ(T.Settings.ProxyPassword, "s3cr\xC3\xA9t");
}

TEST(ProxyDialog, PortTextThatIsNoNumberStores80) {
  TTestSettings T;
  T.Settings.ProxyPort = 3128;
  WhenFormShows<TfmProxySettings>([](TfmProxySettings& Form) {
    Form.ebPort->setText(QStringLiteral("abc"));
    Form.btOK->click();
  });
  ASSERT_TRUE(EditProxySettings(T.Settings, nullptr));
  EXPECT_EQ(T.Settings.ProxyPort, 80);
}

TEST(ProxyDialog, TurningTheProxyOffKeepsAddressPortAndCredentials) {
  TTestSettings T;
  T.Settings.UseProxy = true;
  T.Settings.UseAuthentication = true;
  T.Settings.ProxyAddress = "proxy.example";
  T.Settings.ProxyPort = 3128;
  T.Settings.ProxyUserName = "jo";
  T.Settings.ProxyPassword = "p\xE9ss";  // not UTF-8: kept byte for byte while untouched
  WhenFormShows<TfmProxySettings>([](TfmProxySettings& Form) {
    EXPECT_EQ(Form.ebPassword->text(), QStringLiteral("p\u00E9ss"));
    Form.cbUseProxy->click();
    Form.btOK->click();
  });
  ASSERT_TRUE(EditProxySettings(T.Settings, nullptr));
  EXPECT_FALSE(T.Settings.UseProxy);
  EXPECT_TRUE(T.Settings.UseAuthentication);
  EXPECT_EQ(T.Settings.ProxyAddress, "proxy.example");
  EXPECT_EQ(T.Settings.ProxyPort, 3128);
  EXPECT_EQ(T.Settings.ProxyUserName, "jo");
  EXPECT_EQ(T.Settings.ProxyPassword, "p\xE9ss");
}

enum class TLeave { CancelButton, EscapeInAnEdit, CloseWindow };

class ProxyDialogLeft : public ::testing::TestWithParam<TLeave> {};

TEST_P(ProxyDialogLeft, WithoutOkChangesNothing) {
  TTestSettings T;
  T.Settings.ProxyAddress = "proxy.example";
  WhenFormShows<TfmProxySettings>([](TfmProxySettings& Form) {
    Form.cbUseProxy->click();
    Form.cbAuthentication->click();
    Type(Form.ebAddress, QStringLiteral("other.example"));
    Type(Form.ebPort, QStringLiteral("1"));
    Type(Form.ebUserName, QStringLiteral("x"));
    Type(Form.ebPassword, QStringLiteral("y"));
    switch (GetParam()) {
      case TLeave::CancelButton:
        Form.btCancel->click();
        break;
      case TLeave::EscapeInAnEdit:
        Form.ebPassword->setFocus();
        EXPECT_EQ(Form.focusWidget(), Form.ebPassword);
        test::PressKey(Form, Qt::Key_Escape);
        break;
      case TLeave::CloseWindow:
        Form.close();
        break;
    }
  });
  EXPECT_FALSE(EditProxySettings(T.Settings, nullptr));
  EXPECT_FALSE(T.Settings.UseProxy);
  EXPECT_FALSE(T.Settings.UseAuthentication);
  EXPECT_EQ(T.Settings.ProxyAddress, "proxy.example");
  EXPECT_EQ(T.Settings.ProxyPort, 80);
  EXPECT_EQ(T.Settings.ProxyUserName, "");
  EXPECT_EQ(T.Settings.ProxyPassword, "");
}

INSTANTIATE_TEST_SUITE_P(Ways, ProxyDialogLeft,
                         ::testing::Values(TLeave::CancelButton, TLeave::EscapeInAnEdit,
                                           TLeave::CloseWindow));

TEST(ProxyDialog, TabVisitsTheControlsTopToBottomThenOkThenCancel) {
  TTestSettings T;
  T.Settings.UseProxy = true;
  T.Settings.UseAuthentication = true;
  std::vector<std::string> Order;
  WhenFormShows<TfmProxySettings>([&](TfmProxySettings& Form) {
    Order = test::TabOrder(Form, 9);
    Form.reject();
  });
  EditProxySettings(T.Settings, nullptr);
  EXPECT_EQ(Order, (std::vector<std::string>{"cbUseProxy", "ebAddress", "ebPort", "cbAuthentication",
                                             "ebUserName", "ebPassword", "btOK", "btCancel", "cbUseProxy"}));
}

}  // namespace
}  // namespace skimbrook
