// Reads arbitrary bytes as a hive file. Writing what was read and reading it again must
// give the same text, and a string value written into it must read back unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "settings/uHive.h"

using skimbrook::THive;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string_view input(reinterpret_cast<const char*>(Data), Size);
  THive hive = THive::Parse(input);
  std::string written = hive.Text();
  if (THive::Parse(written).Text() != written) std::abort();

  // The input's last bytes double as a value name and its text.
  std::string_view tail = input.substr(input.size() - std::min<size_t>(input.size(), 24));
  std::string name(tail.substr(0, tail.size() / 2));
  std::string value(tail.substr(tail.size() / 2));
  try {
    hive.WriteString("Software\\Fuzz", name, value);
  } catch (const std::runtime_error&) {
    return 0;  // a name the format cannot hold
  }
  if (THive::Parse(hive.Text()).ReadString("software\\fuzz", name) != value) std::abort();
  return 0;
}
