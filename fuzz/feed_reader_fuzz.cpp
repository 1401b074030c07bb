// Arbitrary bytes as a feed document: reading must never crash, leak or hang, and what
// was read must survive being written in the cache form and read again with the same
// items and read flags.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "model/uFiles.h"
#include "model/uRSS.h"
#include "model/uRSS_internal.h"

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
  skimbrook::TFeed feed;
  try {
    skimbrook::LoadFeedFromString(feed, std::string(reinterpret_cast<const char*>(Data), Size));
  } catch (const std::runtime_error&) {
    return 0;
  }
  CheckCacheRoundTrip(feed);
  return 0;
}
