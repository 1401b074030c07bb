// The HTTP client over libcurl's multi interface. The transfer logic here is standard
// C++; waiting is left to a TCurlPump, which watches libcurl's sockets and timer in the
// program's event loop (the Qt one in the program, see uCurlQtPump.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "download/uCurlHandles.h"
#include "download/uHttpClient.h"

namespace skimbrook {

// The event loop side of a transfer. A pump watches the sockets and runs the timers that
// libcurl asks for and reports them to its target; it never calls libcurl itself.
class TCurlPump {
 public:
  // What a pump reports to.
  class TTarget {
   public:
    virtual ~TTarget() = default;
    // Socket is ready; CurlEvents is a mask of CURL_CSELECT_IN and CURL_CSELECT_OUT.
    virtual void SocketReady(curl_socket_t Socket, int CurlEvents) = 0;
    // The timer set by SetTimer has run out.
    virtual void TimerExpired() = 0;
    // The timer set by SetWatchdog has run out.
    virtual void WatchdogExpired() = 0;
    // Wake() was called by a pump that is not waited on: the ended transfers are to be
    // reported now, from the event loop, outside the event that ended them.
    virtual void Woken() = 0;
  };

  virtual ~TCurlPump() = default;
  // Where events go from now on; set once by the client before any other call.
  virtual void SetTarget(TTarget* Target) = 0;
  // Watches Socket for What (CURL_POLL_IN, CURL_POLL_OUT, CURL_POLL_INOUT), or stops
  // watching it (CURL_POLL_REMOVE). Called from inside libcurl.
  virtual void WatchSocket(curl_socket_t Socket, int What) = 0;
  // Replaces the one libcurl timer: expires after Ms milliseconds (0 = as soon as the
  // loop runs again); a negative Ms stops it. Called from inside libcurl.
  virtual void SetTimer(long Ms) = 0;
  // Replaces the client's own timer, with the same rules as SetTimer.
  virtual void SetWatchdog(long Ms) = 0;
  // Runs the event loop until Wake() is called from one of its events. A pump driven by
  // the program's main loop is never waited on and throws std::logic_error.
  virtual void Wait() = 0;
  // Makes the running Wait() return once the current event has been handled; a pump that
  // is not waited on calls its target's Woken() from the loop instead.
  virtual void Wake() = 0;
};

// Limits of one transfer, so that no server can hold a run for long, whatever it sends.
struct TCurlLimits {
  // A transfer that receives nothing for this long fails.
  std::chrono::milliseconds ReadTimeout{30000};
  // A transfer that moves fewer than FloorBytesPerSecond on average over FloorTime fails:
  // a server that drips a byte now and then restarts the read time-out every time, but
  // not this. 1 KiB/s is far below any real line; 0 switches the floor off.
  long FloorBytesPerSecond = 1024;
  std::chrono::seconds FloorTime{30};
  // No transfer lasts longer than this from its start, connecting included: five minutes
  // carry a feed of several megabytes over a slow line.
  std::chrono::milliseconds TotalTimeout{std::chrono::minutes(5)};
  // A body longer than this fails the transfer.
  std::uint64_t MaxBodyBytes = 64ull * 1024 * 1024;
};

// One client per download run: its cookie store and open connections are shared by the
// run's transfers and dropped with the client. Up to kMaxSimultaneous transfers run side by
// side in one multi handle.
class TCurlHttpClient final : public HttpClient, private TCurlPump::TTarget {
 public:
  static constexpr int kMaxSimultaneous = 16;

  explicit TCurlHttpClient(std::unique_ptr<TCurlPump> Pump, TCurlLimits Limits = {});
  ~TCurlHttpClient() override;
  TCurlHttpClient(const TCurlHttpClient&) = delete;
  TCurlHttpClient& operator=(const TCurlHttpClient&) = delete;

  THttpResponse Fetch(const THttpRequest& Request) override;
  void SetProxy(const THttpProxy& Proxy) override;
  void Abort() override;
  void Start(const THttpRequest& Request, THttpTransferEvents Events) override;
  void WaitForTransfers() override;
  int MaxSimultaneous() const override { return kMaxSimultaneous; }

 private:
  struct TTransfer;

  void SocketReady(curl_socket_t Socket, int CurlEvents) override;
  void TimerExpired() override;
  void WatchdogExpired() override;
  void Woken() override { ReportEndedTransfers(); }
  // Calls the Done of every ended transfer, one at a time.
  void ReportEndedTransfers();

  TCurlEasy NewEasyHandle(const THttpRequest& Request, TTransfer& Transfer);
  // The failure a finished transfer ended in, or nothing when it completed.
  std::optional<std::string> FailureOf(const TTransfer& Transfer) const;
  THttpOutcome OutcomeOf(TTransfer& Transfer) const;
  void CollectFinishedTransfers();
  // Takes every transfer out, reporting none.
  void DropTransfers();
  // Marks Transfer ended; WaitForTransfers reports it.
  void Finish(TTransfer& Transfer);
  // Runs the read time-out's watchdog for the quietest transfer, or stops it.
  void RearmWatchdog();
  // The running transfer that uses Socket, if any.
  TTransfer* TransferOn(curl_socket_t Socket) const;
  // Pass an event to the transfer's or the client's handlers, if set; what they throw goes
  // no further.
  void Status(TTransfer* Transfer, const std::string& Text);
  void Progress(TTransfer& Transfer, std::int64_t Bytes);

  static int SocketCallback(CURL* Easy, curl_socket_t Socket, int What, void* Client, void* SocketData);
  static int TimerCallback(CURLM* Multi, long Ms, void* Client);
  static int ResolverStartCallback(void* ResolverState, void* Reserved, void* Transfer);
  static curl_socket_t OpenSocketCallback(void* Transfer, curlsocktype Purpose, curl_sockaddr* Address);
  static int CloseSocketCallback(void* Client, curl_socket_t Socket);
  static int PrereqCallback(void* Transfer, char* ConnPrimaryIp, char* ConnLocalIp, int ConnPrimaryPort,
                            int ConnLocalPort);
  static size_t WriteCallback(char* Data, size_t Size, size_t Count, void* Transfer);
  static size_t HeaderCallback(char* Data, size_t Size, size_t Count, void* Transfer);

  TCurlLimits limits_;
  bool useProxy_ = false;
  THttpProxy proxy_;
  TCurlSlist requestHeaders_;
  // Sockets that have reached "Connected.", so that closing them says "Disconnected."
  // while a refused attempt closes silently. Kept by the client, since connections
  // outlive the transfer that opened them.
  std::set<curl_socket_t> connected_;
  // The socket each running transfer's connection uses, so that its closing is told to
  // that transfer; a connection kept after its transfer tells the client.
  std::map<curl_socket_t, TTransfer*> socketUser_;
  // Declared before the multi handle: the multi handle's cleanup still reports its
  // sockets to the pump, and the share may only go once no handle uses it.
  TCurlShare share_;
  std::unique_ptr<TCurlPump> pump_;
  TCurlMulti multi_;
  // Transfers in the multi handle; those ended wait in ended_ for WaitForTransfers.
  std::list<std::unique_ptr<TTransfer>> running_;
  std::vector<TTransfer*> ended_;
};

}  // namespace skimbrook
