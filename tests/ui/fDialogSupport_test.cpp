#include "ui/dialogs/fDialogSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <functional>
#include <memory>
#include <set>

#include "ui/dialogs/fFeedInfo.h"
#include "ui/dialogs/fOptions.h"
#include "ui/dialogs/fProxySettings.h"
#include "ui/dialogs/fTip.h"

namespace skimbrook {
namespace {

TEST(EditedBytes, KeepsTheStoredBytesWhileTheTextIsUntouchedAndStoresTypedTextAsUtf8) {
  EXPECT_EQ(EditedBytes(QStringLiteral("caf\u00E9"), "caf\xE9"), "caf\xE9");
  EXPECT_EQ(EditedBytes(QStringLiteral("caf\u00E9s"), "caf\xE9"), "caf\xC3\xA9s");
  EXPECT_EQ(EditedBytes(QString(), "secret"), "");
}

// The letter after "&" in Caption, in lower case; none when it has no mnemonic.
QChar Mnemonic(const QString& Caption) {
  const qsizetype at = Caption.indexOf(QLatin1Char('&'));
  return at >= 0 && at + 1 < Caption.size() ? Caption.at(at + 1).toLower() : QChar();
}

struct TDialogCase {
  const char* Name;
  std::function<std::unique_ptr<QDialog>()> Make;
  std::set<std::string> WithoutLetter;  // reached otherwise (Enter, Escape, Tab)
};

class DialogLetters : public ::testing::TestWithParam<TDialogCase> {};

TEST_P(DialogLetters, EveryControlHasALetterOfItsOwn) {
  const std::unique_ptr<QDialog> form = GetParam().Make();
  std::set<QChar> letters;
  for (const QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
    const QChar letter = Mnemonic(button->text());
    if (GetParam().WithoutLetter.count(button->objectName().toStdString())) continue;
    EXPECT_FALSE(letter.isNull()) << button->objectName().toStdString();
    EXPECT_TRUE(letters.insert(letter).second) << "two controls share Alt+" << QString(letter).toStdString();
  }
  for (const QLabel* label : form->findChildren<QLabel*>()) {
    const QChar letter = Mnemonic(label->text());
    if (letter.isNull()) continue;
    EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString() << " reaches nothing";
    EXPECT_TRUE(letters.insert(letter).second) << "two controls share Alt+" << QString(letter).toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, DialogLetters,
    ::testing::Values(
        TDialogCase{"Options", [] { return std::make_unique<TfmOptions>(); }, {"btOK", "btCancel"}},
        TDialogCase{
            "ProxySettings", [] { return std::make_unique<TfmProxySettings>(); }, {"btOK", "btCancel"}},
        TDialogCase{"FeedInfo", [] { return std::make_unique<TfmFeedInfo>(); }, {"btOK", "btCancel"}},
        TDialogCase{"Tip", [] { return std::make_unique<TfmTip>(); }, {}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace skimbrook
