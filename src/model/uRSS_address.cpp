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

char LowerAscii(char C) {
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

char UpperAscii(char C) {
  return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
}

void AppendLower(std::string& Out, std::string_view Text) {
  for (const char c : Text) Out += LowerAscii(c);
}

}  // namespace

std::string FeedAddressKey(std::string_view Url) {
  const size_t schemeEnd = Url.find("://");
  if (schemeEnd == std::string_view::npos) return std::string(Url);
  std::string key;
  key.reserve(Url.size() + 1);
  AppendLower(key, Url.substr(0, schemeEnd + 3));
  const std::string_view scheme = std::string_view(key).substr(0, schemeEnd);

  const size_t authorityStart = schemeEnd + 3;
  const size_t authorityEnd = std::min(Url.find_first_of("/?#", authorityStart), Url.size());
  std::string_view hostAndPort = Url.substr(authorityStart, authorityEnd - authorityStart);
  // The user and password say who asks, not what is fetched.
  if (const size_t at = hostAndPort.rfind('@'); at != std::string_view::npos)
    hostAndPort.remove_prefix(at + 1);
  // The port follows the last ':' that is not inside an IPv6 address's brackets.
  std::string_view host = hostAndPort, port;
  const size_t colon = hostAndPort.rfind(':');
  const size_t bracket = hostAndPort.rfind(']');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    host = hostAndPort.substr(0, colon);
    port = hostAndPort.substr(colon + 1);
  }
  AppendLower(key, host);
  const bool defaultPort =
      port.empty() || (scheme == "http" && port == "80") || (scheme == "https" && port == "443");
  if (!defaultPort) {
    key += ':';
    key += port;
  }

  // The fragment stays with the reader; the server never sees it.
  std::string_view rest = Url.substr(authorityEnd);
  rest = rest.substr(0, rest.find('#'));
  if (rest.empty() || rest.front() != '/') key += '/';
  for (size_t i = 0; i < rest.size(); ++i) {
    key += rest[i];
    if (rest[i] == '%' && i + 2 < rest.size()) {
      key += UpperAscii(rest[i + 1]);
      key += UpperAscii(rest[i + 2]);
      i += 2;
    }
  }
  return key;
}

bool SameFeedAddress(std::string_view A, std::string_view B) {
  return FeedAddressKey(A) == FeedAddressKey(B);
}

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
