// A store of named string values under key paths, laid out like the registry of the
// current user ("Software\Skimbrook\1.0\Form" and so on). On this platform it is kept in
// a hive file in the text format of registry exports.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace skimbrook {

// The four operations the settings need. Key paths use backslashes and are relative to
// the current user's hive. Errors are std::runtime_error with the texts
// "Failed to create key %s", "Failed to set data for '%s'", "Failed to get data for '%s'"
// and "Invalid data type for '%s'".
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // Opens the key path, creating it (and its parents) when missing.
  virtual void OpenOrCreateKey(const std::string& KeyPath) = 0;
  // The named string value, or std::nullopt when the key or the value is absent. A value
  // of any other type fails with "Invalid data type for '<Name>'".
  virtual std::optional<std::string> ReadString(const std::string& KeyPath, const std::string& Name) = 0;
  // Writes a named string value, creating the key path. An empty Name is the key's
  // unnamed (default) value.
  virtual void WriteString(const std::string& KeyPath, const std::string& Name, const std::string& Value) = 0;
  // Deletes a named value; nothing happens when it or its key is absent.
  virtual void DeleteValue(const std::string& KeyPath, const std::string& Name) = 0;
};

// The hive file's path: $XDG_CONFIG_HOME/Skimbrook/HKCU.reg, $XDG_CONFIG_HOME defaulting
// to ~/.config.
std::string DefaultHivePath();

}  // namespace skimbrook
