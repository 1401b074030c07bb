// A pump for the libcurl client without Qt: waits in poll(2) on the watched sockets and
// the two timers. It lets the client run against the loopback server in builds without
// Qt, such as the sanitizer build.
#pragma once

#include <poll.h>

#include <chrono>
#include <map>
#include <optional>
#include <vector>

#include "download/uCurlHttpClient.h"

namespace skimbrook::test {

class TCurlPollPump final : public TCurlPump {
 public:
  using TClock = std::chrono::steady_clock;

  void SetTarget(TTarget* Target) override { target_ = Target; }
  void WatchSocket(curl_socket_t Socket, int What) override {
    if (What == CURL_POLL_REMOVE)
      sockets_.erase(Socket);
    else
      sockets_[Socket] = What;
  }
  void SetTimer(long Ms) override { timer_ = Deadline(Ms); }
  void SetWatchdog(long Ms) override { watchdog_ = Deadline(Ms); }
  void Wake() override { woken_ = true; }

  void Wait() override {
    woken_ = false;
    while (!woken_) {
      std::vector<pollfd> fds;
      for (auto [socket, what] : sockets_) {
        short events = (what == CURL_POLL_IN || what == CURL_POLL_INOUT ? POLLIN : 0) |
                       (what == CURL_POLL_OUT || what == CURL_POLL_INOUT ? POLLOUT : 0);
        fds.push_back({socket, events, 0});
      }
      ::poll(fds.data(), fds.size(), MsUntilNextDeadline());
      for (const auto& fd : fds) {
        int events = (fd.revents & (POLLIN | POLLHUP | POLLERR) ? CURL_CSELECT_IN : 0) |
                     (fd.revents & POLLOUT ? CURL_CSELECT_OUT : 0);
        if (events && sockets_.count(fd.fd)) target_->SocketReady(fd.fd, events);
      }
      if (Due(timer_)) target_->TimerExpired();
      if (Due(watchdog_)) target_->WatchdogExpired();
    }
  }

 private:
  static std::optional<TClock::time_point> Deadline(long Ms) {
    if (Ms < 0) return std::nullopt;
    return TClock::now() + std::chrono::milliseconds(Ms);
  }
  // True once, when Deadline has passed; it is then cleared.
  static bool Due(std::optional<TClock::time_point>& Deadline) {
    if (!Deadline || *Deadline > TClock::now()) return false;
    Deadline.reset();
    return true;
  }
  int MsUntilNextDeadline() const {
    std::optional<TClock::time_point> next;
    for (const auto& deadline : {timer_, watchdog_})
      if (deadline && (!next || *deadline < *next)) next = deadline;
    if (!next) return -1;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - TClock::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
  }

  TTarget* target_ = nullptr;
  std::map<curl_socket_t, int> sockets_;
  std::optional<TClock::time_point> timer_;
  std::optional<TClock::time_point> watchdog_;
  bool woken_ = false;
};

}  // namespace skimbrook::test
