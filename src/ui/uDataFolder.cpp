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

// Whether Folder is, or could be made, a folder this user can write, judged without
// creating anything: a later copy of the program that only hands over its command line
// must leave the disk as it found it.
bool Writable(const std::string& Folder) {
  std::error_code ignored;
  std::filesystem::path path = std::filesystem::path(Folder).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();
  while (!path.empty() && !std::filesystem::exists(path, ignored)) {
    if (path == path.parent_path()) return false;
    path = path.parent_path();
  }
  return std::filesystem::is_directory(path, ignored) && ::access(path.c_str(), W_OK) == 0;
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
