// Byte scanning for the XML scan and the entity decoder: finding given bytes, blanks and
// control bytes going forward through text. Each search looks at the bytes from From to
// End; the variants with Readable may also read (never use) the bytes up to Readable,
// which lies at or after End, so that a short stretch followed by more text (a tag name,
// the text between two tags) takes one step instead of a loop over its bytes.
//
// Two ways to look at many bytes at once: eight in a 64-bit word, in portable C++, and
// sixteen in an SSE2 register where the processor has one. This is the only file with
// processor intrinsics; SKIMBROOK_PORTABLE_SCAN builds the word path everywhere, so that
// it is tested too (scripts/test.sh), and bench/run-xml.sh and bench/run-unescape.sh in
// such a build show what the register path is worth. Everything is inline: the scan and
// the decoder search every few bytes, where a call would cost more than the search.
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

// ---------------------------------------------------------------------------------------
// Eight bytes in a word. Each test sets the top bit of the bytes it is after.

constexpr uint64_t kLowBytes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// Eight bytes as a number whose lowest byte is the first.
inline uint64_t Load8(const char* P) {
  uint64_t word;
  std::memcpy(&word, P, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// The bytes of Word that are zero. Exact: no carry crosses a byte.
constexpr uint64_t ZeroBytes(uint64_t Word) {
  return ~(((Word & ~kHighBits) + ~kHighBits) | Word) & kHighBits;
}

// The bytes of Word that equal A or B.
constexpr uint64_t BytesEqual(uint64_t Word, char A, char B) {
  return ZeroBytes(Word ^ (kLowBytes * static_cast<unsigned char>(A))) |
         ZeroBytes(Word ^ (kLowBytes * static_cast<unsigned char>(B)));
}

// The bytes of Word below 0x20: those whose top three bits are clear.
constexpr uint64_t ControlBytes(uint64_t Word) {
  return ZeroBytes(Word & (kLowBytes * 0xE0));
}

// The bytes of Word above 0x20. Exact: the low seven bits plus 0x5F never carry.
constexpr uint64_t AboveBlankBytes(uint64_t Word) {
  return (((Word & ~kHighBits) + kLowBytes * 0x5F) | Word) & kHighBits;
}

// The first byte of Word that is 0x20 or below, and perhaps later ones: only the lowest
// set bit counts. (A borrow runs only upwards, from a byte that is below 0x21.)
constexpr uint64_t FirstBlankOrControl(uint64_t Word) {
  return (Word - kLowBytes * 0x21) & ~Word & kHighBits;
}

// The eight top bits of TopBits as bits 0 to 7 (byte i to bit i).
constexpr uint64_t Gather(uint64_t TopBits) {
  return ((TopBits >> 7) * 0x0102040810204080ULL) >> 56;
}

#if defined(SKIMBROOK_SSE2_SCAN)

// ---------------------------------------------------------------------------------------
// Sixteen bytes in a register. Each test sets bit i for byte i when it is one it is after.

inline __m128i Load16(const char* P) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
}

inline uint32_t Bits16(__m128i Bytes) {
  return static_cast<uint32_t>(_mm_movemask_epi8(Bytes));
}

// The bytes that equal A (given in every byte of a register).
inline uint32_t Equal16(const char* P, __m128i A) {
  return Bits16(_mm_cmpeq_epi8(Load16(P), A));
}

inline uint32_t EqualEither16(const char* P, __m128i A, __m128i B) {
  const __m128i bytes = Load16(P);
  return Bits16(_mm_or_si128(_mm_cmpeq_epi8(bytes, A), _mm_cmpeq_epi8(bytes, B)));
}

// The bytes of value Highest or below.
inline uint32_t AtMost16(const char* P, char Highest) {
  const __m128i bytes = Load16(P);
  return Bits16(_mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(Highest)), bytes));
}

#endif

// ---------------------------------------------------------------------------------------
// One search, Width bytes a step, for the first byte that Test marks (BitsPerByte bits
// per byte, the lowest set bit first) or, byte by byte, that IsWanted accepts.

template <int BitsPerByte, class TMarks>
constexpr TMarks FirstBytes(ptrdiff_t Count) {
  return static_cast<TMarks>((uint64_t{1} << (BitsPerByte * Count)) - 1);
}

// The first wanted byte of [From, End), or End. A stretch shorter than Width takes one
// step when Width bytes from From may be read, the bytes after End then left out, else
// goes byte by byte; a longer one goes Width bytes a step, its last step covering again
// some bytes already looked at (they hold nothing).
template <int Width, int BitsPerByte, class TTest, class TIsWanted>
inline const char* FindFirst(const char* From, const char* End, const char* Readable, TTest Test,
                             TIsWanted IsWanted) {
  using TMarks = decltype(Test(From));
  if (End - From < Width) {
    if (Readable - From >= Width) {
      const TMarks marks = Test(From) & FirstBytes<BitsPerByte, TMarks>(End - From);
      return marks != 0 ? From + std::countr_zero(marks) / BitsPerByte : End;
    }
    while (From < End && !IsWanted(*From)) ++From;
    return From;
  }
  for (; End - From > Width; From += Width) {
    if (const TMarks marks = Test(From)) return From + std::countr_zero(marks) / BitsPerByte;
  }
  const char* const last = End - Width;
  const TMarks marks = Test(last) >> (BitsPerByte * (From - last));
  return marks != 0 ? From + std::countr_zero(marks) / BitsPerByte : End;
}

constexpr bool IsBlankOrControl(char C) {
  return static_cast<unsigned char>(C) <= 0x20;
}

}  // namespace scan_detail

// ---------------------------------------------------------------------------------------
// Searches

// The first byte in [From, End) that equals A or B, or End.
inline const char* FindEither(const char* From, const char* End, const char* Readable, char A, char B) {
  using namespace scan_detail;
  auto isWanted = [A, B](char C) { return C == A || C == B; };
#if defined(SKIMBROOK_SSE2_SCAN)
  if (Readable - From >= 16) {
    const __m128i a = _mm_set1_epi8(A);
    const __m128i b = _mm_set1_epi8(B);
    return FindFirst<16, 1>(
        From, End, Readable, [a, b](const char* P) { return EqualEither16(P, a, b); }, isWanted);
  }
#endif
  return FindFirst<8, 8>(
      From, End, Readable, [A, B](const char* P) { return BytesEqual(Load8(P), A, B); }, isWanted);
}

inline const char* FindEither(const char* From, const char* End, char A, char B) {
  return FindEither(From, End, End, A, B);
}

// The first byte in [From, End) of value 0x20 or below (a blank or a control byte), or End.
inline const char* FindBlankOrControl(const char* From, const char* End, const char* Readable) {
  using namespace scan_detail;
#if defined(SKIMBROOK_SSE2_SCAN)
  if (Readable - From >= 16)
    return FindFirst<16, 1>(
        From, End, Readable, [](const char* P) { return AtMost16(P, 0x20); }, IsBlankOrControl);
#endif
  return FindFirst<8, 8>(
      From, End, Readable, [](const char* P) { return FirstBlankOrControl(Load8(P)); }, IsBlankOrControl);
}

// The first byte in [From, End) above 0x20 (neither a blank nor a control byte), or End.
inline const char* FindAboveBlank(const char* From, const char* End, const char* Readable) {
  using namespace scan_detail;
  auto isWanted = [](char C) { return !IsBlankOrControl(C); };
#if defined(SKIMBROOK_SSE2_SCAN)
  if (Readable - From >= 16)
    return FindFirst<16, 1>(
        From, End, Readable, [](const char* P) { return ~AtMost16(P, 0x20) & 0xFFFFu; }, isWanted);
#endif
  return FindFirst<8, 8>(
      From, End, Readable, [](const char* P) { return AboveBlankBytes(Load8(P)); }, isWanted);
}

// Whether [From, End) holds a byte below 0x20.
inline bool HasControlByte(const char* From, const char* End, const char* Readable) {
  using namespace scan_detail;
  auto isWanted = [](char C) { return static_cast<unsigned char>(C) < 0x20; };
#if defined(SKIMBROOK_SSE2_SCAN)
  if (Readable - From >= 16)
    return FindFirst<16, 1>(
               From, End, Readable, [](const char* P) { return AtMost16(P, 0x1F); }, isWanted) != End;
#endif
  return FindFirst<8, 8>(
             From, End, Readable, [](const char* P) { return ControlBytes(Load8(P)); }, isWanted) != End;
}

inline bool HasControlByte(const char* From, const char* End) {
  return HasControlByte(From, End, End);
}

// The first Byte in [From, End), or nullptr. Gaps between markup are mostly short, so
// the first 64 bytes are looked at here; past them the library's search, faster on long
// stretches, is worth its call.
inline const char* FindByte(const char* From, const char* End, const char* Readable, char Byte) {
  constexpr ptrdiff_t kNear = 64;
  const char* const nearEnd = End - From > kNear ? From + kNear : End;
  const char* const at = FindEither(From, nearEnd, Readable, Byte, Byte);
  if (at != nearEnd) return at;
  if (nearEnd == End) return nullptr;
  return static_cast<const char*>(std::memchr(nearEnd, Byte, static_cast<size_t>(End - nearEnd)));
}

inline const char* FindByte(const char* From, const char* End, char Byte) {
  return FindByte(From, End, End, Byte);
}

// ---------------------------------------------------------------------------------------
// Marks of whole blocks

// Bit i is set when byte i of the 64 bytes at Block equals A or B.
inline uint64_t MarksOfEither(const char* Block, char A, char B) {
  using namespace scan_detail;
  uint64_t marks = 0;
#if defined(SKIMBROOK_SSE2_SCAN)
  const __m128i a = _mm_set1_epi8(A);
  const __m128i b = _mm_set1_epi8(B);
  for (int i = 0; i < 4; ++i) marks |= uint64_t{EqualEither16(Block + 16 * i, a, b)} << (16 * i);
#else
  for (int i = 0; i < 8; ++i) marks |= Gather(BytesEqual(Load8(Block + 8 * i), A, B)) << (8 * i);
#endif
  return marks;
}

// The marks of A and of B in the 64 bytes at Block: bit i of MarksA is set when byte i
// equals A, and the same for B.
inline void MarksOfEach(const char* Block, char A, char B, uint64_t& MarksA, uint64_t& MarksB) {
  using namespace scan_detail;
  MarksA = MarksB = 0;
#if defined(SKIMBROOK_SSE2_SCAN)
  const __m128i a = _mm_set1_epi8(A);
  const __m128i b = _mm_set1_epi8(B);
  for (int i = 0; i < 4; ++i) {
    MarksA |= uint64_t{Equal16(Block + 16 * i, a)} << (16 * i);
    MarksB |= uint64_t{Equal16(Block + 16 * i, b)} << (16 * i);
  }
#else
  for (int i = 0; i < 8; ++i) {
    const uint64_t word = Load8(Block + 8 * i);
    MarksA |= Gather(BytesEqual(word, A, A)) << (8 * i);
    MarksB |= Gather(BytesEqual(word, B, B)) << (8 * i);
  }
#endif
}

// Finds two bytes A and B going forward through text that ends at End. Where each
// stands is taken 64 bytes at a time and kept, so that searches that lie close together
// (a tag, its text, the next tag) cost a bit scan each; a search that runs on past two
// such blocks is left to the library, which is faster on long stretches.
class TByteFinder {
 public:
  TByteFinder(const char* End, char A, char B) : end_(End), block_(End), bytes_{A, B} {}

  // Which of the two bytes is looked for: A or B.
  enum TWhich { kA = 0, kB = 1 };

  // The first byte Which at or after From, or nullptr.
  const char* Next(const char* From, TWhich Which) {
    for (int blocks = 0; From < end_; ++blocks) {
      if (blocks == 2) return NextFar(From, bytes_[Which]);
      if (From < block_ || static_cast<size_t>(From - block_) >= kBlock) Load(From);
      if (const uint64_t marks = marks_[Which] >> (From - block_)) return From + std::countr_zero(marks);
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
      MarksOfEach(At, bytes_[0], bytes_[1], marks_[0], marks_[1]);
      return;
    }
    LoadTail(At);
  }

  // The last bytes: marked from a copy, so that nothing past the end is read.
  void LoadTail(const char* At) {
    const size_t count = static_cast<size_t>(end_ - At);
    char tail[kBlock] = {};
    std::memcpy(tail, At, count);
    MarksOfEach(tail, bytes_[0], bytes_[1], marks_[0], marks_[1]);
    const uint64_t inside = (uint64_t{1} << count) - 1;
    marks_[0] &= inside;
    marks_[1] &= inside;
  }

  const char* const end_;
  const char* block_;  // the 64 bytes whose marks are kept (none while it is end_)
  uint64_t marks_[2] = {};
  const char bytes_[2];
};

}  // namespace skimbrook
