#include "store/uSearchText.h"

#include <gtest/gtest.h>

namespace skimbrook {
namespace {

struct TTextCase {
  const char* Input;
  const char* Expected;
};

TEST(IndexTextTest, DropsTagsAndSpacesIdeographs) {
  const TTextCase cases[] = {
      {"<p>Hot <b>milk</b></p>", " Hot  milk  "},
      {"a < b and c<d", "a < b and c<d"},  // no tag opens: the text stays
      {"x <!-- note --> y <?pi?> z", "x   y   z"},
      {"cut <a href=", "cut <a href="},  // never closed: no tag
      {"正月に", " 正  月  に "},
      {"SDガンダム", "SD ガ  ン  ダ  ム "},
      {"Привет мир", "Привет мир"},
      {"\xE6\xAD", "\xE6\xAD"},  // a sequence cut short passes as it is
  };
  for (const TTextCase& c : cases) EXPECT_EQ(IndexText(c.Input), c.Expected) << c.Input;
}

TEST(MatchExpressionTest, EveryTypedWordIsAQuotedPrefix) {
  const TTextCase cases[] = {
      {"caf", "\"caf\"*"},
      {"  two   words ", "\"two\"* \"words\"*"},
      {"say \"hi\"", "\"say\"* \"\"\"hi\"\"\"*"},
      {"OR NOT title:x", "\"OR\"* \"NOT\"* \"title:x\"*"},
      {"正月", "\" 正  月 \"*"},
      {"- * ( )", ""},
      {"", ""},
  };
  for (const TTextCase& c : cases) EXPECT_EQ(MatchExpression(c.Input), c.Expected) << c.Input;
}

}  // namespace
}  // namespace skimbrook
