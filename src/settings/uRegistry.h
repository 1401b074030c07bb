// A store of named string values under key paths, laid out like the registry of the
// current user ("Software\Skimbrook\1.0\Form" and so on). On this platform it is kept in
// a hive file in the text format of registry exports.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace skimbrook {

// What reading a value of a type other than a string raises: "Invalid data type for
// '<Name>'". A type of its own, so that a reader can take such a value as absent.
class TInvalidDataType : public std::runtime_error {
 public:
  explicit TInvalidDataType(const std::string& Name)
      : std::runtime_error("Invalid data type for '" + Name + "'") {}
};

// The key whose values start programs with the user's session: each value names a program
// and holds its full path.
inline constexpr std::string_view RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The four operations the settings need. Key paths use backslashes and are relative to
// the current user's hive; key paths and value names compare without regard to letter
// case. Errors are std::runtime_error with the texts "Failed to create key %s",
// "Failed to set data for '%s'", "Failed to get data for '%s'" and
// "Invalid data type for '%s'".
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // Opens the key path, creating it (and its parents) when missing.
  virtual void OpenOrCreateKey(const std::string& KeyPath) = 0;
  // The named string value, or std::nullopt when the key or the value is absent. A value
  // of any other type fails with TInvalidDataType.
  virtual std::optional<std::string> ReadString(const std::string& KeyPath, const std::string& Name) = 0;
  // Writes a named string value, creating the key path. An empty Name is the key's
  // unnamed (default) value.
  virtual void WriteString(const std::string& KeyPath, const std::string& Name, const std::string& Value) = 0;
  // Deletes a named value; nothing happens when it or its key is absent.
  virtual void DeleteValue(const std::string& KeyPath, const std::string& Name) = 0;

  // Starts a group of operations that the store may persist once, at the matching
  // EndUpdate, instead of after each change; groups nest. Use TRegistryUpdate.
  virtual void BeginUpdate() {}
  // Ends a group. The outermost one persists the group's changes, or raises the error of
  // the first change that could not be persisted, in which case none of them is kept.
  virtual void EndUpdate() {}
};

// One group of registry operations for the life of the object (see BeginUpdate).
class TRegistryUpdate {
 public:
  explicit TRegistryUpdate(RegistryStore& Store) : store_(Store) { store_.BeginUpdate(); }
  // Reached without Finish only while an exception is on its way: persists what was done
  // before it as far as possible and lets the original exception go on.
  ~TRegistryUpdate() {
    if (finished_) return;
    try {
      store_.EndUpdate();
    } catch (...) {
    }
  }
  TRegistryUpdate(const TRegistryUpdate&) = delete;
  TRegistryUpdate& operator=(const TRegistryUpdate&) = delete;
  // Ends the group, raising the store's error when its changes could not be persisted.
  void Finish() {
    finished_ = true;
    store_.EndUpdate();
  }

 private:
  RegistryStore& store_;
  bool finished_ = false;
};

// The hive file's path: $XDG_CONFIG_HOME/Skimbrook/HKCU.reg, $XDG_CONFIG_HOME defaulting
// to ~/.config.
std::string DefaultHivePath();

}  // namespace skimbrook
