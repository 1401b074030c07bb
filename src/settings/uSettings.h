// The user's preferences and the main window's geometry, persisted as string values
// under "Software\Skimbrook\1.0", plus the two desktop integrations kept beside them:
// start with the session (the Run value) and the browser context-menu entry.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/uRegistry.h"

namespace skimbrook {

class TSettings {
 public:
  // Sets up the object over Store (which must outlive it) and calls Load.
  // ExecutablePath is the program's full path; it names the Run value. PagesFolder (ending
  // in '/') holds addfeed.htm for the context-menu entry; empty means the executable's
  // folder.
  TSettings(RegistryStore& Store, std::string ExecutablePath, std::string PagesFolder = {});

  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int Splitter1 = 0;
  int Splitter2 = 0;
  bool UseProxy = false;
  std::string ProxyAddress;
  int ProxyPort = 80;
  bool UseAuthentication = false;
  std::string ProxyUserName;
  std::string ProxyPassword;
  bool ShowTips = true;
  bool DownloadOnStartUp = false;
  bool AutomaticallyDownload = true;
  bool RememberForm = true;
  bool MinimizeToTray = true;
  bool StartWithWindows = false;
  bool ViewToolbar = true;
  bool ViewStatusBar = true;
  bool ViewFeedList = true;
  bool ViewItemContents = true;
  // The item list shows the newest items first instead of the feed's own order.
  bool SortByDate = false;
  // The item list shows the feed's older items (kept in the item store) below its own.
  bool ShowOlderItems = false;
  // The entry and item current at the last exit (its row and the item's identity), shown
  // again at the next start.
  int CurrentFeed = 0;
  std::string CurrentItem;
  // Beyond the stored layout of the first version, kept after its values in "Options":
  // a desktop notification when a run that started by itself brings new items,
  bool ShowNotifications = true;
  // follow a feed's redirects (and move a subscription whose feed has moved for good; on
  // unless the user turns it off, as a moved feed would otherwise fail at every download),
  bool FollowRedirects = true;
  // and how many feeds one run fetches at once (kMinDownloads to kMaxDownloads).
  int SimultaneousDownloads = 6;
  static constexpr int kMinDownloads = 1;
  static constexpr int kMaxDownloads = 16;
  // How many days an item that has left its feed's document stays in the item store
  // (starred items stay always), kMinKeepDays to kMaxKeepDays.
  int KeepDays = 180;
  static constexpr int kMinKeepDays = 1;
  static constexpr int kMaxKeepDays = 3650;

  // Reads every value (missing or unreadable ones give the defaults, and so does a value
  // of another type than a string, which IgnoredValues then names), derives
  // StartWithWindows from the Run value, and rewrites the context-menu entry.
  void Load();
  // Writes every value, then writes or deletes the Run value after StartWithWindows.
  void Save();

  // The values of another type than a string that the last Load read as their defaults,
  // as "Subkey\Name" of the program's key ("Form\Width") or the Run value's full path.
  // The next Save replaces them with strings.
  const std::vector<std::string>& IgnoredValues() const { return ignoredValues_; }

 private:
  // The value, or std::nullopt when it is absent or of another type (noted as Shown).
  std::optional<std::string> ReadValue(const std::string& KeyPath, const std::string& Name,
                                       const std::string& Shown);

  std::vector<std::string> ignoredValues_;
  RegistryStore& store_;
  std::string executablePath_;
  std::string pagesFolder_;
};

}  // namespace skimbrook
