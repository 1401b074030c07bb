#include "base/uFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>

namespace skimbrook {

namespace {

TWriteFaultHook& WriteFaultHook() {
  static TWriteFaultHook hook;
  return hook;
}

[[noreturn]] void ThrowFileError(const char* What, const std::string& Path, int Errno) {
  throw std::runtime_error(std::string(What) + " \"" + Path + "\". " + std::strerror(Errno));
}

// Owns a file descriptor and closes it on every path.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int Fd) : fd_(Fd) {}
  ~TFileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return fd_; }
  // Closes now and reports the outcome, since close can report a delayed write error.
  int Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// Writes all of Bytes to Fd in chunks; returns 0 or the errno of the failure. Before is
// what was written to the file before these bytes.
int WriteAll(int Fd, std::string_view Bytes, size_t Before) {
  constexpr size_t kChunk = 64 * 1024;
  size_t done = 0;
  while (done < Bytes.size()) {
    if (const auto& hook = WriteFaultHook()) {
      if (int injected = hook(Before + done)) return injected;
    }
    size_t want = std::min(kChunk, Bytes.size() - done);
    ssize_t n = ::write(Fd, Bytes.data() + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

// Keeps the mode of the file being replaced; a new file gets NewFileMode & ~umask, as open(2)
// would give it.
mode_t ModeForReplacement(const std::string& Path, mode_t NewFileMode) {
  struct stat st {};
  if (::stat(Path.c_str(), &st) == 0) return st.st_mode & 07777;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return NewFileMode & ~mask;
}

// A failed write inside a sink, carried out of the producer to the atomic write.
struct TSinkWriteFailed {
  int Errno;
};

// The mode of the file an atomic write makes: the replaced file's (or NewFileMode for a
// new file), or exactly 0600 for a private file.
struct TModeRule {
  mode_t NewFileMode;
  bool Private;
};

// A name that mkostemp made from "<name>.tmp-XXXXXX".
bool IsTemporaryName(std::string_view Name) {
  constexpr std::string_view kMarker = ".tmp-";
  constexpr size_t kRandom = 6;
  if (Name.size() <= kMarker.size() + kRandom) return false;
  const size_t marker = Name.size() - kRandom - kMarker.size();
  if (Name.substr(marker, kMarker.size()) != kMarker) return false;
  for (char c : Name.substr(Name.size() - kRandom))
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

}  // namespace

class TFileSinkAccess {
 public:
  static TFileSink Open(int Fd) { return TFileSink(Fd); }
  static void Flush(TFileSink& Sink) { Sink.Flush(); }
};

void TFileSink::WriteThrough(std::string_view Bytes) {
  Flush();
  if (Bytes.size() < kBufferBytes) {
    std::memcpy(buffer_.get(), Bytes.data(), Bytes.size());
    used_ = Bytes.size();
    return;
  }
  if (int error = WriteAll(fd_, Bytes, written_)) throw TSinkWriteFailed{error};
  written_ += Bytes.size();
}

void TFileSink::Flush() {
  if (used_ == 0) return;
  if (int error = WriteAll(fd_, std::string_view(buffer_.get(), used_), written_))
    throw TSinkWriteFailed{error};
  written_ += used_;
  used_ = 0;
}

namespace {

// The atomic write behind the public forms: temporary file, bytes, flush, rename.
void WriteAtomically(const std::string& Path, const std::function<void(TFileSink&)>& Produce,
                     TModeRule Mode) {
  std::string temp = Path + ".tmp-XXXXXX";
  // mkostemp creates the file with mode 0600; a private file keeps it.
  TFileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.Get() < 0) ThrowFileError("Cannot create file", Path, errno);
  int error = 0;
  if (!Mode.Private && ::fchmod(fd.Get(), ModeForReplacement(Path, Mode.NewFileMode)) != 0) error = errno;
  if (error == 0) {
    try {
      TFileSink sink = TFileSinkAccess::Open(fd.Get());
      Produce(sink);
      TFileSinkAccess::Flush(sink);
    } catch (const TSinkWriteFailed& failed) {
      error = failed.Errno;
    } catch (...) {
      ::unlink(temp.c_str());
      throw;
    }
  }
  if (error == 0 && ::fsync(fd.Get()) != 0) error = errno;
  int closeError = fd.Close();
  if (error == 0) error = closeError;
  if (error == 0 && ::rename(temp.c_str(), Path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    ThrowFileError("Cannot write file", Path, error);
  }
}

}  // namespace

bool FileExists(const std::string& Path) {
  struct stat st {};
  return ::stat(Path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ReadRestOfFile(int Fd, const std::string& Path, size_t Expected) {
  std::string bytes;
  bytes.reserve(Expected);
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(Fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError("Cannot read file", Path, errno);
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

std::string ReadFileBytes(const std::string& Path) {
  TFileDescriptor file(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) ThrowFileError("Cannot open file", Path, errno);
  struct stat status {};
  const bool sized = ::fstat(file.Get(), &status) == 0 && status.st_size > 0;
  return ReadRestOfFile(file.Get(), Path, sized ? static_cast<size_t>(status.st_size) : 0);
}

void WriteFileAtomic(const std::string& Path, std::string_view Bytes, mode_t NewFileMode) {
  WriteAtomically(Path, [Bytes](TFileSink& Sink) { Sink.Write(Bytes); }, {NewFileMode, false});
}

void WritePrivateFileAtomic(const std::string& Path, std::string_view Bytes) {
  WriteAtomically(Path, [Bytes](TFileSink& Sink) { Sink.Write(Bytes); }, {0600, true});
}

void WriteFileAtomicFrom(const std::string& Path, const std::function<void(TFileSink& Sink)>& Produce) {
  WriteAtomically(Path, Produce, {0666, false});
}

bool RenameUnlessTargetExists(const std::string& From, const std::string& To) {
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: check first, then rename.
  return !FileExists(To) && std::rename(From.c_str(), To.c_str()) == 0;
}

void CreatePrivateFolder(const std::string& Folder) {
  std::string path = Folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::error_code ignored;
  if (path.empty() || std::filesystem::exists(path, ignored)) return;
  const size_t parent = path.rfind('/');
  if (parent != std::string::npos && parent > 0)
    std::filesystem::create_directories(path.substr(0, parent), ignored);
  ::mkdir(path.c_str(), 0700);
}

void RemoveLeftoverTemporaryFiles(const std::string& Folder) {
  DIR* folder = ::opendir(Folder.empty() ? "." : Folder.c_str());
  if (!folder) return;
  const int folderFd = ::dirfd(folder);
  while (const dirent* entry = ::readdir(folder)) {
    if (!IsTemporaryName(entry->d_name)) continue;
    // Only regular files: never a folder or a link the name happens to fit.
    struct stat st {};
    if (::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(folderFd, entry->d_name, 0);
  }
  ::closedir(folder);
}

namespace {

// "YYYYMMDD-HHMMSS" in local time.
std::string LocalTimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

std::string KeepDamagedCopy(const std::string& Path) {
  std::string bytes = ReadFileBytes(Path);
  const std::string base = Path + ".damaged-" + LocalTimeStamp();
  std::string copy = base;
  for (int n = 2; FileExists(copy) && ReadFileBytes(copy) != bytes; ++n)
    copy = base + "-" + std::to_string(n);
  if (!FileExists(copy)) WritePrivateFileAtomic(copy, bytes);
  return copy;
}

std::string JoinLinesCRLF(const std::vector<std::string>& Lines) {
  size_t size = 0;
  for (const auto& line : Lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& line : Lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void SetWriteFaultHookForTests(TWriteFaultHook Hook) {
  WriteFaultHook() = std::move(Hook);
}

}  // namespace skimbrook
