#include "xml/moxSourceText.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "base/uFiles.h"

namespace skimbrook {

namespace {

[[noreturn]] void ThrowFileError(const char* What, const std::string& Path, int Errno) {
  throw std::runtime_error(std::string(What) + " \"" + Path + "\". " + std::strerror(Errno));
}

// Closes the descriptor on every path.
struct TDescriptor {
  int Fd;
  ~TDescriptor() {
    if (Fd >= 0) ::close(Fd);
  }
};

size_t PageSize() {
  static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

}  // namespace

size_t TmoxSourceText::ReleaseStep() {
  return size_t{1} << 20;
}

void TmoxSourceText::Assign(std::string Bytes) {
  Unmap();
  bytes_ = std::move(Bytes);
  view_ = bytes_;
  released_ = 0;
  nextRelease_ = UINTPTR_MAX;
}

void TmoxSourceText::Load(const std::string& Path) {
  TDescriptor file{::open(Path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.Fd < 0) ThrowFileError("Cannot open file", Path, errno);
  struct stat status {};
  if (::fstat(file.Fd, &status) != 0) ThrowFileError("Cannot read file", Path, errno);
  // A private read-only mapping: nothing is copied, and pages given back with
  // ReleaseBefore come back from the file if they are read again.
  if (S_ISREG(status.st_mode) && status.st_size > 0) {
    const size_t size = static_cast<size_t>(status.st_size);
    void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.Fd, 0);
    if (mapping != MAP_FAILED) {
      Unmap();
      bytes_ = std::string();
      mapping_ = mapping;
      mappedBytes_ = size;
      view_ = std::string_view(static_cast<const char*>(mapping), size);
      released_ = 0;
      SetNextRelease();
      return;
    }
  }
  // What cannot be mapped (a pipe, a file of the proc file system) is read to its end.
  std::string bytes =
      ReadRestOfFile(file.Fd, Path, S_ISREG(status.st_mode) ? static_cast<size_t>(status.st_size) : 0);
  Assign(std::move(bytes));
}

void TmoxSourceText::ReleaseMappedBefore(const char* Position) {
  const char* const base = static_cast<const char*>(mapping_);
  if (Position < base || Position > base + mappedBytes_) return;
  const size_t end = static_cast<size_t>(Position - base) / PageSize() * PageSize();
  if (end < released_ + ReleaseStep()) return;
  // Advice only: should it fail, the pages simply stay.
  if (::madvise(const_cast<char*>(base) + released_, end - released_, MADV_DONTNEED) == 0) released_ = end;
  SetNextRelease();
}

void TmoxSourceText::SetNextRelease() {
  nextRelease_ = reinterpret_cast<uintptr_t>(mapping_) + released_ + ReleaseStep();
}

void TmoxSourceText::Unmap() noexcept {
  if (mapping_ != nullptr) ::munmap(mapping_, mappedBytes_);
  mapping_ = nullptr;
  mappedBytes_ = 0;
  view_ = bytes_;
  released_ = 0;
  nextRelease_ = UINTPTR_MAX;
}

}  // namespace skimbrook
