// The single-scan decoder against the step-by-step reference: exhaustively on short
// combinations of the pieces that make references interact, on random text biased
// toward those pieces, and on a few long structured texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "model/uRSS.h"
#include "tools/LiteralUnescape.h"

namespace skimbrook {
namespace {

// Pieces whose decoded bytes or neighbours take part in cascades: '&', '#', digits and ';'
// made by references, &amp; before numeric references, backslash sequences.
const std::vector<std::string>& CascadePieces() {
  static const std::vector<std::string> pieces = {
      "&",     "#",      ";",       "0",     "1",      "5",     "\\",    "n",     "&#",      "&#0",
      "&amp;", "&lt;",   "amp;",    "&#38;", "&#038;", "&#35;", "&#59;", "&#48;", "&#49;",   "&#53;",
      "&#92;", "&#110;", "&#8217;", "&#39;", "&#039;", "00;",   "22",    "8217;", "amp;#39;"};
  return pieces;
}

// Every piece: the cascade pieces and the other kinds of reference, in other cases and
// forms, and bytes that end a run.
const std::vector<std::string>& Pieces() {
  static const std::vector<std::string> pieces = [] {
    std::vector<std::string> all = CascadePieces();
    for (const char* more :
         {"2",   "3",      "8",       "9",      "T",      "x",    "&AmP;", "&gT;",   "&quot", "&apos;",
          "lt;", "&#057;", "&#8221;", "&#255;", "&#256;", "&#0;", "&#09;", "&#099;", "\xe9",  "\r"})
      all.push_back(more);
    return all;
  }();
  return pieces;
}

void ExpectSameAsSteps(const std::string& Text) {
  const std::string once = test::LiteralUnescapeOnce(Text);
  ASSERT_EQ(XmlUnescapeOnce(Text), once) << "once: " << ::testing::PrintToString(Text);
  ASSERT_EQ(XmlUnescape(Text), test::LiteralUnescapeOnce(once))
      << "twice: " << ::testing::PrintToString(Text);
}

// No replacement involves a blank, so the steps decode the pieces of a text between
// blanks each on its own. Text, alone and placed at Offset in a long text of plain words
// (long texts are decoded a block at a time, short ones a byte at a time).
void ExpectSameAsStepsAloneAndInLongText(const std::string& Text, size_t Offset) {
  static const std::string words = [] {
    std::string filler;
    while (filler.size() < 200) filler += "plain words of a feed ";
    return filler;
  }();
  ExpectSameAsSteps(Text);
  if (::testing::Test::HasFatalFailure()) return;
  const std::string before = words.substr(0, Offset) + " ";
  const std::string after = " " + words.substr(0, 100);
  const std::string once = test::LiteralUnescapeOnce(Text);
  const std::string longText = before + Text + after;
  ASSERT_EQ(XmlUnescapeOnce(longText), before + once + after) << ::testing::PrintToString(longText);
  ASSERT_EQ(XmlUnescape(longText), before + test::LiteralUnescapeOnce(once) + after)
      << ::testing::PrintToString(longText);
}

TEST(XmlUnescapeEqualsSteps, OnEveryNumericFormUpTo300) {
  for (int n = 0; n <= 300; ++n) {
    const std::string digits = std::to_string(n);
    for (const char* padding : {"", "0", "00"}) {
      const std::string reference = std::string("&#") + padding + digits + ";";
      ExpectSameAsStepsAloneAndInLongText(reference, 64 + n % 64);
      ExpectSameAsStepsAloneAndInLongText(
          "&amp;" + reference.substr(1) + reference + "&#38;" + reference.substr(1), 64 + n % 61);
    }
  }
}

TEST(XmlUnescapeEqualsSteps, OnEveryPairOfPiecesAndEveryTripleOfCascadePieces) {
  size_t offset = 0;  // where in a block of the long text the combination lands
  for (const std::string& a : Pieces())
    for (const std::string& b : Pieces()) ExpectSameAsStepsAloneAndInLongText(a + b, 64 + offset++ % 64);
  for (const std::string& a : CascadePieces())
    for (const std::string& b : CascadePieces())
      for (const std::string& c : CascadePieces()) {
        ExpectSameAsStepsAloneAndInLongText(a + b + c, 64 + offset++ % 64);
        if (HasFatalFailure()) return;
      }
}

// Random text: single bytes of the reference alphabet in mixed case, whole pieces,
// decimal numbers with and without zero padding, and now and then any byte at all.
class TRandomText {
 public:
  explicit TRandomText(uint64_t Seed) : random_(Seed) {}

  std::string Next(size_t MaxParts) {
    static const std::string hot = "&&&&###;;;0123456789\\\\nNtTlLgGqQuUoOaApPsSmM";
    std::string text;
    const size_t parts = Below(MaxParts + 1);
    for (size_t i = 0; i < parts; ++i) {
      switch (Below(10)) {
        case 0:
        case 1:
        case 2:
        case 3:
          text += hot[Below(hot.size())];
          break;
        case 4:
        case 5:
        case 6:
          text += Pieces()[Below(Pieces().size())];
          break;
        case 7:
        case 8:
          text += std::string(Below(3), '0') + std::to_string(Below(300));
          break;
        default:
          text += static_cast<char>(Below(256));
          break;
      }
    }
    return text;
  }

  bool Coin() { return Below(2) == 0; }

 private:
  size_t Below(size_t Bound) { return static_cast<size_t>(random_() % Bound); }
  std::mt19937_64 random_;
};

TEST(XmlUnescapeEqualsSteps, OnRandomShortTexts) {
  TRandomText random(0x5eed1234abcdULL);
  for (int i = 0; i < 200000; ++i) {
    const std::string text = random.Next(10);
    ExpectSameAsSteps(text);
    if (HasFatalFailure()) return;
  }
}

// Texts long enough to be decoded a block at a time, and for two passes, where the second
// pass only looks where the first one left something to decode.
TEST(XmlUnescapeEqualsSteps, OnRandomTextsOfSeveralBlocks) {
  TRandomText random(0xb10c5);
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    const size_t length = 90 + i % 160;
    while (text.size() < length) text += random.Next(10);
    ExpectSameAsSteps(text);
    if (HasFatalFailure()) return;
  }
}

// Long texts checked piece by piece against the steps (see above: blanks separate).
TEST(XmlUnescapeEqualsSteps, OnLongTextsPieceByPiece) {
  TRandomText random(0x5ba11);
  for (int i = 0; i < 400; ++i) {
    std::string text;
    std::string once;
    std::string twice;
    for (int piece = 0; piece < 50; ++piece) {
      const std::string part = random.Next(8);
      const std::string partOnce = test::LiteralUnescapeOnce(part);
      const std::string separator = piece ? " " : "";
      text += separator + part;
      once += separator + partOnce;
      twice += separator + test::LiteralUnescapeOnce(partOnce);
    }
    ASSERT_EQ(XmlUnescapeOnce(text), once) << ::testing::PrintToString(text);
    ASSERT_EQ(XmlUnescape(text), twice) << ::testing::PrintToString(text);
  }
}

TEST(XmlUnescapeEqualsSteps, OnLongStructuredTexts) {
  TRandomText random(42);
  std::string mixed;
  while (mixed.size() < 8000) mixed += random.Next(12) + (random.Coin() ? " " : "");
  ExpectSameAsSteps(mixed);

  std::string chains;  // cascades of every depth, back to back and separated
  for (int i = 0; i < 100; ++i)
    chains += "&#&#5&#48;;00;&#38;#38;#50;&#&#49;&#49;0;&#100&#59;&amp;#039;&amp;amp;#38;&amp;amp;#38;";
  ExpectSameAsSteps(chains);
  ExpectSameAsSteps(std::string(5000, '&') + "#38;" + std::string(3000, ';'));

  std::string everyPattern;  // every replacement once, then all of them in reverse order
  for (const test::TUnescapeStep& step : test::UnescapeSteps()) everyPattern += step.Find;
  for (auto step = test::UnescapeSteps().rbegin(); step != test::UnescapeSteps().rend(); ++step)
    everyPattern += step->Find + "&";
  ExpectSameAsSteps(everyPattern);

  const std::string feed =
      "&lt;p&gt;Tom &amp;amp; Jerry said &#8220;caf&#233; &amp;#8217;n&#8217; more&#8221;.&lt;/p&gt;"
      "\\n&lt;a href=&quot;http://example.com/?a=1&amp;b=2&quot;&gt;link&lt;/a&gt;&nbsp;&#x27;";
  std::string feeds;
  for (int i = 0; i < 60; ++i) feeds += feed;
  ExpectSameAsSteps(feeds);
}

}  // namespace
}  // namespace skimbrook
