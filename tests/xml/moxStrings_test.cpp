#include "xml/moxStrings.h"

#include <gtest/gtest.h>

namespace skimbrook {
namespace {

struct TFindCase {
  std::string_view Needle;
  std::string_view Text;
  size_t From;
  size_t Expected;
};

class FindFromTest : public ::testing::TestWithParam<TFindCase> {};

TEST_P(FindFromTest, ReturnsOneBasedPositionOrZero) {
  const TFindCase& c = GetParam();
  EXPECT_EQ(FindFrom(c.Needle, c.Text, c.From), c.Expected)
      << "needle '" << c.Needle << "' in '" << c.Text << "' from " << c.From;
}

INSTANTIATE_TEST_SUITE_P(Cases, FindFromTest,
                         ::testing::Values(TFindCase{"<", "<a>", 1, 1}, TFindCase{"<", "<a><b>", 2, 4},
                                           TFindCase{"<", "<a>", 0, 1},      // 0 counts as the start
                                           TFindCase{"<", "<a>", 4, 0},      // past the end
                                           TFindCase{"<", "<a>", 99, 0},     // far past the end
                                           TFindCase{"", "<a>", 1, 0},       // empty needle
                                           TFindCase{"<", "", 1, 0},         // empty text
                                           TFindCase{"]]>", "x]]]>", 1, 3},  // partial match first
                                           TFindCase{"]]>", "x]]", 1, 0},    // cut at the end
                                           TFindCase{"?>", "a?>b?>", 3, 5},  // match at From itself
                                           TFindCase{"?>", "a?>b?>", 2, 2}, TFindCase{"abc", "ab", 1, 0}));

TEST(TrimmedTest, RemovesSpaceAndEveryControlByteButNothingAbove) {
  EXPECT_EQ(Trimmed(" \t\r\n\x01\x1f x y \x7f"), "x y \x7f");
  EXPECT_EQ(Trimmed(std::string_view("\0a\0", 3)), "a");
  EXPECT_EQ(Trimmed(" \x80\xff "), "\x80\xff") << "bytes above 0x7f are text, not control bytes";
  EXPECT_EQ(Trimmed(" \r\n "), "");
  EXPECT_EQ(Trimmed(""), "");
}

TEST(SliceTest, ClipsToTheTextAndIsEmptyWhenReversed) {
  EXPECT_EQ(Slice("abcdef", 2, 4), "bcd");
  EXPECT_EQ(Slice("abcdef", 5, 50), "ef");
  EXPECT_EQ(Slice("abcdef", 4, 3), "");
  EXPECT_EQ(Slice("abcdef", 7, 9), "");
  EXPECT_TRUE(HasAt("<?xml ", 1, "<?xml"));
  EXPECT_FALSE(HasAt("<?xm", 1, "<?xml"));
  EXPECT_FALSE(HasAt("<?xml", 0, "<"));
}

}  // namespace
}  // namespace skimbrook
