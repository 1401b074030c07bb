// A registry kept in memory, for tests of whatever reads and writes settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/uHive.h"
#include "settings/uRegistry.h"

namespace skimbrook {

// A RegistryStore with the hive file's rules (letter case ignored, values of other types
// rejected) and no file and no side effects: a Run value starts nothing.
class TMemoryRegistry : public RegistryStore {
 public:
  TMemoryRegistry() = default;
  // Starts from the text of a hive file, such as "REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n...".
  explicit TMemoryRegistry(std::string_view HiveText);

  void OpenOrCreateKey(const std::string& KeyPath) override;
  std::optional<std::string> ReadString(const std::string& KeyPath, const std::string& Name) override;
  void WriteString(const std::string& KeyPath, const std::string& Name, const std::string& Value) override;
  void DeleteValue(const std::string& KeyPath, const std::string& Name) override;

  // True when the key exists.
  bool KeyExists(const std::string& KeyPath) const { return hive_.KeyExists(KeyPath); }
  // The contents in the hive file's format.
  std::string Text() const { return hive_.Text(); }

 private:
  THive hive_;
};

}  // namespace skimbrook
