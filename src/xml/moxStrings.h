// Byte-string helpers for the XML scan. Positions are 1-based, as in the scan itself,
// and 0 means "not found"; every function works on raw bytes, without any notion of a
// character set.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace skimbrook {

// True for the bytes that Trimmed removes: space and every control byte (0x00 to 0x20).
constexpr bool IsTrimByte(char Byte) {
  return static_cast<unsigned char>(Byte) <= 0x20;
}

// Text without its leading and trailing bytes of value 0x20 or lower.
inline std::string_view Trimmed(std::string_view Text) {
  size_t first = 0;
  size_t last = Text.size();
  while (first < last && IsTrimByte(Text[first])) ++first;
  while (last > first && IsTrimByte(Text[last - 1])) --last;
  return Text.substr(first, last - first);
}

// The 1-based position of the first occurrence of Needle in Text that starts at or after
// the 1-based position From (0 is taken as 1); 0 when there is none or either is empty.
size_t FindFrom(std::string_view Needle, std::string_view Text, size_t From);

// True when the bytes of Text starting at the 1-based position At are exactly Prefix.
bool HasAt(std::string_view Text, size_t At, std::string_view Prefix);

// The bytes from the 1-based position First up to and including Last, clipped to Text;
// empty when Last is before First.
std::string_view Slice(std::string_view Text, size_t First, size_t Last);

}  // namespace skimbrook
