#include "settings/uSettings.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace skimbrook {

namespace {

const std::string kProgramKey = "Software\\Skimbrook\\1.0";
const std::string kMenuEntryKey = "Software\\Microsoft\\Internet Explorer\\MenuExt\\Subscribe in Skimbrook";
// The browser contexts in which the menu entry is offered (0xF3).
const std::string kMenuEntryContexts = "243";

using TFieldPointer = std::variant<int TSettings::*, bool TSettings::*, std::string TSettings::*>;

// One stored field: its subkey of the program's key, its value name, the field and the
// value a missing or unreadable text gives (0 or 1 for booleans).
struct TStoredField {
  const char* Subkey;
  const char* Name;
  TFieldPointer Field;
  int Default;
};

// Every stored field, in the order in which they are read and written.
const TStoredField kStoredFields[] = {
    {"Form", "Left", &TSettings::Left, 0},
    {"Form", "Top", &TSettings::Top, 0},
    {"Form", "Height", &TSettings::Height, 0},
    {"Form", "Width", &TSettings::Width, 0},
    {"Form", "Splitter1", &TSettings::Splitter1, 0},
    {"Form", "Splitter2", &TSettings::Splitter2, 0},
    {"View", "Toolbar", &TSettings::ViewToolbar, 1},
    {"View", "StatusBar", &TSettings::ViewStatusBar, 1},
    {"View", "FeedList", &TSettings::ViewFeedList, 1},
    {"View", "ItemContents", &TSettings::ViewItemContents, 1},
    {"View", "SortByDate", &TSettings::SortByDate, 0},
    {"View", "ShowOlderItems", &TSettings::ShowOlderItems, 0},
    {"View", "CurrentFeed", &TSettings::CurrentFeed, 0},
    {"View", "CurrentItem", &TSettings::CurrentItem, 0},
    {"Proxy", "UseProxy", &TSettings::UseProxy, 0},
    {"Proxy", "Address", &TSettings::ProxyAddress, 0},
    {"Proxy", "Port", &TSettings::ProxyPort, 80},
    {"Proxy", "UseAuthentication", &TSettings::UseAuthentication, 0},
    {"Proxy", "UserName", &TSettings::ProxyUserName, 0},
    {"Proxy", "Password", &TSettings::ProxyPassword, 0},
    {"Options", "ShowTips", &TSettings::ShowTips, 1},
    {"Options", "DownloadOnStartUp", &TSettings::DownloadOnStartUp, 0},
    {"Options", "AutomaticallyDownload", &TSettings::AutomaticallyDownload, 1},
    {"Options", "RememberForm", &TSettings::RememberForm, 1},
    {"Options", "MinimizeToTray", &TSettings::MinimizeToTray, 1},
    {"Options", "ShowNotifications", &TSettings::ShowNotifications, 1},
    {"Options", "FollowRedirects", &TSettings::FollowRedirects, 1},
    {"Options", "SimultaneousDownloads", &TSettings::SimultaneousDownloads, 6},
    {"Options", "KeepDays", &TSettings::KeepDays, 180},
};

std::string SubkeyPath(const char* Subkey) {
  return kProgramKey + "\\" + Subkey;
}

// The 32-bit integer that Text writes in decimal, with an optional sign and nothing
// else; std::nullopt for any other text, a number out of range included.
std::optional<int> ParseInteger(std::string_view Text) {
  if (Text.starts_with('+') && Text.size() > 1 && Text[1] != '-') Text.remove_prefix(1);
  int value = 0;
  auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
  if (error != std::errc() || end != Text.data() + Text.size()) return std::nullopt;
  return value;
}

int ReadInteger(const std::optional<std::string>& Text, int Default) {
  if (!Text) return Default;
  return ParseInteger(*Text).value_or(Default);
}

// What follows the last '/' of Path, and what leads up to it, that '/' included.
std::string FileNameOf(const std::string& Path) {
  return Path.substr(Path.rfind('/') + 1);
}
std::string FolderOf(const std::string& Path) {
  return Path.substr(0, Path.rfind('/') + 1);
}

}  // namespace

TSettings::TSettings(RegistryStore& Store, std::string ExecutablePath, std::string PagesFolder)
    : store_(Store), executablePath_(std::move(ExecutablePath)), pagesFolder_(std::move(PagesFolder)) {
  if (pagesFolder_.empty()) pagesFolder_ = FolderOf(executablePath_);
  Load();
}

std::optional<std::string> TSettings::ReadValue(const std::string& KeyPath, const std::string& Name,
                                                const std::string& Shown) {
  try {
    return store_.ReadString(KeyPath, Name);
  } catch (const TInvalidDataType&) {
    // A value of another type is read like a text that is not a number: as the default.
    ignoredValues_.push_back(Shown);
    return std::nullopt;
  }
}

void TSettings::Load() {
  ignoredValues_.clear();
  TRegistryUpdate update(store_);
  store_.OpenOrCreateKey(kProgramKey);
  for (const TStoredField& stored : kStoredFields) {
    std::optional<std::string> text =
        ReadValue(SubkeyPath(stored.Subkey), stored.Name, std::string(stored.Subkey) + "\\" + stored.Name);
    std::visit(
        [&](auto field) {
          using TValue = std::remove_reference_t<decltype(this->*field)>;
          if constexpr (std::is_same_v<TValue, std::string>)
            this->*field = text.value_or(std::string());
          else if constexpr (std::is_same_v<TValue, bool>)
            this->*field = ReadInteger(text, stored.Default) != 0;
          else
            this->*field = ReadInteger(text, stored.Default);
        },
        stored.Field);
  }
  SimultaneousDownloads = std::clamp(SimultaneousDownloads, kMinDownloads, kMaxDownloads);
  KeepDays = std::clamp(KeepDays, kMinKeepDays, kMaxKeepDays);
  const std::string runValue = FileNameOf(executablePath_);
  std::optional<std::string> run =
      ReadValue(std::string(RunKeyPath), runValue, std::string(RunKeyPath) + "\\" + runValue);
  StartWithWindows = run && !run->empty();
  // Rewritten at every start, so that the entry follows the program when it moves.
  store_.WriteString(kMenuEntryKey, "", "file://" + pagesFolder_ + "addfeed.htm");
  store_.WriteString(kMenuEntryKey, "Contexts", kMenuEntryContexts);
  update.Finish();
}

void TSettings::Save() {
  TRegistryUpdate update(store_);
  for (const TStoredField& stored : kStoredFields) {
    std::string text = std::visit(
        [&](auto field) -> std::string {
          const auto& value = this->*field;
          using TValue = std::remove_cvref_t<decltype(value)>;
          if constexpr (std::is_same_v<TValue, std::string>)
            return value;
          else if constexpr (std::is_same_v<TValue, bool>)
            return value ? "1" : "0";
          else
            return std::to_string(value);
        },
        stored.Field);
    store_.WriteString(SubkeyPath(stored.Subkey), stored.Name, text);
  }
  std::string runValue = FileNameOf(executablePath_);
  if (StartWithWindows)
    store_.WriteString(std::string(RunKeyPath), runValue, executablePath_);
  else
    store_.DeleteValue(std::string(RunKeyPath), runValue);
  update.Finish();
}

}  // namespace skimbrook
