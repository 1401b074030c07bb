// Whole-file reading and writing for every file the program keeps.
#pragma once

#include <sys/types.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace skimbrook {

// True when a file (not a folder) exists at Path.
bool FileExists(const std::string& Path);

// The whole file, byte for byte. Throws std::runtime_error naming the file when it
// cannot be opened or read.
std::string ReadFileBytes(const std::string& Path);
// What is left to read of the open file Fd, to its end; Expected is the size to make room
// for. Errors name Path.
std::string ReadRestOfFile(int Fd, const std::string& Path, size_t Expected);

// Replaces the file at Path with Bytes so that no reader ever sees a partial file:
// the bytes go to a temporary file in the same folder, are flushed to the disk, and the
// temporary file is renamed over Path. On any failure the temporary file is removed, the
// previous file stays as it was, and std::runtime_error names the file and the cause.
// A replaced file keeps its permission bits; a new one gets NewFileMode less the umask.
void WriteFileAtomic(const std::string& Path, std::string_view Bytes, mode_t NewFileMode = 0666);

// As WriteFileAtomic, for a file that holds secrets: its temporary file is mode 0600 from
// its creation, and so is the file afterwards, whatever mode a replaced file had.
void WritePrivateFileAtomic(const std::string& Path, std::string_view Bytes);

// Where a file being written takes its bytes, piece by piece; small pieces are gathered
// into larger writes, so a caller can hand over a line end at a time.
class TFileSink {
 public:
  void Write(std::string_view Bytes) {
    if (Bytes.size() <= kBufferBytes - used_) {
      std::memcpy(buffer_.get() + used_, Bytes.data(), Bytes.size());
      used_ += Bytes.size();
    } else {
      WriteThrough(Bytes);
    }
  }

 private:
  friend class TFileSinkAccess;
  static constexpr size_t kBufferBytes = 64 * 1024;
  explicit TFileSink(int Fd) : fd_(Fd), buffer_(new char[kBufferBytes]) {}
  // Writes what is gathered, then Bytes; a failed write ends the atomic write.
  void WriteThrough(std::string_view Bytes);
  void Flush();

  int fd_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  size_t written_ = 0;
};

// As WriteFileAtomic, with the bytes handed to the sink by Produce as it makes them, so
// that a large file never stands whole in memory. What Produce throws ends the write as a
// failure would and goes on to the caller.
void WriteFileAtomicFrom(const std::string& Path, const std::function<void(TFileSink& Sink)>& Produce);

// Renames From to To only when To does not exist; false when nothing was renamed.
bool RenameUnlessTargetExists(const std::string& From, const std::string& To);

// Creates Folder and the folders above it that are missing; Folder itself, when created
// here, is mode 0700 (it will hold the user's subscriptions). An existing folder keeps its
// mode. Failures are left to the first write into it, which names the cause.
void CreatePrivateFolder(const std::string& Folder);

// Removes the temporary files that atomic writes into Folder left behind when the program
// was killed half-way (names ending in ".tmp-" and six letters or digits). Other files,
// and temporary files that cannot be removed, are left as they are.
void RemoveLeftoverTemporaryFiles(const std::string& Folder);

// Copies the file at Path, which could not be read as what it should hold, to
// Path + ".damaged-YYYYMMDD-HHMMSS" (local time) before anything can overwrite it, and returns
// the copy's path. A second damaged copy within the same second gets "-2", "-3", ...
// unless it holds the same bytes as the first. The copy is readable by its owner only,
// whatever the file's mode: what it holds cannot be told apart from secrets.
std::string KeepDamagedCopy(const std::string& Path);

// Each line followed by CR LF, the last one included: the line format of every file the
// program writes.
std::string JoinLinesCRLF(const std::vector<std::string>& Lines);

// Test hook: called before each chunk that WriteFileAtomic writes, with the number of
// bytes already written; a non-zero result is taken as the errno of a failed write.
// Pass an empty function to remove it.
using TWriteFaultHook = std::function<int(size_t BytesWritten)>;
void SetWriteFaultHookForTests(TWriteFaultHook Hook);

}  // namespace skimbrook
