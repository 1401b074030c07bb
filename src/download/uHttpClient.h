// The HTTP client a download run fetches its feeds with: GETs one at a time or several side
// by side, each giving the whole (decoded) body as 8-bit text and the answer's status and
// headers, with status and progress reported as it goes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace skimbrook {

// Where requests go when they go through a proxy.
struct THttpProxy {
  std::string Host;
  int Port = 80;
  std::string UserName;
  std::string Password;
  // Send the Basic credentials with every request from the first one on; otherwise they
  // are used only when the proxy asks for them.
  bool BasicAuthentication = false;
};

// One GET. The validators go out as If-None-Match and If-Modified-Since, byte for byte,
// when they are not empty.
struct THttpRequest {
  std::string Url;
  std::string IfNoneMatch;
  std::string IfModifiedSince;
};

// The answer to a request that completed at the HTTP level, whatever its status.
struct THttpResponse {
  long Code = 0;
  std::string StatusLine;  // "HTTP/1.1 304 Not Modified", without the line end
  std::vector<std::pair<std::string, std::string>> Headers;  // of this answer, in order
  std::string Body;                                          // decoded when it came compressed
  // Location of a redirect, made absolute against the request's address; empty otherwise.
  std::string RedirectUrl;

  // The value of the first header called Name (letter case ignored), as sent.
  std::optional<std::string> Header(std::string_view Name) const;
  // "404 Not Found": the status line without its protocol.
  std::string CodeAndPhrase() const;
};

// A transfer that did not complete; what() is the reason in words ("cannot connect",
// "time-out", "too slow", "too large", or libcurl's own text).
class THttpFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How a transfer ended: with an answer, or with the reason it has none (a THttpFailure's
// text, or the message of any other error).
struct THttpOutcome {
  std::optional<THttpResponse> Response;
  std::string Failure;
};

// What one started transfer reports, each from the event loop of the caller's wait.
struct THttpTransferEvents {
  std::function<void(const std::string& Text)> Status;
  std::function<void(std::int64_t Bytes)> Progress;
  // Called exactly once, when the transfer has ended; never from inside Start.
  std::function<void(THttpOutcome Outcome)> Done;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Fetches Request.Url with an HTTP/1.1 GET (redirects are not followed) and returns the
  // answer. Throws THttpFailure when the transfer fails, the decoded body is too large, no
  // data arrives for the read time-out, or Abort() was called meanwhile. The caller's
  // event loop keeps running while it waits.
  virtual THttpResponse Fetch(const THttpRequest& Request) = 0;
  // Sends every later request through Proxy.
  virtual void SetProxy(const THttpProxy& Proxy) = 0;
  // Ends every transfer in progress, whose Fetch() then throws or whose Done reports
  // "stopped"; does nothing between transfers.
  virtual void Abort() = 0;

  // Starts a transfer beside those in progress; its events go to Events and not to
  // OnStatus and OnProgress. Done comes from a later WaitForTransfers. A client that cannot
  // run transfers side by side (this default) fetches at once with Fetch and keeps Done
  // for the next wait.
  virtual void Start(const THttpRequest& Request, THttpTransferEvents Events);
  // Waits, keeping the caller's event loop running, until at least one started transfer
  // has ended, and calls the Done of every ended one; returns at once when none is
  // outstanding.
  virtual void WaitForTransfers();
  // How many transfers this client runs side by side; the default Start runs one.
  virtual int MaxSimultaneous() const { return 1; }

  // Fetches Url and returns its body; throws std::runtime_error also when the answer is not
  // a success (2xx), redirects included.
  std::string Get(const std::string& Url);

  // Sent as the User-Agent of every later request.
  std::string UserAgent = "Skimbrook/1.0";
  // Connection events in words (of Fetch's transfer, and of connections that close after
  // the transfer that opened them) ("Connecting to 127.0.0.1.", "Connected.", ...).
  std::function<void(const std::string& Text)> OnStatus;
  // The running count of body bytes received in the current transfer.
  std::function<void(std::int64_t Bytes)> OnProgress;

 private:
  // The default Start's transfers, done and waiting for WaitForTransfers to report them.
  std::vector<std::pair<std::function<void(THttpOutcome)>, THttpOutcome>> ended_;
};

// The host part of Url as written, without user, password or port ("[::1]" keeps its
// brackets); Url itself when it cannot be read as an address.
std::string HostOfUrl(const std::string& Url);

// The User-Agent this program sends: "Skimbrook/1.0 (+HomePage)".
std::string ProductUserAgent(std::string_view HomePage);

}  // namespace skimbrook
