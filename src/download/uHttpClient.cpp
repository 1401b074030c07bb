#include "download/uHttpClient.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace skimbrook {

namespace {

bool SameLetters(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return std::tolower(static_cast<unsigned char>(X)) == std::tolower(static_cast<unsigned char>(Y));
         });
}

}  // namespace

std::optional<std::string> THttpResponse::Header(std::string_view Name) const {
  for (const auto& [name, value] : Headers)
    if (SameLetters(name, Name)) return value;
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

std::string ProductUserAgent(std::string_view HomePage) {
  return "Skimbrook/1.0 (+" + std::string(HomePage) + ")";
}

}  // namespace skimbrook
