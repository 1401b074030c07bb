#include "download/uCurlQtPump.h"

#include <QSocketNotifier>

#include <stdexcept>

namespace skimbrook {

// A notifier may be released from inside its own activated() signal (libcurl closes the
// socket while handling it), so it is switched off now and deleted by the event loop.
void TCurlQtPump::TNotifierRelease::operator()(QSocketNotifier* Notifier) const {
  Notifier->setEnabled(false);
  Notifier->deleteLater();
}

TCurlQtPump::TCurlQtPump() {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  watchdog_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &TCurlQtPump::TimerFired);
  connect(&watchdog_, &QTimer::timeout, this, &TCurlQtPump::WatchdogFired);
  wake_.setSingleShot(true);
  wake_.setInterval(0);
  connect(&wake_, &QTimer::timeout, this, &TCurlQtPump::WakeFired);
}

TCurlQtPump::~TCurlQtPump() = default;

void TCurlQtPump::SetTarget(TTarget* Target) {
  target_ = Target;
}

TCurlQtPump::TNotifier TCurlQtPump::NewNotifier(curl_socket_t Socket, bool ForWriting) {
  TNotifier notifier(
      new QSocketNotifier(Socket, ForWriting ? QSocketNotifier::Write : QSocketNotifier::Read, this));
  QSocketNotifier* raw = notifier.get();
  int events = ForWriting ? CURL_CSELECT_OUT : CURL_CSELECT_IN;
  connect(raw, &QSocketNotifier::activated, this, [this, raw, Socket, events] {
    // A notifier switched off or replaced after this event was queued must not report.
    auto it = sockets_.find(Socket);
    if (it == sockets_.end() || (it->second.Read.get() != raw && it->second.Write.get() != raw)) return;
    if (target_) target_->SocketReady(Socket, events);
  });
  return notifier;
}

void TCurlQtPump::WatchSocket(curl_socket_t Socket, int What) {
  if (What == CURL_POLL_REMOVE) {
    sockets_.erase(Socket);
    return;
  }
  TWatch& watch = sockets_[Socket];
  bool read = What == CURL_POLL_IN || What == CURL_POLL_INOUT;
  bool write = What == CURL_POLL_OUT || What == CURL_POLL_INOUT;
  if (read && !watch.Read) watch.Read = NewNotifier(Socket, false);
  if (!read) watch.Read.reset();
  if (write && !watch.Write) watch.Write = NewNotifier(Socket, true);
  if (!write) watch.Write.reset();
}

void TCurlQtPump::SetTimer(long Ms) {
  if (Ms < 0)
    timer_.stop();
  else
    timer_.start(static_cast<int>(Ms));
}

void TCurlQtPump::SetWatchdog(long Ms) {
  if (Ms < 0)
    watchdog_.stop();
  else
    watchdog_.start(static_cast<int>(Ms));
}

void TCurlQtPump::Wait() {
  throw std::logic_error("the main loop's HTTP client is never waited on");
}

void TCurlQtPump::Wake() {
  wake_.start();
}

void TCurlQtPump::TimerFired() {
  if (target_) target_->TimerExpired();
}

void TCurlQtPump::WakeFired() {
  if (target_) target_->Woken();
}

void TCurlQtPump::WatchdogFired() {
  if (target_) target_->WatchdogExpired();
}

std::unique_ptr<HttpClient> NewQtHttpClient(TCurlLimits Limits) {
  return std::make_unique<TCurlHttpClient>(std::make_unique<TCurlQtPump>(), Limits);
}

}  // namespace skimbrook
