#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "tools/LiteralUnescape.h"

namespace skimbrook {
namespace {

struct TTextCase {
  std::string Input;
  std::string Expected;
};

void PrintTo(const TTextCase& Case, std::ostream* Os) {
  *Os << ::testing::PrintToString(Case.Input);
}

// ---------------------------------------------------------------------------------------
// XmlEscape

TEST(XmlEscape, EscapesTheFiveSpecialCharacters) {
  EXPECT_EQ(XmlEscape(""), "");
  EXPECT_EQ(XmlEscape("a<b&c"), "a&lt;b&amp;c");
  EXPECT_EQ(XmlEscape("say \"hi\" 'there' >"), "say &quot;hi&quot; &apos;there&apos; &gt;");
}

TEST(XmlEscape, WritesBytesUpTo128AsThemselvesAndAboveAsDecimalReferences) {
  EXPECT_EQ(XmlEscape(std::string("\0\t\n\r\x7f\x80", 6)), std::string("\0\t\n\r\x7f\x80", 6));
  EXPECT_EQ(XmlEscape("\x81"), "&#129;");
  EXPECT_EQ(XmlEscape("caf\xe9"), "caf&#233;");
  EXPECT_EQ(XmlEscape("\xff"), "&#255;");
}

TEST(XmlEscape, AppendsToWhatIsThereAndWritesRunsOfEveryByteWhole) {
  std::string all;
  for (int code = 0; code <= 255; ++code) all += std::string(3, static_cast<char>(code));
  std::string expected;
  for (char c : all) {
    const auto code = static_cast<unsigned char>(c);
    if (c == '<')
      expected += "&lt;";
    else if (c == '>')
      expected += "&gt;";
    else if (c == '"')
      expected += "&quot;";
    else if (c == '\'')
      expected += "&apos;";
    else if (c == '&')
      expected += "&amp;";
    else if (code > 128)
      expected += "&#" + std::to_string(code) + ";";
    else
      expected += c;
  }
  EXPECT_EQ(XmlEscape(all), expected);
  std::string line = "start:";
  AppendXmlEscaped(line, all);
  EXPECT_EQ(line, "start:" + expected);
}

TEST(XmlEscape, EveryByteOtherThanBackslashReadsBackThroughXmlUnescape) {
  for (int code = 0; code <= 255; ++code) {
    if (code == '\\') continue;  // "\n" and "\t" are decoded on reading
    const std::string byte(1, static_cast<char>(code));
    EXPECT_EQ(XmlUnescape(XmlEscape(byte)), byte) << "code " << code;
  }
}

// ---------------------------------------------------------------------------------------
// XmlUnescapeOnce and XmlUnescape: the expected values are also checked against the
// step-by-step reference, so a row that is wrong about the rules fails twice.

class XmlUnescapeOnceRules : public ::testing::TestWithParam<TTextCase> {};

TEST_P(XmlUnescapeOnceRules, DecodesOnePassAsTheStepsInOrderDo) {
  EXPECT_EQ(XmlUnescapeOnce(GetParam().Input), GetParam().Expected);
  EXPECT_EQ(test::LiteralUnescapeOnce(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cascades, XmlUnescapeOnceRules,
    ::testing::Values(
        // &amp; comes after the other named entities and is not decoded again.
        TTextCase{"&amp;lt;", "&lt;"}, TTextCase{"&AMP;LT;", "&LT;"}, TTextCase{"&amp;amp;", "&amp;"},
        // ... but before the numeric references, which see the '&' it made.
        TTextCase{"&amp;#39;", "'"}, TTextCase{"&amp;#8217;", "'"}, TTextCase{"&amp;&amp;#233;", "&\xe9"},
        // A decoded byte completes a reference of a greater N in the same pass only.
        TTextCase{"&#38;#50;", "2"}, TTextCase{"&#&#53;0;", "&#50;"}, TTextCase{"&#38;#38;", "&#38;"},
        TTextCase{"&#&#49;00;", "d"}, TTextCase{"&#&#49;&#49;0;", "n"}, TTextCase{"&#100&#59;", "d"},
        TTextCase{"&&#35;38;", "&"}, TTextCase{"&#&#5&#48;;00;", "\xc8"},
        // The quotes come before the numeric references, the zero-padded forms after.
        TTextCase{"&#38;#8217;", "&#8217;"}, TTextCase{"&#38;#039;", "'"}, TTextCase{"&#038;#039;", "'"},
        TTextCase{"&#038;#39;", "&#39;"}, TTextCase{"&#038;#038;", "&#038;"},
        // Backslash sequences: case ignored, no overlaps, made by references too late.
        TTextCase{"a\\nb\\Nc\\td\\Te", "a\rb\rc\td\te"}, TTextCase{"\\\\n", "\\\r"}, TTextCase{"\\", "\\"},
        TTextCase{"&#92;n", "\\n"}, TTextCase{"\\&#110;", "\\n"}, TTextCase{"&\\n#39;", "&\r#39;"},
        // Named entities in any case; neighbours of a decoded one stay as they are.
        TTextCase{"&QuOt;&aPoS;&Gt;", "\"'>"}, TTextCase{"&lt;&#35;", "<#"}, TTextCase{"1&#50;3", "123"}));

class XmlUnescapeRules : public ::testing::TestWithParam<TTextCase> {};

TEST_P(XmlUnescapeRules, DecodesTwoPasses) {
  EXPECT_EQ(XmlUnescape(GetParam().Input), GetParam().Expected);
  EXPECT_EQ(test::LiteralUnescape(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    References, XmlUnescapeRules,
    ::testing::Values(
        TTextCase{"", ""}, TTextCase{"plain text, no references", "plain text, no references"},
        TTextCase{"&AMP;LT;", "<"}, TTextCase{"&#38;lt;", "<"}, TTextCase{"&amp;amp;amp;", "&amp;"},
        TTextCase{"&#039;", "'"}, TTextCase{"&#39;", "'"}, TTextCase{"&#x27;", "&#x27;"},
        TTextCase{"&#8212;", "&#8212;"}, TTextCase{"&#8220;Hi&#8221;", "\"Hi\""}, TTextCase{"&#8217;", "'"},
        TTextCase{"line1\\nline2", "line1\rline2"}, TTextCase{"&#92;n", "\r"}, TTextCase{"&#38;#8217;", "'"},
        TTextCase{"&#1;&#255;", "\x01\xff"}, TTextCase{"&#010;&#099;", "\nc"},
        // What stays: out of range, &#0;, short or long zero padding, unknown names, no ';'.
        TTextCase{"&#256;", "&#256;"}, TTextCase{"&#0;", "&#0;"},
        TTextCase{"&#01;&#09;&#009;", "&#01;&#09;&#009;"}, TTextCase{"&#0065;", "&#0065;"},
        TTextCase{"&nbsp;&euro;", "&nbsp;&euro;"}, TTextCase{"&lt &#39 &# &#; & #", "&lt &#39 &# &#; & #"}));

// ---------------------------------------------------------------------------------------
// Filters

TEST(AlphaNumOnly, KeepsTheAsciiLettersAndDigitsOfAUrlInOrder) {
  EXPECT_EQ(AlphaNumOnly("http://www.example.com/news/rss.php?cat=7&lang=en"),
            "httpwwwexamplecomnewsrssphpcat7langen");
  EXPECT_EQ(AlphaNumOnly("09AZaz"), "09AZaz");
  EXPECT_EQ(AlphaNumOnly("/:@[`{ caf\xe9 \xc0\xff"), "caf") << "neighbours of the ranges and accents go";
  EXPECT_EQ(AlphaNumOnly("-._~"), "");
}

class StripTagsRules : public ::testing::TestWithParam<TTextCase> {};

TEST_P(StripTagsRules, RemovesSpansWhileTheFirstOpenStandsBeforeTheFirstClose) {
  EXPECT_EQ(StripTags(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Spans, StripTagsRules,
                         ::testing::Values(TTextCase{"<p>Hello</p>", "Hello"}, TTextCase{"<a<b>c>", "c>"},
                                           TTextCase{"x > y <i>z</i>", "x > y <i>z</i>"},
                                           TTextCase{"<b>bold</b> > x <i>", "bold > x <i>"},
                                           TTextCase{"a<b>c<d", "ac<d"}, TTextCase{"<>", ""},
                                           TTextCase{"no markup", "no markup"}, TTextCase{"", ""}));

// ---------------------------------------------------------------------------------------
// The decoder of document fields

TEST(FieldDecoder, GivesTheTreatmentsOfEachFieldWhateverItDecodedBefore) {
  // Long and short texts in turn, so that the working memory is reused at every size.
  const std::vector<std::string> fields = {
      std::string(300, 'x') + "&amp;amp;" + std::string(300, 'y') + "&lt;b&gt;z&lt;/b&gt;",
      "  plain  ",
      "&#32; &lt;p&gt;Tom &amp;amp; Jerry&lt;/p&gt;\\n",
      "",
      "a\\tb",
      "<b>x</b> &amp; y",
      "&amp;#60;i&amp;#62;t&#38;lt;/i&gt; \\n",
      std::string(2000, '&') + "#38;"};
  TFieldDecoder decoder;
  std::string out = "previous";
  for (int round = 0; round < 2; ++round) {
    for (const std::string& field : fields) {
      decoder.Decode(field, out);
      EXPECT_EQ(out, Trim(XmlUnescape(field))) << field.substr(0, 40);
      decoder.DecodeTitle(field, out);
      EXPECT_EQ(out, Trim(StripTags(XmlUnescape(field)))) << field.substr(0, 40);
    }
  }
}

TEST(Trim, RemovesCodesUpTo32AtBothEndsOnly) {
  EXPECT_EQ(Trim(std::string(" \t\r\n\0\x01 a \x1f b \x20", 14)), "a \x1f b");
  EXPECT_EQ(Trim(std::string("\0\x20\x10", 3)), "");
  EXPECT_EQ(Trim("!x!"), "!x!");
  EXPECT_EQ(Trim("\xa0x\xff"), "\xa0x\xff") << "bytes above 127 are not blanks";
}

}  // namespace
}  // namespace skimbrook
