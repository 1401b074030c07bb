#include "download/uTransferSlots.h"

#include <algorithm>
#include <cctype>

#include "download/uHttpClient.h"

namespace skimbrook {

std::string HostKey(const std::string& Url) {
  std::string host = HostOfUrl(Url);
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  return host;
}

}  // namespace skimbrook
