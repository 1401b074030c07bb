#include "settings/uMemoryRegistry.h"

namespace skimbrook {

TMemoryRegistry::TMemoryRegistry(std::string_view HiveText) : hive_(THive::Parse(HiveText)) {}

void TMemoryRegistry::OpenOrCreateKey(const std::string& KeyPath) {
  hive_.CreateKey(KeyPath);
}

std::optional<std::string> TMemoryRegistry::ReadString(const std::string& KeyPath, const std::string& Name) {
  return hive_.ReadString(KeyPath, Name);
}

void TMemoryRegistry::WriteString(const std::string& KeyPath, const std::string& Name,
                                  const std::string& Value) {
  hive_.WriteString(KeyPath, Name, Value);
}

void TMemoryRegistry::DeleteValue(const std::string& KeyPath, const std::string& Name) {
  hive_.DeleteValue(KeyPath, Name);
}

}  // namespace skimbrook
