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

const char* const kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

void CheckEasy(CURLcode Code) {
  if (Code != CURLE_OK) throw std::runtime_error(std::string("libcurl: ") + curl_easy_strerror(Code));
}

void CheckMulti(CURLMcode Code) {
  if (Code != CURLM_OK) throw std::runtime_error(std::string("libcurl: ") + curl_multi_strerror(Code));
}

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("libcurl cannot start");
  });
}

// The host part of Url, or Url itself when libcurl cannot parse it.
std::string HostOf(const std::string& Url) {
  std::string host = Url;
  if (CURLU* parsed = curl_url()) {
    char* part = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, Url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
      host = part;
    }
    curl_free(part);
    curl_url_cleanup(parsed);
  }
  return host;
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

// The state of the one transfer in progress, on the stack of Get().
struct TCurlHttpClient::TTransfer {
  CURL* Easy = nullptr;
  std::string ResolveHost;  // the name libcurl resolves: the proxy's when there is one
  std::string Body;
  std::string StatusLine;  // the last "HTTP/..." line received
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

TCurlHttpClient::~TCurlHttpClient() = default;

void TCurlHttpClient::SetProxy(const THttpProxy& Proxy) {
  useProxy_ = true;
  proxy_ = Proxy;
}

TCurlEasy TCurlHttpClient::NewEasyHandle(const std::string& Url, TTransfer& Transfer) {
  TCurlEasy easy(curl_easy_init());
  if (!easy) throw std::runtime_error("libcurl: out of memory");
  CURL* h = easy.get();
  CheckEasy(curl_easy_setopt(h, CURLOPT_URL, Url.c_str()));
  CheckEasy(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HTTPHEADER, requestHeaders_.get()));
  CheckEasy(curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent));
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
        HostOf(proxy_.Host.find("://") == std::string::npos ? "http://" + proxy_.Host : proxy_.Host);
  } else {
    // Requests go direct, whatever proxy the environment names.
    CheckEasy(curl_easy_setopt(h, CURLOPT_PROXY, ""));
    Transfer.ResolveHost = HostOf(Url);
  }

  CheckEasy(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &TCurlHttpClient::WriteCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_WRITEDATA, this));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &TCurlHttpClient::HeaderCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_HEADERDATA, this));
  CheckEasy(curl_easy_setopt(h, CURLOPT_RESOLVER_START_FUNCTION, &TCurlHttpClient::ResolverStartCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_RESOLVER_START_DATA, this));
  CheckEasy(curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, &TCurlHttpClient::OpenSocketCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, this));
  CheckEasy(curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &TCurlHttpClient::CloseSocketCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, this));
  CheckEasy(curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &TCurlHttpClient::PrereqCallback));
  CheckEasy(curl_easy_setopt(h, CURLOPT_PREREQDATA, this));
  return easy;
}

// ---------------------------------------------------------------------------------------
// One transfer

std::string TCurlHttpClient::Get(const std::string& Url) {
  if (current_) throw std::logic_error("HttpClient::Get called while a transfer is running");
  TTransfer transfer;
  TCurlEasy easy = NewEasyHandle(Url, transfer);
  transfer.Easy = easy.get();

  CheckMulti(curl_multi_add_handle(multi_.get(), easy.get()));
  current_ = &transfer;
  pump_->SetWatchdog(static_cast<long>(limits_.ReadTimeout.count()));
  try {
    while (!transfer.Finished) pump_->Wait();
  } catch (...) {
    current_ = nullptr;
    pump_->SetWatchdog(-1);
    curl_multi_remove_handle(multi_.get(), easy.get());
    throw;
  }
  current_ = nullptr;
  pump_->SetWatchdog(-1);
  // Removing a transfer that has not completed closes its connection.
  curl_multi_remove_handle(multi_.get(), easy.get());

  if (transfer.Aborted) throw std::runtime_error("Aborted: " + Url);
  if (transfer.TimedOut)
    throw std::runtime_error("Read timed out after " + std::to_string(limits_.ReadTimeout.count()) +
                             " ms: " + Url);
  if (transfer.TooLarge || transfer.Result == CURLE_FILESIZE_EXCEEDED)
    throw std::runtime_error("Response larger than " + std::to_string(limits_.MaxBodyBytes) +
                             " bytes: " + Url);
  if (transfer.Result != CURLE_OK) {
    std::string text = transfer.ErrorText[0] ? transfer.ErrorText : curl_easy_strerror(transfer.Result);
    throw std::runtime_error(text + ": " + Url);
  }
  // Without redirect following a 3xx ends as a completed transfer; only 2xx is a success.
  long code = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &code);
  if (code < 200 || code > 299)
    throw std::runtime_error(
        (transfer.StatusLine.empty() ? "HTTP " + std::to_string(code) : transfer.StatusLine) + ": " + Url);
  return std::move(transfer.Body);
}

void TCurlHttpClient::Abort() {
  if (!current_) return;
  current_->Aborted = true;
  current_->Finished = true;
  pump_->Wake();
}

void TCurlHttpClient::Status(const std::string& Text) {
  if (!OnStatus) return;
  // Runs inside libcurl's callbacks, which an exception must not cross.
  try {
    OnStatus(Text);
  } catch (...) {
  }
}

void TCurlHttpClient::Progress(std::int64_t Bytes) {
  if (!OnProgress) return;
  // As Status: runs inside libcurl's callbacks.
  try {
    OnProgress(Bytes);
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
  if (!current_ || current_->Finished) return;
  // The watchdog is not restarted for every byte; it checks when it runs out and waits
  // again for what is left of the time-out since the last byte.
  auto quiet = std::chrono::steady_clock::now() - current_->LastData;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limits_.ReadTimeout - quiet);
  if (left.count() > 0) {
    pump_->SetWatchdog(static_cast<long>(left.count()));
    return;
  }
  current_->TimedOut = true;
  current_->Finished = true;
  pump_->Wake();
}

void TCurlHttpClient::CollectFinishedTransfers() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
    if (message->msg != CURLMSG_DONE || !current_ || message->easy_handle != current_->Easy) continue;
    if (current_->Finished) continue;
    current_->Result = message->data.result;
    current_->Finished = true;
    pump_->Wake();
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

int TCurlHttpClient::ResolverStartCallback(void*, void*, void* Client) {
  auto* self = static_cast<TCurlHttpClient*>(Client);
  if (self->current_) self->Status("Resolving hostname " + self->current_->ResolveHost + ".");
  return 0;
}

curl_socket_t TCurlHttpClient::OpenSocketCallback(void* Client, curlsocktype Purpose,
                                                  curl_sockaddr* Address) {
  curl_socket_t socket = ::socket(Address->family, Address->socktype | SOCK_CLOEXEC, Address->protocol);
  if (socket == CURL_SOCKET_BAD) return socket;
  if (Purpose == CURLSOCKTYPE_IPCXN) {
    auto* self = static_cast<TCurlHttpClient*>(Client);
    self->connecting_.insert(socket);
    self->Status("Connecting to " + AddressText(*Address) + ".");
  }
  return socket;
}

int TCurlHttpClient::CloseSocketCallback(void* Client, curl_socket_t Socket) {
  auto* self = static_cast<TCurlHttpClient*>(Client);
  self->connecting_.erase(Socket);
  bool wasConnected = self->connected_.erase(Socket) > 0;
  if (wasConnected) self->Status("Disconnecting.");
  int result = ::close(Socket);
  if (wasConnected) self->Status("Disconnected.");
  return result;
}

int TCurlHttpClient::PrereqCallback(void* Client, char*, char*, int, int) {
  // libcurl calls this once a connection is ready for the request, new or reused. It
  // does not say which socket that is, but a new connection is the one socket opened
  // since the last request whose attempt has not been closed again.
  auto* self = static_cast<TCurlHttpClient*>(Client);
  if (!self->connecting_.empty()) {
    self->connected_.insert(self->connecting_.begin(), self->connecting_.end());
    self->connecting_.clear();
    self->Status("Connected.");
  }
  return CURL_PREREQFUNC_OK;
}

size_t TCurlHttpClient::HeaderCallback(char* Data, size_t Size, size_t Count, void* Client) {
  auto* self = static_cast<TCurlHttpClient*>(Client);
  size_t bytes = Size * Count;
  if (!self->current_) return bytes;
  self->current_->LastData = std::chrono::steady_clock::now();
  std::string_view line(Data, bytes);
  if (line.substr(0, 5) == "HTTP/") {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    self->current_->StatusLine = line;
  }
  return bytes;
}

size_t TCurlHttpClient::WriteCallback(char* Data, size_t Size, size_t Count, void* Client) {
  auto* self = static_cast<TCurlHttpClient*>(Client);
  size_t bytes = Size * Count;
  TTransfer* transfer = self->current_;
  if (!transfer || transfer->Finished) return 0;
  transfer->LastData = std::chrono::steady_clock::now();
  if (transfer->Body.size() + bytes > self->limits_.MaxBodyBytes) {
    transfer->TooLarge = true;
    return 0;  // any count other than bytes ends the transfer
  }
  transfer->Body.append(Data, bytes);
  self->Progress(static_cast<std::int64_t>(transfer->Body.size()));
  return bytes;
}

}  // namespace skimbrook
