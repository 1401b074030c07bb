#include "settings/uHiveRegistry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "base/uFiles.h"

namespace skimbrook {

namespace {

std::string SetDataFailure(const std::string& Name) {
  return "Failed to set data for '" + Name + "'";
}

bool SameTime(const timespec& A, const timespec& B) {
  return A.tv_sec == B.tv_sec && A.tv_nsec == B.tv_nsec;
}

void CreateFolderOf(const std::string& Path) {
  std::filesystem::path folder = std::filesystem::path(Path).parent_path();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw std::runtime_error("Cannot create folder \"" + folder.string() + "\". " + error.message());
}

void WriteIfDifferent(const std::string& Path, const std::string& Text) {
  if (FileExists(Path) && ReadFileBytes(Path) == Text) return;
  CreateFolderOf(Path);
  WriteFileAtomic(Path, Text);
}

// Name when the value lives under the Run key and so has a desktop entry to keep in step.
const std::string* RunValueName(const std::string& KeyPath, const std::string& Name) {
  return THive::SameKey(KeyPath, std::string(RunKeyPath)) ? &Name : nullptr;
}

void RemoveIfPresent(const std::string& Path) {
  if (::unlink(Path.c_str()) != 0 && errno != ENOENT)
    throw std::runtime_error("Cannot remove file \"" + Path + "\"");
}

}  // namespace

std::string DefaultHivePath() {
  return UserConfigFolder() + "/Skimbrook/HKCU.reg";
}

THiveFileRegistry::TFileIdentity THiveFileRegistry::TFileIdentity::Of(const struct stat& Status) {
  return {Status.st_dev, Status.st_ino, Status.st_size, Status.st_mtim, Status.st_ctim};
}

bool THiveFileRegistry::TFileIdentity::operator==(const TFileIdentity& Other) const {
  return Device == Other.Device && Inode == Other.Inode && Size == Other.Size &&
         SameTime(Modified, Other.Modified) && SameTime(Changed, Other.Changed);
}

THiveFileRegistry::THiveFileRegistry(std::string HivePath, std::string AutostartFolder)
    : hivePath_(std::move(HivePath)), autostartFolder_(std::move(AutostartFolder)) {}

// ---------------------------------------------------------------------------------------
// The four operations

void THiveFileRegistry::OpenOrCreateKey(const std::string& KeyPath) {
  Change("Failed to create key " + KeyPath, nullptr, [&] { return hive_.CreateKey(KeyPath); });
}

std::optional<std::string> THiveFileRegistry::ReadString(const std::string& KeyPath,
                                                         const std::string& Name) {
  TRegistryUpdate update(*this);
  if (!readable_) throw std::runtime_error("Failed to get data for '" + Name + "'");
  std::optional<std::string> value = hive_.ReadString(KeyPath, Name);
  update.Finish();
  return value;
}

void THiveFileRegistry::WriteString(const std::string& KeyPath, const std::string& Name,
                                    const std::string& Value) {
  Change(SetDataFailure(Name), RunValueName(KeyPath, Name),
         [&] { return hive_.WriteString(KeyPath, Name, Value); });
}

void THiveFileRegistry::DeleteValue(const std::string& KeyPath, const std::string& Name) {
  Change(SetDataFailure(Name), RunValueName(KeyPath, Name), [&] { return hive_.DeleteValue(KeyPath, Name); });
}

// Runs one change inside a group of its own (nested in the caller's, if any) and
// remembers what the group's end has to write.
template <class TApply>
void THiveFileRegistry::Change(const std::string& Failure, const std::string* RunValue, TApply Apply) {
  TRegistryUpdate update(*this);
  if (!readable_) throw std::runtime_error(Failure);
  if (!before_) before_ = hive_;
  if (Apply() && !failure_) failure_ = Failure;
  // The autostart entry is checked even when the value did not change: it may have been
  // removed or edited behind the program's back.
  if (RunValue) runValues_.push_back(*RunValue);
  update.Finish();
}

// ---------------------------------------------------------------------------------------
// Groups and the file

void THiveFileRegistry::BeginUpdate() {
  if (depth_++ == 0) Refresh();
}

void THiveFileRegistry::EndUpdate() {
  assert(depth_ > 0 && "EndUpdate without BeginUpdate");
  if (--depth_ == 0) Commit();
}

void THiveFileRegistry::Refresh() {
  struct stat st {};
  if (::stat(hivePath_.c_str(), &st) != 0) {
    readable_ = errno == ENOENT;
    if (readable_) {
      hive_ = THive();
      file_.reset();
    }
    return;
  }
  // A folder or a pipe in its place would fail or block a read.
  if (!S_ISREG(st.st_mode)) {
    readable_ = false;
    return;
  }
  const TFileIdentity identity = TFileIdentity::Of(st);
  if (readable_ && file_ == identity) return;
  try {
    hive_ = THive::Parse(ReadFileBytes(hivePath_));
    file_ = identity;
    readable_ = true;
  } catch (const std::runtime_error&) {
    readable_ = false;
  }
}

void THiveFileRegistry::Commit() {
  std::optional<std::string> failure = std::exchange(failure_, std::nullopt);
  std::optional<THive> before = std::exchange(before_, std::nullopt);
  std::vector<std::string> runValues = std::exchange(runValues_, {});
  if (failure) {
    try {
      WriteHive();
    } catch (const std::exception&) {
      hive_ = std::move(*before);
      throw std::runtime_error(*failure);
    }
  } else if (before) {
    // A group that changed nothing still leaves an older, more open file owner-only.
    MakeOwnerOnly();
  }
  MirrorAutostart(runValues);
}

void THiveFileRegistry::MakeOwnerOnly() {
  struct stat st {};
  if (::stat(hivePath_.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 07777) == 0600) return;
  const bool current = file_ == TFileIdentity::Of(st);
  if (::chmod(hivePath_.c_str(), 0600) != 0 || ::stat(hivePath_.c_str(), &st) != 0) return;
  // The new change time is not a change of the values read.
  if (current) file_ = TFileIdentity::Of(st);
}

void THiveFileRegistry::WriteHive() {
  CreateFolderOf(hivePath_);
  // Owner-only from the temporary file on, whatever an older file allowed: it holds the
  // proxy password.
  WritePrivateFileAtomic(hivePath_, hive_.Text());
  struct stat st {};
  if (::stat(hivePath_.c_str(), &st) == 0)
    file_ = TFileIdentity::Of(st);
  else
    file_.reset();
}

void THiveFileRegistry::MirrorAutostart(const std::vector<std::string>& RunValues) {
  for (const std::string& name : RunValues) {
    std::optional<std::string> program;
    try {
      program = hive_.ReadString(std::string(RunKeyPath), name);
    } catch (const std::runtime_error&) {
      // A value of another type starts nothing.
    }
    std::string entry = autostartFolder_ + "/" + AutostartFileName(name);
    try {
      if (program && !program->empty())
        WriteIfDifferent(entry, AutostartEntryText(*program));
      else
        RemoveIfPresent(entry);
    } catch (const std::exception&) {
      throw std::runtime_error(SetDataFailure(name));
    }
  }
}

}  // namespace skimbrook
