// Two small readers, one per family of date forms, each a single pass over the text with
// a cursor; the fields are checked together at the end, so an impossible date fails
// whatever form it came in.
#include "model/uFeedDate.h"

#include <algorithm>
#include <array>

#include "model/uRSS_internal.h"

namespace skimbrook {

namespace {

using namespace std::chrono;

// The fields read from a date, before they are checked and combined.
struct TDateFields {
  int Year = 0;
  int Month = 1;
  int Day = 1;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int OffsetMinutes = 0;  // east of UTC
};

std::optional<sys_seconds> Combine(const TDateFields& Fields) {
  const year_month_day date{year{Fields.Year}, month{static_cast<unsigned>(Fields.Month)},
                            day{static_cast<unsigned>(Fields.Day)}};
  if (!date.ok() || Fields.Hour > 23 || Fields.Minute > 59 || Fields.Second > 59) return std::nullopt;
  return sys_seconds{sys_days{date}} + hours{Fields.Hour} + minutes{Fields.Minute} + seconds{Fields.Second} -
         minutes{Fields.OffsetMinutes};
}

class TDateCursor {
 public:
  explicit TDateCursor(std::string_view Text) : text_(Text) {}

  bool AtEnd() const { return at_ == text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
  bool Take(char Byte) {
    if (Peek() != Byte) return false;
    ++at_;
    return true;
  }
  // Skips spaces and tabs; true when there was at least one.
  bool Blanks() {
    const size_t from = at_;
    while (!AtEnd() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    return at_ > from;
  }
  // MinDigits to MaxDigits decimal digits as a number; false when fewer are there.
  bool Number(size_t MinDigits, size_t MaxDigits, int& Value, size_t* Count = nullptr) {
    size_t digits = 0;
    Value = 0;
    while (digits < MaxDigits && !AtEnd() && text_[at_] >= '0' && text_[at_] <= '9') {
      Value = Value * 10 + (text_[at_++] - '0');
      ++digits;
    }
    if (Count) *Count = digits;
    return digits >= MinDigits && (AtEnd() || text_[at_] < '0' || text_[at_] > '9');
  }
  // Skips a run of digits; returns its length.
  size_t SkipDigits() {
    const size_t from = at_;
    while (!AtEnd() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ - from;
  }
  // The run of ASCII letters here.
  std::string_view Letters() {
    const size_t from = at_;
    while (!AtEnd() && ((text_[at_] | 0x20) >= 'a' && (text_[at_] | 0x20) <= 'z')) ++at_;
    return text_.substr(from, at_ - from);
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

// The 1-based position of Name in Names, letter case aside; 0 when it is not there.
template <size_t N>
int IndexOf(std::string_view Name, const std::array<std::string_view, N>& Names) {
  for (size_t i = 0; i < N; ++i)
    if (SameText(Name, Names[i])) return static_cast<int>(i) + 1;
  return 0;
}

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 14> kDays = {"Mon",      "Tue",    "Wed",      "Thu",     "Fri",
                                                    "Sat",      "Sun",    "Monday",   "Tuesday", "Wednesday",
                                                    "Thursday", "Friday", "Saturday", "Sunday"};

// The zone names of RFC 822 and their offsets in hours.
struct TZoneName {
  std::string_view Name;
  int Hours;
};
constexpr std::array<TZoneName, 11> kZones = {{{"GMT", 0},
                                               {"UT", 0},
                                               {"Z", 0},
                                               {"EST", -5},
                                               {"EDT", -4},
                                               {"CST", -6},
                                               {"CDT", -5},
                                               {"MST", -7},
                                               {"MDT", -6},
                                               {"PST", -8},
                                               {"PDT", -7}}};

// [day ","] day month year hh:mm[:ss] [zone]
std::optional<sys_seconds> ParseRfc822(std::string_view Text) {
  TDateCursor at(Text);
  TDateFields fields;
  if (const std::string_view name = at.Letters(); !name.empty()) {
    if (IndexOf(name, kDays) == 0) return std::nullopt;
    at.Take(',');
    at.Blanks();
  }
  size_t yearDigits = 0;
  if (!at.Number(1, 2, fields.Day) || !at.Blanks()) return std::nullopt;
  fields.Month = IndexOf(at.Letters(), kMonths);
  if (fields.Month == 0 || !at.Blanks()) return std::nullopt;
  if (!at.Number(2, 4, fields.Year, &yearDigits) || yearDigits == 3 || !at.Blanks()) return std::nullopt;
  if (yearDigits == 2) fields.Year += fields.Year < 50 ? 2000 : 1900;
  if (!at.Number(2, 2, fields.Hour) || !at.Take(':') || !at.Number(2, 2, fields.Minute)) return std::nullopt;
  if (at.Take(':') && !at.Number(2, 2, fields.Second)) return std::nullopt;
  const bool blank = at.Blanks();
  if (at.AtEnd()) return Combine(fields);
  if (!blank) return std::nullopt;
  if (at.Peek() == '+' || at.Peek() == '-') {
    const int sign = at.Peek() == '-' ? -1 : 1;
    at.Take(at.Peek());
    int zone = 0;
    if (!at.Number(4, 4, zone) || zone % 100 > 59) return std::nullopt;
    fields.OffsetMinutes = sign * (zone / 100 * 60 + zone % 100);
  } else {
    const std::string_view name = at.Letters();
    const auto* zone = std::find_if(kZones.begin(), kZones.end(),
                                    [name](const TZoneName& Zone) { return SameText(name, Zone.Name); });
    if (zone == kZones.end()) return std::nullopt;
    fields.OffsetMinutes = zone->Hours * 60;
  }
  at.Blanks();
  if (!at.AtEnd()) return std::nullopt;
  return Combine(fields);
}

// YYYY-MM[-DD[Thh:mm[:ss[.fraction]](Z|+hh:mm|-hh:mm)]]
std::optional<sys_seconds> ParseRfc3339(std::string_view Text) {
  TDateCursor at(Text);
  TDateFields fields;
  if (!at.Number(4, 4, fields.Year) || !at.Take('-') || !at.Number(2, 2, fields.Month)) return std::nullopt;
  if (at.AtEnd()) return Combine(fields);
  if (!at.Take('-') || !at.Number(2, 2, fields.Day)) return std::nullopt;
  if (at.AtEnd()) return Combine(fields);
  if (!at.Take('T') && !at.Take('t') && !at.Take(' ')) return std::nullopt;
  if (!at.Number(2, 2, fields.Hour) || !at.Take(':') || !at.Number(2, 2, fields.Minute)) return std::nullopt;
  if (at.Take(':')) {
    if (!at.Number(2, 2, fields.Second)) return std::nullopt;
    // The fraction is read and left out: the result counts whole seconds.
    if (at.Take('.') && at.SkipDigits() == 0) return std::nullopt;
  }
  if (!at.Take('Z') && !at.Take('z')) {
    const int sign = at.Peek() == '-' ? -1 : 1;
    if (!at.Take('+') && !at.Take('-')) return std::nullopt;
    int hours = 0, minutes = 0;
    if (!at.Number(2, 2, hours) || !at.Take(':') || !at.Number(2, 2, minutes) || hours > 23 || minutes > 59)
      return std::nullopt;
    fields.OffsetMinutes = sign * (hours * 60 + minutes);
  }
  if (!at.AtEnd()) return std::nullopt;
  return Combine(fields);
}

}  // namespace

std::optional<sys_seconds> ParseFeedDate(std::string_view Text) {
  while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= ' ') Text.remove_prefix(1);
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') Text.remove_suffix(1);
  // Four digits and a hyphen open the RFC 3339 forms; every RFC 822 date starts with a
  // day name or a day of one or two digits.
  if (Text.size() >= 5 && Text[4] == '-') return ParseRfc3339(Text);
  return ParseRfc822(Text);
}

}  // namespace skimbrook
