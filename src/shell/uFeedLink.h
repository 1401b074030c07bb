// The forms in which a browser hands a feed's address to skimbrook-addfeed.
#pragma once

#include <QString>

namespace skimbrook {

// The address to subscribe to for what a browser handed over: "feed://host/path" and
// "feeds://host/path" become http:// and https:// addresses; "feed:" or "feeds:" followed
// by an address gives that address, percent-decoded when it arrives encoded
// ("feed:https%3A%2F%2F..."); a plain http(s) address is kept. Surrounding blanks are
// dropped. Empty when the result is not an http(s) address with a host: a local file (a
// browser's downloaded copy), another scheme, or nothing at all.
QString FeedAddressFromLink(const QString& Link);

}  // namespace skimbrook
