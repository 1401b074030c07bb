#include "download/uFetchRules.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace skimbrook {

namespace {

std::string Lower(std::string_view Text) {
  std::string out(Text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The non-negative whole number Text holds, digits only.
std::optional<long long> Seconds(std::string_view Text) {
  if (Text.empty() || Text.size() > 12) return std::nullopt;
  long long value = 0;
  for (char c : Text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

TUnixTime HttpDate(const std::string& Text) {
  const time_t parsed = curl_getdate(Text.c_str(), nullptr);
  return parsed < 0 ? 0 : static_cast<TUnixTime>(parsed);
}

// The value of Name="value" or Name='value' in the XML declaration at the start of Body.
std::string DeclaredEncoding(std::string_view Body) {
  if (Body.substr(0, 3) == "\xEF\xBB\xBF") Body.remove_prefix(3);
  if (Body.substr(0, 5) != "<?xml") return "";
  const std::string_view declaration = Body.substr(0, Body.find("?>"));
  const size_t name = declaration.find("encoding");
  if (name == std::string_view::npos) return "";
  size_t at = declaration.find_first_not_of(" \t\r\n", name + 8);
  if (at == std::string_view::npos || declaration[at] != '=') return "";
  at = declaration.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string_view::npos || (declaration[at] != '"' && declaration[at] != '\'')) return "";
  const size_t end = declaration.find(declaration[at], at + 1);
  if (end == std::string_view::npos) return "";
  return std::string(declaration.substr(at + 1, end - at - 1));
}

std::string CharsetOf(const std::string& ContentType) {
  const std::string lower = Lower(ContentType);
  const size_t key = lower.find("charset=");
  if (key == std::string::npos) return "";
  std::string value = ContentType.substr(key + 8);
  value = value.substr(0, value.find_first_of("; \t"));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

TUnixTime NowUnix() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TUnixTime RetryAfterUntil(const THttpResponse& Response, TUnixTime Now) {
  if (Response.Code != 429 && Response.Code != 503) return 0;
  const std::optional<std::string> value = Response.Header("Retry-After");
  if (!value) return 0;
  if (std::optional<long long> seconds = Seconds(*value)) return Now + *seconds;
  return HttpDate(*value);
}

TUnixTime FreshUntilFrom(const THttpResponse& Response, TUnixTime Now) {
  if (std::optional<std::string> control = Response.Header("Cache-Control")) {
    const std::string lower = Lower(*control);
    if (lower.find("no-cache") != std::string::npos || lower.find("no-store") != std::string::npos) return 0;
    const size_t key = lower.find("max-age=");
    if (key != std::string::npos) {
      const std::string digits =
          lower.substr(key + 8, lower.find_first_not_of("0123456789", key + 8) - key - 8);
      if (std::optional<long long> seconds = Seconds(digits)) return *seconds > 0 ? Now + *seconds : 0;
    }
  }
  if (std::optional<std::string> expires = Response.Header("Expires")) {
    const TUnixTime until = HttpDate(*expires);
    return until > Now ? until : 0;
  }
  return 0;
}

std::string SkipStatus(const TFetchRecord& Record, TRunKind Kind, TUnixTime Now) {
  if (Kind != TRunKind::UserOne && Record.WaitUntil > Now)
    return "skipped: server asked to wait until " + ClockText(Record.WaitUntil, Now);
  if (Kind == TRunKind::Automatic && Record.FreshUntil > Now)
    return "skipped: fresh until " + ClockText(Record.FreshUntil, Now);
  return "";
}

std::string DocumentEncoding(std::string_view Body, const std::optional<std::string>& ContentType) {
  std::string declared = DeclaredEncoding(Body);
  if (!declared.empty()) return declared;
  return ContentType ? CharsetOf(*ContentType) : "";
}

std::string ClockText(TUnixTime Time, TUnixTime Now) {
  const std::time_t seconds = static_cast<std::time_t>(Time);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char text[64];
  if (Time - Now < 24 * 3600 && Now - Time < 24 * 3600)
    std::snprintf(text, sizeof text, "%02d:%02d", local.tm_hour, local.tm_min);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min);
  return text;
}

std::string RecordSummary(const TFetchRecord& Record, TUnixTime Now) {
  std::string text;
  if (!Record.LastFailure.empty())
    text = "Failed: " + Record.LastFailure + " (" + ClockText(Record.LastFailureTime, Now) + ")\n";
  return text + "Last success: " + (Record.LastSuccess ? ClockText(Record.LastSuccess, Now) : "never");
}

}  // namespace skimbrook
