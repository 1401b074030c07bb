// The bytes a document is parsed from, which its tree refers to: either text handed
// over in memory or a file mapped read-only. A mapped file costs no copy, and the pages a
// reader has finished with can be given back to the system while the rest is still read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace skimbrook {

class TmoxSourceText {
 public:
  TmoxSourceText() = default;
  ~TmoxSourceText() { Unmap(); }
  TmoxSourceText(const TmoxSourceText&) = delete;
  TmoxSourceText& operator=(const TmoxSourceText&) = delete;

  // Takes Bytes over as the text.
  void Assign(std::string Bytes);
  // Makes the file at Path the text, byte for byte. Throws std::runtime_error naming the
  // file when it cannot be opened or read; the previous text then stays.
  void Load(const std::string& Path);

  std::string_view View() const { return view_; }

  // Tells that the bytes before Position (inside View()) are not needed for now. Those of
  // a mapped file go back to the system in steps of at least ReleaseStep() bytes; should
  // they be read again, they are read again from the file. Text in memory stays as it is.
  void ReleaseBefore(const char* Position) {
    if (reinterpret_cast<uintptr_t>(Position) >= nextRelease_) ReleaseMappedBefore(Position);
  }
  // Bytes given back so far (for tests and measurements).
  size_t ReleasedBytes() const { return released_; }
  static size_t ReleaseStep();

 private:
  void ReleaseMappedBefore(const char* Position);
  void SetNextRelease();
  void Unmap() noexcept;

  std::string bytes_;        // the text, when it was handed over or read
  void* mapping_ = nullptr;  // the mapped file, when mapped
  size_t mappedBytes_ = 0;
  std::string_view view_;
  size_t released_ = 0;  // bytes from the start of the mapping already given back
  // The address a position must have reached for the next release; none without a mapping.
  uintptr_t nextRelease_ = UINTPTR_MAX;
};

}  // namespace skimbrook
