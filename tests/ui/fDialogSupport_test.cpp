#include "ui/fDialogSupport.h"

#include <gtest/gtest.h>

namespace skimbrook {
namespace {

struct TTextCase {
  const char* Name;
  std::string Bytes;
  QString Shown;
};

class DialogText : public ::testing::TestWithParam<TTextCase> {};

TEST_P(DialogText, ShowsUtf8AsUtf8AndEveryOtherByteAsWindows1252) {
  EXPECT_EQ(DialogTextFromBytes(GetParam().Bytes), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, DialogText,
    ::testing::Values(
        TTextCase{"Ascii", "http://a.example/feed?x=1&y=2", QStringLiteral("http://a.example/feed?x=1&y=2")},
        TTextCase{"Utf8", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB0",
                  QStringLiteral("caf\u00E9 \u20AC \U0001F4F0")},
        TTextCase{"Latin1Byte", "caf\xE9", QStringLiteral("caf\u00E9")},
        TTextCase{"Cp1252Punctuation", "\x93quoted\x94 \x80", QStringLiteral("\u201Cquoted\u201D \u20AC")},
        TTextCase{"UnassignedCp1252Byte", "a\x81z", QStringLiteral("a\u0081z")},
        TTextCase{"TruncatedSequence", "\xE2\x82", QStringLiteral("\u00E2\u201A")},
        TTextCase{"Overlong", "\xC0\xAF", QStringLiteral("\u00C0\u00AF")},
        TTextCase{"Surrogate", "\xED\xA0\x80", QStringLiteral("\u00ED\u00A0\u20AC")},
        TTextCase{"Empty", "", QString()}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(EditedBytes, KeepsTheStoredBytesWhileTheTextIsUntouchedAndStoresTypedTextAsUtf8) {
  EXPECT_EQ(EditedBytes(QStringLiteral("caf\u00E9"), "caf\xE9"), "caf\xE9");
  EXPECT_EQ(EditedBytes(QStringLiteral("caf\u00E9s"), "caf\xE9"), "caf\xC3\xA9s");
  EXPECT_EQ(EditedBytes(QString(), "secret"), "");
}

}  // namespace
}  // namespace skimbrook
