#include "settings/uSettings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "base/uFiles.h"
#include "settings/uHiveRegistry.h"
#include "settings/uMemoryRegistry.h"
#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

using test::ErrorOf;

using test::DataPath;
using test::Exists;
using test::ReadFile;
using test::TScopedEnv;
using test::TTempDir;

const std::string kExecutable = "/opt/Skim Brook/skimbrook";
const std::string kMenuEntry = "Software\\Microsoft\\Internet Explorer\\MenuExt\\Subscribe in Skimbrook";
const std::string kRunKey(RunKeyPath);

// Every field away from its default; the texts need escaping in the hive file.
void ChangeEveryField(TSettings& Settings) {
  Settings.Left = -20;
  Settings.Top = 30;
  Settings.Width = 1024;
  Settings.Height = 768;
  Settings.Splitter1 = 250;
  Settings.Splitter2 = 2147483647;
  Settings.UseProxy = true;
  Settings.ProxyAddress = "proxy.example.org";
  Settings.ProxyPort = 3128;
  Settings.UseAuthentication = true;
  Settings.ProxyUserName = "DOMAIN\\user \"x\"";
  Settings.ProxyPassword = "p\\a\"ss \xe9\xff\x80 \\\" end\\";
  Settings.ShowTips = false;
  Settings.DownloadOnStartUp = true;
  Settings.AutomaticallyDownload = false;
  Settings.RememberForm = false;
  Settings.MinimizeToTray = false;
  Settings.StartWithWindows = true;
  Settings.ViewToolbar = false;
  Settings.ViewStatusBar = false;
  Settings.ViewFeedList = false;
  Settings.ViewItemContents = false;
  Settings.ShowNotifications = false;
  Settings.FollowRedirects = false;
  Settings.SimultaneousDownloads = 16;
  Settings.KeepDays = 30;
  Settings.ShowOlderItems = true;
}

void ExpectSameFields(const TSettings& A, const TSettings& B) {
  EXPECT_EQ(std::tie(A.Left, A.Top, A.Width, A.Height, A.Splitter1, A.Splitter2),
            std::tie(B.Left, B.Top, B.Width, B.Height, B.Splitter1, B.Splitter2));
  EXPECT_EQ(std::tie(A.UseProxy, A.ProxyAddress, A.ProxyPort, A.UseAuthentication, A.ProxyUserName,
                     A.ProxyPassword),
            std::tie(B.UseProxy, B.ProxyAddress, B.ProxyPort, B.UseAuthentication, B.ProxyUserName,
                     B.ProxyPassword));
  EXPECT_EQ(std::tie(A.ShowTips, A.DownloadOnStartUp, A.AutomaticallyDownload, A.RememberForm,
                     A.MinimizeToTray, A.StartWithWindows),
            std::tie(B.ShowTips, B.DownloadOnStartUp, B.AutomaticallyDownload, B.RememberForm,
                     B.MinimizeToTray, B.StartWithWindows));
  EXPECT_EQ(std::tie(A.ViewToolbar, A.ViewStatusBar, A.ViewFeedList, A.ViewItemContents),
            std::tie(B.ViewToolbar, B.ViewStatusBar, B.ViewFeedList, B.ViewItemContents));
  EXPECT_EQ(
      std::tie(A.ShowNotifications, A.FollowRedirects, A.SimultaneousDownloads, A.KeepDays, A.ShowOlderItems),
      std::tie(B.ShowNotifications, B.FollowRedirects, B.SimultaneousDownloads, B.KeepDays,
               B.ShowOlderItems));
}

TEST(TSettings, FirstStartGivesTheDefaultsAndWritesTheMenuEntry) {
  TMemoryRegistry registry;
  TSettings s(registry, kExecutable);
  EXPECT_EQ(std::tie(s.Left, s.Top, s.Width, s.Height, s.Splitter1, s.Splitter2),
            std::make_tuple(0, 0, 0, 0, 0, 0));
  EXPECT_TRUE(s.ViewToolbar && s.ViewStatusBar && s.ViewFeedList && s.ViewItemContents);
  EXPECT_TRUE(s.ShowTips && s.AutomaticallyDownload && s.RememberForm && s.MinimizeToTray);
  EXPECT_FALSE(s.UseProxy || s.UseAuthentication || s.DownloadOnStartUp || s.StartWithWindows);
  EXPECT_EQ(s.ProxyPort, 80);
  EXPECT_TRUE(s.ShowNotifications);
  EXPECT_TRUE(s.FollowRedirects) << "a moved feed is followed unless the user says otherwise";
  EXPECT_EQ(s.SimultaneousDownloads, 6);
  EXPECT_EQ(s.KeepDays, 180);
  EXPECT_EQ(s.ProxyAddress + s.ProxyUserName + s.ProxyPassword, "");
  EXPECT_TRUE(registry.KeyExists("Software\\Skimbrook\\1.0"));
  EXPECT_EQ(registry.ReadString(kMenuEntry, ""), "file:///opt/Skim Brook/addfeed.htm");
  EXPECT_EQ(registry.ReadString(kMenuEntry, "Contexts"), "243");
}

TEST(TSettings, ReadsNumbersByTheRulesAndFallsBackToTheDefault) {
  struct TCase {
    const char* Subkey;
    const char* Name;
    const char* Text;
    int TSettings::*Integer;
    bool TSettings::*Boolean;
    int Expected;
  };
  const TCase cases[] = {
      {"Proxy", "Port", "8080", &TSettings::ProxyPort, nullptr, 8080},
      {"Proxy", "Port", "abc", &TSettings::ProxyPort, nullptr, 80},
      {"Proxy", "Port", "", &TSettings::ProxyPort, nullptr, 80},
      {"Proxy", "Port", " 81", &TSettings::ProxyPort, nullptr, 80},
      {"Proxy", "Port", "81 ", &TSettings::ProxyPort, nullptr, 80},
      {"Proxy", "Port", "0x51", &TSettings::ProxyPort, nullptr, 80},
      {"Proxy", "Port", "+81", &TSettings::ProxyPort, nullptr, 81},
      {"Proxy", "Port", "+-81", &TSettings::ProxyPort, nullptr, 80},
      {"Form", "Left", "-2147483648", &TSettings::Left, nullptr, -2147483648},
      {"Form", "Left", "2147483648", &TSettings::Left, nullptr, 0},
      {"Form", "Left", "-2147483649", &TSettings::Left, nullptr, 0},
      {"View", "Toolbar", "2", nullptr, &TSettings::ViewToolbar, true},
      {"View", "Toolbar", "-1", nullptr, &TSettings::ViewToolbar, true},
      {"View", "Toolbar", "0", nullptr, &TSettings::ViewToolbar, false},
      {"View", "Toolbar", "yes", nullptr, &TSettings::ViewToolbar, true},
      {"Proxy", "UseProxy", "2", nullptr, &TSettings::UseProxy, true},
      {"Proxy", "UseProxy", "true", nullptr, &TSettings::UseProxy, false},
      {"Proxy", "UseProxy", "4294967296", nullptr, &TSettings::UseProxy, false},
      {"Options", "SimultaneousDownloads", "1", &TSettings::SimultaneousDownloads, nullptr, 1},
      {"Options", "SimultaneousDownloads", "0", &TSettings::SimultaneousDownloads, nullptr, 1},
      {"Options", "SimultaneousDownloads", "99", &TSettings::SimultaneousDownloads, nullptr, 16},
      {"Options", "SimultaneousDownloads", "x", &TSettings::SimultaneousDownloads, nullptr, 6},
      {"Options", "KeepDays", "0", &TSettings::KeepDays, nullptr, 1},
      {"Options", "KeepDays", "99999", &TSettings::KeepDays, nullptr, 3650},
      {"Options", "KeepDays", "", &TSettings::KeepDays, nullptr, 180},
  };
  for (const TCase& c : cases) {
    TMemoryRegistry registry;
    registry.WriteString(std::string("Software\\Skimbrook\\1.0\\") + c.Subkey, c.Name, c.Text);
    TSettings settings(registry, kExecutable);
    int read = c.Integer ? settings.*c.Integer : settings.*c.Boolean;
    EXPECT_EQ(read, c.Expected) << c.Name << " = \"" << c.Text << "\"";
  }
}

TEST(TSettings, SaveThenLoadRestoresEveryField) {
  TMemoryRegistry registry;
  TSettings saved(registry, kExecutable);
  ChangeEveryField(saved);
  saved.Save();
  EXPECT_EQ(registry.ReadString("Software\\Skimbrook\\1.0\\View", "Toolbar"), "0");
  EXPECT_EQ(registry.ReadString("Software\\Skimbrook\\1.0\\Proxy", "UseProxy"), "1");
  ExpectSameFields(TSettings(registry, kExecutable), saved);
}

TEST(TSettings, AValueOfAnotherTypeReadsAsItsDefaultIsNamedAndTheLoadGoesOn) {
  TMemoryRegistry typed(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Form]\r\n\"Left\"=\"7\"\r\n"
      "\"Width\"=dword:00000320\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Proxy]\r\n"
      "\"Port\"=hex:00\r\n\r\n[HKEY_CURRENT_USER\\" +
      kRunKey + "]\r\n\"skimbrook\"=dword:00000001\r\n");
  TSettings settings(typed, kExecutable);
  EXPECT_EQ(settings.Left, 7);
  EXPECT_EQ(settings.Width, 0);
  EXPECT_EQ(settings.ProxyPort, 80);
  EXPECT_FALSE(settings.StartWithWindows);
  EXPECT_EQ(settings.IgnoredValues(),
            (std::vector<std::string>{"Form\\Width", "Proxy\\Port", kRunKey + "\\skimbrook"}));
  EXPECT_TRUE(typed.KeyExists(kMenuEntry)) << "the rest of the load is done";
  EXPECT_EQ(ErrorOf([&] { typed.ReadString("Software\\Skimbrook\\1.0\\Form", "Width"); }),
            "Invalid data type for 'Width'")
      << "the store itself still refuses the value";
}

TEST(TSettings, MovingTheExecutableRepointsTheMenuEntry) {
  TMemoryRegistry registry;
  TSettings(registry, "/home/me/old/skimbrook");
  TSettings(registry, "/usr/local/lib/skimbrook/skimbrook");
  EXPECT_EQ(registry.ReadString(kMenuEntry, ""), "file:///usr/local/lib/skimbrook/addfeed.htm");
  // An installed copy keeps its pages apart from the executable; the Run value still names
  // the executable.
  TSettings installed(registry, "/usr/bin/skimbrook", "/usr/share/skimbrook/");
  EXPECT_EQ(registry.ReadString(kMenuEntry, ""), "file:///usr/share/skimbrook/addfeed.htm");
  installed.StartWithWindows = true;
  installed.Save();
  EXPECT_EQ(registry.ReadString(kRunKey, "skimbrook"), "/usr/bin/skimbrook");
}

// The same behaviour over the hive file, where it reaches the disk.
class TSettingsOnHiveFile : public ::testing::Test {
 protected:
  void TearDown() override { SetWriteFaultHookForTests({}); }

  TTempDir dir;
  TScopedEnv config{"XDG_CONFIG_HOME", dir.File("config")};
  std::string hivePath = DefaultHivePath();
  std::string autostartEntry = DefaultAutostartFolder() + "/skimbrook.desktop";
  THiveFileRegistry registry;
};

TEST_F(TSettingsOnHiveFile, SavedHiveMatchesTheReferenceAndReadsBackThroughAFreshStore) {
  TSettings saved(registry, kExecutable);
  struct stat st {};
  ASSERT_EQ(::stat(hivePath.c_str(), &st), 0) << "the first start writes the menu entry";
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  ChangeEveryField(saved);
  saved.Save();
  EXPECT_EQ(ReadFile(hivePath), ReadFile(DataPath("settings/saved.reg")));
  THiveFileRegistry fresh;
  ExpectSameFields(TSettings(fresh, kExecutable), saved);
}

TEST_F(TSettingsOnHiveFile, AValueRetypedOnDiskReadsAsItsDefaultUntilTheNextSaveWritesItAsText) {
  TSettings settings(registry, kExecutable);
  settings.Left = 5;
  settings.Top = 6;
  settings.Width = 700;
  settings.Save();
  std::string text = ReadFile(hivePath);
  size_t at = text.find("\"Top\"=\"6\"");
  ASSERT_NE(at, std::string::npos);
  test::WriteFile(hivePath, text.replace(at, 9, "\"Top\"=hex:00"));
  settings.Left = settings.Width = 99;
  settings.Load();
  EXPECT_EQ(settings.Top, 0);
  EXPECT_EQ(settings.Left, 5);
  EXPECT_EQ(settings.Width, 700) << "the values after it are read too";
  EXPECT_EQ(settings.IgnoredValues(), std::vector<std::string>{"Form\\Top"});

  settings.Save();
  EXPECT_NE(ReadFile(hivePath).find("\"Top\"=\"0\""), std::string::npos);
  settings.Load();
  EXPECT_TRUE(settings.IgnoredValues().empty());
}

TEST_F(TSettingsOnHiveFile, AHiveLeftOpenToOthersIsOwnerOnlyAfterASaveChangedOrNot) {
  TSettings settings(registry, kExecutable);
  settings.ProxyPassword = "secret";
  settings.Save();
  for (bool change : {false, true}) {
    SCOPED_TRACE(change);
    ASSERT_EQ(::chmod(hivePath.c_str(), 0644), 0);
    if (change) settings.ProxyPassword = "another secret";
    settings.Save();
    struct stat st {};
    ASSERT_EQ(::stat(hivePath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  EXPECT_EQ(TSettings(registry, kExecutable).ProxyPassword, "another secret");
}

TEST_F(TSettingsOnHiveFile, StartingAndSavingWriteTheFileOnceAtMost) {
  TSettings settings(registry, kExecutable);
  int writes = 0;
  SetWriteFaultHookForTests([&](size_t Done) {
    if (Done == 0) ++writes;
    return 0;
  });
  ChangeEveryField(settings);
  settings.StartWithWindows = false;
  settings.Save();
  EXPECT_EQ(writes, 1) << "one write for all the values";
  settings.Save();
  TSettings again(registry, kExecutable);
  EXPECT_EQ(writes, 1) << "an unchanged hive is not rewritten";
}

TEST_F(TSettingsOnHiveFile, StartWithWindowsAddsAndRemovesTheRunValueAndAutostartEntry) {
  TSettings settings(registry, kExecutable);
  settings.StartWithWindows = true;
  settings.Save();
  EXPECT_EQ(registry.ReadString(kRunKey, "skimbrook"), kExecutable);
  EXPECT_TRUE(Exists(autostartEntry));
  EXPECT_TRUE(TSettings(registry, kExecutable).StartWithWindows);

  settings.StartWithWindows = false;
  settings.Save();
  settings.Save();
  EXPECT_EQ(registry.ReadString(kRunKey, "skimbrook"), std::nullopt);
  EXPECT_FALSE(Exists(autostartEntry));
  EXPECT_FALSE(TSettings(registry, kExecutable).StartWithWindows);
}

TEST_F(TSettingsOnHiveFile, ARunValuePointingElsewhereCountsAndIsRepointedBySave) {
  registry.WriteString(kRunKey, "skimbrook", "/old/place/skimbrook");
  TSettings settings(registry, kExecutable);
  EXPECT_TRUE(settings.StartWithWindows);
  settings.Save();
  EXPECT_EQ(registry.ReadString(kRunKey, "skimbrook"), kExecutable);
  EXPECT_NE(ReadFile(autostartEntry).find("Exec=\"" + kExecutable + "\"\n"), std::string::npos);
}

TEST_F(TSettingsOnHiveFile, AFailedSaveKeepsThePreviousHiveAndNamesTheValue) {
  TSettings settings(registry, kExecutable);
  settings.Save();
  std::string before = ReadFile(hivePath);
  settings.ProxyPassword = "new";
  settings.StartWithWindows = true;
  SetWriteFaultHookForTests([](size_t) { return ENOSPC; });
  EXPECT_EQ(ErrorOf([&] { settings.Save(); }), "Failed to set data for 'Password'");
  EXPECT_EQ(ReadFile(hivePath), before);
  EXPECT_FALSE(Exists(autostartEntry));
}

}  // namespace
}  // namespace skimbrook
