// What an answer's headers say about the next request (validators, waiting, freshness),
// which runs skip a feed, and which encoding a downloaded document declares.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "download/uFetchState.h"
#include "download/uHttpClient.h"

namespace skimbrook {

// Who started a run: the program by itself (download on start, the hourly run), the user
// for several feeds, or the user for one feed.
enum class TRunKind { Automatic, UserSeveral, UserOne };

TUnixTime NowUnix();

// The time a 429 or 503 answer's Retry-After names (seconds from Now, or an HTTP date);
// 0 for other answers and for a missing or unreadable header.
TUnixTime RetryAfterUntil(const THttpResponse& Response, TUnixTime Now);
// Until when the answer may be reused: Cache-Control max-age from Now, else Expires; 0
// when it says neither, or forbids reuse (no-cache, no-store).
TUnixTime FreshUntilFrom(const THttpResponse& Response, TUnixTime Now);

// The status a run of Kind shows instead of fetching the feed of Record at Now, or empty
// when it fetches: a server's wait holds every run but the user's download of that one
// feed; freshness holds only the runs that start by themselves.
std::string SkipStatus(const TFetchRecord& Record, TRunKind Kind, TUnixTime Now);

// The document's encoding: its XML declaration's, else the charset of ContentType, else
// empty. Names are kept as written.
std::string DocumentEncoding(std::string_view Body, const std::optional<std::string>& ContentType);

// Local time as "14:05" when Time is within a day of Now, else "2026-12-09 14:05".
std::string ClockText(TUnixTime Time, TUnixTime Now);

// The tooltip of a row's status: the last failure's reason and time, and the last success.
std::string RecordSummary(const TFetchRecord& Record, TUnixTime Now);

}  // namespace skimbrook
