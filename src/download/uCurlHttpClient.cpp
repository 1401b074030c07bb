#include "download/uCurlHttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <stdexcept>

namespace skimbrook {

namespace {

void CheckEasy(CURLcode Code) {
  if (Code != CURLE_OK) throw std::runtime_error(std::string("libcurl: ") + curl_easy_strerror(Code));
}

void CheckMulti(CURLMcode Code) {
  if (Code != CURLM_OK) throw std::runtime_error(std::string("libcurl: ") + curl_multi_strerror(Code));
}

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      const std::string reason = CurlLibraryError();
      throw std::runtime_error(reason.empty() ? "libcurl cannot start" : reason);
    }
  });
}

std::string AddressText(const curl_sockaddr& Address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (Address.family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(Address.addr).sin_addr, text, sizeof text);
  else if (Address.family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(Address.addr).sin6_addr, text, sizeof text);
  return text;
}

}  // namespace

void CurlSlistAppend(TCurlSlist& List, const char* Text) {
  curl_slist* head = curl_slist_append(List.get(), Text);
  if (!head) throw std::bad_alloc();
  (void)List.release();
  List.reset(head);
}

// The state of one running transfer, owned by the client from Start to its report.
struct TCurlHttpClient::TTransfer {
  TCurlHttpClient* Client = nullptr;
  THttpTransferEvents Events;
  TCurlEasy Easy;
  std::string ResolveHost;  // the name libcurl resolves: the proxy's when there is one
  std::string Body;
  std::string StatusLine;                                    // the last "HTTP/..." line received
  std::vector<std::pair<std::string, std::string>> Headers;  // of the answer after StatusLine
  TCurlSlist RequestHeaders;           // the client's, and the validators of this request
  std::set<curl_socket_t> Connecting;  // opened for this transfer, not yet reported connected
  std::chrono::steady_clock::time_point LastData = std::chrono::steady_clock::now();
  bool Finished = false;
  CURLcode Result = CURLE_OK;
  bool TooLarge = false;
  bool TimedOut = false;
  bool Aborted = false;
  char ErrorText[CURL_ERROR_SIZE] = "";
};

// ---------------------------------------------------------------------------------------
// Set-up

TCurlHttpClient::TCurlHttpClient(std::unique_ptr<TCurlPump> Pump, TCurlLimits Limits)
    : limits_(Limits), pump_(std::move(Pump)) {
  InitialiseCurlOnce();
  CurlSlistAppend(requestHeaders_, "Accept: text/html, */*");
  CurlSlistAppend(requestHeaders_, "Content-Type: text/html");

  share_.reset(curl_share_init());
  multi_.reset(curl_multi_init());
  if (!share_ || !multi_) throw std::runtime_error("libcurl: out of memory");
  // One cookie store for every transfer of this client.
  if (curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) != CURLSHE_OK)
    throw std::runtime_error("libcurl: cannot share cookies");

  pump_->SetTarget(this);
  CheckMulti(curl_multi_setopt(multi_.get(), CURLMOPT_SOCKETFUNCTION, &TCurlHttpClient::SocketCallback));
  CheckMulti(curl_multi_setopt(multi_.get(), CURLMOPT_SOCKETDATA, this));
  CheckMulti(curl_multi_setopt(multi_.get(), CURLMOPT_TIMERFUNCTION, &TCurlHttpClient::TimerCallback));
  CheckMulti(curl_multi_setopt(multi_.get(), CURLMOPT_TIMERDATA, this));
}

TCurlHttpClient::~TCurlHttpClient() {
  DropTransfers();
}

void TCurlHttpClient::DropTransfers() {
  // Closing sockets from here on tells the client only: the transfers go.
  socketUser_.clear();
  // A transfer still running is taken out of the multi handle before its easy handle goes.
  for (auto& transfer : running_) curl_multi_remove_handle(multi_.get(), transfer->Easy.get());
  running_.clear();
  ended_.clear();
  pump_->SetWatchdog(-1);
}

void TCurlHttpClient::SetProxy(const THttpProxy& Proxy) {
  useProxy_ = true;
  proxy_ = Proxy;
}

TCurlEasy TCurlHttpClient::NewEasyHandle(const THttpRequest& Request, TTransfer& Transfer) {
  TCurlEasy easy(curl_easy_init());
  if (!easy) throw std::runtime_error("libcurl: out of memory");
  CURL* h = easy.get();
  const std::string& Url = Request.Url;
  for (const curl_slist* item = requestHeaders_.get(); item; item = item->next)
    CurlSlistAppend(Transfer.RequestHeaders, item->data);
  // The validators go back exactly as the server sent them.
  if (!Request.IfNoneMatch.empty())
    CurlSlistAppend(Transfer.RequestHeaders, ("If-None-Match: " + Request.IfNoneMatch).c_str());
  if (!Request.IfModifiedSince.empty())
    CurlSlistAppend(Transfer.RequestHeaders, ("If-Modified-Since: " + Request.IfModifiedSince).c_str());
  CheckEasy(curl_easy_setopt(h, CURLOPT_URL, Url.c_str()));
  CheckEasy(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HTTPHEADER, Transfer.RequestHeaders.get()));
  CheckEasy(curl_easy_setopt(h, CURLOPT_USERAGENT, UserAgent.c_str()));
  // Every encoding this libcurl can decode is offered; the body arrives decoded, and the
  // size cap below counts the decoded bytes, so a small compressed body cannot blow up.
  CheckEasy(curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, ""));
  CheckEasy(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L));
  CheckEasy(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
  CheckEasy(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L));
  CheckEasy(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L));
  CheckEasy(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, Transfer.ErrorText));
  // An empty cookie file switches the cookie engine on without reading any file.
  CheckEasy(curl_easy_setopt(h, CURLOPT_SHARE, share_.get()));
  CheckEasy(curl_easy_setopt(h, CURLOPT_COOKIEFILE, ""));
  CheckEasy(curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.MaxBodyBytes)));
  CheckEasy(curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, limits_.FloorBytesPerSecond));
  CheckEasy(curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits_.FloorTime.count())));
  CheckEasy(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits_.TotalTimeout.count())));

  if (useProxy_) {
    CheckEasy(curl_easy_setopt(h, CURLOPT_PROXY, proxy_.Host.c_str()));
    CheckEasy(curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(proxy_.Port)));
    CheckEasy(curl_easy_setopt(h, CURLOPT_NOPROXY, ""));  // no host bypasses the proxy
    CheckEasy(curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, proxy_.UserName.c_str()));
    CheckEasy(curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, proxy_.Password.c_str()));
    // Only Basic alone goes out with the first request; any other choice waits for a 407.
    CheckEasy(
        curl_easy_setopt(h, CURLOPT_PROXYAUTH, proxy_.BasicAuthentication ? CURLAUTH_BASIC : CURLAUTH_ANY));
    Transfer.ResolveHost =
        HostOfUrl(proxy_.Host.find("://") == std::string::npos ? "http://" + proxy_.Host : proxy_.Host);
  } else {
    // Requests go direct, whatever proxy the environment names.
    CheckEasy(curl_easy_setopt(h, CURLOPT_PROXY, ""));
    Transfer.ResolveHost = HostOfUrl(Url);
  }

  // The transfer's own events carry the transfer; a connection's closing carries the client,
  // since libcurl may close a connection long after the transfer that opened it is gone.
  CheckEasy(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &TCurlHttpClient::WriteCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_WRITEDATA, &Transfer));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &TCurlHttpClient::HeaderCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HEADERDATA, &Transfer));
  CheckEasy(curl_easy_setopt(h, CURLOPT_RESOLVER_START_FUNCTION, &TCurlHttpClient::ResolverStartCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_RESOLVER_START_DATA, &Transfer));
  CheckEasy(curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, &TCurlHttpClient::OpenSocketCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, &Transfer));
  CheckEasy(curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &TCurlHttpClient::CloseSocketCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, this));
  CheckEasy(curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &TCurlHttpClient::PrereqCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_PREREQDATA, &Transfer));
  return easy;
}

// ---------------------------------------------------------------------------------------
// Transfers

void TCurlHttpClient::Start(const THttpRequest& Request, THttpTransferEvents Events) {
  auto transfer = std::make_unique<TTransfer>();
  transfer->Client = this;
  transfer->Events = std::move(Events);
  transfer->Easy = NewEasyHandle(Request, *transfer);
  CheckMulti(curl_multi_add_handle(multi_.get(), transfer->Easy.get()));
  running_.push_back(std::move(transfer));
  RearmWatchdog();
}

void TCurlHttpClient::WaitForTransfers() {
  while (ended_.empty() && !running_.empty()) pump_->Wait();
  ReportEndedTransfers();
}

void TCurlHttpClient::ReportEndedTransfers() {
  // Reported outside the pump's events, so that Done may take its time or start more; one
  // at a time, so that a Done that throws leaves the others to the next wait.
  while (!ended_.empty()) {
    TTransfer* ended = ended_.front();
    ended_.erase(ended_.begin());
    auto it =
        std::find_if(running_.begin(), running_.end(), [ended](const auto& t) { return t.get() == ended; });
    std::unique_ptr<TTransfer> transfer = std::move(*it);
    running_.erase(it);
    // Removing a transfer that has not completed closes its connection.
    curl_multi_remove_handle(multi_.get(), transfer->Easy.get());
    std::erase_if(socketUser_, [&](const auto& entry) { return entry.second == transfer.get(); });
    THttpOutcome outcome = OutcomeOf(*transfer);
    auto done = std::move(transfer->Events.Done);
    transfer.reset();
    if (done) done(std::move(outcome));
  }
  RearmWatchdog();
}

THttpResponse TCurlHttpClient::Fetch(const THttpRequest& Request) {
  if (!running_.empty()) throw std::logic_error("HttpClient::Fetch called while a transfer is running");
  std::optional<THttpOutcome> outcome;
  Start(Request, {[this](const std::string& Text) {
                    if (OnStatus) OnStatus(Text);
                  },
                  [this](std::int64_t Bytes) {
                    if (OnProgress) OnProgress(Bytes);
                  },
                  [&outcome](THttpOutcome Ended) { outcome = std::move(Ended); }});
  try {
    while (!outcome) WaitForTransfers();
  } catch (...) {
    // The pump's wait failed: the transfer goes, unreported.
    DropTransfers();
    throw;
  }
  if (!outcome->Response) throw THttpFailure(outcome->Failure);
  return std::move(*outcome->Response);
}

THttpOutcome TCurlHttpClient::OutcomeOf(TTransfer& Transfer) const {
  THttpOutcome outcome;
  if (auto failure = FailureOf(Transfer)) {
    outcome.Failure = std::move(*failure);
    return outcome;
  }
  THttpResponse response;
  curl_easy_getinfo(Transfer.Easy.get(), CURLINFO_RESPONSE_CODE, &response.Code);
  char* location = nullptr;
  if (curl_easy_getinfo(Transfer.Easy.get(), CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
    response.RedirectUrl = location;
  response.StatusLine = std::move(Transfer.StatusLine);
  response.Headers = std::move(Transfer.Headers);
  response.Body = std::move(Transfer.Body);
  outcome.Response = std::move(response);
  return outcome;
}

std::optional<std::string> TCurlHttpClient::FailureOf(const TTransfer& Transfer) const {
  if (Transfer.Aborted) return "stopped";
  if (Transfer.TimedOut) return "time-out";
  if (Transfer.TooLarge || Transfer.Result == CURLE_FILESIZE_EXCEEDED) return "too large";
  switch (Transfer.Result) {
    case CURLE_OK:
      return std::nullopt;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return "cannot connect";
    case CURLE_OPERATION_TIMEDOUT:
      // libcurl ends both the floor rate and the whole-transfer deadline with this code;
      // only the floor's text speaks of speed.
      return std::string(Transfer.ErrorText).find("too slow") != std::string::npos ? "too slow" : "time-out";
    default:
      return Transfer.ErrorText[0] ? Transfer.ErrorText : curl_easy_strerror(Transfer.Result);
  }
}

void TCurlHttpClient::Finish(TTransfer& Transfer) {
  if (Transfer.Finished) return;
  Transfer.Finished = true;
  ended_.push_back(&Transfer);
  pump_->Wake();
}

void TCurlHttpClient::Abort() {
  for (auto& transfer : running_) {
    if (transfer->Finished) continue;
    transfer->Aborted = true;
    Finish(*transfer);
  }
}

TCurlHttpClient::TTransfer* TCurlHttpClient::TransferOn(curl_socket_t Socket) const {
  auto it = socketUser_.find(Socket);
  return it == socketUser_.end() ? nullptr : it->second;
}

void TCurlHttpClient::Status(TTransfer* Transfer, const std::string& Text) {
  const auto& handler = Transfer ? Transfer->Events.Status : OnStatus;
  if (!handler) return;
  // Runs inside libcurl's callbacks, which an exception must not cross.
  try {
    handler(Text);
  } catch (...) {
  }
}

void TCurlHttpClient::Progress(TTransfer& Transfer, std::int64_t Bytes) {
  if (!Transfer.Events.Progress) return;
  // As Status: runs inside libcurl's callbacks.
  try {
    Transfer.Events.Progress(Bytes);
  } catch (...) {
  }
}

// ---------------------------------------------------------------------------------------
// Events from the pump

void TCurlHttpClient::SocketReady(curl_socket_t Socket, int CurlEvents) {
  int running = 0;
  curl_multi_socket_action(multi_.get(), Socket, CurlEvents, &running);
  CollectFinishedTransfers();
}

void TCurlHttpClient::TimerExpired() {
  int running = 0;
  curl_multi_socket_action(multi_.get(), CURL_SOCKET_TIMEOUT, 0, &running);
  CollectFinishedTransfers();
}

void TCurlHttpClient::WatchdogExpired() {
  // The watchdog is not restarted for every byte; it checks when it runs out and waits
  // again for what is left of the quietest transfer's time-out.
  const auto now = std::chrono::steady_clock::now();
  for (auto& transfer : running_) {
    if (transfer->Finished || now - transfer->LastData < limits_.ReadTimeout) continue;
    transfer->TimedOut = true;
    Finish(*transfer);
  }
  RearmWatchdog();
}

void TCurlHttpClient::RearmWatchdog() {
  std::optional<std::chrono::steady_clock::time_point> quietest;
  for (const auto& transfer : running_)
    if (!transfer->Finished && (!quietest || transfer->LastData < *quietest)) quietest = transfer->LastData;
  if (!quietest) {
    pump_->SetWatchdog(-1);
    return;
  }
  auto left = std::chrono::ceil<std::chrono::milliseconds>(*quietest + limits_.ReadTimeout -
                                                           std::chrono::steady_clock::now());
  pump_->SetWatchdog(std::max<long>(0, static_cast<long>(left.count())));
}

void TCurlHttpClient::CollectFinishedTransfers() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    for (auto& transfer : running_) {
      if (transfer->Easy.get() != message->easy_handle || transfer->Finished) continue;
      transfer->Result = message->data.result;
      Finish(*transfer);
    }
  }
}

// ---------------------------------------------------------------------------------------
// libcurl's callbacks

int TCurlHttpClient::SocketCallback(CURL*, curl_socket_t Socket, int What, void* Client, void*) {
  static_cast<TCurlHttpClient*>(Client)->pump_->WatchSocket(Socket, What);
  return 0;
}

int TCurlHttpClient::TimerCallback(CURLM*, long Ms, void* Client) {
  static_cast<TCurlHttpClient*>(Client)->pump_->SetTimer(Ms);
  return 0;
}

int TCurlHttpClient::ResolverStartCallback(void*, void*, void* Transfer) {
  auto* transfer = static_cast<TTransfer*>(Transfer);
  transfer->Client->Status(transfer, "Resolving hostname " + transfer->ResolveHost + ".");
  return 0;
}

curl_socket_t TCurlHttpClient::OpenSocketCallback(void* Transfer, curlsocktype Purpose,
                                                  curl_sockaddr* Address) {
  curl_socket_t socket = ::socket(Address->family, Address->socktype | SOCK_CLOEXEC, Address->protocol);
  if (socket == CURL_SOCKET_BAD) return socket;
  if (Purpose == CURLSOCKTYPE_IPCXN) {
    auto* transfer = static_cast<TTransfer*>(Transfer);
    transfer->Connecting.insert(socket);
    transfer->Client->socketUser_[socket] = transfer;
    transfer->Client->Status(transfer, "Connecting to " + AddressText(*Address) + ".");
  }
  return socket;
}

int TCurlHttpClient::CloseSocketCallback(void* Client, curl_socket_t Socket) {
  auto* self = static_cast<TCurlHttpClient*>(Client);
  TTransfer* user = self->TransferOn(Socket);
  self->socketUser_.erase(Socket);
  if (user) user->Connecting.erase(Socket);
  bool wasConnected = self->connected_.erase(Socket) > 0;
  if (wasConnected) self->Status(user, "Disconnecting.");
  int result = ::close(Socket);
  if (wasConnected) self->Status(user, "Disconnected.");
  return result;
}

int TCurlHttpClient::PrereqCallback(void* Transfer, char*, char*, int, int) {
  // libcurl calls this once a connection is ready for the request, new or reused. It
  // does not say which socket that is, but a new connection is the one socket this
  // transfer opened whose attempt has not been closed again.
  auto* transfer = static_cast<TTransfer*>(Transfer);
  TCurlHttpClient* self = transfer->Client;
  curl_socket_t active = CURL_SOCKET_BAD;
  if (curl_easy_getinfo(transfer->Easy.get(), CURLINFO_ACTIVESOCKET, &active) == CURLE_OK &&
      active != CURL_SOCKET_BAD)
    self->socketUser_[active] = transfer;  // a reused connection is this transfer's now
  if (!transfer->Connecting.empty()) {
    self->connected_.insert(transfer->Connecting.begin(), transfer->Connecting.end());
    transfer->Connecting.clear();
    self->Status(transfer, "Connected.");
  }
  return CURL_PREREQFUNC_OK;
}

size_t TCurlHttpClient::HeaderCallback(char* Data, size_t Size, size_t Count, void* Transfer) {
  auto* transfer = static_cast<TTransfer*>(Transfer);
  size_t bytes = Size * Count;
  transfer->LastData = std::chrono::steady_clock::now();
  std::string_view line(Data, bytes);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    // A new answer begins (after a proxy's 407 or a 100 Continue): only its headers count.
    transfer->StatusLine = line;
    transfer->Headers.clear();
  } else if (size_t colon = line.find(':'); colon != std::string_view::npos) {
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    transfer->Headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
  }
  return bytes;
}

size_t TCurlHttpClient::WriteCallback(char* Data, size_t Size, size_t Count, void* Transfer) {
  auto* transfer = static_cast<TTransfer*>(Transfer);
  size_t bytes = Size * Count;
  if (transfer->Finished) return 0;
  transfer->LastData = std::chrono::steady_clock::now();
  if (transfer->Body.size() + bytes > transfer->Client->limits_.MaxBodyBytes) {
    transfer->TooLarge = true;
    return 0;  // any count other than bytes ends the transfer
  }
  transfer->Body.append(Data, bytes);
  transfer->Client->Progress(*transfer, static_cast<std::int64_t>(transfer->Body.size()));
  return bytes;
}

}  // namespace skimbrook
