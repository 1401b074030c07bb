// Where a copy finds its pages and where its data folder ends up.
#include "settings/uProgramFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tools/TestSupport.h"

namespace skimbrook::test {

namespace {

TProgramFiles CopyIn(const std::string& Folder, bool Installed = false) {
  return {Folder, Folder, Installed};
}

TEST(DataFolder, TheEnvironmentWinsThenBesideTheProgramThenTheUsersDataFolder) {
  TTempDir temp;
  {
    const TScopedEnv chosen("SKIMBROOK_DATA", temp.Path() + "chosen");
    EXPECT_EQ(ResolveDataFolder(CopyIn(temp.Path() + "bin")), temp.Path() + "chosen/");
    EXPECT_EQ(ResolveDataFolder(CopyIn(temp.Path() + "bin", true)), temp.Path() + "chosen/");
  }
  const TScopedEnv none("SKIMBROOK_DATA", std::nullopt);
  const TScopedEnv dataHome("XDG_DATA_HOME", temp.Path() + "share");
  EXPECT_EQ(ResolveDataFolder(CopyIn(temp.Path() + "bin/")), temp.Path() + "bin/data/");
  EXPECT_FALSE(std::filesystem::exists(temp.Path() + "bin")) << "deciding must create nothing";
  // A program folder where nothing can be created (here: it is a file).
  WriteFile(temp.File("installed"), "");
  EXPECT_EQ(ResolveDataFolder(CopyIn(temp.Path() + "installed")), temp.Path() + "share/Skimbrook/data/");
}

TEST(DataFolder, AnInstalledCopyUsesTheUsersDataFolderEvenBesideAWritableProgram) {
  TTempDir temp;
  const TScopedEnv none("SKIMBROOK_DATA", std::nullopt);
  const TScopedEnv dataHome("XDG_DATA_HOME", temp.Path() + "share");
  std::filesystem::create_directories(temp.Path() + "usr/bin");
  EXPECT_EQ(ResolveDataFolder(CopyIn(temp.Path() + "usr/bin/", true)), temp.Path() + "share/Skimbrook/data/");
}

TEST(ProgramFiles, PagesBesideTheProgramWinOverAnInstallationsShareFolder) {
  TTempDir temp;
  std::filesystem::create_directories(temp.Path() + "usr/bin");
  std::filesystem::create_directories(temp.Path() + "usr/share/skimbrook");
  const std::string program = temp.Path() + "usr/bin/skimbrook";

  // Neither: the pages are looked for beside the program, as in a bare build folder.
  TProgramFiles found = LocateProgramFiles(program);
  EXPECT_EQ(found.ExecutableFolder, temp.Path() + "usr/bin/");
  EXPECT_EQ(found.PagesFolder, temp.Path() + "usr/bin/");
  EXPECT_FALSE(found.Installed);

  WriteFile(temp.File("usr/share/skimbrook/help.html"), "");
  found = LocateProgramFiles(program);
  EXPECT_EQ(found.PagesFolder, temp.Path() + "usr/share/skimbrook/");
  EXPECT_TRUE(found.Installed);

  WriteFile(temp.File("usr/bin/help.html"), "");
  found = LocateProgramFiles(program);
  EXPECT_EQ(found.PagesFolder, temp.Path() + "usr/bin/");
  EXPECT_FALSE(found.Installed);
}

}  // namespace

}  // namespace skimbrook::test
