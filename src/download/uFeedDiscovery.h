// Finding a site's feeds: a user who types a web site's address instead of its feed's gets
// the feeds that the site's page names in its <link rel="alternate"> elements.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skimbrook {

// One feed a page links: its title as the page gives it (may be empty), its absolute
// address and its media type.
struct TLinkedFeed {
  std::string Title;
  std::string Url;
  std::string Type;
  bool operator==(const TLinkedFeed&) const = default;
};

// True when a fetched body is an HTML page rather than a feed: its Content-Type says
// text/html or application/xhtml+xml, or, without a telling type, it starts (after white
// space, a byte order mark and comments) with "<!DOCTYPE html" or "<html".
bool LooksLikeHtmlPage(std::string_view Body, std::string_view ContentType);

// The most feeds one page is taken to offer: the first ones on the page. A page that links
// thousands is not asking a person to choose among them.
inline constexpr size_t kMaxLinkedFeeds = 30;
// The most bytes of a page read for its feeds; a page's head comes first.
inline constexpr size_t kMaxDiscoveryPageBytes = 2u << 20;

// The feeds Html (the page at PageUrl) links as alternates of type application/rss+xml,
// application/atom+xml or application/rdf+xml, in page order, each address once, at most
// kMaxLinkedFeeds of them, from the first kMaxDiscoveryPageBytes of the page. Relative
// addresses are resolved against the page's <base href> or PageUrl; only http and https
// addresses are kept. Reads any HTML a web site may send, however broken.
std::vector<TLinkedFeed> FindLinkedFeeds(std::string_view Html, const std::string& PageUrl);

// Reference resolved against Base as a browser would (RFC 3986), or empty when either is
// not a usable address.
std::string ResolveAddress(const std::string& Base, const std::string& Reference);

}  // namespace skimbrook
