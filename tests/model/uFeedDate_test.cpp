// Dates as feeds write them: each accepted form with the moment it names, and the texts
// that name no moment.
#include "model/uFeedDate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace skimbrook {
namespace {

using namespace std::chrono;

// The moment as "YYYY-MM-DD hh:mm:ss" in UTC, or "none".
std::string Shown(const std::optional<sys_seconds>& Moment) {
  if (!Moment) return "none";
  const sys_days day = floor<days>(*Moment);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{*Moment - day};
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld:%02ld", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                static_cast<long>(time.seconds().count()));
  return text;
}

struct TDateCase {
  std::string Text;
  std::string Moment;  // UTC, or "none"
};

void PrintTo(const TDateCase& Case, std::ostream* Out) {
  *Out << '"' << Case.Text << '"';
}

class FeedDate : public ::testing::TestWithParam<TDateCase> {};

TEST_P(FeedDate, NamesItsMomentInUtc) {
  EXPECT_EQ(Shown(ParseFeedDate(GetParam().Text)), GetParam().Moment);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc822, FeedDate,
    ::testing::Values(TDateCase{"Mon, 04 Mar 2024 08:00:00 GMT", "2024-03-04 08:00:00"},
                      TDateCase{"04 Mar 2024 08:00:00 GMT", "2024-03-04 08:00:00"},
                      TDateCase{"Monday, 4 Mar 2024 08:00 +0000", "2024-03-04 08:00:00"},
                      TDateCase{"Thu, 01 Jan 2004 19:48:21 -0530", "2004-01-02 01:18:21"},
                      TDateCase{"Thu, 01 Jan 2004 19:48:21 +0100", "2004-01-01 18:48:21"},
                      TDateCase{"  Sat, 29 Feb 2020 23:59:59 UT \r\n", "2020-02-29 23:59:59"},
                      TDateCase{"sun, 03 mar 24 07:00:00 z", "2024-03-03 07:00:00"},
                      TDateCase{"Fri, 31 Dec 99 23:00:00 EST", "2000-01-01 04:00:00"},
                      TDateCase{"1 Jan 49 00:00 PDT", "2049-01-01 07:00:00"},
                      TDateCase{"1 Jan 50 00:00 EDT", "1950-01-01 04:00:00"},
                      TDateCase{"1 Jun 2024 12:00 CST", "2024-06-01 18:00:00"},
                      TDateCase{"1 Jun 2024 12:00 CDT", "2024-06-01 17:00:00"},
                      TDateCase{"1 Jun 2024 12:00 MST", "2024-06-01 19:00:00"},
                      TDateCase{"1 Jun 2024 12:00 MDT", "2024-06-01 18:00:00"},
                      TDateCase{"1 Jun 2024 12:00 PST", "2024-06-01 20:00:00"},
                      TDateCase{"Tue, 12 Mar 2024 06:00:00", "2024-03-12 06:00:00"}));

INSTANTIATE_TEST_SUITE_P(Rfc3339, FeedDate,
                         ::testing::Values(TDateCase{"2003-12-31T10:14:55Z", "2003-12-31 10:14:55"},
                                           TDateCase{"2003-12-31t10:14:55z", "2003-12-31 10:14:55"},
                                           TDateCase{"2024-04-12T18:00:00+01:00", "2024-04-12 17:00:00"},
                                           TDateCase{"2024-04-12T18:00-05:30", "2024-04-12 23:30:00"},
                                           TDateCase{"2024-03-05T09:30:00.999999999Z", "2024-03-05 09:30:00"},
                                           TDateCase{"2024-03-05 09:30:00Z", "2024-03-05 09:30:00"},
                                           TDateCase{"2024-03-05", "2024-03-05 00:00:00"},
                                           TDateCase{"2024-03", "2024-03-01 00:00:00"},
                                           TDateCase{" 2000-02-29T00:00:00-00:00\t", "2000-02-29 00:00:00"},
                                           TDateCase{"1999-12-31T23:59:59-01:00", "2000-01-01 00:59:59"}));

// Each one fails one check: impossible days and times, zones and forms not read, missing or
// surplus parts, fields of the wrong width.
constexpr const char* kNoMoment[] = {"",
                                     "   ",
                                     "yesterday",
                                     "2024",
                                     "Mon, 30 Feb 2024 08:00:00 GMT",
                                     "29 Feb 2023 08:00 GMT",
                                     "4 Mar 2024 25:00 GMT",
                                     "4 Mar 2024 08:60 GMT",
                                     "4 Mar 2024 08:00:61 GMT",
                                     "4 Mar 2024 08:00 UTC",
                                     "4 Mar 2024 08:00 +01:00",
                                     "4 Mar 2024 08:00 +0160",
                                     "4 Mar 2024 08:00 GMT junk",
                                     "Mon, 04 Mar 2024",
                                     "Xyz, 04 Mar 2024 08:00 GMT",
                                     "04 Mrz 2024 08:00 GMT",
                                     "04 Mar 202 08:00 GMT",
                                     "004 Mar 2024 08:00",
                                     "04 Mar 2024 8:00 GMT",
                                     "2024-13-01",
                                     "2024-02-30",
                                     "2024-03-05T09:30:00",
                                     "2024-03-05T24:00Z",
                                     "2024-03-05T09:30+0100",
                                     "2024-03-05T09:30+24:00",
                                     "2024-03-05T09:30:00.Z",
                                     "2024-3-5",
                                     "2024-03-05T09Z",
                                     "2024-03-05Z"};

TEST(FeedDate, NamesNoMomentForAnythingElse) {
  for (const char* text : kNoMoment) EXPECT_EQ(Shown(ParseFeedDate(text)), "none") << '"' << text << '"';
}

}  // namespace
}  // namespace skimbrook
