// Two ways to look at many bytes at once: eight in a 64-bit word, in portable C++, and
// sixteen in an SSE2 register where the processor has one. This is the only file with
// processor intrinsics; SKIMBROOK_PORTABLE_SCAN builds the word path everywhere, so that
// it is tested too (scripts/test.sh), and bench/run-xml.sh and bench/run-unescape.sh in
// such a build show what the register path is worth.
#include "xml/moxScan.h"

#include <bit>

#if defined(__SSE2__) && !defined(SKIMBROOK_PORTABLE_SCAN)
#define SKIMBROOK_SSE2_SCAN 1
#include <emmintrin.h>
#endif

namespace skimbrook {

#if defined(SKIMBROOK_SSE2_SCAN)

uint64_t MarksOfEither(const char* Block, char A, char B) {
  const __m128i a = _mm_set1_epi8(A);
  const __m128i b = _mm_set1_epi8(B);
  uint64_t marks = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Block + 16 * i));
    const __m128i equal = _mm_or_si128(_mm_cmpeq_epi8(bytes, a), _mm_cmpeq_epi8(bytes, b));
    marks |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(equal))} << (16 * i);
  }
  return marks;
}

const char* FindEither(const char* From, const char* End, char A, char B) {
  const __m128i a = _mm_set1_epi8(A);
  const __m128i b = _mm_set1_epi8(B);
  for (; End - From >= 16; From += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(From));
    const int equal = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, a), _mm_cmpeq_epi8(bytes, b)));
    if (equal != 0) return From + __builtin_ctz(static_cast<unsigned>(equal));
  }
  while (From < End && *From != A && *From != B) ++From;
  return From;
}

bool HasControlByte(const char* From, const char* End) {
  const __m128i highestControl = _mm_set1_epi8(0x1F);
  for (; End - From >= 16; From += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(From));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, highestControl), bytes)) != 0) return true;
  }
  for (; From < End; ++From)
    if (static_cast<unsigned char>(*From) < 0x20) return true;
  return false;
}

#else

namespace {

constexpr uint64_t kLowBytes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// Eight bytes as a number whose lowest byte is the first.
uint64_t Load8(const char* P) {
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

// The eight top bits of TopBits as bits 0 to 7 (byte i to bit i).
constexpr uint64_t Gather(uint64_t TopBits) {
  return ((TopBits >> 7) * 0x0102040810204080ULL) >> 56;
}

}  // namespace

uint64_t MarksOfEither(const char* Block, char A, char B) {
  uint64_t marks = 0;
  for (int i = 0; i < 8; ++i) marks |= Gather(BytesEqual(Load8(Block + 8 * i), A, B)) << (8 * i);
  return marks;
}

const char* FindEither(const char* From, const char* End, char A, char B) {
  for (; End - From >= 8; From += 8) {
    if (const uint64_t equal = BytesEqual(Load8(From), A, B)) return From + std::countr_zero(equal) / 8;
  }
  while (From < End && *From != A && *From != B) ++From;
  return From;
}

bool HasControlByte(const char* From, const char* End) {
  // A byte is below 0x20 exactly when its top three bits are clear.
  for (; End - From >= 8; From += 8) {
    if (ZeroBytes(Load8(From) & (kLowBytes * 0xE0)) != 0) return true;
  }
  for (; From < End; ++From)
    if (static_cast<unsigned char>(*From) < 0x20) return true;
  return false;
}

#endif

}  // namespace skimbrook
