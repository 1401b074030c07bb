#include "settings/uHive.h"

#include <gtest/gtest.h>

#include "tools/TestSupport.h"

#include <stdexcept>

namespace skimbrook {
namespace {

using test::ErrorOf;

const std::string kSection = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n";

TEST(THive, ReadsEveryStringFormAndRejectsOtherTypes) {
  struct TCase {
    std::string Line;
    std::optional<std::string> Value;  // std::nullopt: not a string
  };
  const TCase cases[] = {
      {R"("A"="plain")", "plain"},
      {R"("A"="C:\\dir\\\"q\"")", R"(C:\dir\"q")"},
      {R"("A"="lone\backslash")", R"(lone\backslash)"},
      {R"("a" = "spaced" )", "spaced"},
      {"\"A\"=\"8-bit \xe9\xff\"", "8-bit \xe9\xff"},
      {R"("A"=hex(1):41,42,00)", "AB"},
      {"\"A\"=hex(2):41,0a,\\\r\n  42,00", "A\nB"},
      {R"("A"=dword:00000001)", std::nullopt},
      {R"("A"=hex:01,02)", std::nullopt},
      {R"("A"=hex(7):41,00,00)", std::nullopt},
      {R"("A"=hex(1):4g,00)", std::nullopt},
      {R"("A"="unterminated)", std::nullopt},
      {R"("A"="text" trailing)", std::nullopt},
  };
  for (const TCase& c : cases) {
    THive hive = THive::Parse(kSection + c.Line + "\r\n");
    if (c.Value) {
      EXPECT_EQ(hive.ReadString("Software\\Test", "A"), c.Value) << c.Line;
    } else {
      EXPECT_EQ(ErrorOf([&] { hive.ReadString("Software\\Test", "A"); }), "Invalid data type for 'A'")
          << c.Line;
    }
  }
  THive unnamed = THive::Parse(kSection + "@=\"default\"\r\n");
  EXPECT_EQ(unnamed.ReadString("Software\\Test", ""), "default");
  EXPECT_EQ(unnamed.ReadString("Software\\Test", "@"), std::nullopt) << "\"@\" is a name of its own";
}

TEST(THive, WrittenStringsReadBackByteForByte) {
  const std::string values[] = {"",
                                R"(C:\dir\)",
                                R"(say "hi" \" \\)",
                                "8-bit \x80\xe9\xff",
                                "two\r\nlines",
                                std::string("nul\0inside", 10)};
  THive hive;
  for (const std::string& value : values) {
    hive.WriteString("Software\\Test", R"(Name "q" \)", value);
    THive reread = THive::Parse(hive.Text());
    EXPECT_EQ(reread.ReadString("software\\test", R"(name "Q" \)"), value);
  }
  hive.WriteString("Software\\Test", "Password", R"(a\b"c)");
  EXPECT_NE(hive.Text().find("\r\n\"Password\"=\"a\\\\b\\\"c\"\r\n"), std::string::npos) << hive.Text();
}

TEST(THive, KeepsWhatItCannotUnderstandThroughARewrite) {
  const std::string kept[] = {
      "; written by hand",
      "[-HKEY_CURRENT_USER\\Software\\Old]",
      "\"Gone\"=-",
      "this is not a value",
      "\"Left\"=dword:00000010",
      "\"Blob\"=hex:01,02,\\",
      "  03,04",
  };
  std::string text = "REGEDIT4\n" + kept[0] + "\n\n[HKEY_CURRENT_USER\\Software\\Test]\n";
  for (size_t i = 1; i < std::size(kept); ++i) text += kept[i] + "\n";
  text += "\"Top\"=\"1\"\n";
  THive hive = THive::Parse(text);
  EXPECT_TRUE(hive.WriteString("Software\\Test", "Top", "2"));
  std::string written = hive.Text();
  size_t at = 0;
  for (const std::string& line : kept) {
    at = written.find(line + "\r\n", at);
    ASSERT_NE(at, std::string::npos) << "lost or moved: " << line << "\n" << written;
  }
  EXPECT_EQ(THive::Parse(written).ReadString("Software\\Test", "Top"), "2");

  THive headless = THive::Parse("[HKEY_CURRENT_USER\\Software\\Test]\n\"A\"=\"1\"");
  EXPECT_EQ(headless.ReadString("Software\\Test", "A"), "1");
  EXPECT_TRUE(headless.Text().starts_with("REGEDIT4\r\n"));
}

TEST(THive, KeysAndNamesIgnoreLetterCaseAndKeepTheirSpelling) {
  THive hive = THive::Parse(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Form]\r\n\"Left\"=\"5\"\r\n\"LEFT\"="
      "\"6\"\r\n"
      "\r\n[hkey_current_user\\software\\skimbrook\\1.0\\form]\r\n\"Top\"=\"7\"\r\n");
  EXPECT_EQ(hive.ReadString("SOFTWARE\\skimbrook\\1.0\\FORM", "left"), "6")
      << "a value given twice: the later";
  EXPECT_EQ(hive.ReadString("Software\\Skimbrook\\1.0\\Form", "Top"), "7") << "a key given twice: merged";
  EXPECT_TRUE(hive.KeyExists("software\\skimbrook")) << "parents exist through their subkeys";
  EXPECT_TRUE(hive.KeyExists(""));
  EXPECT_FALSE(hive.KeyExists("Software\\Skim"));
  EXPECT_FALSE(hive.CreateKey("\\Software\\Skimbrook\\"));
  EXPECT_TRUE(hive.CreateKey("Software\\Skim"));

  EXPECT_FALSE(hive.WriteString("software\\skimbrook\\1.0\\form", "left", "6"));
  EXPECT_TRUE(hive.WriteString("software\\skimbrook\\1.0\\form", "left", "8"));
  std::string text = hive.Text();
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Form]\r\n\"LEFT\"=\"8\"\r\n\"Top\"="),
            std::string::npos)
      << text;
  EXPECT_TRUE(hive.DeleteValue("Software\\Skimbrook\\1.0\\Form", "Left"));
  EXPECT_FALSE(hive.DeleteValue("Software\\Skimbrook\\1.0\\Form", "Left"));
  EXPECT_FALSE(hive.DeleteValue("Software\\Nowhere", "Left"));
}

TEST(THive, RefusesPathsAndNamesTheFormatCannotHold) {
  THive hive;
  EXPECT_EQ(ErrorOf([&] { hive.CreateKey("Software\\\\Gap"); }), "Failed to create key Software\\\\Gap");
  EXPECT_EQ(ErrorOf([&] { hive.WriteString("Soft\nware", "A", "1"); }), "Failed to create key Soft\nware");
  EXPECT_EQ(ErrorOf([&] { hive.WriteString("Software", "A\nB", "1"); }), "Failed to set data for 'A\nB'");
  EXPECT_EQ(hive.Text(), "REGEDIT4\r\n\r\n");
}

}  // namespace
}  // namespace skimbrook
