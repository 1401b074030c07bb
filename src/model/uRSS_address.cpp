// Feed addresses as the subscription list takes them and as the screen and the file names
// show them: checked where they enter, and without the password or user written in them
// wherever they are shown or name a file.
#include <algorithm>

#include "model/uRSS.h"

namespace skimbrook {

namespace {

// Where the user information of the address in Url lies: from the start of the authority
// to its last '@' (excluded); none when the authority holds no '@'.
struct TUserInfo {
  size_t Start = std::string_view::npos;
  size_t At = std::string_view::npos;
};

TUserInfo FindUserInfo(std::string_view Url) {
  // The authority ends at the first '/', '?' or '#' after the scheme; an address without
  // a scheme starts with it.
  const size_t scheme = Url.find("://");
  const size_t authority = scheme == std::string_view::npos ? 0 : scheme + 3;
  const size_t authorityEnd = std::min(Url.find_first_of("/?#", authority), Url.size());
  const size_t at = Url.substr(0, authorityEnd).rfind('@');
  if (at == std::string_view::npos || at < authority) return {};
  return {authority, at};
}

bool StartsWithNoCase(std::string_view Text, std::string_view Prefix) {
  return Text.size() >= Prefix.size() &&
         std::equal(Prefix.begin(), Prefix.end(), Text.begin(),
                    [](char Lower, char C) { return (C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C) == Lower; });
}

}  // namespace

std::string AddressWithoutPassword(std::string_view Url) {
  const TUserInfo user = FindUserInfo(Url);
  if (user.At == std::string_view::npos) return std::string(Url);
  const size_t colon = Url.substr(0, user.At).find(':', user.Start);
  if (colon == std::string_view::npos || colon + 1 == user.At) return std::string(Url);
  return std::string(Url.substr(0, colon + 1)) + "***" + std::string(Url.substr(user.At));
}

std::string AddressWithoutCredentials(std::string_view Url) {
  const TUserInfo user = FindUserInfo(Url);
  if (user.At == std::string_view::npos) return std::string(Url);
  return std::string(Url.substr(0, user.Start)) + std::string(Url.substr(user.At + 1));
}

std::string FeedAddressProblem(std::string_view Url) {
  if (Url.size() > kMaxFeedAddressBytes)
    return "The address is longer than " + std::to_string(kMaxFeedAddressBytes / 1024) + " KiB.";
  if (std::any_of(Url.begin(), Url.end(),
                  [](char C) { return static_cast<unsigned char>(C) < 0x20 || C == 0x7F; }))
    return "The address holds a control character.";
  size_t hostStart = 0;
  if (StartsWithNoCase(Url, "http://"))
    hostStart = 7;
  else if (StartsWithNoCase(Url, "https://"))
    hostStart = 8;
  else
    return "Only http and https addresses can be subscribed to.";
  const std::string_view authority = Url.substr(hostStart, Url.find_first_of("/?#", hostStart) - hostStart);
  const size_t at = authority.rfind('@');
  const std::string_view host = at == std::string_view::npos ? authority : authority.substr(at + 1);
  if (host.empty() || host.front() == ':' || host.find(' ') != std::string_view::npos)
    return "The address names no host.";
  return {};
}

}  // namespace skimbrook
