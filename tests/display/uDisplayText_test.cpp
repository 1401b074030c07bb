// Bytes shown as text: UTF-8 where it is valid, Windows-1252 for every other byte.
#include <gtest/gtest.h>

#include "tools/QtPrinters.h"

#include "display/uDisplayText.h"

namespace skimbrook::test {

namespace {

struct TDisplayCase {
  const char* Name;
  std::string Bytes;
  std::u16string Shown;
};

class DisplayText : public ::testing::TestWithParam<TDisplayCase> {};

TEST_P(DisplayText, DecodesEachByteSequenceOnItsOwn) {
  EXPECT_EQ(ToDisplay(GetParam().Bytes), QString::fromStdU16String(GetParam().Shown));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, DisplayText,
    ::testing::Values(TDisplayCase{"Ascii", "News 12", u"News 12"},
                      TDisplayCase{"Utf8TwoBytes", "Caf\xc3\xa9", u"Caf\u00e9"},
                      TDisplayCase{"Utf8FourBytes", "\xf0\x9f\x93\xb0", u"\U0001F4F0"},
                      TDisplayCase{"Utf8ThreeBytes", "\xe2\x82\xac", u"\u20ac"},
                      TDisplayCase{"Empty", "", u""}, TDisplayCase{"LoneLatin1Byte", "Caf\xe9", u"Caf\u00e9"},
                      TDisplayCase{"Cp1252Euro", "\x80 5", u"\u20ac 5"},
                      TDisplayCase{"Cp1252Quotes", "\x93quoted\x94", u"\u201cquoted\u201d"},
                      TDisplayCase{"UndefinedCp1252Byte", "\x81", u"\u0081"},
                      TDisplayCase{"OverlongSlash", "\xc0\xaf", u"\u00c0\u00af"},
                      TDisplayCase{"Surrogate", "\xed\xa0\x80", u"\u00ed\u00a0\u20ac"},
                      TDisplayCase{"TruncatedAtEnd", "x\xe2\x82", u"x\u00e2\u201a"},
                      TDisplayCase{"MixedInOneText", "\xc3\xa9\xe9", u"\u00e9\u00e9"},
                      TDisplayCase{"NulKept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DisplayTextBack, TypedTextGoesBackAsUtf8) {
  EXPECT_EQ(FromDisplay(QString::fromStdU16String(u"Caf\u00e9 \u20ac")), "Caf\xc3\xa9 \xe2\x82\xac");
  const std::string utf8 = "\xe2\x80\x9cok\xe2\x80\x9d";
  EXPECT_EQ(FromDisplay(ToDisplay(utf8)), utf8);
}

}  // namespace

}  // namespace skimbrook::test
