// Where the data folder ends up.
#include <gtest/gtest.h>

#include <filesystem>

#include "tools/TestSupport.h"
#include "ui/uDataFolder.h"

namespace skimbrook::test {

namespace {

TEST(DataFolder, TheEnvironmentWinsThenBesideTheProgramThenTheUsersDataFolder) {
  TTempDir temp;
  {
    const TScopedEnv chosen("SKIMBROOK_DATA", temp.Path() + "chosen");
    EXPECT_EQ(ResolveDataFolder(temp.Path() + "bin"), temp.Path() + "chosen/");
  }
  const TScopedEnv none("SKIMBROOK_DATA", std::nullopt);
  const TScopedEnv dataHome("XDG_DATA_HOME", temp.Path() + "share");
  EXPECT_EQ(ResolveDataFolder(temp.Path() + "bin/"), temp.Path() + "bin/data/");
  EXPECT_FALSE(std::filesystem::exists(temp.Path() + "bin")) << "deciding must create nothing";
  // A program folder where nothing can be created (here: it is a file).
  WriteFile(temp.File("installed"), "");
  EXPECT_EQ(ResolveDataFolder(temp.Path() + "installed"), temp.Path() + "share/Skimbrook/data/");
}

}  // namespace

}  // namespace skimbrook::test
