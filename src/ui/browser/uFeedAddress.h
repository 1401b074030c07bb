// Addresses that come from feeds (an item's Link, a feed's HtmlUrl, the links inside an
// item page) are untrusted: a relative one is resolved against the feed's own address, and
// only web addresses (http and https) are ever opened from them.
#pragma once

#include <QString>
#include <QUrl>
#include <string>

namespace skimbrook {

// The address relative addresses of a feed resolve against: its XmlUrl, taken as http
// when it names no scheme (as the download does). Invalid when XmlUrl is empty.
QUrl FeedBaseUrl(const std::string& XmlUrl);
// Address resolved against Base when relative; the stored text itself is not changed.
QUrl ResolveFeedAddress(const std::string& Address, const QUrl& Base);
// True for http and https addresses, the only ones opened from a feed.
bool IsWebAddress(const QUrl& Url);
// The status-bar note for an address that was not opened; it names the address's scheme.
QString RefusedAddressNote(const QUrl& Url);

// What a user, a browser or a script asks to subscribe to, as the subscription list takes
// it: surrounding blanks dropped, a browser's feed: form turned into its web address.
// Throws std::runtime_error, whose text says why, for anything but an http or https
// address of at most 8 KiB without control characters.
std::string SubscriptionAddress(const std::string& Asked);

}  // namespace skimbrook
