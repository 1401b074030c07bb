// Add Feed's look at the typed address: when it is a web site's page that links its feeds,
// those feeds are offered before anything is subscribed, so that the page itself never
// becomes a feed that cannot be read.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace skimbrook {

class TPrompts;

// What a fetch of the typed address answered: the body, its Content-Type and the address it
// came from in the end (after redirects).
struct TFetchedPage {
  std::string Body;
  std::string ContentType;
  std::string Url;
  bool Cancelled = false;  // the user stopped the fetch: nothing is to be subscribed
};
// Fetches an address; none when nothing usable came (no connection, an error status).
using TPageFetch = std::function<std::optional<TFetchedPage>(const std::string& Url)>;

// The address Add Feed subscribes to: Typed itself, unless Fetch answers with an HTML page
// that links feeds; then the one feed the user accepts ("Subscribe to <title> at
// <address>?") or picks from the list of several. Empty when the user declined or
// cancelled the fetch.
std::string FeedToSubscribe(const std::string& Typed, const TPageFetch& Fetch, TPrompts& Prompts);

}  // namespace skimbrook
