// The HTTP client a download run fetches its feeds with: one GET at a time, the whole
// body as 8-bit text, status and progress reported as it goes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Fetches Url with an HTTP/1.1 GET and returns the response body byte for byte. Throws
  // std::runtime_error when the transfer fails, the answer is not a success (redirects
  // included), the body is too large, no data arrives for the read time-out, or Abort()
  // was called meanwhile. The caller's event loop keeps running while it waits.
  virtual std::string Get(const std::string& Url) = 0;
  // Sends every later request through Proxy.
  virtual void SetProxy(const THttpProxy& Proxy) = 0;
  // Ends the transfer in progress, whose Get() then throws; does nothing between transfers.
  virtual void Abort() = 0;

  // Connection events in words ("Connecting to 127.0.0.1.", "Connected.", ...).
  std::function<void(const std::string& Text)> OnStatus;
  // The running count of body bytes received in the current transfer.
  std::function<void(std::int64_t Bytes)> OnProgress;
};

}  // namespace skimbrook
