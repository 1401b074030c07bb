#include "xml/moxStrings.h"

#include <cstring>

namespace skimbrook {

size_t FindFrom(std::string_view Needle, std::string_view Text, size_t From) {
  size_t start = From == 0 ? 0 : From - 1;
  if (Needle.empty() || start >= Text.size() || Needle.size() > Text.size() - start) return 0;
  const char* const base = Text.data();
  const char* cursor = base + start;
  // The last place where the whole needle still fits.
  const char* const lastStart = base + (Text.size() - Needle.size());
  while (cursor <= lastStart) {
    const void* hit = std::memchr(cursor, Needle[0], static_cast<size_t>(lastStart - cursor) + 1);
    if (hit == nullptr) return 0;
    const char* candidate = static_cast<const char*>(hit);
    if (std::memcmp(candidate + 1, Needle.data() + 1, Needle.size() - 1) == 0) {
      return static_cast<size_t>(candidate - base) + 1;
    }
    cursor = candidate + 1;
  }
  return 0;
}

bool HasAt(std::string_view Text, size_t At, std::string_view Prefix) {
  if (At == 0 || At > Text.size()) return false;
  return Text.substr(At - 1).starts_with(Prefix);
}

std::string_view Slice(std::string_view Text, size_t First, size_t Last) {
  if (First == 0) First = 1;
  if (Last < First || First > Text.size()) return {};
  if (Last > Text.size()) Last = Text.size();
  return Text.substr(First - 1, Last - First + 1);
}

}  // namespace skimbrook
