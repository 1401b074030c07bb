// The byte scanner against plain loops: every search from every start to every end of a
// text whose bytes are the ones the searches tell apart, in a buffer of exactly its size
// (so that the sanitizer build sees any read past the bytes a search may read). The same
// cases run in the build with the portable scanner.
#include "xml/moxScan.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace skimbrook {
namespace {

// Bytes on both sides of every limit the scanner tests: blank, control bytes, the bytes
// searched for, letters, and bytes above 0x7F (whose low seven bits could carry).
std::unique_ptr<char[]> MixedBytes(size_t Count, unsigned Seed) {
  static constexpr char kBytes[] = "\x00\x09\x0A\x0D\x1F\x20\x21<>&\\=\"'ab\x7F\x80\xA1\xE0\xFF";
  static constexpr std::string_view kAlphabet(kBytes, sizeof kBytes - 1);
  std::mt19937 random(Seed);
  auto bytes = std::make_unique<char[]>(Count);
  // Mostly letters, so that the wanted bytes stand far apart as well as close together.
  for (size_t i = 0; i < Count; ++i)
    bytes[i] =
        random() % 4 == 0 ? kAlphabet[random() % kAlphabet.size()] : static_cast<char>('c' + random() % 20);
  return bytes;
}

template <class TIsWanted>
const char* FirstWanted(const char* From, const char* End, TIsWanted IsWanted) {
  while (From < End && !IsWanted(static_cast<unsigned char>(*From))) ++From;
  return From;
}

TEST(ByteScanTest, EverySearchFindsTheFirstWantedByteFromEveryStartToEveryEnd) {
  constexpr size_t kSize = 80;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    const auto bytes = MixedBytes(kSize, seed);
    const char* const text = bytes.get();
    const char* const readable = text + kSize;
    for (size_t from = 0; from <= kSize; ++from) {
      for (size_t end = from; end <= kSize; ++end) {
        const char* f = text + from;
        const char* e = text + end;
        SCOPED_TRACE("seed " + std::to_string(seed) + ", bytes " + std::to_string(from) + " to " +
                     std::to_string(end));
        const char* either = FirstWanted(f, e, [](unsigned char C) { return C == '&' || C == '\\'; });
        EXPECT_EQ(FindEither(f, e, '&', '\\'), either);
        EXPECT_EQ(FindEither(f, e, readable, '&', '\\'), either);
        const char* quote = FirstWanted(f, e, [](unsigned char C) { return C == '"'; });
        EXPECT_EQ(FindByte(f, e, '"'), quote == e ? nullptr : quote);
        EXPECT_EQ(FindByte(f, e, readable, '"'), quote == e ? nullptr : quote);
        EXPECT_EQ(FindBlankOrControl(f, e, readable),
                  FirstWanted(f, e, [](unsigned char C) { return C <= 0x20; }));
        EXPECT_EQ(FindBlankOrControl(f, e, e), FirstWanted(f, e, [](unsigned char C) { return C <= 0x20; }));
        EXPECT_EQ(FindAboveBlank(f, e, readable),
                  FirstWanted(f, e, [](unsigned char C) { return C > 0x20; }));
        EXPECT_EQ(FindAboveBlank(f, e, e), FirstWanted(f, e, [](unsigned char C) { return C > 0x20; }));
        const bool control = FirstWanted(f, e, [](unsigned char C) { return C < 0x20; }) != e;
        EXPECT_EQ(HasControlByte(f, e), control);
        EXPECT_EQ(HasControlByte(f, e, readable), control);
      }
    }
  }
}

TEST(ByteScanTest, BlockMarksNameEveryWantedByte) {
  const auto bytes = MixedBytes(64, 7);
  // Wanted bytes at both ends and inside the register steps as well.
  bytes[0] = '<', bytes[15] = '&', bytes[16] = '>', bytes[40] = '\\', bytes[63] = '>';
  uint64_t either = 0, less = 0, greater = 0;
  for (int i = 0; i < 64; ++i) {
    either |= uint64_t{bytes[i] == '&' || bytes[i] == '\\'} << i;
    less |= uint64_t{bytes[i] == '<'} << i;
    greater |= uint64_t{bytes[i] == '>'} << i;
  }
  EXPECT_EQ(MarksOfEither(bytes.get(), '&', '\\'), either);
  uint64_t marksA = 0, marksB = 0;
  MarksOfEach(bytes.get(), '<', '>', marksA, marksB);
  EXPECT_EQ(marksA, less);
  EXPECT_EQ(marksB, greater);
}

// The finder keeps the marks of one block at a time, hands long searches to the library
// and marks the last bytes from a copy: searches of both kinds, near and far, from every
// place of texts whose ends fall anywhere in a block.
TEST(ByteScanTest, FinderFindsBothBytesFromEveryPlaceInAnyOrder) {
  for (size_t size : {1u, 63u, 64u, 65u, 130u, 200u, 333u}) {
    auto bytes = MixedBytes(size, static_cast<unsigned>(size));
    // A stretch without markup, longer than the two blocks the finder looks through.
    for (size_t i = size / 3; i < size / 3 + 140 && i < size; ++i) bytes[i] = 'x';
    const char* const text = bytes.get();
    const char* const end = text + size;
    auto expected = [end](const char* From, char Byte) {
      const char* at =
          FirstWanted(From, end, [Byte](unsigned char C) { return C == static_cast<unsigned char>(Byte); });
      return at == end ? nullptr : at;
    };
    std::mt19937 random(static_cast<unsigned>(size));
    TByteFinder finder(end, '<', '>');
    for (int step = 0; step < 400; ++step) {
      const char* from = text + random() % size;
      const bool less = random() % 2 == 0;
      SCOPED_TRACE("size " + std::to_string(size) + ", step " + std::to_string(step));
      EXPECT_EQ(finder.Next(from, less ? TByteFinder::kA : TByteFinder::kB),
                expected(from, less ? '<' : '>'));
    }
  }
}

}  // namespace
}  // namespace skimbrook
