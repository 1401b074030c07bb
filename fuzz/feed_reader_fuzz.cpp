// Arbitrary bytes as a feed document: reading must never crash, leak or hang, must give
// exactly what the literal reference reader gives from the whole tree, and what was read
// must survive being written in the cache form and read again with the same items and
// read flags.
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

namespace {

void CheckCacheRoundTrip(const skimbrook::TFeed& Feed) {
  skimbrook::TFeed again;
  skimbrook::LoadFeedFromString(again, skimbrook::JoinLinesCRLF(skimbrook::CacheFileLines(Feed)));
  if (again.ItemCount() != Feed.ItemCount()) std::abort();
  for (int i = 0; i < Feed.ItemCount(); ++i)
    if (again.Items(i).IsRead != Feed.Items(i).IsRead) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // The reference works recursively; a few thousand bytes nest deep enough.
  if (Size <= 8192) {
    const std::string difference =
        skimbrook::test::FeedDifference(std::string(reinterpret_cast<const char*>(Data), Size));
    if (!difference.empty()) {
      std::fprintf(stderr, "differs from the reference: %s\n", difference.c_str());
      std::abort();
    }
  }
  skimbrook::TFeed feed;
  try {
    skimbrook::LoadFeedFromString(feed, std::string(reinterpret_cast<const char*>(Data), Size));
  } catch (const std::runtime_error&) {
    return 0;
  }
  CheckCacheRoundTrip(feed);
  return 0;
}
