// Arbitrary bytes as a subscription list: reading must never crash, leak or hang, and
// the list written back as OPML must read again with the same number of entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "model/uFiles.h"
#include "model/uRSS.h"
#include "model/uRSS_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
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
