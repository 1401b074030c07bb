// Helpers that clean up after themselves: temporary folders and environment variables.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace skimbrook::test {

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  // The folder's path, ending in '/'.
  const std::string& Path() const { return path_; }
  // Path() + Name.
  std::string File(const std::string& Name) const { return path_ + Name; }

 private:
  std::string path_;
};

// Sets (or with std::nullopt unsets) an environment variable and restores it at the end.
class TScopedEnv {
 public:
  TScopedEnv(std::string Name, const std::optional<std::string>& Value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The message of the std::runtime_error that Call raises, or "" when it raises none.
template <class TCall>
std::string ErrorOf(TCall Call) {
  try {
    Call();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

// Whole-file helpers for assertions.
std::string ReadFile(const std::string& Path);
void WriteFile(const std::string& Path, const std::string& Bytes);
bool Exists(const std::string& Path);

// The folder of checked-in fixtures (tests/data/), ending in '/'.
std::string DataPath(const std::string& Name = "");
// The shared real-world corpus (the SKIMBROOK_CORPUS environment variable, else the folder
// configured at build time), ending in '/'; empty when it is not on this machine.
std::string CorpusPath();

}  // namespace skimbrook::test
