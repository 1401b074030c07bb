#include "settings/uMemoryRegistry.h"

#include <stdexcept>

namespace skimbrook {

TMemoryRegistry::TMemoryRegistry(std::string_view HiveText) : hive_(THive::Parse(HiveText)) {}

void TMemoryRegistry::OpenOrCreateKey(const std::string& KeyPath) {
  if (failChanges_ && !hive_.KeyExists(KeyPath)) throw std::runtime_error("Failed to create key " + KeyPath);
  hive_.CreateKey(KeyPath);
}

std::optional<std::string> TMemoryRegistry::ReadString(const std::string& KeyPath, const std::string& Name) {
  return hive_.ReadString(KeyPath, Name);
}

void TMemoryRegistry::WriteString(const std::string& KeyPath, const std::string& Name,
                                  const std::string& Value) {
  if (failChanges_) throw std::runtime_error("Failed to set data for '" + Name + "'");
  hive_.WriteString(KeyPath, Name, Value);
}

void TMemoryRegistry::DeleteValue(const std::string& KeyPath, const std::string& Name) {
  if (failChanges_) {
    // Deleting what is not there changes nothing, so it cannot fail.
    THive probe = hive_;
    if (probe.DeleteValue(KeyPath, Name)) throw std::runtime_error("Failed to set data for '" + Name + "'");
    return;
  }
  hive_.DeleteValue(KeyPath, Name);
}

}  // namespace skimbrook
