#include "tools/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace skimbrook::test {

namespace {

constexpr size_t kMaxHeadBytes = 64 * 1024;

bool EqualsNoCase(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return std::tolower(static_cast<unsigned char>(X)) == std::tolower(static_cast<unsigned char>(Y));
         });
}

std::string Base64(std::string_view Bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < Bytes.size(); i += 3) {
    unsigned v =
        (unsigned char)Bytes[i] << 16 | (unsigned char)Bytes[i + 1] << 8 | (unsigned char)Bytes[i + 2];
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
  }
  if (i + 1 == Bytes.size()) {
    unsigned v = (unsigned char)Bytes[i] << 16;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == Bytes.size()) {
    unsigned v = (unsigned char)Bytes[i] << 16 | (unsigned char)Bytes[i + 1] << 8;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
  }
  return out;
}

std::string ReasonPhrase(int Status) {
  switch (Status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 407:
      return "Proxy Authentication Required";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

// Sends all of Bytes; false when the peer is gone.
bool SendAll(int Fd, std::string_view Bytes) {
  while (!Bytes.empty()) {
    ssize_t n = ::send(Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string StatusLineAndHeaders(int Status, const std::vector<LoopbackHttpServer::Header>& Headers) {
  std::string head = "HTTP/1.1 " + std::to_string(Status) + " " + ReasonPhrase(Status) + "\r\n";
  for (const auto& h : Headers) head += h.Name + ": " + h.Value + "\r\n";
  return head;
}

// Parses a request head (request line and header lines, without the blank line).
LoopbackHttpServer::Request ParseHead(const std::string& Head) {
  LoopbackHttpServer::Request req;
  size_t lineEnd = Head.find("\r\n");
  req.RequestLine = Head.substr(0, lineEnd);
  size_t sp1 = req.RequestLine.find(' ');
  size_t sp2 = req.RequestLine.find(' ', sp1 == std::string::npos ? sp1 : sp1 + 1);
  if (sp1 != std::string::npos) {
    req.Method = req.RequestLine.substr(0, sp1);
    req.Target =
        req.RequestLine.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
  }
  req.Path = req.Target;
  size_t scheme = req.Target.find("://");
  if (scheme != std::string::npos && req.Target[0] != '/') {
    req.ViaProxy = true;
    size_t slash = req.Target.find('/', scheme + 3);
    req.Path = slash == std::string::npos ? "/" : req.Target.substr(slash);
  }
  size_t pos = lineEnd == std::string::npos ? Head.size() : lineEnd + 2;
  while (pos < Head.size()) {
    size_t end = Head.find("\r\n", pos);
    if (end == std::string::npos) end = Head.size();
    std::string line = Head.substr(pos, end - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::string value = line.substr(colon + 1);
      size_t first = value.find_first_not_of(" \t");
      value = first == std::string::npos ? "" : value.substr(first);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
      req.Headers.push_back({line.substr(0, colon), value});
    }
    pos = end + 2;
  }
  return req;
}

}  // namespace

std::optional<std::string> LoopbackHttpServer::Request::HeaderValue(std::string_view Name) const {
  for (const auto& h : Headers)
    if (EqualsNoCase(h.Name, Name)) return h.Value;
  return std::nullopt;
}

int LoopbackHttpServer::Request::HeaderCount(std::string_view Name) const {
  return static_cast<int>(std::count_if(Headers.begin(), Headers.end(),
                                        [&](const Header& h) { return EqualsNoCase(h.Name, Name); }));
}

// ---------------------------------------------------------------------------------------
// Start and stop

LoopbackHttpServer::LoopbackHttpServer(std::string Address) : address_(std::move(Address)) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (address_.rfind("127.", 0) != 0 || ::inet_pton(AF_INET, address_.c_str(), &addr.sin_addr) != 1)
    throw std::runtime_error("loopback server: not a loopback address: " + address_);
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("loopback server: socket failed");
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 64) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
    ::close(listenFd_);
    throw std::runtime_error(std::string("loopback server: cannot listen: ") + std::strerror(errno));
  }
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
  }
  stoppingChanged_.notify_all();
  char wake = 0;
  (void)!::write(wakePipe_[1], &wake, 1);
  acceptThread_.join();
  std::vector<TWorker> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.Thread.join();
  ::close(listenFd_);
  ::close(wakePipe_[0]);
  ::close(wakePipe_[1]);
}

std::string LoopbackHttpServer::Authority() const {
  return address_ + ":" + std::to_string(port_);
}

std::string LoopbackHttpServer::Url(std::string_view Path) const {
  return "http://" + Authority() + std::string(Path);
}

// ---------------------------------------------------------------------------------------
// Routes

void LoopbackHttpServer::SetRoute(const std::string& Path, TRoute Route) {
  std::lock_guard lock(mutex_);
  routes_[Path] = std::move(Route);
}

void LoopbackHttpServer::Serve(const std::string& Path, std::string Body, int Status,
                               std::vector<Header> Headers) {
  TRoute r;
  r.Status = Status;
  r.Headers = std::move(Headers);
  r.Body = std::move(Body);
  SetRoute(Path, std::move(r));
}

void LoopbackHttpServer::Redirect(const std::string& Path, const std::string& Location, int Status) {
  Serve(Path, "moved", Status, {{"Location", Location}});
}

void LoopbackHttpServer::Stall(const std::string& Path) {
  TRoute r;
  r.Kind = TRouteKind::Stall;
  SetRoute(Path, std::move(r));
}

void LoopbackHttpServer::StallAfter(const std::string& Path, std::string Body, size_t SentBytes) {
  TRoute r;
  r.Kind = TRouteKind::StallAfter;
  r.Body = std::move(Body);
  r.SentBytes = std::min(SentBytes, r.Body.size());
  SetRoute(Path, std::move(r));
}

void LoopbackHttpServer::ServeAfter(const std::string& Path, std::string Body,
                                    std::chrono::milliseconds Delay) {
  SetTimedRoute(Path, TRouteKind::Delayed, std::move(Body), Delay);
}
int LoopbackHttpServer::MostAnswersAtOnce() const {
  std::lock_guard lock(mutex_);
  return mostAnswering_;
}

void LoopbackHttpServer::ServeSlowly(const std::string& Path, std::string Body,
                                     std::chrono::milliseconds Interval) {
  SetTimedRoute(Path, TRouteKind::Slow, std::move(Body), Interval);
}

void LoopbackHttpServer::SetTimedRoute(const std::string& Path, TRouteKind Kind, std::string Body,
                                       std::chrono::milliseconds Interval) {
  TRoute r;
  r.Kind = Kind;
  r.Body = std::move(Body);
  r.Interval = Interval;
  SetRoute(Path, std::move(r));
}
void LoopbackHttpServer::ServeHuge(const std::string& Path, std::uint64_t Bytes, bool AnnounceLength) {
  TRoute r;
  r.Kind = TRouteKind::Huge;
  r.HugeBytes = Bytes;
  r.AnnounceLength = AnnounceLength;
  SetRoute(Path, std::move(r));
}

void LoopbackHttpServer::ServeChunked(const std::string& Path, std::string Body, size_t ChunkBytes) {
  TRoute r;
  r.Kind = TRouteKind::Chunked;
  r.Body = std::move(Body);
  r.ChunkBytes = std::max<size_t>(ChunkBytes, 1);
  SetRoute(Path, std::move(r));
}

void LoopbackHttpServer::ServeEndless(const std::string& Path, size_t ChunkBytes) {
  TRoute r;
  r.Kind = TRouteKind::Endless;
  r.ChunkBytes = std::max<size_t>(ChunkBytes, 1);
  SetRoute(Path, std::move(r));
}

void LoopbackHttpServer::ServeRepeated(const std::string& Path, std::string Head, std::string Unit,
                                       std::uint64_t Count, std::string Tail) {
  TRoute r;
  r.Kind = TRouteKind::Repeated;
  r.Head = std::move(Head);
  r.Body = std::move(Unit);
  r.Count = Count;
  r.Tail = std::move(Tail);
  SetRoute(Path, std::move(r));
}

void LoopbackHttpServer::CloseWithoutAnswer(const std::string& Path) {
  TRoute r;
  r.Kind = TRouteKind::Close;
  SetRoute(Path, std::move(r));
}

void LoopbackHttpServer::RequireProxyAuthentication(const std::string& UserName,
                                                    const std::string& Password) {
  std::lock_guard lock(mutex_);
  proxyCredentials_ = "Basic " + Base64(UserName + ":" + Password);
}

// ---------------------------------------------------------------------------------------
// Recorded requests

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t LoopbackHttpServer::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

void LoopbackHttpServer::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

bool LoopbackHttpServer::WaitForRequests(size_t Count, std::chrono::milliseconds Timeout) const {
  std::unique_lock lock(mutex_);
  return requestArrived_.wait_for(lock, Timeout, [&] { return requests_.size() >= Count; });
}

// ---------------------------------------------------------------------------------------
// Connections

void LoopbackHttpServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    ReapFinishedWorkers();
    openFds_.push_back(fd);
    auto done = std::make_shared<bool>(false);
    workers_.push_back({std::thread([this, fd, done] {
                          ServeConnection(fd);
                          std::lock_guard lock(mutex_);
                          // Closed under the lock so that the destructor never shuts down a
                          // number that has meanwhile been reused for another file.
                          openFds_.erase(std::find(openFds_.begin(), openFds_.end(), fd));
                          ::close(fd);
                          *done = true;
                        }),
                        done});
  }
}

void LoopbackHttpServer::ReapFinishedWorkers() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (*it->Done) {
      it->Thread.join();  // the thread has left its last lock; joining is immediate
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void LoopbackHttpServer::ServeConnection(int Fd) {
  std::string buffer;
  char chunk[16 * 1024];
  for (;;) {
    size_t headEnd;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
      if (buffer.size() > kMaxHeadBytes) return;
      ssize_t n = ::recv(Fd, chunk, sizeof chunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    Request req = ParseHead(buffer.substr(0, headEnd));
    buffer.erase(0, headEnd + 4);
    // A request body, if any, is read and dropped.
    size_t bodyLength = 0;
    if (auto length = req.HeaderValue("Content-Length"))
      bodyLength = std::strtoull(length->c_str(), nullptr, 10);
    while (buffer.size() < bodyLength) {
      ssize_t n = ::recv(Fd, chunk, sizeof chunk, 0);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    buffer.erase(0, bodyLength);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(req);
    }
    requestArrived_.notify_all();
    if (!Answer(Fd, req)) return;
    auto connection = req.HeaderValue("Connection");
    if (connection && EqualsNoCase(*connection, "close")) return;
  }
}

bool LoopbackHttpServer::ProxyAuthorized(const Request& Req) const {
  std::lock_guard lock(mutex_);
  if (!proxyCredentials_) return true;
  auto given = Req.HeaderValue("Proxy-Authorization");
  return given && *given == *proxyCredentials_;
}

bool LoopbackHttpServer::Answer(int Fd, const Request& Req) {
  {
    std::lock_guard lock(mutex_);
    mostAnswering_ = std::max(mostAnswering_, ++answering_);
  }
  struct TDone {
    LoopbackHttpServer& Server;
    ~TDone() {
      std::lock_guard lock(Server.mutex_);
      --Server.answering_;
    }
  } done{*this};
  if (Req.ViaProxy && !ProxyAuthorized(Req)) {
    std::string body = "proxy authentication required";
    return SendAll(Fd, StatusLineAndHeaders(407, {{"Proxy-Authenticate", "Basic realm=\"loopback\""},
                                                  {"Content-Length", std::to_string(body.size())}}) +
                           "\r\n" + body);
  }
  TRoute route;
  {
    std::lock_guard lock(mutex_);
    auto it = routes_.find(Req.Path);
    if (it == routes_.end()) {
      route.Status = 404;
      route.Body = "not found";
    } else {
      route = it->second;
    }
  }
  auto withLength = [&](std::uint64_t Length) {
    auto headers = route.Headers;
    headers.push_back({"Content-Length", std::to_string(Length)});
    return StatusLineAndHeaders(route.Status, headers) + "\r\n";
  };
  switch (route.Kind) {
    case TRouteKind::Body:
      return SendAll(Fd, withLength(route.Body.size()) + route.Body);
    case TRouteKind::Close:
      return false;
    case TRouteKind::Delayed:
      return Pause(route.Interval) && SendAll(Fd, withLength(route.Body.size()) + route.Body);
    case TRouteKind::Stall:
      HoldUntilClosed(Fd);
      return false;
    case TRouteKind::StallAfter:
      if (SendAll(Fd, withLength(route.Body.size()) + route.Body.substr(0, route.SentBytes)))
        HoldUntilClosed(Fd);
      return false;
    case TRouteKind::Slow:
      if (!SendAll(Fd, withLength(route.Body.size()))) return false;
      for (char c : route.Body) {
        if (!Pause(route.Interval) || !SendAll(Fd, std::string_view(&c, 1))) return false;
      }
      return true;
    case TRouteKind::Chunked:
    case TRouteKind::Endless:
      return SendChunked(Fd, route);
    case TRouteKind::Repeated:
      return SendRepeated(Fd, route);
    case TRouteKind::Huge: {
      std::string head = route.AnnounceLength ? withLength(route.HugeBytes)
                                              : StatusLineAndHeaders(route.Status, route.Headers) +
                                                    "Connection: close\r\n\r\n";
      if (!SendAll(Fd, head)) return false;
      std::string block;
      while (block.size() < 256 * 1024)
        block += "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ\n";
      for (std::uint64_t left = route.HugeBytes; left > 0;) {
        size_t n = static_cast<size_t>(std::min<std::uint64_t>(left, block.size()));
        if (!SendAll(Fd, std::string_view(block.data(), n))) return false;
        left -= n;
      }
      return route.AnnounceLength;
    }
  }
  return false;
}

namespace {

// "<size in hex>\r\n<data>\r\n", one chunk of chunked transfer encoding.
void AppendChunk(std::string& Out, std::string_view Data) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", Data.size());
  Out += size;
  Out += Data;
  Out += "\r\n";
}

}  // namespace

bool LoopbackHttpServer::SendChunked(int Fd, const TRoute& Route) {
  auto headers = Route.Headers;
  headers.push_back({"Transfer-Encoding", "chunked"});
  if (!SendAll(Fd, StatusLineAndHeaders(Route.Status, headers) + "\r\n")) return false;
  constexpr size_t kBatch = 64 * 1024;
  const bool endless = Route.Kind == TRouteKind::Endless;
  const std::string filler(Route.ChunkBytes, 'x');
  std::string batch;
  for (size_t sent = 0; endless || sent < Route.Body.size();) {
    batch.clear();
    while (batch.size() < kBatch && (endless || sent < Route.Body.size())) {
      std::string_view chunk =
          endless ? std::string_view(filler) : std::string_view(Route.Body).substr(sent, Route.ChunkBytes);
      AppendChunk(batch, chunk);
      sent += chunk.size();
    }
    if (!SendAll(Fd, batch)) return false;
  }
  return SendAll(Fd, "0\r\n\r\n");
}

bool LoopbackHttpServer::SendRepeated(int Fd, const TRoute& Route) {
  const std::uint64_t length = Route.Head.size() + Route.Body.size() * Route.Count + Route.Tail.size();
  auto headers = Route.Headers;
  headers.push_back({"Content-Length", std::to_string(length)});
  if (!SendAll(Fd, StatusLineAndHeaders(Route.Status, headers) + "\r\n" + Route.Head)) return false;
  std::string block;
  const std::uint64_t perBlock =
      std::max<std::uint64_t>(1, 256 * 1024 / std::max<size_t>(Route.Body.size(), 1));
  for (std::uint64_t i = 0; i < std::min(perBlock, Route.Count); ++i) block += Route.Body;
  for (std::uint64_t left = Route.Count; left > 0;) {
    const std::uint64_t copies = std::min(left, perBlock);
    if (!SendAll(Fd, std::string_view(block.data(), copies * Route.Body.size()))) return false;
    left -= copies;
  }
  return SendAll(Fd, Route.Tail);
}

bool LoopbackHttpServer::Pause(std::chrono::milliseconds Interval) const {
  std::unique_lock lock(mutex_);
  return !stoppingChanged_.wait_for(lock, Interval, [&] { return stopping_; });
}

void LoopbackHttpServer::HoldUntilClosed(int Fd) {
  char sink[4096];
  for (;;) {
    ssize_t n = ::recv(Fd, sink, sizeof sink, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
  }
}

}  // namespace skimbrook::test
