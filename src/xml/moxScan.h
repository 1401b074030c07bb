// Byte scanning for the XML scan and the entity decoder: finding one or two given bytes
// going forward through text, and telling whether text holds control bytes. Each function
// reads only the bytes it is given (MarksOfEither: exactly 64).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace skimbrook {

// Bit i is set when byte i of the 64 bytes at Block equals A or B.
uint64_t MarksOfEither(const char* Block, char A, char B);

// The first byte in [From, End) that equals A or B, or End.
const char* FindEither(const char* From, const char* End, char A, char B);

// Whether [From, End) holds a byte below 0x20.
bool HasControlByte(const char* From, const char* End);

// The first Byte in [From, End), or nullptr. Most gaps between markup are a few bytes,
// so those are looked at directly before a library search is worth its call.
inline const char* FindByte(const char* From, const char* End, char Byte) {
  const char* const nearEnd = End - From > 16 ? From + 16 : End;
  for (; From < nearEnd; ++From) {
    if (*From == Byte) return From;
  }
  if (From == End) return nullptr;
  return static_cast<const char*>(std::memchr(From, Byte, static_cast<size_t>(End - From)));
}

// Finds two bytes A and B going forward through text that ends at End. Where either
// stands is taken 64 bytes at a time and kept, so that searches that lie close together
// (a tag, its text, the next tag) cost a bit scan each; a search that runs on past two
// such blocks is left to the library, which is faster on long stretches.
class TByteFinder {
 public:
  TByteFinder(const char* End, char A, char B) : end_(End), block_(End), a_(A), b_(B) {}

  // The first Wanted (A or B) at or after From, or nullptr.
  const char* Next(const char* From, char Wanted) {
    for (int blocks = 0; From < end_; ++blocks) {
      if (blocks == 2) return NextFar(From, Wanted);
      if (From < block_ || static_cast<size_t>(From - block_) >= kBlock) Load(From);
      for (uint64_t marks = marks_ >> (From - block_); marks != 0; marks &= marks - 1) {
        const char* const at = From + __builtin_ctzll(marks);
        if (*at == Wanted) return at;
      }
      if (end_ - block_ <= static_cast<ptrdiff_t>(kBlock)) return nullptr;
      From = block_ + kBlock;
    }
    return nullptr;
  }

 private:
  static constexpr size_t kBlock = 64;

  const char* NextFar(const char* From, char Wanted) {
    const auto* at = static_cast<const char*>(std::memchr(From, Wanted, static_cast<size_t>(end_ - From)));
    if (at != nullptr) Load(at);
    return at;
  }

  void Load(const char* At) {
    block_ = At;
    if (end_ - At >= static_cast<ptrdiff_t>(kBlock)) {
      marks_ = MarksOfEither(At, a_, b_);
      return;
    }
    // The last bytes: marked from a copy, so that nothing past the end is read.
    const size_t count = static_cast<size_t>(end_ - At);
    char tail[kBlock] = {};
    std::memcpy(tail, At, count);
    marks_ = MarksOfEither(tail, a_, b_) & ((uint64_t{1} << count) - 1);
  }

  const char* const end_;
  const char* block_;  // the 64 bytes whose marks are kept (none while it is end_)
  uint64_t marks_ = 0;
  const char a_, b_;
};

}  // namespace skimbrook
