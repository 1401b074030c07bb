#include "base/uFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
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

// Writes all of Bytes to Fd in chunks; returns 0 or the errno of the failure.
int WriteAll(int Fd, std::string_view Bytes) {
  constexpr size_t kChunk = 64 * 1024;
  size_t done = 0;
  while (done < Bytes.size()) {
    if (const auto& hook = WriteFaultHook()) {
      if (int injected = hook(done)) return injected;
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
  std::string temp = Path + ".tmp-XXXXXX";
  TFileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.Get() < 0) ThrowFileError("Cannot create file", Path, errno);
  int error = ::fchmod(fd.Get(), ModeForReplacement(Path, NewFileMode)) == 0 ? 0 : errno;
  if (error == 0) error = WriteAll(fd.Get(), Bytes);
  if (error == 0 && ::fsync(fd.Get()) != 0) error = errno;
  int closeError = fd.Close();
  if (error == 0) error = closeError;
  if (error == 0 && ::rename(temp.c_str(), Path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    ThrowFileError("Cannot write file", Path, error);
  }
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
  if (!FileExists(copy)) WriteFileAtomic(copy, bytes);
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
