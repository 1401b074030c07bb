// The registry of the current user on this platform: a hive file in the text format of
// registry exports, and desktop entries that give the Run key its effect.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "settings/uAutostart.h"
#include "settings/uHive.h"
#include "settings/uRegistry.h"

namespace skimbrook {

// A RegistryStore kept in the hive file at HivePath (see THive for what it keeps of a
// file it cannot fully understand). The file is replaced atomically and is mode 0600 from
// its temporary file on, since it holds the proxy password; a group of operations that
// writes values leaves an existing file of a more open mode at 0600 even when nothing
// changed. A change made outside a group of operations reaches the disk at once; inside
// one, the file is written once, at the group's end, and only when something changed. Before each outermost
// operation the file is read again if it changed on disk, so edits made meanwhile are kept. A file that
// exists but cannot be read is never overwritten: every operation then fails with its own message.
//
// Each string value under the Run key is mirrored to a desktop entry in AutostartFolder,
// named after the value and starting the program its data names; the entry is removed with
// the value or when the value is empty.
class THiveFileRegistry : public RegistryStore {
 public:
  explicit THiveFileRegistry(std::string HivePath = DefaultHivePath(),
                             std::string AutostartFolder = DefaultAutostartFolder());

  void OpenOrCreateKey(const std::string& KeyPath) override;
  std::optional<std::string> ReadString(const std::string& KeyPath, const std::string& Name) override;
  void WriteString(const std::string& KeyPath, const std::string& Name, const std::string& Value) override;
  void DeleteValue(const std::string& KeyPath, const std::string& Name) override;
  void BeginUpdate() override;
  void EndUpdate() override;

 private:
  // What tells one version of the file from another.
  struct TFileIdentity {
    dev_t Device;
    ino_t Inode;
    off_t Size;
    timespec Modified;
    timespec Changed;
    // The identity of the file stat(2) described as Status.
    static TFileIdentity Of(const struct stat& Status);
    bool operator==(const TFileIdentity& Other) const;
  };

  template <class TApply>
  void Change(const std::string& Failure, const std::string* RunValue, TApply Apply);
  void Refresh();
  void Commit();
  void WriteHive();
  // Sets the file's mode to 0600 when it is more open.
  void MakeOwnerOnly();
  void MirrorAutostart(const std::vector<std::string>& RunValues);

  std::string hivePath_;
  std::string autostartFolder_;
  THive hive_;
  // The file hive_ was read from or written to; std::nullopt while there is none.
  std::optional<TFileIdentity> file_;
  bool readable_ = true;
  int depth_ = 0;
  // The hive before the group's first change, restored when the group cannot be written.
  std::optional<THive> before_;
  // The message of the group's first change: the one that did not reach the disk.
  std::optional<std::string> failure_;
  // Run values the group wrote or deleted.
  std::vector<std::string> runValues_;
};

}  // namespace skimbrook
