#include "download/uHttpClient.h"

#include <curl/curl.h>

#include <utility>

#include "model/uRSS_internal.h"

namespace skimbrook {

std::optional<std::string> THttpResponse::Header(std::string_view Name) const {
  for (const auto& [name, value] : Headers)
    if (SameText(name, Name)) return value;
  return std::nullopt;
}

std::string THttpResponse::CodeAndPhrase() const {
  const size_t space = StatusLine.find(' ');
  if (StatusLine.empty() || space == std::string::npos) return std::to_string(Code);
  return StatusLine.substr(space + 1);
}

std::string HttpClient::Get(const std::string& Url) {
  THttpResponse response = Fetch({Url, "", ""});
  if (response.Code < 200 || response.Code > 299)
    throw std::runtime_error(
        (response.StatusLine.empty() ? "HTTP " + std::to_string(response.Code) : response.StatusLine) + ": " +
        Url);
  return std::move(response.Body);
}

void HttpClient::Start(const THttpRequest& Request, THttpTransferEvents Events) {
  // Fetch reports through OnStatus and OnProgress: they carry this transfer's events while
  // it runs.
  auto status = std::exchange(OnStatus, Events.Status);
  auto progress = std::exchange(OnProgress, Events.Progress);
  struct TRestore {
    HttpClient& Client;
    decltype(status)& Status;
    decltype(progress)& Progress;
    ~TRestore() {
      Client.OnStatus = std::move(Status);
      Client.OnProgress = std::move(Progress);
    }
  };
  THttpOutcome outcome;
  {
    const TRestore restore{*this, status, progress};
    try {
      outcome.Response = Fetch(Request);
    } catch (const std::exception& error) {
      outcome.Failure = error.what();
    } catch (...) {
      outcome.Failure = "unknown error";
    }
  }
  ended_.emplace_back(std::move(Events.Done), std::move(outcome));
}

void HttpClient::WaitForTransfers() {
  auto ended = std::exchange(ended_, {});
  for (auto& [done, outcome] : ended)
    if (done) done(std::move(outcome));
}

std::string HostOfUrl(const std::string& Url) {
  std::string host = Url;
  if (CURLU* parsed = curl_url()) {
    char* part = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, Url.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME) ==
            CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
      host = part;
    }
    curl_free(part);
    curl_url_cleanup(parsed);
  }
  return host;
}

std::string ProductUserAgent(std::string_view HomePage) {
  return "Skimbrook/1.0 (+" + std::string(HomePage) + ")";
}

}  // namespace skimbrook
