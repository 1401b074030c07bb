#include "settings/uProgramFiles.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

// The pages' folder of an installation, relative to the folder of its executables; the
// build derives it from the install rules' folders.
#ifndef SKIMBROOK_PAGES_FROM_BIN
#define SKIMBROOK_PAGES_FROM_BIN "../share/skimbrook/"
#endif

namespace skimbrook {

namespace {

const char* const kMarkerPage = "help.html";

std::string WithSlash(std::string Path) {
  if (Path.empty() || Path.back() != '/') Path += '/';
  return Path;
}

std::string FolderOf(const std::string& Path) {
  return Path.substr(0, Path.rfind('/') + 1);
}

std::string Environment(const char* Name) {
  const char* value = std::getenv(Name);
  return value ? value : "";
}

bool IsFile(const std::string& Path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(Path, ignored);
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

TProgramFiles LocateProgramFiles(const std::string& ExecutablePath) {
  TProgramFiles program;
  program.ExecutableFolder = FolderOf(ExecutablePath);
  program.PagesFolder = program.ExecutableFolder;
  if (IsFile(program.ExecutableFolder + kMarkerPage)) return program;
  const std::string shared =
      std::filesystem::path(program.ExecutableFolder + SKIMBROOK_PAGES_FROM_BIN).lexically_normal().string();
  if (IsFile(WithSlash(shared) + kMarkerPage)) {
    program.PagesFolder = WithSlash(shared);
    program.Installed = true;
  }
  return program;
}

std::string ResolveDataFolder(const TProgramFiles& Program) {
  if (const std::string chosen = Environment("SKIMBROOK_DATA"); !chosen.empty()) return WithSlash(chosen);
  const std::string beside = WithSlash(Program.ExecutableFolder) + "data/";
  if (!Program.Installed && Writable(beside)) return beside;
  std::string dataHome = Environment("XDG_DATA_HOME");
  if (dataHome.empty()) dataHome = Environment("HOME") + "/.local/share";
  return WithSlash(dataHome) + "Skimbrook/data/";
}

}  // namespace skimbrook
