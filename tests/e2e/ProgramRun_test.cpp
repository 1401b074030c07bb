// Starts the built program with a data folder and settings of its own, stops it with
// SIGTERM as a session would, and checks what it left on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "model/uRSS.h"
#include "settings/uHiveRegistry.h"
#include "tools/TestSupport.h"

extern char** environ;

namespace skimbrook::test {

namespace {

using namespace std::chrono_literals;

const std::string kProgramKey = "Software\\Skimbrook\\1.0";

// The program as a child process with the environment given; killed if still running at
// the end.
class TProgram {
 public:
  explicit TProgram(const std::vector<std::string>& Environment) {
    std::vector<char*> env;
    std::vector<std::string> kept;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      bool replaced = name == "DBUS_SESSION_BUS_ADDRESS";
      for (const std::string& given : Environment) replaced |= given.substr(0, given.find('=')) == name;
      if (!replaced) kept.push_back(entry);
    }
    kept.insert(kept.end(), Environment.begin(), Environment.end());
    for (std::string& entry : kept) env.push_back(entry.data());
    env.push_back(nullptr);
    std::string path = std::string(SKIMBROOK_BIN_DIR) + "/skimbrook";
    char* argv[] = {path.data(), nullptr};
    if (::posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, env.data()) != 0) pid_ = -1;
  }
  ~TProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  void Signal(int Number) { ::kill(pid_, Number); }
  // The exit status, or -1 when the program did not end within Timeout.
  int WaitForExit(std::chrono::milliseconds Timeout) {
    const auto end = std::chrono::steady_clock::now() + Timeout;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(50ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

template <class TCondition>
bool WaitFor(TCondition Condition, std::chrono::milliseconds Timeout) {
  const auto end = std::chrono::steady_clock::now() + Timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (Condition()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return Condition();
}

TEST(ProgramRun, SigtermSavesTheListAndSettingsAndLeavesTheCachesAlone) {
  TTempDir home;
  const std::string data = home.Path() + "data/";
  const std::string config = home.Path() + "config";
  std::filesystem::create_directories(data);

  SetDataFolder(data);
  TFeedList list;
  auto news =
      std::make_shared<TFeed>("Example News", "http://example.org/", "http://example.org/news.xml", "News");
  news->UnreadCount = 12;
  list.Add(news);
  list.Add(std::make_shared<TFeed>("Sports", "", "", "A group"));
  list.Add(std::make_shared<TFeed>("Scores", "", "http://example.org/scores.xml", ""));
  list.SaveDefault();
  const std::string opml = ReadFile(data + "default.opml");
  const std::string cachePath = news->CacheFileName();
  const std::string cache = "<rss version=\"2.0\"><channel><title>x</title></channel></rss>\r\n";
  WriteFile(cachePath, cache);
  SetDataFolder("");

  const std::string hivePath = config + "/Skimbrook/HKCU.reg";
  {
    THiveFileRegistry hive(hivePath, config + "/autostart");
    hive.WriteString(kProgramKey + "\\Options", "ShowTips", "0");
    hive.WriteString(kProgramKey + "\\Options", "AutomaticallyDownload", "0");
    hive.WriteString(kProgramKey + "\\Form", "Width", "700");
    hive.WriteString(kProgramKey + "\\Form", "Height", "480");
    hive.WriteString(kProgramKey + "\\View", "StatusBar", "0");
  }
  const auto hiveWritten = std::filesystem::last_write_time(hivePath);

  TProgram program({"SKIMBROOK_DATA=" + data, "XDG_CONFIG_HOME=" + config, "HOME=" + home.Path(),
                    "XDG_DATA_HOME=" + home.Path() + "share", "XDG_CACHE_HOME=" + home.Path() + "cache",
                    "QT_QPA_PLATFORM=offscreen"});
  ASSERT_TRUE(program.Started());
  // Loading the settings rewrites the hive (the context-menu entry); the window follows.
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::last_write_time(hivePath) != hiveWritten; }, 30s));
  std::this_thread::sleep_for(2s);
  program.Signal(SIGTERM);
  ASSERT_EQ(program.WaitForExit(60s), 0);

  EXPECT_EQ(ReadFile(data + "default.opml"), opml);
  EXPECT_EQ(ReadFile(cachePath), cache);
  THiveFileRegistry hive(hivePath, config + "/autostart");
  EXPECT_EQ(hive.ReadString(kProgramKey + "\\Form", "Width"), "700");
  EXPECT_EQ(hive.ReadString(kProgramKey + "\\Form", "Height"), "480");
  EXPECT_EQ(hive.ReadString(kProgramKey + "\\Form", "Splitter1"), "250");
  EXPECT_EQ(hive.ReadString(kProgramKey + "\\View", "StatusBar"), "0");
  EXPECT_EQ(hive.ReadString(kProgramKey + "\\View", "Toolbar"), "1");
  EXPECT_EQ(hive.ReadString(kProgramKey + "\\Options", "ShowTips"), "0");
  EXPECT_EQ(hive.ReadString("Software\\Microsoft\\Internet Explorer\\MenuExt\\Subscribe in Skimbrook", ""),
            "file://" + std::string(SKIMBROOK_BIN_DIR) + "/addfeed.htm");
  for (const auto& entry : std::filesystem::directory_iterator(data))
    EXPECT_EQ(entry.path().filename().string().find("damaged"), std::string::npos) << entry.path();
}

// The hive is a folder, so the start cannot read the settings and shows an error; a
// signal then (or just before) ends the program at once without writing the subscription
// list it never read. Temporary files of interrupted writes are gone from the start on.
TEST(ProgramRun, ASignalDuringTheStartEndsItWritingNothingTheStartHadNotRead) {
  TTempDir home;
  const std::string data = home.Path() + "data/";
  const std::string config = home.Path() + "config";
  std::filesystem::create_directories(data);
  std::filesystem::create_directories(config + "/Skimbrook/HKCU.reg");
  const std::string opml =
      "<?xml version=\"1.0\"?><opml><body><outline title=\"Kept\" "
      "xmlUrl=\"http://example.org/kept.xml\"/></body></opml>";
  WriteFile(data + "default.opml", opml);
  const std::vector<std::string> leftovers = {data + "default.opml.tmp-a1B2c3",
                                              config + "/Skimbrook/HKCU.reg.tmp-Zz9Yy8"};
  for (const std::string& leftover : leftovers) WriteFile(leftover, "half a write");
  WriteFile(data + "notes.txt", "not the program's");

  TProgram program({"SKIMBROOK_DATA=" + data, "XDG_CONFIG_HOME=" + config, "HOME=" + home.Path(),
                    "XDG_DATA_HOME=" + home.Path() + "share", "XDG_CACHE_HOME=" + home.Path() + "cache",
                    "QT_QPA_PLATFORM=offscreen"});
  ASSERT_TRUE(program.Started());
  ASSERT_TRUE(WaitFor([&] { return !Exists(leftovers[0]) && !Exists(leftovers[1]); }, 30s));
  std::this_thread::sleep_for(1500ms);
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitForExit(30s), 0);

  EXPECT_EQ(ReadFile(data + "default.opml"), opml);
  EXPECT_EQ(ReadFile(data + "notes.txt"), "not the program's");
  EXPECT_TRUE(std::filesystem::is_directory(config + "/Skimbrook/HKCU.reg"));
  for (const auto& entry : std::filesystem::directory_iterator(data))
    EXPECT_EQ(entry.path().filename().string().find("default.opml."), std::string::npos) << entry.path();
}

}  // namespace

}  // namespace skimbrook::test
