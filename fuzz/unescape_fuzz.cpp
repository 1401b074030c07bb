// The single-scan entity decoder against the step-by-step reference, once and twice, on
// arbitrary bytes. Any difference aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/uRSS.h"
#include "tools/LiteralUnescape.h"

namespace {

void Check(bool Same, const char* What, std::string_view Input) {
  if (Same) return;
  std::fprintf(stderr, "%s differs from the steps for %zu input bytes\n", What, Input.size());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // The reference makes a pass over the whole text per step; longer inputs add time, not cases.
  if (Size > 4096) return 0;
  const std::string_view text(reinterpret_cast<const char*>(Data), Size);
  const std::string once = skimbrook::test::LiteralUnescapeOnce(text);
  Check(skimbrook::XmlUnescapeOnce(text) == once, "XmlUnescapeOnce", text);
  Check(skimbrook::XmlUnescape(text) == skimbrook::test::LiteralUnescapeOnce(once), "XmlUnescape", text);
  return 0;
}
