#include "tools/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace skimbrook::test {

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "skimbrook-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

TScopedEnv::TScopedEnv(std::string Name, const std::optional<std::string>& Value) : name_(std::move(Name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  if (Value)
    ::setenv(name_.c_str(), Value->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

TScopedEnv::~TScopedEnv() {
  if (old_)
    ::setenv(name_.c_str(), old_->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + Path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out << Bytes;
  if (!out) throw std::runtime_error("cannot write " + Path);
}

bool Exists(const std::string& Path) {
  return std::filesystem::exists(Path);
}

std::string DataPath(const std::string& Name) {
  return std::string(SKIMBROOK_TEST_DATA) + "/" + Name;
}

std::string CorpusPath() {
  // The environment wins, so a checkout in another folder layout can still find it.
  const char* fromEnvironment = std::getenv("SKIMBROOK_CORPUS");
  std::string path = fromEnvironment && *fromEnvironment ? fromEnvironment : SKIMBROOK_CORPUS;
  return std::filesystem::is_directory(path) ? path + "/" : std::string();
}

}  // namespace skimbrook::test
