#include "ui/uDataFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace skimbrook {

namespace {

std::string WithSlash(std::string Path) {
  if (Path.empty() || Path.back() != '/') Path += '/';
  return Path;
}

std::string Environment(const char* Name) {
  const char* value = std::getenv(Name);
  return value ? value : "";
}

bool Writable(const std::string& Folder) {
  std::error_code ignored;
  std::filesystem::create_directories(Folder, ignored);
  return std::filesystem::is_directory(Folder, ignored) && ::access(Folder.c_str(), W_OK) == 0;
}

}  // namespace

std::string ResolveDataFolder(const std::string& ExecutableFolder) {
  if (const std::string chosen = Environment("SKIMBROOK_DATA"); !chosen.empty()) return WithSlash(chosen);
  const std::string beside = WithSlash(ExecutableFolder) + "data/";
  if (Writable(beside)) return beside;
  std::string dataHome = Environment("XDG_DATA_HOME");
  if (dataHome.empty()) dataHome = Environment("HOME") + "/.local/share";
  return WithSlash(dataHome) + "Skimbrook/data/";
}

}  // namespace skimbrook
