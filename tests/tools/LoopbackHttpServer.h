// A small HTTP/1.1 server for network tests: listens on a loopback address (127.0.0.1
// unless told another 127.x.y.z) at an ephemeral port,
// answers from routes set per path, records every request, and can play an HTTP proxy
// that demands Basic authentication. Standard C++ and POSIX sockets only, so that
// sanitizer builds can use it; it runs on its own threads.
//
//   LoopbackHttpServer server;
//   server.Serve("/feed.xml", "<rss>...</rss>", 200, {{"Set-Cookie", "id=1"}});
//   client.Get(server.Url("/feed.xml"));
//   EXPECT_EQ(server.Requests().at(0).HeaderValue("Cookie"), std::nullopt);
//
// Connections are kept alive between requests as HTTP/1.1 allows. A path without a route
// answers 404. Routes may be set or changed at any time, also while a client is connected.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace skimbrook::test {

class LoopbackHttpServer {
 public:
  struct Header {
    std::string Name;
    std::string Value;
  };

  // One request as it arrived.
  struct Request {
    std::string RequestLine;      // "GET /feed.xml HTTP/1.1", without the line end
    std::string Method;           // "GET"
    std::string Target;           // as sent: "/feed.xml", or "http://host:port/feed.xml" via a proxy
    std::string Path;             // path and query: "/feed.xml" in both cases
    bool ViaProxy = false;        // the target was an absolute URI
    std::vector<Header> Headers;  // in the order received

    // The value of the first header called Name (letter case ignored), if any.
    std::optional<std::string> HeaderValue(std::string_view Name) const;
    // How many headers are called Name (letter case ignored).
    int HeaderCount(std::string_view Name) const;
  };

  // Starts listening on Address at once; throws std::runtime_error when it cannot or when
  // Address is not a loopback one.
  explicit LoopbackHttpServer(std::string Address = "127.0.0.1");
  // Closes every connection, stalled ones included, and waits for its threads.
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int Port() const { return port_; }
  // "<address>:<port>".
  std::string Authority() const;
  // "http://<address>:<port>" + Path.
  std::string Url(std::string_view Path) const;

  // ---- Routes, matched against the path and query exactly ----

  // Answers with Status, the extra Headers (Set-Cookie and the like) and Body; the
  // Content-Length header is added.
  void Serve(const std::string& Path, std::string Body, int Status = 200, std::vector<Header> Headers = {});
  // Answers as Serve does (status 200), once Delay has passed after the request arrived.
  void ServeAfter(const std::string& Path, std::string Body, std::chrono::milliseconds Delay);
  // Answers with a redirect to Location (301 unless Status says otherwise).
  void Redirect(const std::string& Path, const std::string& Location, int Status = 301);
  // Reads the request and then sends nothing, holding the connection open until the
  // client closes it or the server stops.
  void Stall(const std::string& Path);
  // Sends the headers announcing Body's full length and the first SentBytes of Body,
  // then nothing more, holding the connection as Stall does.
  void StallAfter(const std::string& Path, std::string Body, size_t SentBytes);
  // Sends the headers, then Body one byte at a time with Interval between bytes. The
  // server's end cuts a wait short.
  void ServeSlowly(const std::string& Path, std::string Body, std::chrono::milliseconds Interval);
  // Sends Body with chunked transfer encoding in chunks of ChunkBytes (the last may be
  // shorter), many chunks to a write so that the client meets them at full speed.
  void ServeChunked(const std::string& Path, std::string Body, size_t ChunkBytes);
  // Sends chunks of ChunkBytes bytes of "x" with chunked transfer encoding and never ends,
  // until the client closes the connection or the server stops.
  void ServeEndless(const std::string& Path, size_t ChunkBytes);
  // Streams Head, Count copies of Unit, then Tail, with Content-Length, without building
  // the body: a large body of one repeated piece (line feeds, empty items).
  void ServeRepeated(const std::string& Path, std::string Head, std::string Unit, std::uint64_t Count,
                     std::string Tail);
  // Streams a body of Bytes bytes (lines of printable text) without keeping it in memory.
  // With AnnounceLength the headers carry Content-Length; otherwise the body ends when
  // the server closes the connection.
  void ServeHuge(const std::string& Path, std::uint64_t Bytes, bool AnnounceLength = true);
  // Reads the request and closes the connection without a byte of answer.
  void CloseWithoutAnswer(const std::string& Path);

  // ---- Proxy ----

  // Requests with an absolute URI ("GET http://host/path HTTP/1.1") are always answered
  // from the routes above by their path, whatever the host. After this call such a request
  // needs "Proxy-Authorization: Basic <base64 of UserName:Password>"; without it, or with
  // other credentials, it gets 407 with "Proxy-Authenticate: Basic". Direct requests are
  // not affected.
  void RequireProxyAuthentication(const std::string& UserName, const std::string& Password);

  // ---- What arrived ----

  // Every request so far, in the order received (also those that were stalled or refused).
  std::vector<Request> Requests() const;
  size_t RequestCount() const;
  void ClearRequests();
  // Waits until at least Count requests have arrived; false when Timeout passed first.
  bool WaitForRequests(size_t Count, std::chrono::milliseconds Timeout) const;
  // The most requests this server was answering at one time so far.
  int MostAnswersAtOnce() const;

 private:
  enum class TRouteKind { Body, Delayed, Stall, StallAfter, Slow, Huge, Close, Chunked, Endless, Repeated };
  struct TRoute {
    TRouteKind Kind = TRouteKind::Body;
    int Status = 200;
    std::vector<Header> Headers;
    std::string Body;
    size_t SentBytes = 0;
    std::chrono::milliseconds Interval{0};
    std::uint64_t HugeBytes = 0;
    bool AnnounceLength = true;
    size_t ChunkBytes = 1;
    std::string Head, Tail;  // around Count copies of Body (Repeated)
    std::uint64_t Count = 0;
  };
  struct TWorker {
    std::thread Thread;
    std::shared_ptr<bool> Done;  // guarded by mutex_
  };

  void SetRoute(const std::string& Path, TRoute Route);
  // A route of Body with Interval before it (Delayed) or between its bytes (Slow).
  void SetTimedRoute(const std::string& Path, TRouteKind Kind, std::string Body,
                     std::chrono::milliseconds Interval);
  void AcceptLoop();
  void ServeConnection(int Fd);
  // Answers one request; false when the connection must end afterwards.
  bool Answer(int Fd, const Request& Req);
  bool ProxyAuthorized(const Request& Req) const;
  // The answers of the streaming routes; false when the connection must end afterwards.
  bool SendChunked(int Fd, const TRoute& Route);
  bool SendRepeated(int Fd, const TRoute& Route);
  // Waits for Interval; false when the server stops meanwhile.
  bool Pause(std::chrono::milliseconds Interval) const;
  void HoldUntilClosed(int Fd);
  void ReapFinishedWorkers();

  std::string address_;
  int listenFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  int port_ = 0;
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable requestArrived_;
  mutable std::condition_variable stoppingChanged_;
  bool stopping_ = false;
  std::map<std::string, TRoute> routes_;
  std::optional<std::string> proxyCredentials_;  // "Basic <base64>"
  std::vector<Request> requests_;
  int answering_ = 0;  // requests being answered now
  int mostAnswering_ = 0;
  std::vector<int> openFds_;
  std::vector<TWorker> workers_;
};

}  // namespace skimbrook::test
