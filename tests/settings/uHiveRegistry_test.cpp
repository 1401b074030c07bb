#include "settings/uHiveRegistry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "base/uFiles.h"
#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

using test::ErrorOf;

using test::Exists;
using test::ReadFile;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteFile;

const std::string kKey = "Software\\Skimbrook\\1.0\\Form";
const std::string kRunKey(RunKeyPath);

class THiveFileRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override { SetWriteFaultHookForTests({}); }
  // Counts the files written from now on.
  void CountWrites() {
    SetWriteFaultHookForTests([this](size_t Done) {
      if (Done == 0) ++writes;
      return 0;
    });
  }

  TTempDir dir;
  TScopedEnv config{"XDG_CONFIG_HOME", dir.File("config")};
  std::string hivePath = DefaultHivePath();
  std::string autostartEntry = DefaultAutostartFolder() + "/skimbrook.desktop";
  int writes = 0;
};

TEST_F(THiveFileRegistryTest, PathsFollowTheUsersConfigurationFolder) {
  EXPECT_EQ(hivePath, dir.File("config/Skimbrook/HKCU.reg"));
  EXPECT_EQ(autostartEntry, dir.File("config/autostart/skimbrook.desktop"));
  TScopedEnv home("HOME", "/home/someone");
  for (std::optional<std::string> ignored :
       {std::optional<std::string>(), std::optional<std::string>("relative")}) {
    TScopedEnv unset("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(DefaultHivePath(), "/home/someone/.config/Skimbrook/HKCU.reg");
  }
}

TEST_F(THiveFileRegistryTest, MissingOrEmptyFileIsAnEmptyHiveThatReadingLeavesAlone) {
  THiveFileRegistry missing;
  EXPECT_EQ(missing.ReadString(kKey, "Left"), std::nullopt);
  EXPECT_FALSE(Exists(hivePath));

  std::filesystem::create_directories(dir.File("config/Skimbrook"));
  WriteFile(hivePath, "");
  THiveFileRegistry empty;
  EXPECT_EQ(empty.ReadString(kKey, "Left"), std::nullopt);
  EXPECT_EQ(ReadFile(hivePath), "");
}

TEST_F(THiveFileRegistryTest, EachChangeOutsideAGroupReachesThePrivateFileAtOnce) {
  CountWrites();
  THiveFileRegistry registry;
  registry.WriteString(kKey, "Left", "5");
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(ReadFile(hivePath),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + kKey + "]\r\n\"Left\"=\"5\"\r\n\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(hivePath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds the proxy password";

  registry.DeleteValue(kKey, "Left");
  EXPECT_EQ(writes, 2);
  EXPECT_EQ(THiveFileRegistry().ReadString(kKey, "Left"), std::nullopt);
  registry.DeleteValue(kKey, "Left");
  registry.OpenOrCreateKey(kKey);
  EXPECT_EQ(writes, 2) << "nothing changed, nothing written";
}

TEST_F(THiveFileRegistryTest, AFailedWriteKeepsTheFileAndTheValuesAsTheyWere) {
  THiveFileRegistry registry;
  registry.WriteString(kKey, "Left", "5");
  std::string before = ReadFile(hivePath);
  SetWriteFaultHookForTests([](size_t) { return ENOSPC; });

  EXPECT_EQ(ErrorOf([&] { registry.WriteString(kKey, "Left", "6"); }), "Failed to set data for 'Left'");
  EXPECT_EQ(ErrorOf([&] {
              TRegistryUpdate update(registry);
              registry.OpenOrCreateKey("Software\\New");
              registry.WriteString(kKey, "Left", "7");
              update.Finish();
            }),
            "Failed to create key Software\\New")
      << "the group's first change is the one named";
  EXPECT_EQ(ReadFile(hivePath), before);
  EXPECT_EQ(registry.ReadString(kKey, "Left"), "5");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("config/Skimbrook")), {}), 1);
}

TEST_F(THiveFileRegistryTest, AFileThatCannotBeReadIsNeverOverwritten) {
  std::filesystem::create_directories(hivePath);
  THiveFileRegistry registry;
  EXPECT_EQ(ErrorOf([&] { registry.ReadString(kKey, "Left"); }), "Failed to get data for 'Left'");
  EXPECT_EQ(ErrorOf([&] { registry.WriteString(kKey, "Left", "1"); }), "Failed to set data for 'Left'");
  EXPECT_EQ(ErrorOf([&] { registry.DeleteValue(kKey, "Left"); }), "Failed to set data for 'Left'");
  EXPECT_EQ(ErrorOf([&] { registry.OpenOrCreateKey(kKey); }), "Failed to create key " + kKey);
  EXPECT_TRUE(std::filesystem::is_directory(hivePath));
}

TEST_F(THiveFileRegistryTest, ChangesMadeOnDiskMeanwhileAreKept) {
  THiveFileRegistry first;
  first.WriteString(kKey, "Left", "1");
  THiveFileRegistry second;
  second.WriteString(kKey, "Top", "2");
  first.WriteString(kKey, "Width", "3");
  THiveFileRegistry fresh;
  EXPECT_EQ(fresh.ReadString(kKey, "Left"), "1");
  EXPECT_EQ(fresh.ReadString(kKey, "Top"), "2");
  EXPECT_EQ(fresh.ReadString(kKey, "Width"), "3");
}

TEST_F(THiveFileRegistryTest, RunValuesAreMirroredToAutostartEntries) {
  THiveFileRegistry registry;
  registry.WriteString(kRunKey, "skimbrook", "/opt/Skim Brook/skimbrook");
  ASSERT_TRUE(Exists(autostartEntry));
  std::string entry = ReadFile(autostartEntry);
  EXPECT_TRUE(entry.starts_with("[Desktop Entry]\nType=Application\n")) << entry;
  EXPECT_NE(entry.find("\nName=Skimbrook\n"), std::string::npos);
  EXPECT_NE(entry.find("\nExec=\"/opt/Skim Brook/skimbrook\"\n"), std::string::npos) << entry;

  std::filesystem::remove(autostartEntry);
  registry.WriteString(kRunKey, "skimbrook", "/opt/Skim Brook/skimbrook");
  EXPECT_TRUE(Exists(autostartEntry)) << "writing the value again restores a lost entry";

  registry.DeleteValue("software\\microsoft\\windows\\currentversion\\run", "SKIMBROOK");
  EXPECT_FALSE(Exists(autostartEntry));
  registry.DeleteValue(kRunKey, "skimbrook");
  registry.WriteString(kRunKey, "skimbrook", "");
  EXPECT_FALSE(Exists(autostartEntry));
  registry.WriteString(kKey, "skimbrook", "/elsewhere/skimbrook");
  EXPECT_FALSE(Exists(autostartEntry)) << "only the Run key starts programs";
}

TEST(DesktopExecValue, QuotesThePathAndEscapesTwice) {
  const std::pair<std::string, std::string> cases[] = {
      {"/usr/bin/skimbrook", R"("/usr/bin/skimbrook")"},
      {"/opt/my apps/skimbrook", R"("/opt/my apps/skimbrook")"},
      {R"(/a"b)", R"("/a\\"b")"},
      {"/a$b`c", R"("/a\\$b\\`c")"},
      {R"(/a\b)", R"("/a\\\\b")"},
      {"/100%/x", R"("/100%%/x")"},
      {"/a\nb", R"("/a\nb")"},
  };
  for (const auto& [path, exec] : cases) EXPECT_EQ(DesktopExecValue(path), exec) << path;
  EXPECT_EQ(AutostartFileName("skimbrook"), "skimbrook.desktop");
  EXPECT_EQ(AutostartFileName("My Reader"), "my_reader.desktop");
}

}  // namespace
}  // namespace skimbrook
