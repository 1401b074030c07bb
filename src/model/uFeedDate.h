// Reading the dates that feeds write, for ordering and comparing items. The model keeps
// each date as the text the document gave; this turns that text into a point in time
// where it is one of the forms feeds use.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace skimbrook {

// The moment Text names, in UTC, when Text (blanks around it aside) is
// - an RFC 822 date as RSS writes it: an optional day name and comma, day, month name,
//   a year of two or four digits (two digits: 50..99 are 1950..1999, 00..49 are
//   2000..2049), hours and minutes with optional seconds, then a numeric zone (+hhmm,
//   -hhmm), one of the names GMT, UT, Z, EST, EDT, CST, CDT, MST, MDT, PST, PDT, or no
//   zone at all, which is UTC ("Mon, 04 Mar 2024 08:00:00 GMT", "4 Mar 24 08:00 -0500");
// - an RFC 3339 or W3C date as Atom and Dublin Core write it: year and month, a date, or
//   a date with a time of hours and minutes, optional seconds and fraction of a second,
//   and Z or an offset +hh:mm / -hh:mm ("2024-03", "2024-03-05",
//   "2024-03-05T09:30:00.25+01:00"); a date without time is its midnight in UTC.
// Names of days, months and zones are read without regard to letter case. Anything else,
// and any date or time that cannot be (30 February, hour 25), gives no value.
std::optional<std::chrono::sys_seconds> ParseFeedDate(std::string_view Text);

}  // namespace skimbrook
