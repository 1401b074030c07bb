// Byte scanning for the XML scan and the entity decoder: finding one or two given bytes
// going forward through text, and telling whether text holds control bytes. Each function
// reads only the bytes it is given (MarksOfEither: exactly 64).
//
// Two ways to look at many bytes at once: eight in a 64-bit word, in portable C++, and
// sixteen in an SSE2 register where the processor has one. This is the only file with
// processor intrinsics; SKIMBROOK_PORTABLE_SCAN builds the word path everywhere, so that
// it is tested too (scripts/test.sh), and bench/run-xml.sh and bench/run-unescape.sh in
// such a build show what the register path is worth. Everything is inline: the scan and
// the decoder call these once every few bytes, where a call would cost more than the work.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(SKIMBROOK_PORTABLE_SCAN)
#define SKIMBROOK_SSE2_SCAN 1
#include <emmintrin.h>
#endif

namespace skimbrook {

namespace scan_detail {

constexpr uint64_t kLowBytes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// Eight bytes as a number whose lowest byte is the first.
inline uint64_t Load8(const char* P) {
  uint64_t word;
  std::memcpy(&word, P, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// The top bit of each byte of Word that is zero. Exact: no carry crosses a byte.
constexpr uint64_t ZeroBytes(uint64_t Word) {
  return ~(((Word & ~kHighBits) + ~kHighBits) | Word) & kHighBits;
}

// The top bit of each byte of Word that equals A or B.
constexpr uint64_t BytesEqual(uint64_t Word, char A, char B) {
  return ZeroBytes(Word ^ (kLowBytes * static_cast<unsigned char>(A))) |
         ZeroBytes(Word ^ (kLowBytes * static_cast<unsigned char>(B)));
}

// The top bit of each byte of Word below 0x20: those whose top three bits are clear.
constexpr uint64_t ControlBytes(uint64_t Word) {
  return ZeroBytes(Word & (kLowBytes * 0xE0));
}

// The eight top bits of TopBits as bits 0 to 7 (byte i to bit i).
constexpr uint64_t Gather(uint64_t TopBits) {
  return ((TopBits >> 7) * 0x0102040810204080ULL) >> 56;
}

#if defined(SKIMBROOK_SSE2_SCAN)

// Bit i set when byte i of the 16 bytes at P equals A or B.
inline uint32_t Marks16(const char* P, __m128i A, __m128i B) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
  return static_cast<uint32_t>(
      _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, A), _mm_cmpeq_epi8(bytes, B))));
}

// Bit i set when byte i of the 16 bytes at P is below 0x20.
inline uint32_t ControlMarks16(const char* P) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
  const __m128i highestControl = _mm_set1_epi8(0x1F);
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, highestControl), bytes)));
}

#endif

// The first byte of [From, End) for which Test, given the Width bytes at a place, sets
// bit (or top bit) i of its byte i; End when there is none. Text of Width bytes or more
// is looked at Width bytes a step, its last step overlapping the one before; shorter text
// byte by byte with Byte.
template <int Width, int BitsPerByte, class TTest, class TByteTest>
inline const char* FindFirst(const char* From, const char* End, TTest Test, TByteTest Byte) {
  if (End - From >= Width) {
    for (; End - From > Width; From += Width) {
      if (const auto marks = Test(From)) return From + std::countr_zero(marks) / BitsPerByte;
    }
    // The last step covers the bytes before From again; they hold nothing.
    const char* const last = End - Width;
    const auto marks = Test(last) >> (BitsPerByte * (From - last));
    return marks != 0 ? From + std::countr_zero(marks) / BitsPerByte : End;
  }
  while (From < End && !Byte(*From)) ++From;
  return From;
}

}  // namespace scan_detail

// Bit i is set when byte i of the 64 bytes at Block equals A or B.
inline uint64_t MarksOfEither(const char* Block, char A, char B) {
  using namespace scan_detail;
  uint64_t marks = 0;
#if defined(SKIMBROOK_SSE2_SCAN)
  const __m128i a = _mm_set1_epi8(A);
  const __m128i b = _mm_set1_epi8(B);
  for (int i = 0; i < 4; ++i) marks |= uint64_t{Marks16(Block + 16 * i, a, b)} << (16 * i);
#else
  for (int i = 0; i < 8; ++i) marks |= Gather(BytesEqual(Load8(Block + 8 * i), A, B)) << (8 * i);
#endif
  return marks;
}

// The first byte in [From, End) that equals A or B, or End.
inline const char* FindEither(const char* From, const char* End, char A, char B) {
  using namespace scan_detail;
  auto byte = [A, B](char C) { return C == A || C == B; };
  auto words = [A, B](const char* P) { return BytesEqual(Load8(P), A, B); };
#if defined(SKIMBROOK_SSE2_SCAN)
  if (End - From >= 16) {
    const __m128i a = _mm_set1_epi8(A);
    const __m128i b = _mm_set1_epi8(B);
    return FindFirst<16, 1>(
        From, End, [a, b](const char* P) { return Marks16(P, a, b); }, byte);
  }
#endif
  return FindFirst<8, 8>(From, End, words, byte);
}

// Whether [From, End) holds a byte below 0x20.
inline bool HasControlByte(const char* From, const char* End) {
  using namespace scan_detail;
  auto byte = [](char C) { return static_cast<unsigned char>(C) < 0x20; };
#if defined(SKIMBROOK_SSE2_SCAN)
  if (End - From >= 16) return FindFirst<16, 1>(From, End, ControlMarks16, byte) != End;
#endif
  return FindFirst<8, 8>(
             From, End, [](const char* P) { return ControlBytes(Load8(P)); }, byte) != End;
}

// The first Byte in [From, End), or nullptr. Gaps between markup are mostly short, so
// the first 64 bytes are looked at here; past them the library's search, faster on long
// stretches, is worth its call.
inline const char* FindByte(const char* From, const char* End, char Byte) {
  constexpr ptrdiff_t kNear = 64;
  const char* const nearEnd = End - From > kNear ? From + kNear : End;
  const char* const at = FindEither(From, nearEnd, Byte, Byte);
  if (at != nearEnd) return at;
  if (nearEnd == End) return nullptr;
  return static_cast<const char*>(std::memchr(nearEnd, Byte, static_cast<size_t>(End - nearEnd)));
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
        const char* const at = From + std::countr_zero(marks);
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
    LoadTail(At);
  }

  // The last bytes: marked from a copy, so that nothing past the end is read.
  void LoadTail(const char* At) {
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
