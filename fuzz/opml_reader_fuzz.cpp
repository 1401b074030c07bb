// Arbitrary bytes as a subscription list: reading must never crash, leak or hang, must
// give exactly what the literal reference reader gives, and the list written back as
// OPML must read again with the same number of entries.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "base/uFiles.h"
#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "tools/ReferenceCompare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // The reference works recursively; a few thousand bytes nest deep enough.
  if (Size <= 8192) {
    const std::string difference =
        skimbrook::test::ListDifference(std::string(reinterpret_cast<const char*>(Data), Size));
    if (!difference.empty()) {
      std::fprintf(stderr, "differs from the reference: %s\n", difference.c_str());
      std::abort();
    }
  }
  skimbrook::TFeedList list;
  try {
    skimbrook::LoadFeedListFromString(list, std::string(reinterpret_cast<const char*>(Data), Size));
  } catch (const std::runtime_error&) {
    return 0;
  }
  skimbrook::TFeedList again;
  skimbrook::LoadFeedListFromString(again, skimbrook::JoinLinesCRLF(skimbrook::OpmlLines(list)));
  if (again.Count() != list.Count()) std::abort();
  return 0;
}
